// The scan reply in both layouts, its refusals and bounds, and the real
// telegrams of ../shared/data/sopas.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scan_telegrams.h"
#include "scanner/scan_reply_parser.h"

namespace {

using scan_test::BuildTelegram;
using scan_test::TelegramShape;
using sopas::ParseScanReply;
using sopas::ScanLayout;
using sopas::ScanReplyError;

constexpr uint32_t kUntouched = 0xDEADBEEF;

std::vector<uint32_t> Buffer() {
    return std::vector<uint32_t>(sopas::kScanValueCapacity, kUntouched);
}

TEST(ScanReplyParserTest, BothLayoutsGiveDistancesThenRemission) {
    for (ScanLayout layout : {ScanLayout::First, ScanLayout::Second}) {
        SCOPED_TRACE(static_cast<int>(layout));
        TelegramShape shape = scan_test::RoadScan(541, layout);
        std::vector<uint32_t> values = Buffer();
        const auto r = ParseScanReply(BuildTelegram(shape), layout, values.data(), values.size());
        ASSERT_TRUE(r.ok);
        ASSERT_EQ(r.count, 541);
        EXPECT_TRUE(std::equal(shape.distances.begin(), shape.distances.end(), values.begin()));
        EXPECT_TRUE(
            std::equal(shape.remissions.begin(), shape.remissions.end(), values.begin() + 541));
        EXPECT_EQ(values[1082], kUntouched);
    }
}

TEST(ScanReplyParserTest, ALayoutReadsOnlyItsOwnTelegrams) {
    // The first layout's telegram read as the second: "DIST1" is not at 22.
    const std::string first = BuildTelegram(scan_test::RoadScan(10, ScanLayout::First));
    std::vector<uint32_t> values = Buffer();
    EXPECT_EQ(ParseScanReply(first, ScanLayout::Second, values.data(), values.size()).error,
              ScanReplyError::NoDistanceBlock);
    const std::string second = BuildTelegram(scan_test::RoadScan(10, ScanLayout::Second));
    EXPECT_EQ(ParseScanReply(second, ScanLayout::First, values.data(), values.size()).error,
              ScanReplyError::NoDistanceBlock);
    EXPECT_EQ(ParseScanReply(first, ScanLayout::None, values.data(), values.size()).error,
              ScanReplyError::NoLayout);
}

TEST(ScanReplyParserTest, HeaderChecksRefuseOtherReplies) {
    std::vector<uint32_t> values = Buffer();
    TelegramShape shape = scan_test::RoadScan(5);
    shape.status = "1";
    EXPECT_EQ(
        ParseScanReply(BuildTelegram(shape), ScanLayout::First, values.data(), values.size()).error,
        ScanReplyError::DeviceStatus);
    shape.status = "00";  // the word must be exactly "0"
    EXPECT_FALSE(
        ParseScanReply(BuildTelegram(shape), ScanLayout::First, values.data(), values.size()).ok);

    EXPECT_EQ(
        ParseScanReply("\x02sFA 1\x03", ScanLayout::First, values.data(), values.size()).error,
        ScanReplyError::NotAnAnswer);
    EXPECT_EQ(
        ParseScanReply("\x02sRA STlms 7 0\x03", ScanLayout::First, values.data(), values.size())
            .error,
        ScanReplyError::NotScanData);
    // Token 0's first byte is taken for the STX, whatever it is.
    std::string noStx = BuildTelegram(scan_test::RoadScan(5));
    noStx[0] = ' ';
    EXPECT_EQ(
        ParseScanReply(noStx.substr(1), ScanLayout::First, values.data(), values.size()).error,
        ScanReplyError::NotAnAnswer);
    EXPECT_EQ(ParseScanReply("", ScanLayout::First, values.data(), values.size()).error,
              ScanReplyError::Truncated);
    EXPECT_EQ(values[0], kUntouched);
}

TEST(ScanReplyParserTest, TheSecondStatusWordFailsAScanOnADeviceErrorOnly) {
    // An LMS1xx reports its state in the second word: 1 device error, 4
    // contamination error, 2 contamination warning. A dirty front screen does
    // not stop the measurement: only the device error fails the scan.
    struct Case {
        const char* word;
        bool good;
    };
    for (const Case& c : {Case{"1", false}, Case{"4", true}, Case{"5", false}, Case{"7", false},
                          Case{"3", false}, Case{"6", true}, Case{"2", true}, Case{"0", true}}) {
        for (ScanLayout layout : {ScanLayout::First, ScanLayout::Second}) {
            SCOPED_TRACE(std::string(c.word) + " layout " +
                         std::to_string(static_cast<int>(layout)));
            TelegramShape shape = scan_test::RoadScan(7, layout);
            shape.status2 = c.word;
            std::vector<uint32_t> values = Buffer();
            const auto r =
                ParseScanReply(BuildTelegram(shape), layout, values.data(), values.size());
            EXPECT_EQ(r.ok, c.good);
            EXPECT_EQ(sopas::SecondStatusWord(BuildTelegram(shape)), sopas::ParseHexField(c.word));
            if (c.good) {
                EXPECT_EQ(r.count, 7);
                EXPECT_EQ(values[0], shape.distances[0]);
            } else {
                EXPECT_EQ(r.error, ScanReplyError::DeviceStatus);
                EXPECT_EQ(r.count, 0);
                EXPECT_EQ(values[0], kUntouched);
            }
        }
    }
}

TEST(ScanReplyParserTest, AScanWithoutRemissionHasNoPoints) {
    for (ScanLayout layout : {ScanLayout::First, ScanLayout::Second}) {
        TelegramShape shape;
        shape.layout = layout;
        shape.distances = {1500, 1600, 1700};
        std::vector<uint32_t> values = Buffer();
        const auto r = ParseScanReply(BuildTelegram(shape), layout, values.data(), values.size());
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.count, 0);
    }
    // A reply that ends right after its distances, too.
    const std::string cut =
        "\x02sRA LMDscandata 1 1 89A27F 0 0 343 347 27477BA9 2747813B 0 0 7 "
        "0 0 1388 168 0 1 DIST1 3F800000 00000000 FFF92230 1388 2 5DC 5DD";
    std::vector<uint32_t> values = Buffer();
    const auto r = ParseScanReply(cut, ScanLayout::First, values.data(), values.size());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(values[0], 0x5DCu);
}

TEST(ScanReplyParserTest, AReplyAnnouncingMoreThanTheBufferHoldsIsRefusedWhole) {
    // 1441 points never fit: nothing past the buffer, nothing written at all.
    TelegramShape shape = scan_test::RoadScan(1441);
    std::vector<uint32_t> values = Buffer();
    auto r = ParseScanReply(BuildTelegram(shape), ScanLayout::First, values.data(), values.size());
    EXPECT_EQ(r.error, ScanReplyError::TooManyPoints);
    EXPECT_EQ(values[0], kUntouched);

    // 1440 points fill the buffer exactly.
    shape = scan_test::RoadScan(1440);
    r = ParseScanReply(BuildTelegram(shape), ScanLayout::First, values.data(), values.size());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.count, 1440);
    EXPECT_EQ(values[2879], shape.remissions.back());

    // A smaller caller buffer bounds the points as well.
    std::vector<uint32_t> small(20, kUntouched);
    r = ParseScanReply(BuildTelegram(scan_test::RoadScan(11)), ScanLayout::First, small.data(),
                       small.size());
    EXPECT_EQ(r.error, ScanReplyError::TooManyPoints);

    // A remission count that lies about its size is refused before any write past it.
    shape = scan_test::RoadScan(10);
    shape.announcedRemissions = 5000;
    r = ParseScanReply(BuildTelegram(shape), ScanLayout::First, values.data(), values.size());
    EXPECT_EQ(r.error, ScanReplyError::TooManyPoints);
}

TEST(ScanReplyParserTest, TruncatedOrInconsistentBlocksAreNotScans) {
    std::vector<uint32_t> values = Buffer();
    // Announces 20 distances, sends 10: the reply ends inside the distances.
    TelegramShape shape = scan_test::RoadScan(10);
    shape.remissions.clear();
    shape.announcedDistances = 20;
    std::string t = BuildTelegram(shape);
    t = t.substr(0, t.find(" 0 0 0 0 0 0"));
    EXPECT_EQ(ParseScanReply(t, ScanLayout::First, values.data(), values.size()).error,
              ScanReplyError::Truncated);

    // A remission block cut short (a telegram cut at the buffer's end).
    const std::string full = BuildTelegram(scan_test::RoadScan(100));
    EXPECT_EQ(ParseScanReply(full.substr(0, full.size() - 120), ScanLayout::First, values.data(),
                             values.size())
                  .error,
              ScanReplyError::Truncated);

    // Remission count differing from the distance count.
    shape = scan_test::RoadScan(10);
    shape.remissions.pop_back();
    EXPECT_EQ(
        ParseScanReply(BuildTelegram(shape), ScanLayout::First, values.data(), values.size()).error,
        ScanReplyError::CountMismatch);
}

TEST(ScanReplyParserTest, HexFieldsAreUnsignedAndSaturate) {
    EXPECT_EQ(sopas::ParseHexField("8A1"), 0x8A1u);
    EXPECT_EQ(sopas::ParseHexField("ffff"), 0xFFFFu);
    EXPECT_EQ(sopas::ParseHexField("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(sopas::ParseHexField("123456789"), 0xFFFFFFFFu);
    EXPECT_EQ(sopas::ParseHexField("5DC\x03"), 0x5DCu);
    EXPECT_EQ(sopas::ParseHexField("zz"), 0u);
}

// --- Real telegrams ---------------------------------------------------------------------

TEST(ScanReplyCapturesTest, TheDocumentedLms1xxTelegramHasDistancesOnly) {
    const auto capture = scan_test::ReadCapture("lms1xx_docexample_sRA_LMDscandata.dat");
    if (!capture)
        GTEST_SKIP() << "../shared/data/sopas is absent";
    std::vector<uint32_t> values = Buffer();
    const auto r = ParseScanReply(*capture, ScanLayout::First, values.data(), values.size());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 0);  // no remission block
    EXPECT_EQ(values[0], 0x8A1u);
    EXPECT_EQ(values[20], 0x906u);
    EXPECT_EQ(values[21], kUntouched);
}

TEST(ScanReplyCapturesTest, TimCapturesParseTheirAnnouncedDistances) {
    for (const char* name :
         {"tim5xx_osgar_sRA_LMDscandata.dat", "tim561_pysicktim_demo_sRA_LMDscandata.dat",
          "tim561_pysicktim_sim1_sRA_LMDscandata.dat"}) {
        SCOPED_TRACE(name);
        auto capture = scan_test::ReadCapture(name);
        if (!capture)
            GTEST_SKIP() << "../shared/data/sopas is absent";
        // The pysicktim files carry no STX: give them one, as the wire would.
        if ((*capture)[0] != sopas::kStx)
            capture->insert(capture->begin(), sopas::kStx);
        std::vector<uint32_t> values = Buffer();
        const auto r = ParseScanReply(*capture, ScanLayout::First, values.data(), values.size());
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.count, 0);
        EXPECT_NE(values[0x32A], kUntouched);  // 811 distances
        EXPECT_EQ(values[0x32B], kUntouched);
        // The same bytes are not a scan of the second layout.
        EXPECT_FALSE(ParseScanReply(*capture, ScanLayout::Second, values.data(), values.size()).ok);
    }
}

TEST(ScanReplyCapturesTest, TheMrs1000EventTelegramIsNotAnAnswer) {
    const auto capture = scan_test::ReadCapture("mrs1000_lms1xxfork_sSN_LMDscandata.dat");
    if (!capture)
        GTEST_SKIP() << "../shared/data/sopas is absent";
    EXPECT_GT(capture->size(), sopas::kScanReplyBufferSize);
    std::vector<uint32_t> values = Buffer();
    EXPECT_EQ(ParseScanReply(*capture, ScanLayout::First, values.data(), values.size()).error,
              ScanReplyError::NotAnAnswer);
    // Read as a poll answer, its first channel is DIST1 with 1101 points,
    // followed by DIST2 where the first layout wants RSSI1.
    std::string asAnswer = *capture;
    asAnswer.replace(asAnswer.find("sSN"), 3, "sRA");
    const auto r = ParseScanReply(asAnswer, ScanLayout::First, values.data(), values.size());
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 0);
}

}  // namespace
