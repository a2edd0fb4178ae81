#include "scanner/scan_reply_parser.h"

namespace sopas {
namespace {

struct LayoutFields {
    int distanceName;    // token index of "DIST1"
    int distanceScale;   // its scale factor (parsed, not used)
    int distanceCount;   // D
    int remissionName;   // position after the distances of "RSSI1", counted from 1
    int remissionCount;  // position of R
};

constexpr LayoutFields kFirstLayout{20, 21, 25, 1, 6};
constexpr LayoutFields kSecondLayout{22, 23, 27, 2, 7};

// Next token at or after `pos`, blanks skipped; empty at the end.
std::string_view NextToken(std::string_view text, size_t& pos) {
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    const size_t start = pos;
    while (pos < text.size() && text[pos] != ' ')
        ++pos;
    return text.substr(start, pos - start);
}

ScanReplyResult Fail(ScanReplyError error) {
    return ScanReplyResult{false, 0, error};
}

ScanReplyResult NoPoints() {
    return ScanReplyResult{true, 0, ScanReplyError::None};
}

// Hexadecimal digit values by byte; -1 for every other byte.
struct HexTable {
    int8_t digit[256];
    constexpr HexTable() : digit() {
        for (int c = 0; c < 256; ++c)
            digit[c] = -1;
        for (int c = '0'; c <= '9'; ++c)
            digit[c] = static_cast<int8_t>(c - '0');
        for (int c = 'A'; c <= 'F'; ++c)
            digit[c] = static_cast<int8_t>(c - 'A' + 10);
        for (int c = 'a'; c <= 'f'; ++c)
            digit[c] = static_cast<int8_t>(c - 'a' + 10);
    }
};
constexpr HexTable kHex;

int HexDigit(char c) {
    return kHex.digit[static_cast<unsigned char>(c)];
}

// Reads `count` value tokens from `pos` into `out` in one pass (the bulk of
// a scan reply). False when the reply ends first.
bool ReadValues(std::string_view text, size_t& pos, uint32_t* out, uint32_t count) {
    const char* p = text.data() + pos;
    const char* const end = text.data() + text.size();
    for (uint32_t i = 0; i < count; ++i) {
        while (p < end && *p == ' ')
            ++p;
        if (p == end)
            return false;
        uint64_t value = 0;
        int digit;
        while (p < end && (digit = HexDigit(*p)) >= 0) {
            value = (value << 4) | static_cast<uint64_t>(digit);
            if (value > 0xFFFFFFFFull)
                value = 0x1FFFFFFFFull;  // saturated; stays above 32 bits
            ++p;
        }
        while (p < end && *p != ' ')  // the rest of a token that is no number
            ++p;
        out[i] = value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
    }
    pos = static_cast<size_t>(p - text.data());
    return true;
}

}  // namespace

uint32_t ParseHexField(std::string_view token) {
    uint64_t value = 0;
    for (char c : token) {
        const int digit = HexDigit(c);
        if (digit < 0)
            break;
        value = (value << 4) | static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull)
            return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

uint32_t SecondStatusWord(std::string_view reply) {
    size_t pos = 0;
    std::string_view token;
    for (int index = 0; index <= 6; ++index) {
        token = NextToken(reply, pos);
        if (token.empty())
            return 0;
    }
    return ParseHexField(token);
}

ScanReplyResult ParseScanReply(std::string_view reply, ScanLayout layout, uint32_t* values,
                               size_t capacity) {
    if (layout != ScanLayout::First && layout != ScanLayout::Second)
        return Fail(ScanReplyError::NoLayout);
    const LayoutFields& f = layout == ScanLayout::First ? kFirstLayout : kSecondLayout;
    size_t limit = capacity / 2;
    if (limit > static_cast<size_t>(kMaxScanPoints))
        limit = kMaxScanPoints;
    if (values == nullptr)
        limit = 0;

    size_t pos = 0;
    uint32_t distanceCount = 0;
    // Header: tokens 0 up to the distance count.
    for (int index = 0;; ++index) {
        const std::string_view token = NextToken(reply, pos);
        if (token.empty())
            return Fail(ScanReplyError::Truncated);
        if (index == 0) {
            if (token.size() < 1 || token.substr(1).substr(0, 3) != kReadAnswer)
                return Fail(ScanReplyError::NotAnAnswer);
        } else if (index == 1) {
            if (token != kScanDataName)
                return Fail(ScanReplyError::NotScanData);
        } else if (index == 5) {
            if (token != kStatusOk)
                return Fail(ScanReplyError::DeviceStatus);
        } else if (index == 6) {
            if ((ParseHexField(token) & kStatusFailedBits) != 0)
                return Fail(ScanReplyError::DeviceStatus);
        } else if (index == f.distanceName) {
            if (token != kDistanceChannel)
                return Fail(ScanReplyError::NoDistanceBlock);
        } else if (index == f.distanceCount) {
            distanceCount = ParseHexField(token);
            break;
        }
    }
    if (distanceCount == 0)
        return NoPoints();
    if (distanceCount > limit)
        return Fail(ScanReplyError::TooManyPoints);
    if (!ReadValues(reply, pos, values, distanceCount))
        return Fail(ScanReplyError::Truncated);

    // Remission block, its tokens counted from 1 after the distances.
    uint32_t remissionCount = 0;
    for (int k = 1;; ++k) {
        const std::string_view token = NextToken(reply, pos);
        if (token.empty()) {
            // Ending before "RSSI1" has been seen: a scan without remission.
            return k <= f.remissionName ? NoPoints() : Fail(ScanReplyError::Truncated);
        }
        if (k == f.remissionName) {
            if (token != kRemissionChannel)
                return NoPoints();
        } else if (k == f.remissionCount) {
            remissionCount = ParseHexField(token);
            break;
        }
    }
    if (remissionCount == 0)
        return NoPoints();
    if (remissionCount > limit)
        return Fail(ScanReplyError::TooManyPoints);
    if (remissionCount != distanceCount)
        return Fail(ScanReplyError::CountMismatch);
    if (!ReadValues(reply, pos, values + remissionCount, remissionCount))
        return Fail(ScanReplyError::Truncated);
    return ScanReplyResult{true, static_cast<int32_t>(remissionCount), ScanReplyError::None};
}

}  // namespace sopas
