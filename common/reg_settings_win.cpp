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

// Every operation opens its key, does one thing and closes the key again;
// a key that does not exist is never created here.
//
// Runs `op` on the opened key. The result is the open's error, else the
// operation's error, else the result of closing the key.
template <typename Op>
int32_t WithKey(uintptr_t root, const char16_t* path, Op op) {
    if (!path)
        return ERROR_INVALID_PARAMETER;
    HKEY hkey = nullptr;
    LONG r = ::RegOpenKeyExW(Root(root), W(path), 0, kAccess, &hkey);
    if (r != ERROR_SUCCESS)
        return r;
    r = op(hkey);
    const LONG c = ::RegCloseKey(hkey);
    return r != ERROR_SUCCESS ? r : c;
}

// Reads one value into `data`; `size` is its room in bytes on entry and the
// stored size on return. False when the key or the value is missing or the
// value does not fit; the value's type is not checked.
bool QueryValue(uintptr_t root, const char16_t* path, const char16_t* name, void* data,
                DWORD& size) {
    platform::UniqueRegKey hkey;
    if (!path || ::RegOpenKeyExW(Root(root), W(path), 0, kAccess, hkey.Put()) != ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExW(hkey.Get(), W(name), nullptr, nullptr, static_cast<BYTE*>(data),
                              &size) == ERROR_SUCCESS;
}

}  // namespace

int32_t CRegSettingsMngr::SetDword(SettingsKey key, const char16_t* name, uint32_t value) {
    const DWORD v = value;
    return WithKey(m_root, GetKeyPath(key), [&](HKEY k) {
        return ::RegSetValueExW(k, W(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                                sizeof v);
    });
}

int32_t CRegSettingsMngr::SetQword(SettingsKey key, const char16_t* name, uint64_t value) {
    return WithKey(m_root, GetKeyPath(key), [&](HKEY k) {
        return ::RegSetValueExW(k, W(name), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof value);
    });
}

int32_t CRegSettingsMngr::SetString(SettingsKey key, const char16_t* name, const char16_t* value) {
    const wchar_t* text = value ? W(value) : L"";
    const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
    return WithKey(m_root, GetKeyPath(key), [&](HKEY k) {
        return ::RegSetValueExW(k, W(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    });
}

int32_t CRegSettingsMngr::SetBinary(SettingsKey key, const char16_t* name, const uint8_t* bytes,
                                    uint32_t byteCount) {
    return WithKey(m_root, GetKeyPath(key), [&](HKEY k) {
        return ::RegSetValueExW(k, W(name), 0, REG_BINARY, bytes, byteCount);
    });
}

uint32_t CRegSettingsMngr::GetDword(SettingsKey key, const char16_t* name, uint32_t def) {
    DWORD value = 0;
    DWORD size = sizeof value;
    return QueryValue(m_root, GetKeyPath(key), name, &value, size) ? value : def;
}

uint64_t CRegSettingsMngr::GetQword(SettingsKey key, const char16_t* name, uint64_t def) {
    // A shorter value (a DWORD) fills only the low bytes, which is its value.
    uint64_t value = 0;
    DWORD size = sizeof value;
    return QueryValue(m_root, GetKeyPath(key), name, &value, size) ? value : def;
}

bool CRegSettingsMngr::GetString(SettingsKey key, const char16_t* name, char16_t* buffer,
                                 uint32_t capacity, const char16_t* def) {
    if (!buffer || capacity == 0)
        return false;
    DWORD size = capacity * sizeof(char16_t);
    if (!QueryValue(m_root, GetKeyPath(key), name, buffer, size)) {
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
    DWORD size = byteCount;
    if (!QueryValue(m_root, GetKeyPath(key), name, bytes, size)) {
        byteCount = 0;
        return false;
    }
    byteCount = size;
    return true;
}

int32_t CRegSettingsMngr::DeleteValue(SettingsKey key, const char16_t* name) {
    return WithKey(m_root, GetKeyPath(key), [&](HKEY k) { return ::RegDeleteValueW(k, W(name)); });
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
