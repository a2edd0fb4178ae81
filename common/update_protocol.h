// The update server's wire texts: form bodies of getverlist, getdbcmd and
// writelog, the reading of their replies, and the program version numbers
// compared with the listed builds.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace update {

inline constexpr char16_t kScriptPath[] = u"getupdate.php";
inline constexpr char16_t kUserIpPath[] = u"/getuserip.php";
inline constexpr int32_t kProgramPlatform = 3;  // platform of program builds
inline constexpr int32_t kDatabaseAppId = 1;    // the database's "application"
inline constexpr int32_t kDatabasePlatform = 1;
inline constexpr int32_t kVersionRowId = 1;  // `versions` row describing the database
inline constexpr int32_t kMissingVersionPart = -1000000;

struct VersionEntry {
    int64_t build = 0;
    int32_t commandCount = 0;
    bool operator==(const VersionEntry&) const = default;
};

// "data=%s&cmd=getverlist&appid=%d&ver=%I64u&platform=%u"
std::string GetVerListBody(std::string_view digest, int32_t appId, uint64_t version,
                           uint32_t platform);
// "data=%s&cmd=getdbcmd&appid=%d&ver=%d"
std::string GetDbCmdBody(std::string_view digest, int32_t appId, int32_t dbVersion);
// "data=%s&cmd=writelog&appid=%u&ver=%s&platform=%u&status=%s&userip=%s"
std::string WriteLogBody(std::string_view digest, uint32_t appId, int32_t dbVersion,
                         uint32_t platform, bool ok, std::string_view localAddress);

// The getverlist reply: nothing unless "cnt" is present and not 0; then
// every "build" with the "cmdcnt" that follows it, in reply order.
std::vector<VersionEntry> ParseVersionList(std::string_view reply);

// One "db" item of a getdbcmd reply, its command decoded.
struct DbCommand {
    int64_t flags = 0;
    std::string sql;  // UTF-8, ends with ";"
    bool ForeignKeyChecks() const { return (flags & 2) != 0; }
};

struct DbCommandSet {
    enum class Status {
        Ok,            // every item read; `commands` holds the "db" items
        MissingCount,  // no "cnt" key: the reply is not a command set
        Truncated,     // a "db" command runs past the end, or fewer items than "cnt"
        EmptyCommand,  // a "db" command decodes to nothing
        BadCommand,    // a "db" command is not a JSON string of whole base64 text,
                       // or does not have its announced length
    };
    Status status = Status::Ok;
    int32_t count = 0;  // the "cnt" value
    std::vector<DbCommand> commands;
    int skippedItems = 0;  // items whose action is not "db"
};

// Walks the items of a getdbcmd reply from its "cnt" key. Nothing is read
// past the end of the reply; a reply carrying fewer items than its "cnt"
// announces, or a command longer than what arrived, is Truncated. Each "cmd"
// value is read as the JSON string it is (the server's JSON writer may escape
// every "/" of the base64 text as "\/"), and its whole text must be base64.
DbCommandSet ParseDbCommandSet(std::string_view reply);

// A JSON string value read from the character after its opening quote.
struct JsonString {
    enum class Status {
        Ok,
        Unterminated,  // the text ends before the closing quote (or inside an escape)
        Malformed,     // a raw control character, an unknown escape, a lone surrogate
    };
    Status status = Status::Ok;
    std::string value;     // escapes undone, UTF-8
    size_t rawLength = 0;  // characters between the quotes, as sent
    size_t end = 0;        // just after the closing quote
};
// Undoes \" \\ \/ \b \f \n \r \t and \uXXXX (a surrogate pair as one character).
JsonString ReadJsonString(std::string_view text, size_t from);

// The integer after `key` (a C library atoi/_atoi64 reading: blanks, sign,
// digits), searched from `from`; nullopt when the key is absent. `next`
// receives the position just after the key.
std::optional<int64_t> IntegerAfter(std::string_view text, std::string_view key, size_t from = 0,
                                    size_t* next = nullptr);

// Version text "a.b.c.d" into its four parts; a missing part is -1000000.
std::array<int32_t, 4> ParseVersionParts(std::u16string_view text);
// major in bits 63..48, minor 47..32, build 31..16, revision 15..0 (low 16 bits each).
uint64_t PackVersion(const std::array<int32_t, 4>& parts);

}  // namespace update
