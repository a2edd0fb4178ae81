#include "common/update_protocol.h"

#include <climits>

#include "common/base64.h"
#include "platform/text_codec.h"

namespace update {
namespace {

constexpr std::string_view kCntKey = "\"cnt\":";
constexpr std::string_view kBuildKey = "\"build\":";
constexpr std::string_view kCmdCntKey = "\"cmdcnt\":";
constexpr std::string_view kOrderKey = "\"order\":";
constexpr std::string_view kActionKey = "\"action\":";
constexpr std::string_view kActionEnd = "\",\"";
constexpr std::string_view kFlagsKey = "\"flags\":";
constexpr std::string_view kLenKey = "\"len\":";
constexpr std::string_view kCmdKey = "\"cmd\":";
constexpr std::string_view kDbAction = "db";

int64_t LeadingInt64(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    uint64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (v > (static_cast<uint64_t>(INT64_MAX) - 9) / 10)
            return negative ? INT64_MIN : INT64_MAX;  // clamped like the C library
        v = v * 10 + static_cast<uint64_t>(s[i] - '0');
    }
    return negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
}

int32_t ClampInt32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
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

// The code unit of the four hexadecimal digits at `at`; -1 when they are not.
int32_t CodeUnitAt(std::string_view text, size_t at) {
    int32_t unit = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

}  // namespace

std::string GetVerListBody(std::string_view digest, int32_t appId, uint64_t version,
                           uint32_t platform) {
    return "data=" + std::string(digest) + "&cmd=getverlist&appid=" + std::to_string(appId) +
           "&ver=" + std::to_string(version) + "&platform=" + std::to_string(platform);
}

std::string GetDbCmdBody(std::string_view digest, int32_t appId, int32_t dbVersion) {
    return "data=" + std::string(digest) + "&cmd=getdbcmd&appid=" + std::to_string(appId) +
           "&ver=" + std::to_string(dbVersion);
}

std::string WriteLogBody(std::string_view digest, uint32_t appId, int32_t dbVersion,
                         uint32_t platform, bool ok, std::string_view localAddress) {
    return "data=" + std::string(digest) + "&cmd=writelog&appid=" + std::to_string(appId) +
           "&ver=" + std::to_string(dbVersion) + "&platform=" + std::to_string(platform) +
           "&status=" + (ok ? "OK" : "Fail") + "&userip=" + std::string(localAddress);
}

std::optional<int64_t> IntegerAfter(std::string_view text, std::string_view key, size_t from,
                                    size_t* next) {
    if (from > text.size())
        return std::nullopt;
    const size_t at = text.find(key, from);
    if (at == std::string_view::npos)
        return std::nullopt;
    if (next)
        *next = at + key.size();
    return LeadingInt64(text.substr(at + key.size()));
}

JsonString ReadJsonString(std::string_view text, size_t from) {
    JsonString s;
    using Status = JsonString::Status;
    const auto fail = [&s](Status status) {
        s.status = status;
        s.value.clear();
        return s;
    };
    size_t i = from;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            s.rawLength = i - from;
            s.end = i + 1;
            return s;
        }
        if (static_cast<unsigned char>(c) < 0x20)
            return fail(Status::Malformed);  // a raw line break or other control
        if (c != '\\') {
            s.value.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 >= text.size())
            return fail(Status::Unterminated);
        const char e = text[i + 1];
        i += 2;
        switch (e) {
            case '"':
            case '\\':
            case '/':
                s.value.push_back(e);
                continue;
            case 'b':
                s.value.push_back('\b');
                continue;
            case 'f':
                s.value.push_back('\f');
                continue;
            case 'n':
                s.value.push_back('\n');
                continue;
            case 'r':
                s.value.push_back('\r');
                continue;
            case 't':
                s.value.push_back('\t');
                continue;
            case 'u':
                break;
            default:
                return fail(Status::Malformed);
        }
        if (text.size() - i < 4)
            return fail(Status::Unterminated);
        const int32_t unit = CodeUnitAt(text, i);
        if (unit < 0)
            return fail(Status::Malformed);
        i += 4;
        uint32_t cp = static_cast<uint32_t>(unit);
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return fail(Status::Malformed);  // a low surrogate without its high one
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            // A character beyond the basic plane comes as two escapes in a row.
            constexpr std::string_view kEscapeU = "\\u";
            const std::string_view next = text.substr(i, 2);
            if (next != kEscapeU.substr(0, next.size()))
                return fail(Status::Malformed);
            if (text.size() - i < 6)
                return fail(Status::Unterminated);
            const int32_t low = CodeUnitAt(text, i + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return fail(Status::Malformed);
            i += 6;
            cp = 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) +
                 (static_cast<uint32_t>(low) - 0xDC00);
        }
        platform::AppendUtf8(s.value, static_cast<char32_t>(cp));
    }
    return fail(Status::Unterminated);
}

std::vector<VersionEntry> ParseVersionList(std::string_view reply) {
    std::vector<VersionEntry> list;
    const auto count = IntegerAfter(reply, kCntKey);
    if (!count || *count == 0)
        return list;
    size_t pos = 0;
    for (;;) {
        const auto build = IntegerAfter(reply, kBuildKey, pos, &pos);
        if (!build)
            break;
        const auto commands = IntegerAfter(reply, kCmdCntKey, pos, &pos);
        if (!commands)
            break;
        list.push_back(VersionEntry{*build, ClampInt32(*commands)});
    }
    return list;
}

DbCommandSet ParseDbCommandSet(std::string_view reply) {
    DbCommandSet set;
    // A set that can't be read whole is refused whole: nothing of it runs.
    const auto refuse = [&set](DbCommandSet::Status status) {
        set.status = status;
        set.commands.clear();
        return set;
    };
    size_t pos = 0;
    const auto count = IntegerAfter(reply, kCntKey, 0, &pos);
    if (!count)
        return refuse(DbCommandSet::Status::MissingCount);
    set.count = ClampInt32(*count);
    if (set.count == 0)
        return set;
    int64_t items = 0;  // items read whole
    for (;;) {
        const size_t order = reply.find(kOrderKey, pos);
        if (order == std::string_view::npos)
            break;
        const size_t action = reply.find(kActionKey, order + kOrderKey.size());
        if (action == std::string_view::npos)
            break;
        // The value starts after the key and its opening quote.
        const size_t actionStart = action + kActionKey.size() + 1;
        if (actionStart > reply.size())
            break;
        const size_t actionEnd = reply.find(kActionEnd, actionStart);
        if (actionEnd == std::string_view::npos)
            break;
        if (reply.substr(actionStart, actionEnd - actionStart) != kDbAction) {
            ++items;
            ++set.skippedItems;
            pos = action + kActionKey.size();
            continue;
        }
        size_t next = 0;
        const auto flags = IntegerAfter(reply, kFlagsKey, action, &next);
        if (!flags)
            break;
        const auto length = IntegerAfter(reply, kLenKey, next, &next);
        if (!length)
            break;
        const size_t cmd = reply.find(kCmdKey, next);
        if (cmd == std::string_view::npos)
            break;
        const size_t quote = cmd + kCmdKey.size();
        if (quote >= reply.size())
            return refuse(DbCommandSet::Status::Truncated);
        if (reply[quote] != '"')
            return refuse(DbCommandSet::Status::BadCommand);
        // The whole JSON string, its escapes undone: a JSON writer sends every
        // "/" of the base64 text as "\/", and reading "len" characters as they
        // arrived would cut the command short (and lose its WHERE clause).
        const JsonString text = ReadJsonString(reply, quote + 1);
        if (text.status == JsonString::Status::Unterminated)
            return refuse(DbCommandSet::Status::Truncated);
        if (text.status == JsonString::Status::Malformed)
            return refuse(DbCommandSet::Status::BadCommand);
        // "len" counts the base64 text, as meant or as sent; more than arrived
        // is a cut reply, and any other length means the command is not the
        // one the server sent.
        const int64_t sent = static_cast<int64_t>(text.rawLength);
        const int64_t meant = static_cast<int64_t>(text.value.size());
        if (*length > sent)
            return refuse(DbCommandSet::Status::Truncated);
        std::optional<std::string> decoded;
        if (*length == sent || *length == meant)
            decoded = Base64DecodeWhole(text.value);
        if (!decoded)
            return refuse(DbCommandSet::Status::BadCommand);
        std::string sql = std::move(*decoded);
        if (sql.empty())
            return refuse(DbCommandSet::Status::EmptyCommand);
        if (sql.back() != ';')
            sql.push_back(';');
        set.commands.push_back(DbCommand{*flags, std::move(sql)});
        ++items;
        pos = text.end;
    }
    // Fewer items than announced: the reply was cut between or inside items,
    // and applying the front part would mark the version done without the rest.
    if (items < set.count)
        return refuse(DbCommandSet::Status::Truncated);
    return set;
}

std::array<int32_t, 4> ParseVersionParts(std::u16string_view text) {
    std::array<int32_t, 4> parts{kMissingVersionPart, kMissingVersionPart, kMissingVersionPart,
                                 kMissingVersionPart};
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            const size_t dot = text.find(u'.', start);
            if (dot == std::u16string_view::npos)
                break;
            start = dot + 1;
        }
        // The part's leading number; the texts are plain ASCII digits.
        std::string narrow;
        for (size_t j = start; j < text.size() && text[j] < 0x80 && text[j] != u'.'; ++j)
            narrow.push_back(static_cast<char>(text[j]));
        parts[i] = ClampInt32(LeadingInt64(narrow));
    }
    return parts;
}

uint64_t PackVersion(const std::array<int32_t, 4>& parts) {
    uint64_t v = 0;
    for (int32_t p : parts)
        v = (v << 16) | (static_cast<uint32_t>(p) & 0xFFFFu);
    return v;
}

}  // namespace update
