// The client side of the GNSS service's shared memory, behind the exports of
// gps.dll: starts the service when it does not run, opens its three mappings
// and mutexes, reads the current-fix record and writes client commands.
// One calling thread; the named mutexes order it against the service.
#pragma once

#include <windows.h>

#include <string>

#include "gps/gps_record.h"
#include "platform/shared_text.h"

namespace gps {

// Named objects of the GNSS service (created by the service, opened here).
inline constexpr wchar_t kRecordMappingName[] = L"MyGPSFileMappingObject";
inline constexpr wchar_t kRecordMutexName[] = L"MyGPSBufferMutex";
inline constexpr wchar_t kSyncMappingName[] = L"MyGPSSyncMappingObject";
inline constexpr wchar_t kSyncMutexName[] = L"MyGPSSynchMutex";
inline constexpr wchar_t kLogFolderMappingName[] = L"MyLogFolderMappingObject";
inline constexpr wchar_t kLogFolderMutexName[] = L"MyGPSLogFolderMutex";

// Results of _InitGPSDefault and _GPSConnected besides the record's flag.
inline constexpr int kResultFailed = 0;
inline constexpr int kResultServiceMissing = 10;

struct GpsClientOptions {
    // A running process whose executable name contains this (case-sensitive)
    // counts as the service.
    std::wstring serviceProcessName = L"Orvanta";
    // Started from the folder of the module that holds this code.
    std::wstring serviceFileName = L"Orvanta.exe";
    int openTries = 500;       // per named object
    DWORD retryPauseMs = 100;  // between tries
    DWORD settleMs = 1000;     // after the service check, and before the first read
    DWORD mutexWaitMs = 5000;  // around every access to a mapping
};

class GpsClient {
public:
    explicit GpsClient(GpsClientOptions options = {});
    GpsClient(const GpsClient&) = delete;
    GpsClient& operator=(const GpsClient&) = delete;

    int Init();
    void SetHidden() { m_hidden = true; }
    int Connected();
    int Update();
    int Quit();
    void UnMap();
    void Synchro();
    void NoSynchro();
    void SetLogFolder(const char* text);

    const GpsValues& Values() const { return m_values; }

private:
    // Opens one of the service's blocks and puts it in place of `block`; on
    // failure shows the error box of the step that failed, leaves `block` as
    // it was and returns false.
    bool OpenBlock(platform::SharedTextBlock& block, const wchar_t* mappingName,
                   const wchar_t* mutexName, std::size_t size, const char* noMappingText,
                   const char* noViewText);

    GpsClientOptions m_options;
    bool m_hidden = false;
    platform::SharedTextBlock m_record;
    platform::SharedTextBlock m_logFolder;
    platform::SharedTextBlock m_sync;
    char m_copy[kRecordMappingSize] = {};
    GpsValues m_values;
};

}  // namespace gps
