#include "common/reg_settings.h"

namespace {
const char16_t* const kKeyPaths[kSettingsKeyCount] = {
    u"Software\\Marvesto\\Common",
    u"Software\\Marvesto\\Pondaview5",
    u"Software\\Marvesto\\Pondaview5\\Tables",
    u"Software\\Marvesto\\Pondaview5\\Hotkeys",
    u"Software\\Marvesto\\Pondaview5\\SCpresets",
    u"Software\\Marvesto\\Graphonel",
    u"Software\\Marvesto\\Graphonel\\Tables",
    u"Software\\Marvesto\\Haulmoor",
    u"Software\\Marvesto\\Utils",
};
}  // namespace

CRegSettingsMngr::CRegSettingsMngr() : m_root(kRootCurrentUser) {
    for (int32_t i = 0; i < kSettingsKeyCount; ++i)
        m_paths[i] = kKeyPaths[i];
}

const char16_t* CRegSettingsMngr::GetKeyPath(int32_t key) const {
    if (key < 0 || key >= kSettingsKeyCount)
        return nullptr;
    return m_paths[key];
}
