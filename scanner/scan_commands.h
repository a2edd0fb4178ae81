// The recorder's side of the exchange: the command texts it writes into
// "MyScanCommandMappingObject", what each one asks of the service, and the
// answers and status texts the service writes back.
//
//   "1" + one separator + folder   start recording into the folder  -> "3\n"
//   "0"                            stop recording                   -> "3\n"
//   "2" [+ three numbers]          log the next scan of every scanner
//                                  with these values                -> "3\n" or "-1\n"
// A command that does not apply in the current state (start while
// recording, stop or log while idle) and any other text, including one
// that does not begin with a number, get no answer: the
// recorder sees its own text again. An answer overwrites the command, so the
// next poll reads 3 or -1 and does nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace scanner {

// --- The two named blocks ----------------------------------------------------
inline constexpr const char* kStatusMappingName = "MyScanFileMappingObject";
inline constexpr const char* kStatusMutexName = "MyScanBufferMutex";
inline constexpr size_t kStatusMappingSize = 16;
inline constexpr const char* kCommandMappingName = "MyScanCommandMappingObject";
inline constexpr const char* kCommandMutexName = "MyScanCommandMutex";
inline constexpr size_t kCommandMappingSize = 262;

// Characters of the command block read at most, of a folder taken at most,
// and the position where the scan for log values stops.
inline constexpr size_t kCommandTextLimit = 261;
inline constexpr size_t kFolderLimit = 259;
inline constexpr size_t kValueScanLimit = 260;
// The folder starts at this character of a start command.
inline constexpr size_t kFolderOffset = 2;

// --- Texts ------------------------------------------------------------------------
inline constexpr const char* kAnswerDone = "3\n";
inline constexpr int kAnswerDoneCode = 3;
inline constexpr int kAnswerScanFailedCode = -1;
inline constexpr const char* kStatusGood = "1\n";
inline constexpr const char* kStatusFailed = "0\n";
// Written into both blocks when the service stops.
inline constexpr const char* kServiceStopping = "0\n";
// The log values when a log command carries none.
inline constexpr double kDefaultLogValue = 1000.0;

enum class CommandCode : int { Stop = 0, Start = 1, LogNext = 2 };

enum class CommandAction { None, StartRecording, StopRecording, LogNext };

struct ScanCommand {
    CommandAction action = CommandAction::None;
    // StartRecording: the folder (ANSI code page, at most kFolderLimit
    // characters); empty: record in the current directory.
    std::string_view folder;
    // LogNext: the three values.
    double values[3] = {kDefaultLogValue, kDefaultLogValue, kDefaultLogValue};
};

// The command text's leading decimal integer, as the C library reads it
// (blanks, a sign, digits); 0 when there is none.
int LeadingInteger(std::string_view text);
// The same; `found` tells whether there was a digit at all.
int LeadingInteger(std::string_view text, bool* found);

// What `text` (the block's text, at most kCommandTextLimit characters) asks
// of a service that is or is not recording. The folder refers into `text`.
ScanCommand InterpretCommand(std::string_view text, bool recording);

// A number as the C library's atof reads it in the "C" locale (a point as
// the decimal separator, whatever the program's locale): decimal or
// hexadecimal, with its exponent, "inf" and "nan"; infinity when it is too
// large for a double; the sign kept, also of zero; 0 when there is none.
double ReadNumber(std::string_view text);

// "%d\n" of an answer code, into `out` (at least 16 bytes); returns its length.
size_t FormatAnswer(int code, char* out, size_t capacity);

}  // namespace scanner
