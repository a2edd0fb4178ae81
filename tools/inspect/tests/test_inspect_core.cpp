#include "tools/inspect/inspect_core.h"

#include <gtest/gtest.h>

namespace {

using inspect::Command;
using inspect::ParseArguments;

TEST(InspectArguments, CommandsOperandsAndOptions) {
    auto r = ParseArguments(
        {"watch", "gps", "MyScanFileMappingObject", "--interval", "20", "--for", "3000"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->command, Command::Watch);
    EXPECT_EQ(r.options->names, (std::vector<std::string>{"gps", "MyScanFileMappingObject"}));
    EXPECT_EQ(r.options->intervalMs, 20u);
    EXPECT_EQ(r.options->durationMs, 3000u);

    r = ParseArguments({"send", "filesws", "1\\nD:\\\\run\\x01", "--timeout", "800"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->command, Command::Send);
    EXPECT_EQ(r.options->text, std::string("1\nD:\\run\x01"));
    EXPECT_EQ(r.options->answerMs, 800u);

    r = ParseArguments({"list", "--help"});
    ASSERT_TRUE(r.options);
    EXPECT_EQ(r.options->command, Command::Help);
    EXPECT_TRUE(ParseArguments({"watch"}).options);
}

TEST(InspectArguments, RefusesWhatItCannotDo) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"read"},
                                                 {"read", "a", "b"},
                                                 {"send", "sync"},
                                                 {"list", "x"},
                                                 {"frob"},
                                                 {"watch", "--for"},
                                                 {"watch", "--for", "-1"},
                                                 {"watch", "--interval", "0"},
                                                 {"watch", "--bogus"},
                                                 {"send", "sync", "bad\\q"},
                                                 {"send", "sync", "cut\\x4"},
                                                 {"send", "sync", "end\\"}}) {
        const auto r = ParseArguments(args);
        EXPECT_FALSE(r.options) << testing::PrintToString(args);
        EXPECT_FALSE(r.error.empty());
    }
}

TEST(InspectText, EscapesRoundTripAndStamp) {
    const std::string raw = std::string("0 55.5\n\r\t\\ \xC0\x7f", 13) + std::string(1, '\0');
    const std::string shown = inspect::Escape(raw);
    EXPECT_EQ(shown, "0 55.5\\n\\r\\t\\\\ \xC0\\x7F\\x00");
    std::string back;
    ASSERT_TRUE(inspect::Unescape(shown, back));
    EXPECT_EQ(back, raw);

    platform::CivilTime t;
    t.year = 2026, t.month = 12, t.day = 8, t.hour = 9, t.minute = 5, t.second = 7;
    t.milliseconds = 42;
    EXPECT_EQ(inspect::UtcStamp(t), "2026-12-08T09:05:07.042Z");
}

}  // namespace
