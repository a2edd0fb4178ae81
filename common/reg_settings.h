// The suite's settings in the current user's registry: nine key paths under
// "Software\Marvesto", read and written one value at a time.
//
// Every operation opens its key (all access, 32-bit registry view), reads or
// writes the one value and closes the key again; no key handle is kept. A key
// that does not exist is never created by a value operation: reads then give
// their default and writes do nothing. No failure is reported to the user.
//
// The declaration is portable so that the settings loader can be tested
// against a stand-in registry; the Windows build implements the operations
// over the registry API, the portable build has no registry at all.
#pragma once

#include <cstddef>
#include <cstdint>

enum SettingsKey : int32_t {
    kKeyCommon = 0,
    kKeyPondaview = 1,
    kKeyPondaviewTables = 2,
    kKeyPondaviewHotkeys = 3,
    kKeyPondaviewSCpresets = 4,
    kKeyGraphonel = 5,
    kKeyGraphonelTables = 6,
    kKeyHaulmoor = 7,
    kKeyUtils = 8,
};

inline constexpr int32_t kSettingsKeyCount = 9;

// Registry roots by their predefined handle values (HKEY_CURRENT_USER).
inline constexpr uintptr_t kRootCurrentUser = 0x80000001u;

class CRegSettingsMngr {
public:
    CRegSettingsMngr();
    virtual ~CRegSettingsMngr() = default;

    // Writes: 0 on success, else the system error code of opening the key
    // (or of the write itself).
    virtual int32_t SetDword(SettingsKey key, const char16_t* name, uint32_t value);
    virtual int32_t SetQword(SettingsKey key, const char16_t* name, uint64_t value);
    // REG_SZ of (characters + 1) * 2 bytes, terminator included.
    virtual int32_t SetString(SettingsKey key, const char16_t* name, const char16_t* value);
    virtual int32_t SetBinary(SettingsKey key, const char16_t* name, const uint8_t* bytes,
                              uint32_t byteCount);

    // Reads give `def` when the key or value is missing or the value does not
    // fit (4 bytes, 8 bytes). The value's registry type is not checked.
    virtual uint32_t GetDword(SettingsKey key, const char16_t* name, uint32_t def);
    virtual uint64_t GetQword(SettingsKey key, const char16_t* name, uint64_t def);
    // Fills `buffer` (capacity in characters, terminator included) with the
    // value, or with `def` (cut to fit) when it can't be read. Returns true
    // when the value was read.
    virtual bool GetString(SettingsKey key, const char16_t* name, char16_t* buffer,
                           uint32_t capacity, const char16_t* def);
    // Fills `bytes`; `byteCount` is the capacity on entry, the value's size
    // on success, 0 on any failure.
    virtual bool GetBinary(SettingsKey key, const char16_t* name, uint8_t* bytes,
                           uint32_t& byteCount);
    virtual int32_t DeleteValue(SettingsKey key, const char16_t* name);
    // The path of keys 0..8, nullptr for any other index.
    virtual const char16_t* GetKeyPath(int32_t key) const;

    // Creates the key (with its parents) when it does not exist; same access
    // and view as the value operations. 0 on success.
    virtual int32_t CreateKey(SettingsKey key);

protected:
    uintptr_t m_root;
    const char16_t* m_paths[kSettingsKeyCount];
};
