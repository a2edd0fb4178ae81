#include "sensors/device_discovery.h"

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "sensors/daq_task.h"

namespace {

// The device description of one device; empty when it has none.
std::u16string DeviceDescription(HDEVINFO set, SP_DEVINFO_DATA& device) {
    // Ask for the size first; grow while the answer is "insufficient buffer".
    DWORD required = 0;
    std::vector<wchar_t> buffer;
    BOOL ok = ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC, nullptr, nullptr,
                                                  0, &required);
    while (!ok && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER && required > 0) {
        buffer.assign(required / sizeof(wchar_t) + 1, L'\0');
        ok = ::SetupDiGetDeviceRegistryPropertyW(
            set, &device, SPDRP_DEVICEDESC, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
            static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t)), &required);
    }
    if (!ok || buffer.empty())
        return {};
    // The property may come without its terminator: the extra unit holds one.
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()));
}

}  // namespace

bool FindDaqDevice() {
    HDEVINFO set =
        ::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; !found && ::SetupDiEnumDeviceInfo(set, index, &device); ++index)
        found = daq_task::IsDaqDescription(DeviceDescription(set, device));
    ::SetupDiDestroyDeviceInfoList(set);
    return found;
}
