// The three FTDI D2XX functions (ftd2xx.dll) the sensor service uses to find
// the odometer converter's COM port, written from FTDI's published
// programmer's guide. The library is loaded at run time and these names are
// bound by the service (sensors/odometer_port.h); the tests' stand-in
// library includes this header so both sides agree on the signatures.
#pragma once

#include <windows.h>

namespace ftd2xx {

using FT_STATUS = ULONG;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
// FT_GetComPortNumber's answer when no COM port is assigned to the device.
inline constexpr LONG kNoComPort = -1;

// The library's file name and the exported names.
inline constexpr const wchar_t* kLibraryName = L"ftd2xx.dll";
inline constexpr const char* kOpenName = "FT_Open";
inline constexpr const char* kCloseName = "FT_Close";
inline constexpr const char* kGetComPortNumberName = "FT_GetComPortNumber";

}  // namespace ftd2xx

extern "C" {
ftd2xx::FT_STATUS WINAPI FT_Open(int deviceNumber, ftd2xx::FT_HANDLE* pHandle);
ftd2xx::FT_STATUS WINAPI FT_Close(ftd2xx::FT_HANDLE ftHandle);
ftd2xx::FT_STATUS WINAPI FT_GetComPortNumber(ftd2xx::FT_HANDLE ftHandle, LPLONG lplComPortNumber);
}

namespace ftd2xx {

using OpenFn = decltype(&::FT_Open);
using CloseFn = decltype(&::FT_Close);
using GetComPortNumberFn = decltype(&::FT_GetComPortNumber);

}  // namespace ftd2xx
