// The update server's replies, as arbitrary text, through their readers: the
// version list, the command set (JSON strings, base64 command texts), and
// the version text of a program.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/update_protocol.h"
#include "platform/tests/fuzz_check.h"

namespace {

size_t Occurrences(std::string_view text, std::string_view key) {
    size_t n = 0;
    for (size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1))
        ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);

    // One entry per "build" key at most, in the reply's order.
    const auto versions = update::ParseVersionList(reply);
    FUZZ_CHECK(versions.size() <= Occurrences(reply, "\"build\":"));

    const update::DbCommandSet set = update::ParseDbCommandSet(reply);
    if (set.status == update::DbCommandSet::Status::Ok) {
        FUZZ_CHECK(reply.find("\"cnt\":") != std::string_view::npos);
        FUZZ_CHECK(set.commands.size() <= Occurrences(reply, "\"cmd\":"));
        for (const update::DbCommand& c : set.commands) {
            // Whole statements only: a command is never empty and ends with ';'.
            FUZZ_CHECK(!c.sql.empty() && c.sql.back() == ';');
            // Base64 gives at most 3 bytes for every 4 characters sent.
            FUZZ_CHECK(c.sql.size() <= size);
        }
    }

    // A JSON string read after each of the first quotes: the end lies inside
    // the text, right after a closing quote, and the raw length counts what
    // is between.
    for (size_t quote = reply.find('"'); quote != std::string_view::npos && quote < 64;
         quote = reply.find('"', quote + 1)) {
        const update::JsonString s = update::ReadJsonString(reply, quote + 1);
        if (s.status == update::JsonString::Status::Ok) {
            FUZZ_CHECK(s.end <= reply.size() && reply[s.end - 1] == '"');
            FUZZ_CHECK(s.end == quote + 2 + s.rawLength);
            FUZZ_CHECK(s.value.size() <= s.rawLength * 3);
        }
    }

    size_t next = 0;
    if (update::IntegerAfter(reply, "\"cnt\":", 0, &next))
        FUZZ_CHECK(next <= reply.size());

    // A version text: each missing part reads as the marker, and packing keeps
    // each part's low 16 bits in its place.
    const std::u16string version(reply.begin(), reply.begin() + (size < 40 ? size : 40));
    const auto parts = update::ParseVersionParts(version);
    const uint64_t packed = update::PackVersion(parts);
    FUZZ_CHECK((packed >> 48) == (static_cast<uint32_t>(parts[0]) & 0xFFFF));
    FUZZ_CHECK((packed & 0xFFFF) == (static_cast<uint32_t>(parts[3]) & 0xFFFF));
    return 0;
}
