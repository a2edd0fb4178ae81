// The serial odometer's UTF-16LE line assembly and its "voltage=" lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sensors/odometer_lines.h"

namespace {

std::vector<uint8_t> Utf16Le(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

// Feeds `bytes` in reads of the given sizes (cycled) and collects the lines.
std::vector<std::u16string> Feed(OdometerLineAssembler& a, const std::vector<uint8_t>& bytes,
                                 const std::vector<size_t>& reads) {
    std::vector<std::u16string> lines;
    size_t at = 0;
    for (size_t r = 0; at < bytes.size(); ++r) {
        const size_t n = std::min(reads[r % reads.size()], bytes.size() - at);
        a.Append(bytes.data() + at, n);
        at += n;
        a.TakeLines([&](std::u16string_view line) { lines.emplace_back(line); });
    }
    return lines;
}

TEST(VoltageLineTest, NumberAfterTheKey) {
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"voltage=4.25"), 4.25);
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"ch1 voltage= -0.5V\r"), -0.5);
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"voltage=1e1,x"), 10.0);
    // A number that cannot be read is 0.
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"voltage=abc"), 0.0);
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"voltage="), 0.0);
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"voltage=3\u04124"), 3.0);
    // A long run of leading zeros is still the number it writes.
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"voltage=" + std::u16string(70, u'0') + u"5"), 5.0);
    EXPECT_DOUBLE_EQ(*ParseVoltageLine(u"voltage=0." + std::u16string(300, u'0') + u"1e301"), 1.0);
    EXPECT_FALSE(ParseVoltageLine(u"Voltage=1.0").has_value());
    EXPECT_FALSE(ParseVoltageLine(u"").has_value());
}

TEST(OdometerAssemblerTest, EverySplitOfTheStreamGivesTheSameLines) {
    const std::u16string text = u"voltage=1.0\r\nvoltage=4.0\r\nнапряжение\nvoltage=12.5\n";
    const std::vector<uint8_t> bytes = Utf16Le(text);
    const std::vector<std::u16string> expected = {u"voltage=1.0\r", u"voltage=4.0\r", u"напряжение",
                                                  u"voltage=12.5"};
    // Odd and even read sizes, one byte at a time included.
    for (const std::vector<size_t>& reads : std::vector<std::vector<size_t>>{
             {1}, {3}, {255}, {7, 2}, {1, 4, 9}, {bytes.size()}, {5, 1, 1}}) {
        OdometerLineAssembler a;
        EXPECT_EQ(Feed(a, bytes, reads), expected) << "first read " << reads[0];
        EXPECT_EQ(a.Fill(), 0u);
        EXPECT_FALSE(a.HasPendingByte());
    }
}

TEST(OdometerAssemblerTest, TailWaitsForItsLineFeed) {
    OdometerLineAssembler a;
    const std::vector<uint8_t> bytes = Utf16Le(u"voltage=2.0\nvolt");
    a.Append(bytes.data(), bytes.size() - 1);  // ends inside the last unit
    std::vector<std::u16string> lines;
    a.TakeLines([&](std::u16string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(lines, std::vector<std::u16string>{u"voltage=2.0"});
    EXPECT_EQ(a.Text(), u"vol");
    EXPECT_TRUE(a.HasPendingByte());
    const std::vector<uint8_t> rest = Utf16Le(u"age=3\n");
    std::vector<uint8_t> next = {bytes.back()};
    next.insert(next.end(), rest.begin(), rest.end());
    a.Append(next.data(), next.size());
    lines.clear();
    a.TakeLines([&](std::u16string_view l) { lines.emplace_back(l); });
    EXPECT_EQ(lines, std::vector<std::u16string>{u"voltage=3"});
}

TEST(OdometerAssemblerTest, OverlongTextIsCutAndStaysPaired) {
    OdometerLineAssembler a;
    const std::vector<uint8_t> junk = Utf16Le(std::u16string(1100, u'x'));
    for (size_t at = 0; at < junk.size(); at += 255) {
        a.Append(junk.data() + at, std::min<size_t>(255, junk.size() - at));
        a.TakeLines([](std::u16string_view) { FAIL() << "no line feed was sent"; });
        EXPECT_LE(a.Fill(), OdometerLineAssembler::kKeptTail);
    }
    EXPECT_EQ(a.Fill(), OdometerLineAssembler::kKeptTail);
    // The byte pairing survived the dropped excess: after the line feed that
    // ends the kept text, the next line reads.
    std::vector<std::u16string> lines;
    for (const std::u16string_view piece : {u"\n", u"voltage=5\n"}) {
        const std::vector<uint8_t> bytes = Utf16Le(piece);
        a.Append(bytes.data(), bytes.size());
        a.TakeLines([&](std::u16string_view l) { lines.emplace_back(l); });
    }
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), OdometerLineAssembler::kKeptTail);
    EXPECT_EQ(lines[1], u"voltage=5");
}

TEST(OdometerAssemblerTest, AFullBufferDropsTheRestOfARead) {
    OdometerLineAssembler a;
    std::u16string text(1020, u'a');
    text += u"bcdefg\n";  // units 1021.. do not all fit
    const std::vector<uint8_t> bytes = Utf16Le(text);
    a.Append(bytes.data(), bytes.size());
    EXPECT_EQ(a.Fill(), OdometerLineAssembler::kCapacity);
    std::vector<std::u16string> lines;
    a.TakeLines([&](std::u16string_view l) { lines.emplace_back(l); });
    EXPECT_TRUE(lines.empty());  // its line feed was dropped
    EXPECT_EQ(a.Fill(), OdometerLineAssembler::kKeptTail);
}

}  // namespace
