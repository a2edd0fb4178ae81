// The wrapper's fixed texts: statements it sends of its own and the messages
// it shows (UTF-8).
#pragma once

#include <cstddef>

namespace sql_texts {

inline constexpr const char* kCharacterSet = "utf8";
inline constexpr const char* kSetCollation = "SET COLLATION_CONNECTION=utf8_general_ci";

// Head of the `err_log` row; the number and four quoted texts follow.
inline constexpr const char* kErrLogInsertHead =
    "INSERT INTO `err_log` (`errnum`, `app`, `query`, `user`, `note`) VALUES (";
// Limits of the logged texts before escaping.
inline constexpr size_t kErrLogQueryMaxBytes = 2048;
inline constexpr size_t kErrLogNoteMaxChars = 1024;
// The `app` column: application name, " 64bit v.", product version.
inline constexpr const char* kAppVersionSeparator = " 64bit v.";
inline constexpr const char* kFailedAttemptsNote = "Количество неудачных попыток: %d";

inline constexpr const char* kErrorCaption = "Ошибка!";
inline constexpr const char* kErrorMessage = "Error %u: %s\nДействие не выполнено.";
inline constexpr size_t kErrorTextMaxChars = 2048;
inline constexpr const char* kRerunFailed =
    "После потери связи подключение к SQL серверу восстановлено, но последнюю команду выполнить "
    "не удалось.";
inline constexpr const char* kLockFailureMessage =
    "Ошибка блокировки потока во время SQL запроса. Передайте разработчику файл %s из папки, в "
    "которой находится программа.";

// Error texts of our own where the client library has none to give.
inline constexpr const char* kNoClientLibrary =
    "The MySQL client library (libmysql.dll or libmariadb.dll) could not be loaded";
inline constexpr const char* kNoClientHandle = "The MySQL client library could not create a handle";

}  // namespace sql_texts
