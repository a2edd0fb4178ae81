// The portable build has no registry: every read gives its default and every
// write fails as if the key were missing.
#include "common/reg_settings.h"

namespace {
constexpr int32_t kNoKey = 2;  // the system's "file not found"

void CopyDefault(char16_t* buffer, uint32_t capacity, const char16_t* def) {
    if (!buffer || capacity == 0)
        return;
    uint32_t i = 0;
    for (; def && def[i] && i + 1 < capacity; ++i)
        buffer[i] = def[i];
    buffer[i] = 0;
}
}  // namespace

int32_t CRegSettingsMngr::SetDword(SettingsKey, const char16_t*, uint32_t) {
    return kNoKey;
}
int32_t CRegSettingsMngr::SetQword(SettingsKey, const char16_t*, uint64_t) {
    return kNoKey;
}
int32_t CRegSettingsMngr::SetString(SettingsKey, const char16_t*, const char16_t*) {
    return kNoKey;
}
int32_t CRegSettingsMngr::SetBinary(SettingsKey, const char16_t*, const uint8_t*, uint32_t) {
    return kNoKey;
}
uint32_t CRegSettingsMngr::GetDword(SettingsKey, const char16_t*, uint32_t def) {
    return def;
}
uint64_t CRegSettingsMngr::GetQword(SettingsKey, const char16_t*, uint64_t def) {
    return def;
}
bool CRegSettingsMngr::GetString(SettingsKey, const char16_t*, char16_t* buffer, uint32_t capacity,
                                 const char16_t* def) {
    CopyDefault(buffer, capacity, def);
    return false;
}
bool CRegSettingsMngr::GetBinary(SettingsKey, const char16_t*, uint8_t*, uint32_t& byteCount) {
    byteCount = 0;
    return false;
}
int32_t CRegSettingsMngr::DeleteValue(SettingsKey, const char16_t*) {
    return kNoKey;
}
int32_t CRegSettingsMngr::CreateKey(SettingsKey) {
    return kNoKey;
}
