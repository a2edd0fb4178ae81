#include "platform/thread_name.h"

#include <windows.h>

#include <initializer_list>

namespace platform {

void NameThisThread(const wchar_t* name) {
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    // Looked up, not imported: the vehicle PCs may run a Windows without it.
    static const SetDescription set = [] {
        for (const wchar_t* module : {L"kernelbase.dll", L"kernel32.dll"}) {
            if (HMODULE m = ::GetModuleHandleW(module)) {
                if (FARPROC f = ::GetProcAddress(m, "SetThreadDescription"))
                    return reinterpret_cast<SetDescription>(reinterpret_cast<void*>(f));
            }
        }
        return SetDescription{};
    }();
    if (set != nullptr && name != nullptr)
        set(::GetCurrentThread(), name);
}

}  // namespace platform
