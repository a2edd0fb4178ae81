#include "scanner/scan_commands.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <limits>

namespace scanner {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Whether a number that does not fit a double is too large rather than too
// small: its decimal (or binary) exponent, counted from its first non-zero
// digit, is positive.
bool TooLargeToHold(std::string_view number, std::chars_format format) {
    const bool hex = format == std::chars_format::hex;
    long long magnitude = 0;  // position of the first non-zero digit, in digits
    bool seenPoint = false, seenDigit = false;
    size_t i = 0;
    for (; i < number.size(); ++i) {
        const char c = number[i];
        const bool digit =
            hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
        if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else if (digit) {
            if (c != '0')
                seenDigit = true;
            if (seenDigit && !seenPoint)
                ++magnitude;
            else if (!seenDigit && seenPoint)
                --magnitude;
        } else {
            break;
        }
    }
    long long exponent = 0;
    if (i < number.size() &&
        (hex ? (number[i] == 'p' || number[i] == 'P') : (number[i] == 'e' || number[i] == 'E'))) {
        bool negativeExponent = false;
        ++i;
        if (i < number.size() && (number[i] == '+' || number[i] == '-'))
            negativeExponent = number[i++] == '-';
        for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i)
            exponent = exponent < 100000000 ? exponent * 10 + (number[i] - '0') : exponent;
        if (negativeExponent)
            exponent = -exponent;
    }
    // Hexadecimal digits count four bits each against a binary exponent.
    return (hex ? magnitude * 4 : magnitude) + exponent > 0;
}

}  // namespace

int LeadingInteger(std::string_view text) {
    return LeadingInteger(text, nullptr);
}

int LeadingInteger(std::string_view text, bool* found) {
    size_t p = 0;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    long long value = 0;
    if (found != nullptr)
        *found = p < text.size() && text[p] >= '0' && text[p] <= '9';
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
        if (value <= INT_MAX)
            value = value * 10 + (text[p] - '0');
        ++p;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

double ReadNumber(std::string_view text) {
    size_t p = 0;
    while (p < text.size() && IsBlank(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    const char* const first = text.data() + p;
    const char* const last = text.data() + text.size();
    // atof reads "0x" as the start of a hexadecimal number ("0x10" is 16,
    // "0x1p3" is 8); "0x" without a digit after it is the number 0.
    std::chars_format format = std::chars_format::general;
    const char* digits = first;
    if (last - first >= 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        format = std::chars_format::hex;
        digits = first + 2;
    }
    double value = 0.0;
    if (digits < last && *digits != '+' && *digits != '-') {
        const auto result = std::from_chars(digits, last, value, format);
        if (result.ec == std::errc::result_out_of_range)
            value = TooLargeToHold(std::string_view(digits, last - digits), format)
                        ? std::numeric_limits<double>::infinity()
                        : 0.0;  // atof gives HUGE_VAL or underflows towards 0
        else if (result.ec != std::errc())
            value = 0.0;
    }
    return negative ? -value : value;
}

ScanCommand InterpretCommand(std::string_view text, bool recording) {
    if (text.size() > kCommandTextLimit)
        text = text.substr(0, kCommandTextLimit);
    ScanCommand command;
    bool numbered = false;
    const int code = LeadingInteger(text, &numbered);
    if (!numbered)
        return command;  // not a command: no number to act on
    switch (code) {
        case static_cast<int>(CommandCode::Start):
            if (recording)
                break;
            command.action = CommandAction::StartRecording;
            if (text.size() > kFolderOffset)
                command.folder = text.substr(kFolderOffset, kFolderLimit);
            break;
        case static_cast<int>(CommandCode::Stop):
            if (recording)
                command.action = CommandAction::StopRecording;
            break;
        case static_cast<int>(CommandCode::LogNext): {
            if (!recording)
                break;
            command.action = CommandAction::LogNext;
            if (text.size() <= 2)
                break;
            const size_t limit = text.size() < kValueScanLimit ? text.size() : kValueScanLimit;
            size_t p = 1;
            for (double& value : command.values) {
                while (p < limit && text[p] == ' ')
                    ++p;
                if (p >= limit) {
                    value = 0.0;
                    continue;
                }
                value = ReadNumber(text.substr(p, limit - p));
                while (p < limit && text[p] != ' ')
                    ++p;
            }
            break;
        }
        default:
            break;
    }
    return command;
}

size_t FormatAnswer(int code, char* out, size_t capacity) {
    if (out == nullptr || capacity < 16)
        return 0;
    const int n = std::snprintf(out, capacity, "%d\n", code);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

}  // namespace scanner
