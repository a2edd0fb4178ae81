// Registry operations over the current user's hive, 32-bit view.
#include <windows.h>

#include <cwchar>

#include "common/reg_settings.h"
#include "platform/handles.h"

namespace {

constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

const wchar_t* W(const char16_t* s) {
    return reinterpret_cast<const wchar_t*>(s);
}

HKEY Root(uintptr_t root) {
    return reinterpret_cast<HKEY>(root);
}

void CopyDefault(char16_t* buffer, uint32_t capacity, const char16_t* def) {
    if (!buffer || capacity == 0)
        return;
    uint32_t i = 0;
    for (; def && def[i] && i + 1 < capacity; ++i)
        buffer[i] = def[i];
    buffer[i] = 0;
}

}  // namespace

int32_t CRegSettingsMngr::SetDword(SettingsKey key, const char16_t* name, uint32_t value) {
    const char16_t* path = GetKeyPath(key);
    if (!path)
        return ERROR_INVALID_PARAMETER;
    HKEY hkey = nullptr;
    LONG r = ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, &hkey);
    if (r != ERROR_SUCCESS)
        return r;
    const DWORD v = value;
    r = ::RegSetValueExW(hkey, W(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    const LONG c = ::RegCloseKey(hkey);
    return r != ERROR_SUCCESS ? r : c;
}

int32_t CRegSettingsMngr::SetQword(SettingsKey key, const char16_t* name, uint64_t value) {
    const char16_t* path = GetKeyPath(key);
    if (!path)
        return ERROR_INVALID_PARAMETER;
    HKEY hkey = nullptr;
    LONG r = ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, &hkey);
    if (r != ERROR_SUCCESS)
        return r;
    r = ::RegSetValueExW(hkey, W(name), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof value);
    const LONG c = ::RegCloseKey(hkey);
    return r != ERROR_SUCCESS ? r : c;
}

int32_t CRegSettingsMngr::SetString(SettingsKey key, const char16_t* name, const char16_t* value) {
    const char16_t* path = GetKeyPath(key);
    if (!path)
        return ERROR_INVALID_PARAMETER;
    HKEY hkey = nullptr;
    LONG r = ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, &hkey);
    if (r != ERROR_SUCCESS)
        return r;
    const wchar_t* text = value ? W(value) : L"";
    const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    r = ::RegSetValueExW(hkey, W(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    const LONG c = ::RegCloseKey(hkey);
    return r != ERROR_SUCCESS ? r : c;
}

int32_t CRegSettingsMngr::SetBinary(SettingsKey key, const char16_t* name, const uint8_t* bytes,
                                    uint32_t byteCount) {
    const char16_t* path = GetKeyPath(key);
    if (!path)
        return ERROR_INVALID_PARAMETER;
    HKEY hkey = nullptr;
    LONG r = ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, &hkey);
    if (r != ERROR_SUCCESS)
        return r;
    r = ::RegSetValueExW(hkey, W(name), 0, REG_BINARY, bytes, byteCount);
    const LONG c = ::RegCloseKey(hkey);
    return r != ERROR_SUCCESS ? r : c;
}

uint32_t CRegSettingsMngr::GetDword(SettingsKey key, const char16_t* name, uint32_t def) {
    const char16_t* path = GetKeyPath(key);
    platform::UniqueRegKey hkey;
    if (!path || ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, hkey.Put()) != ERROR_SUCCESS)
        return def;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExW(hkey.Get(), W(name), nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS)
        return def;
    return value;
}

uint64_t CRegSettingsMngr::GetQword(SettingsKey key, const char16_t* name, uint64_t def) {
    const char16_t* path = GetKeyPath(key);
    platform::UniqueRegKey hkey;
    if (!path || ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, hkey.Put()) != ERROR_SUCCESS)
        return def;
    uint64_t value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExW(hkey.Get(), W(name), nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS)
        return def;
    // A shorter value (a DWORD) fills only the low bytes, which is its value.
    return value;
}

bool CRegSettingsMngr::GetString(SettingsKey key, const char16_t* name, char16_t* buffer,
                                 uint32_t capacity, const char16_t* def) {
    if (!buffer || capacity == 0)
        return false;
    const char16_t* path = GetKeyPath(key);
    HKEY hkey = nullptr;
    if (!path || ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, &hkey) != ERROR_SUCCESS) {
        CopyDefault(buffer, capacity, def);
        return false;
    }
    // Room for the capacity plus a terminator the stored value may lack.
    DWORD size = capacity * sizeof(char16_t);
    const LONG r =
        ::RegQueryValueExW(hkey, W(name), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(hkey);
    if (r != ERROR_SUCCESS) {
        CopyDefault(buffer, capacity, def);
        return false;
    }
    // A stored text may lack its terminator; one that then fills the whole
    // buffer does not fit and must not come back cut short.
    size_t chars = size / sizeof(char16_t);
    if (chars > 0 && buffer[chars - 1] == 0)
        --chars;
    if (chars >= capacity) {
        CopyDefault(buffer, capacity, def);
        return false;
    }
    buffer[chars] = 0;
    return true;
}

bool CRegSettingsMngr::GetBinary(SettingsKey key, const char16_t* name, uint8_t* bytes,
                                 uint32_t& byteCount) {
    const char16_t* path = GetKeyPath(key);
    HKEY hkey = nullptr;
    if (!path || ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, &hkey) != ERROR_SUCCESS) {
        byteCount = 0;
        return false;
    }
    DWORD size = byteCount;
    const LONG r = ::RegQueryValueExW(hkey, W(name), nullptr, nullptr, bytes, &size);
    ::RegCloseKey(hkey);
    if (r != ERROR_SUCCESS) {
        byteCount = 0;
        return false;
    }
    byteCount = size;
    return true;
}

int32_t CRegSettingsMngr::DeleteValue(SettingsKey key, const char16_t* name) {
    const char16_t* path = GetKeyPath(key);
    if (!path)
        return ERROR_INVALID_PARAMETER;
    HKEY hkey = nullptr;
    LONG r = ::RegOpenKeyExW(Root(m_root), W(path), 0, kAccess, &hkey);
    if (r != ERROR_SUCCESS)
        return r;
    r = ::RegDeleteValueW(hkey, W(name));
    const LONG c = ::RegCloseKey(hkey);
    return r != ERROR_SUCCESS ? r : c;
}

int32_t CRegSettingsMngr::CreateKey(SettingsKey key) {
    const char16_t* path = GetKeyPath(key);
    if (!path)
        return ERROR_INVALID_PARAMETER;
    HKEY hkey = nullptr;
    const LONG r = ::RegCreateKeyExW(Root(m_root), W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     kAccess, nullptr, &hkey, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    return ::RegCloseKey(hkey);
}
