// Lists the devices SetupAPI reports as present, the way the sensor service
// looks for its USB-6008: all classes, each device's description read with a
// size query first. Prints the descriptions that contain the text given
// (default "USB-6008"), one a line in UTF-8; exit code 0 when one was found,
// 1 when none, 2 when the device set cannot be taken.
//
//   setupapi_probe.exe [TEXT]
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& wide) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(out.empty() ? 0 : out.size() - 1);
    return out;
}

std::wstring Description(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    std::vector<wchar_t> buffer(1);
    BOOL ok = ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC, nullptr, nullptr,
                                                  0, &size);
    while (!ok && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
        ok = ::SetupDiGetDeviceRegistryPropertyW(
            set, &device, SPDRP_DEVICEDESC, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
            static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t)), &size);
    }
    return ok ? std::wstring(buffer.data()) : std::wstring();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring wanted = argc > 1 ? argv[1] : L"USB-6008";
    HDEVINFO set =
        ::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        std::printf("ERROR SetupDiGetClassDevsW %lu\n", ::GetLastError());
        return 2;
    }
    int found = 0, devices = 0;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        ++devices;
        const std::wstring description = Description(set, device);
        if (description.find(wanted) != std::wstring::npos) {
            std::printf("%s\n", Utf8(description).c_str());
            ++found;
        }
    }
    ::SetupDiDestroyDeviceInfoList(set);
    std::printf("devices %d found %d\n", devices, found);
    return found > 0 ? 0 : 1;
}
