// The portable part of survey-inspect.exe: its command line, how a block's
// text is shown on one line and how a command text is typed, and the UTC
// stamp of a printed change. No Win32 here, so the host build tests it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace inspect {

enum class Command { Help, List, Read, Watch, Send };

struct Options {
    Command command = Command::Help;
    // Block names as typed (mapping name or short name); watch: none = all.
    std::vector<std::string> names;
    // send: the command text, escapes resolved (8-bit, as typed).
    std::string text;
    // watch and send: between two looks at a block, ms.
    uint32_t intervalMs = 10;
    // watch: stop after this long, ms (0: until interrupted).
    uint32_t durationMs = 0;
    // send: how long to wait for the answer, ms.
    uint32_t answerMs = 5000;
};

struct ParseResult {
    std::optional<Options> options;
    std::string error;  // set when options is empty
};

// The arguments after the program name, UTF-8.
ParseResult ParseArguments(const std::vector<std::string>& args);

// A block's text on one line: line feeds, other control characters and the
// backslash as escapes (\n, \r, \t, \\, \xHH); everything else unchanged.
std::string Escape(std::string_view text);
// The reverse, for texts typed on the command line: \n \r \t \\ \xHH.
// False on an escape that is not one of these.
bool Unescape(std::string_view typed, std::string& text);

// "2026-12-08T12:50:01.123Z"
std::string UtcStamp(const platform::CivilTime& utc);

}  // namespace inspect
