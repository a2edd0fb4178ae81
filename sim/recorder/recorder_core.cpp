#include "sim/recorder/recorder_core.h"

#include <cctype>

namespace recorder {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool AllDigits(std::string_view s) {
    if (s.empty())
        return false;
    for (const char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The leading integer of a block text, as the services read it (strtol).
bool LeadingInteger(std::string_view text, long& value) {
    std::size_t i = 0;
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        value = value * 10 + (text[i++] - '0');
    if (negative)
        value = -value;
    return true;
}

}  // namespace

std::string ScannerStart(std::string_view folder) {
    return "1\n" + std::string(folder);
}
std::string ScannerStop() {
    return "0";
}
std::string ScannerLog() {
    return "2";
}
std::string ScannerLog(std::string_view a, std::string_view b, std::string_view c) {
    return "2 " + std::string(a) + " " + std::string(b) + " " + std::string(c);
}

std::string SensorsStart(std::string_view folder) {
    return "1\n" + std::string(folder);
}
std::string SensorsStop() {
    return "0\n";
}

std::string GnssStart(std::string_view folder) {
    return "1 " + std::string(folder);
}
std::string GnssStop() {
    return "1";
}
std::string GnssContinue() {
    return "2";
}

Answer ReadAnswer(std::string_view command, std::string_view current) {
    if (current == command)
        return Answer::Pending;
    long value = 0;
    if (!LeadingInteger(current, value))
        return Answer::Other;
    if (value == 3)
        return Answer::Done;
    if (value == -1)
        return Answer::ScanFailed;
    return Answer::Other;
}

const char* AnswerName(Answer answer) {
    switch (answer) {
        case Answer::Pending:
            return "pending";
        case Answer::Done:
            return "done";
        case Answer::ScanFailed:
            return "scan-failed";
        case Answer::Other:
            return "other";
    }
    return "?";
}

std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[i + 1];
        if (next == 'n') {
            out += '\n';
            ++i;
        } else if (next == 'r') {
            out += '\r';
            ++i;
        } else if (next == 't') {
            out += '\t';
            ++i;
        } else if (next == '\\') {
            out += '\\';
            ++i;
        } else if (next == 'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 &&
                   HexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
            i += 3;
        } else {
            out += text[i];  // a backslash of a path stays
        }
    }
    return out;
}

const char* ServiceOfFile(std::string_view name) {
    static const char* const kSensorFiles[] = {"sensWay.txt",    "sensSlope.txt", "leftLazer.txt",
                                               "rightLazer.txt", "session.ini",   "acp.dmp",
                                               "tar.txt"};
    for (const char* file : kSensorFiles)
        if (EqualsNoCase(name, file))
            return "sensors";
    // scanner0.log, scanner1.log
    if (name.size() > 11 && EqualsNoCase(name.substr(0, 7), "scanner") &&
        EqualsNoCase(name.substr(name.size() - 4), ".log") &&
        AllDigits(name.substr(7, name.size() - 11)))
        return "scanner";
    // yymmddhhmmss + "gps.log"
    if (name.size() == 19 && AllDigits(name.substr(0, 12)) &&
        EqualsNoCase(name.substr(12), "gps.log"))
        return "gnss";
    return "other";
}

std::size_t CountLines(std::string_view bytes) {
    std::size_t lines = 0;
    for (const char c : bytes)
        lines += c == '\n';
    if (!bytes.empty() && bytes.back() != '\n')
        ++lines;
    return lines;
}

}  // namespace recorder
