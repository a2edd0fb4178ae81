// Operator texts of the sensor service (UTF-8), in one place.
#pragma once

#include <cstdint>

namespace sensor_text {

// Start-up and device messages.
constexpr const char* kCannotFindDaq = "Не удается найти АЦП";
constexpr const char* kCannotConnectDaq = "Не удалось подключить АЦП";
constexpr const char* kBadSupplyVoltage = "Недопустимое напряжение";
// printf format: the estimated odometer threshold, mV.
constexpr const char* kWayThresholdFormat = "Используется порог срабатывания датчика пути %dмВ";
constexpr const char* kReadErrorCaption = "Error";
// A USB-6008 is present but NI's driver library cannot be loaded.
constexpr const char* kCannotLoadDaqDriver = "Не удается загрузить драйвер АЦП nicaiu.dll";

// Shared blocks.
constexpr const char* kNoDataTransfer = "Не удается организовать передачу данных";
constexpr const char* kNoStateReception = "Не удается организовать прием данных";
constexpr const char* kNoDaqDataTransfer = "Не удается организовать передачу данных АЦП";

// Recordings.
constexpr const char* kCannotWriteChannelFiles =
    "Не удается записать файлы датчиков, запись продолжается";
constexpr const char* kSettingsNotApplied = "Идет запись: настройки не применены";

// Main window.
constexpr const char* kTitle = "Tessarin v";
constexpr const char* kAboutMenu = "&О проекте Tessarin...";
constexpr const char* kAboutText = "Tessarin, Version ";
constexpr const char* kSnapshotCaption = "Запись";
constexpr const char* kSnapshotFormat = "Запись %d";

// Settings dialog.
constexpr const char* kSettingsTitle = "Настройки АЦП";
constexpr const char* kCalibrationOn = "Тарировка";
constexpr const char* kCalibrationOff = "Обычный";
constexpr const char* kSlopeDegrees = "Градусы";
constexpr const char* kSlopePerMille = "Промилле";
constexpr const char* kFilesOn = "Записывать";
constexpr const char* kFilesOff = "Не записывать";
constexpr const char* kEstimateOn = "Включена";
constexpr const char* kEstimateOff = "Отключена";
constexpr const char* kCompensationOn = "Включён";
constexpr const char* kCompensationOff = "Отключен";
constexpr const char* kRecoveryOn = "Включено";
constexpr const char* kRecoveryOff = "Отключено";

// The label an input shows for its purpose (main window), and the line of
// the purpose lists (settings dialog); nullptr for an unknown purpose.
const char* PurposeLabel(int32_t purpose);
const char* PurposeListItem(int32_t purpose);

}  // namespace sensor_text
