#include "common/base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Position of each byte in the alphabet, -1 for bytes outside it.
constexpr std::array<int8_t, 256> MakeTable() {
    std::array<int8_t, 256> table{};
    for (auto& v : table)
        v = -1;
    for (size_t i = 0; i < kAlphabet.size(); ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr std::array<int8_t, 256> kTable = MakeTable();

}  // namespace

std::string Base64Decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    uint32_t p[4] = {};
    size_t n = 0;
    for (char c : text) {
        const int8_t v = kTable[static_cast<unsigned char>(c)];
        if (v < 0)
            break;  // "=" and every other outsider end the text
        p[n++] = static_cast<uint32_t>(v);
        if (n == 4) {
            out.push_back(static_cast<char>((p[0] << 2) | (p[1] >> 4)));
            out.push_back(static_cast<char>(((p[1] & 15) << 4) | (p[2] >> 2)));
            out.push_back(static_cast<char>(((p[2] & 3) << 6) | p[3]));
            n = 0;
        }
    }
    if (n >= 2)
        out.push_back(static_cast<char>((p[0] << 2) | (p[1] >> 4)));
    if (n == 3)
        out.push_back(static_cast<char>(((p[1] & 15) << 4) | (p[2] >> 2)));
    return out;
}

std::optional<std::string> Base64DecodeWhole(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    // At most two "=" close the text, so every group keeps at least two
    // characters of the alphabet: "====" and "A===" are refused here.
    for (size_t i = 0; i + padding < text.size(); ++i) {
        if (kTable[static_cast<unsigned char>(text[i])] < 0)
            return std::nullopt;
    }
    return Base64Decode(text);
}
