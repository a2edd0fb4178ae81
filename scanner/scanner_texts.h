// Operator texts of the scanner service (UTF-8), in one place. The socket
// messages are English, as the scanner client has always shown them.
#pragma once

namespace scanner_text {

// --- Scanner client -----------------------------------------------------------
constexpr const char* kCheckFailure = "check failure";
constexpr const char* kConnectTimeout = "Timeout connecting  error";  // two blanks
constexpr const char* kConnectError = "Connecting  error";            // two blanks
constexpr const char* kBlockingModeError = "Error entering blocking mode with ioctlsocket()";
constexpr const char* kReadError = "Error reading from socket";
constexpr const char* kOpenError = "Open ethernet device error :";

// --- Bring-up and exchange --------------------------------------------------------
constexpr const char* kNotReady = "Сканер не готов к работе";
constexpr const char* kDoesNotStartFormat = "Сканер%d не включается";  // slot + 1
constexpr const char* kThreadFailedFormat = "Create data thread failed (%d)\n";
constexpr const char* kNoExchange = "Не удается организовать обмен данными сканера";
// A scanner log that cannot be written or closed (a full or failing disk),
// once per recording; the recording goes on.
constexpr const char* kLogWriteFailedFormat =
    "Не удается записать файл %s, запись продолжается";  // file name
// Confirmed settings while the recorder records: not applied.
constexpr const char* kSettingsNotApplied = "Идет запись: настройки не применены";

// --- Front-screen contamination (main dialog, under the scanner choice) -----------
constexpr const char* kContaminatedPrefix = "Загрязнено: ";     // + "Сканер1, Сканер2"
constexpr const char* kContaminatingPrefix = "Загрязняется: ";  // warning only
constexpr const char* kContaminatingLowerPrefix = "загрязняется: ";  // after the errors

// --- Main dialog ----------------------------------------------------------------
constexpr const char* kTitle = "Vestrami v";
constexpr const char* kSettingsCaption = "Параметры";
constexpr const char* kViewCaption = "Окно";
constexpr const char* kAngleCaption = "Поперечный угол, град";
constexpr const char* kBaseDistanceCaption = "Базовое расстояние, мм";
constexpr const char* kScannerEntryFormat = "Сканер%d";                   // slot + 1
constexpr const char* kRecordingFormat = "Запись %lld";                   // lines written
constexpr const char* kViewTextFormat = "Окно %.1f, %.1f   %.1fх%.1f м";  // Cyrillic х
constexpr const char* kSettingsTip = "Параметры подключения сканеров";
constexpr const char* kViewTip = "Положение центра и размер отображаемого окна";
constexpr const char* kAngleTip = "Стартовый угол сканера относительно горизонта";
constexpr const char* kBaseDistanceTip = "Ориентировочное расстояние от оси сканера до прокрытия";

// --- Profile display ------------------------------------------------------------
constexpr const char* kDirect2DError = "Direct2D error";
constexpr const char* kSectorLabelFormat = "%3d°";
constexpr const char* kLabelFont = "Verdana";

// --- Settings dialog ---------------------------------------------------------------
constexpr const char* kNotInCrew = "Сканеры не входят в рабочий комплект текущей бригады";

}  // namespace scanner_text
