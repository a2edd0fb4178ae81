// Run-time libraries (database client, device drivers, ICMP) come from known
// folders only: the program's own folder or the system folder, never the
// current directory or PATH. The services switch their current directory
// into recording folders that other programs name, so a plain LoadLibrary
// could pick up whatever DLL such a folder holds.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace platform {

// The folder of the running program's file (the .exe, also when called from
// a DLL), without its trailing backslash.
std::wstring ProgramFolder();
// The system folder (GetSystemDirectory), without its trailing backslash.
std::wstring SystemFolder();

// Loads `fileName` (a bare file name such as L"ftd2xx.dll") from the
// program's folder when the file is there, otherwise from the system folder.
// The library's own dependencies are looked up beside it, in the program's
// folder and in the system folder, never in the current directory or PATH.
// An invalid module when neither folder has a loadable library of that name,
// or when `fileName` names a folder or drive as well.
UniqueModule LoadKnownLibrary(const wchar_t* fileName);

// Loads `fileName` from the system folder only (ICMP, IP helper).
UniqueModule LoadSystemLibrary(const wchar_t* fileName);

// Looks an entry point up with the type of the slot it fills; false (and a
// null slot) when the library lacks it.
template <typename F>
bool BindProc(HMODULE module, const char* name, F& slot) {
    FARPROC proc = module ? ::GetProcAddress(module, name) : nullptr;
    slot = reinterpret_cast<F>(reinterpret_cast<void*>(proc));
    return proc != nullptr;
}

}  // namespace platform
