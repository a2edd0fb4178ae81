// The recorder's commands: what each text asks in each state.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "scanner/scan_commands.h"

namespace {

using scanner::CommandAction;
using scanner::InterpretCommand;

TEST(ScanCommandsTest, StartTakesTheFolderFromTheThirdCharacter) {
    const std::string text = "1 D:\\Запись 1";
    auto c = InterpretCommand(text, false);
    EXPECT_EQ(c.action, CommandAction::StartRecording);
    EXPECT_EQ(c.folder, "D:\\Запись 1");
    // Any separator character will do; the folder is taken as it stands.
    EXPECT_EQ(InterpretCommand("1|run", false).folder, "run");
    // Without a folder the recording goes into the current directory.
    c = InterpretCommand("1", false);
    EXPECT_EQ(c.action, CommandAction::StartRecording);
    EXPECT_TRUE(c.folder.empty());
    EXPECT_TRUE(InterpretCommand("1 ", false).folder.empty());
    // At most 259 characters of folder.
    const std::string longFolder = "1 " + std::string(300, 'f');
    EXPECT_EQ(InterpretCommand(longFolder, false).folder.size(), scanner::kFolderLimit);
}

TEST(ScanCommandsTest, CommandsThatDoNotApplyAreLeftAlone) {
    EXPECT_EQ(InterpretCommand("1 D:\\run", true).action, CommandAction::None);
    EXPECT_EQ(InterpretCommand("0", false).action, CommandAction::None);
    EXPECT_EQ(InterpretCommand("2 1 2 3", false).action, CommandAction::None);
    EXPECT_EQ(InterpretCommand("0", true).action, CommandAction::StopRecording);
    // The service's own answers, read back on the next poll, do nothing.
    // Texts that do not begin with a number (an emptied block included) are
    // no commands: they never stop a recording.
    for (bool recording : {false, true}) {
        for (const char* text : {"3\n", "-1\n", "", "7", "x", " \n", "10 x", "+ 0"}) {
            EXPECT_EQ(InterpretCommand(text, recording).action, CommandAction::None)
                << text << recording;
        }
    }
}

TEST(ScanCommandsTest, LogCommandsCarryThreeValuesOr1000) {
    auto c = InterpretCommand("2", true);
    EXPECT_EQ(c.action, CommandAction::LogNext);
    EXPECT_EQ(c.values[0], 1000.0);
    EXPECT_EQ(c.values[1], 1000.0);
    EXPECT_EQ(c.values[2], 1000.0);

    c = InterpretCommand("2 1.5  -2.25 3e2", true);
    EXPECT_EQ(c.values[0], 1.5);
    EXPECT_EQ(c.values[1], -2.25);
    EXPECT_EQ(c.values[2], 300.0);

    // Missing values are 0; text that is no number reads as 0.
    c = InterpretCommand("2 7.5", true);
    EXPECT_EQ(c.values[0], 7.5);
    EXPECT_EQ(c.values[1], 0.0);
    EXPECT_EQ(c.values[2], 0.0);
    c = InterpretCommand("2 abc +4 5x", true);
    EXPECT_EQ(c.values[0], 0.0);
    EXPECT_EQ(c.values[1], 4.0);
    EXPECT_EQ(c.values[2], 5.0);
}

TEST(ScanCommandsTest, LogValuesBeyondCharacter260AreZero) {
    // A value starting at character 258 is read; one starting at 260 is 0.
    std::string text = "2 1 " + std::string(254, ' ') + "9";
    ASSERT_EQ(text.find('9'), 258u);
    EXPECT_EQ(InterpretCommand(text, true).values[1], 9.0);
    text = "2 1 2" + std::string(255, ' ') + "9";
    ASSERT_EQ(text.find('9'), 260u);
    const auto c = InterpretCommand(text, true);
    EXPECT_EQ(c.values[1], 2.0);
    EXPECT_EQ(c.values[2], 0.0);
}

TEST(ScanCommandsTest, NumbersAreReadAsTheCLibraryReadsThem) {
    EXPECT_EQ(scanner::LeadingInteger("  12abc"), 12);
    EXPECT_EQ(scanner::LeadingInteger("-1\n"), -1);
    EXPECT_EQ(scanner::LeadingInteger("+2"), 2);
    EXPECT_EQ(scanner::LeadingInteger("99999999999"), 2147483647);
    EXPECT_EQ(scanner::ReadNumber("0.125;"), 0.125);
    EXPECT_EQ(scanner::ReadNumber("-"), 0.0);
    EXPECT_EQ(scanner::ReadNumber("1,5"), 1.0);  // a point is the decimal separator
    // What atof gives beyond plain decimals.
    EXPECT_EQ(scanner::ReadNumber("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(scanner::ReadNumber("-1e999 2"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(scanner::ReadNumber("0.00001e-400"), 0.0);
    EXPECT_EQ(scanner::ReadNumber("0x10"), 16.0);
    EXPECT_EQ(scanner::ReadNumber("0X1p3 "), 8.0);
    EXPECT_EQ(scanner::ReadNumber("0x"), 0.0);
    EXPECT_EQ(scanner::ReadNumber("0xp1"), 0.0);
    EXPECT_EQ(scanner::ReadNumber("0x1p99999"), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::signbit(scanner::ReadNumber("-0")));
    EXPECT_TRUE(std::signbit(scanner::ReadNumber(" -0.0e5")));
    EXPECT_FALSE(std::signbit(scanner::ReadNumber("0")));
    EXPECT_EQ(scanner::ReadNumber("-inf"), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(scanner::ReadNumber("nan")));
}

TEST(ScanCommandsTest, AnswersAreCodesWithANewline) {
    char out[16];
    EXPECT_EQ(scanner::FormatAnswer(3, out, sizeof out), 2u);
    EXPECT_STREQ(out, "3\n");
    EXPECT_EQ(scanner::FormatAnswer(-1, out, sizeof out), 3u);
    EXPECT_STREQ(out, "-1\n");
}

}  // namespace
