#include "tools/inspect/inspect_core.h"

#include <charconv>
#include <cstdio>

namespace inspect {
namespace {

bool ParseMs(const std::string& text, uint32_t& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
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

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    Options options;
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h" || a == "/?") {
            result.options = Options{};
            return result;
        }
        uint32_t* target = nullptr;
        if (a == "--interval")
            target = &options.intervalMs;
        else if (a == "--for")
            target = &options.durationMs;
        else if (a == "--timeout")
            target = &options.answerMs;
        if (target != nullptr) {
            if (i + 1 >= args.size() || !ParseMs(args[i + 1], *target)) {
                result.error = "option " + a + " needs a number of milliseconds";
                return result;
            }
            ++i;
            continue;
        }
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            result.error = "unknown option " + a;
            return result;
        }
        words.push_back(a);
    }
    if (options.intervalMs == 0) {
        result.error = "--interval must be at least 1 ms";
        return result;
    }
    if (words.empty()) {
        result.error = "no command (list, read, watch or send; --help)";
        return result;
    }
    const std::string& command = words[0];
    const size_t operands = words.size() - 1;
    if (command == "list" && operands == 0) {
        options.command = Command::List;
    } else if (command == "read" && operands == 1) {
        options.command = Command::Read;
        options.names.push_back(words[1]);
    } else if (command == "watch") {
        options.command = Command::Watch;
        options.names.assign(words.begin() + 1, words.end());
    } else if (command == "send" && operands == 2) {
        options.command = Command::Send;
        options.names.push_back(words[1]);
        if (!Unescape(words[2], options.text)) {
            result.error = "bad escape in the text (\\n \\r \\t \\\\ \\xHH)";
            return result;
        }
    } else {
        result.error = "bad command line: " + command + " with " + std::to_string(operands) +
                       " operand(s) (--help)";
        return result;
    }
    result.options = options;
    return result;
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || u == 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

bool Unescape(std::string_view typed, std::string& text) {
    text.clear();
    for (size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] != '\\') {
            text += typed[i];
            continue;
        }
        if (++i >= typed.size())
            return false;
        switch (typed[i]) {
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 't':
                text += '\t';
                break;
            case '\\':
                text += '\\';
                break;
            case 'x': {
                if (i + 2 >= typed.size())
                    return false;
                const int high = HexDigit(typed[i + 1]);
                const int low = HexDigit(typed[i + 2]);
                if (high < 0 || low < 0)
                    return false;
                text += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

std::string UtcStamp(const platform::CivilTime& utc) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utc.year, utc.month,
                  utc.day, utc.hour, utc.minute, utc.second, utc.milliseconds);
    return stamp;
}

}  // namespace inspect
