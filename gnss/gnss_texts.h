// Operator texts of the GNSS service (UTF-8), in one place.
#pragma once

#include <string>

namespace gnss_text {

constexpr const char* kReceiverLost = "GPS-приёмник отключен";
constexpr const char* kCannotConnect = "Не удается подключить GPS-приемник";
constexpr const char* kCannotCreateThread = "Не удается создать поток";
constexpr const char* kNoSync = "Синхронизация с ГНСС-приемником невозможна";
constexpr const char* kNoFolderChoice = "Выбор папки для ГНСС-данных невозможен";
constexpr const char* kNoLinkToGnss = "Нет связи с программой ГНСС";
constexpr const char* kOffsetLost =
    "Обнаружена рассихронизация. При возможности остановите запись и перезапустите "
    "программу ГНСС Orvanta (из Tuvarnex) в зоне уверенного приёма";
constexpr const char* kSyncChecked = "Синхронность проверена";
constexpr const char* kDataGap = "Нет данных > 30c, путь обнулен";  // Latin c
constexpr const char* kPortCaption = "COM ?";                       // resource caption of 1005
constexpr const char* kPortUnknown = "COM?";                        // after a failed connection
constexpr const char* kNoSatellites = "Спут 0";
constexpr const char* kZeroSpeed = "0 км/ч";
constexpr const char* kZeroAcceleration = "0 м/с2";
constexpr const char* kZeroTrip = "0 м";
constexpr const char* kAboutMenu = "&О проекте Orvanta...";
constexpr const char* kAboutText = "Orvanta, Version ";
constexpr const char* kTitle = "Orvanta v";

// "COM%d".
std::string PortText(int port);
// Event-log text of a receiver that came back by itself after `gapSeconds`
// without data: "GPS-приёмник снова на связи (COM%d), перерыв %d с".
std::string ReceiverBackText(int port, int gapSeconds);

}  // namespace gnss_text
