#include "common/update_protocol.h"

#include <climits>

#include "common/base64.h"

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
    size_t pos = 0;
    const auto count = IntegerAfter(reply, kCntKey, 0, &pos);
    if (!count) {
        set.status = DbCommandSet::Status::MissingCount;
        return set;
    }
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
        const size_t cmdStart = cmd + kCmdKey.size() + 1;
        const uint64_t want = *length < 0 ? 0 : static_cast<uint64_t>(*length);
        // A command announced longer than what arrived is a cut reply: running
        // its front part could run a different statement than the one sent.
        if (cmdStart > reply.size() || want > reply.size() - cmdStart) {
            set.status = DbCommandSet::Status::Truncated;
            return set;
        }
        std::string sql = Base64Decode(reply.substr(cmdStart, static_cast<size_t>(want)));
        if (sql.empty()) {
            set.status = DbCommandSet::Status::EmptyCommand;
            return set;
        }
        if (sql.back() != ';')
            sql.push_back(';');
        set.commands.push_back(DbCommand{*flags, std::move(sql)});
        ++items;
        pos = cmdStart + static_cast<size_t>(want);
    }
    // Fewer items than announced: the reply was cut between or inside items,
    // and applying the front part would mark the version done without the rest.
    if (items < set.count) {
        set.status = DbCommandSet::Status::Truncated;
        set.commands.clear();
    }
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

std::string SqlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        switch (c) {
            case '\0':
                out += "\\0";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\'':
                out += "\\'";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\x1a':
                out += "\\Z";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

}  // namespace update
