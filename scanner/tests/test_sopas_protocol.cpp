// Framing of commands, cutting replies at ETX, and the status reply.
#include <gtest/gtest.h>

#include <string>

#include "scanner/reply_framer.h"
#include "scanner/sopas_protocol.h"

namespace {

using sopas::ReplyFramer;

TEST(FrameCommandTest, WrapsTheTextInStxAndEtxAndRefusesWhatDoesNotFit) {
    char frame[sopas::kFrameBufferSize];
    ASSERT_EQ(sopas::FrameCommand(sopas::kPollScan, frame, sizeof frame), 17u);
    EXPECT_EQ(std::string(frame), "\x02sRN LMDscandata\x03");

    // The second configuration keeps its runs of blanks.
    ASSERT_GT(sopas::FrameCommand(sopas::kScanDataConfig2, frame, sizeof frame), 0u);
    EXPECT_EQ(std::string(frame), "\x02sWN LMDscandatacfg 0   0 1 0 0  1  0 0 0 0 0 +1\x03");

    const std::string longest(sopas::kMaxCommandLength, 'x');
    EXPECT_EQ(sopas::FrameCommand(longest, frame, sizeof frame), sopas::kMaxCommandLength + 2);
    const std::string tooLong(sopas::kMaxCommandLength + 1, 'x');
    EXPECT_EQ(sopas::FrameCommand(tooLong, frame, sizeof frame), 0u);
    EXPECT_EQ(frame[0], '\0');
}

TEST(ReplyFramerTest, AReplyIsCompleteAtItsEtxWhateverWayItArrives) {
    char buffer[64];
    ReplyFramer framer(buffer, sizeof buffer);
    const std::string reply = "\x02sRA STlms 7 0 8 00:00:00 8 01.01.06 0 0 0\x03";
    // One byte at a time, as a slow peer might write it.
    for (size_t i = 0; i < reply.size(); ++i) {
        EXPECT_FALSE(framer.Complete());
        EXPECT_EQ(framer.Feed(&reply[i], 1), 1u);
    }
    EXPECT_TRUE(framer.Complete());
    EXPECT_FALSE(framer.Overflowed());
    EXPECT_EQ(framer.Text(), reply);
    EXPECT_EQ(buffer[reply.size()], '\0');
}

TEST(ReplyFramerTest, BytesAfterTheEtxAreNotPartOfTheReply) {
    char buffer[64];
    ReplyFramer framer(buffer, sizeof buffer);
    const std::string chunk = "\x02sAN Run 1\x03\x02sAN extra\x03";
    EXPECT_EQ(framer.Feed(chunk.data(), chunk.size()), 11u);
    EXPECT_EQ(framer.Text(), "\x02sAN Run 1\x03");
    EXPECT_EQ(framer.Feed("more", 4), 0u);  // complete: takes nothing more

    framer.Reset();
    EXPECT_FALSE(framer.Complete());
    EXPECT_EQ(framer.Stored(), 0u);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(ReplyFramerTest, AnOversizeReplyIsConsumedToItsEtxAndMarked) {
    char buffer[8];
    ReplyFramer framer(buffer, sizeof buffer);
    const std::string part1 = "\x02sRA LMDscandata 1 1";
    const std::string part2 = " 89A27F 0 0\x03";
    EXPECT_EQ(framer.Feed(part1.data(), part1.size()), part1.size());
    EXPECT_FALSE(framer.Complete());
    EXPECT_EQ(framer.Feed(part2.data(), part2.size()), part2.size());
    EXPECT_TRUE(framer.Complete());
    EXPECT_TRUE(framer.Overflowed());
    EXPECT_EQ(framer.Stored(), 7u);  // capacity - 1, terminated
    EXPECT_EQ(framer.Received(), part1.size() + part2.size());
    EXPECT_EQ(std::string(buffer), part1.substr(0, 7));
}

TEST(StatusReplyTest, TheDeviceStateIsTheThirdToken) {
    EXPECT_EQ(sopas::DeviceState("\x02sRA STlms 7 0 8 00:00:00 8 01.01.06 0 0 0\x03"), 7);
    EXPECT_EQ(sopas::DeviceState("\x02sRA  STlms   3 0\x03"), 3);  // runs of blanks
    EXPECT_EQ(sopas::DeviceState("\x02sRA STlms 7\x03"), 7);       // ETX ends the number
    EXPECT_EQ(sopas::DeviceState("\x02sRA STlms"), 0);
    EXPECT_EQ(sopas::DeviceState("\x02sFA 1\x03"), 0);
    EXPECT_EQ(sopas::DeviceState(""), 0);
}

TEST(StatusReplyTest, AtMost99CharactersOfAShortReplyAreExamined) {
    std::string reply(150, 'x');
    reply.replace(98, 11, "LMDscandata");
    EXPECT_FALSE(sopas::ReplyContains(sopas::ExaminedText(reply.data(), reply.size()),
                                      sopas::kScanDataName));
    reply = std::string(10, 'x') + "LMDscandata";
    EXPECT_TRUE(sopas::ReplyContains(sopas::ExaminedText(reply.data(), reply.size()),
                                     sopas::kScanDataName));
    // Text ends at a NUL byte.
    const char withNul[] = "\x02sWA \0LMDscandata\x03";
    EXPECT_FALSE(sopas::ReplyContains(sopas::ExaminedText(withNul, sizeof withNul - 1),
                                      sopas::kScanDataName));
}

}  // namespace
