// What the suite's recording program says to the three services, as texts:
// the named blocks it uses, the command texts, how answers are read, and how
// the files a recording leaves in its folder are told apart. Portable, so the
// texts are unit tested natively.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace recorder {

// A named shared text block of a service.
struct BlockName {
    const wchar_t* mapping;
    const wchar_t* mutex;
    std::size_t size;
};

inline constexpr BlockName kScannerStatus{L"MyScanFileMappingObject", L"MyScanBufferMutex", 16};
inline constexpr BlockName kScannerCommand{L"MyScanCommandMappingObject", L"MyScanCommandMutex",
                                           262};
inline constexpr BlockName kSensorData{L"MySensorFileMappingObject", L"MySensorBufferMutex", 1024};
inline constexpr BlockName kSensorWriteState{L"MyFilesWSMappingObject", L"MySensorWriteStateMutex",
                                             262};
inline constexpr BlockName kGnssLogFolder{L"MyLogFolderMappingObject", L"MyGPSLogFolderMutex", 260};

// Scanner commands. The scanner reads the leading integer and, for "1", the
// folder from the third character on: "1", one separator, the folder.
std::string ScannerStart(std::string_view folder);
std::string ScannerStop();
// "2" alone logs the next scans with the value 1000.0; "2 a b c" with those three.
std::string ScannerLog();
std::string ScannerLog(std::string_view a, std::string_view b, std::string_view c);

// The sensor service records while the leading digit is above 0; the folder
// follows a line feed.
std::string SensorsStart(std::string_view folder);
std::string SensorsStop();

// The GNSS service's run-log commands (through gps.dll's _SetLogFolder):
// "1 <folder>" starts a new run log, "1" alone stops run logging, "2" goes on
// with the last one.
std::string GnssStart(std::string_view folder);
std::string GnssStop();
std::string GnssContinue();

// The longest text a block of `size` bytes carries (its terminator aside).
inline constexpr std::size_t MaxText(std::size_t size) {
    return size == 0 ? 0 : size - 1;
}
// gps.dll copies at most 259 characters into the 260-byte log-folder block.
inline constexpr std::size_t kGnssCommandMax = 259;

enum class Answer {
    Pending,     // the block still holds the command
    Done,        // "3": the scanner did it
    ScanFailed,  // "-1": logged, but the last scan failed
    Other,       // anything else, e.g. "0\n" from a scanner shutting down
};
// What the scanner's command block says after `command` was written.
Answer ReadAnswer(std::string_view command, std::string_view current);
const char* AnswerName(Answer answer);

// Block texts printed on one line: a line feed as \n, a carriage return as \r.
std::string Printable(std::string_view text);
// A text given on the command line: \n, \r, \t, \\ and \xHH are unescaped.
std::string Unescape(std::string_view text);

// Which service wrote a file of a recording folder: "gnss" (its run log,
// yymmddhhmmss "gps.log"), "scanner" ("scanner<N>.log"), "sensors" (channel
// files, "session.ini", "acp.dmp", "tar.txt"), or "other".
const char* ServiceOfFile(std::string_view name);

// Line feeds in `bytes`, plus one for a last line without its line feed.
std::size_t CountLines(std::string_view bytes);

}  // namespace recorder
