#include <gtest/gtest.h>

#include <cstring>

#include "gnss/client_commands.h"

using platform::CivilTime;

namespace {
const CivilTime kTick{2026, 12, 1, 7, 9, 30, 15, 0};
}

TEST(SharedText, ReadingStopsAtTheMappingsEnd) {
    char view[kCommandMappingSize];
    std::memset(view, '7', sizeof view);  // a client that wrote no terminator
    const std::string text = ReadSharedText(view, sizeof view);
    EXPECT_EQ(text.size(), 259u);
    std::strcpy(view, "-1");
    EXPECT_EQ(ReadSharedText(view, sizeof view), "-1");
    EXPECT_EQ(ReadSharedText(nullptr, 260), "");
}

TEST(SharedText, WritingIsCutAndTerminated) {
    char view[8];
    EXPECT_TRUE(WriteSharedText(view, sizeof view, kCommandIdle));
    EXPECT_STREQ(view, "0\n");
    EXPECT_FALSE(WriteSharedText(view, sizeof view, "1 D:\\long\\folder"));
    EXPECT_STREQ(view, "1 D:\\lo");
}

TEST(SyncPoll, OnlyMinusOneIsARequest) {
    const SyncPollResult r = PollSyncRequest("-1");
    EXPECT_TRUE(r.requested);
    ASSERT_TRUE(r.reply.has_value());
    EXPECT_EQ(*r.reply, "0");
    EXPECT_TRUE(PollSyncRequest(" -1\n").requested);
    for (const char* other : {"0\n", "0", "", "1", "-10", "x-1", "-2"}) {
        const SyncPollResult n = PollSyncRequest(other);
        EXPECT_FALSE(n.requested) << other;
        EXPECT_FALSE(n.reply.has_value()) << other;
    }
}

TEST(LeadingInteger, ReadsLikeAtoiWithoutOverflow) {
    EXPECT_EQ(LeadingInteger("  42abc"), 42);
    EXPECT_EQ(LeadingInteger("-7"), -7);
    EXPECT_EQ(LeadingInteger("abc"), 0);
    EXPECT_EQ(LeadingInteger("99999999999999999999"), INT32_MAX);
    EXPECT_EQ(LeadingInteger("-99999999999999999999"), INT32_MIN);
}

TEST(RunLogCommandText, KindsAndFolder) {
    EXPECT_EQ(ParseRunLogCommand("0\n").kind, RunLogCommandKind::Idle);
    EXPECT_EQ(ParseRunLogCommand("").kind, RunLogCommandKind::Idle);
    EXPECT_EQ(ParseRunLogCommand("3 D:\\x").kind, RunLogCommandKind::Idle);
    EXPECT_EQ(ParseRunLogCommand("2").kind, RunLogCommandKind::Continue);
    EXPECT_EQ(ParseRunLogCommand("1").kind, RunLogCommandKind::Stop);
    EXPECT_EQ(ParseRunLogCommand("1 ").kind, RunLogCommandKind::Stop);
    const RunLogCommand start = ParseRunLogCommand("1 D:\\Проезды 2026\\утро\r\n");
    EXPECT_EQ(start.kind, RunLogCommandKind::Start);
    EXPECT_EQ(start.folder, "D:\\Проезды 2026\\утро");  // spaces inside the folder stay
}

TEST(RunLogControl, StartWritesANewFileAndStoresItsPath) {
    RunLogController c;
    const RunLogActions a = c.Handle(ParseRunLogCommand("1 D:\\data"), kTick);
    EXPECT_TRUE(a.acknowledge);
    EXPECT_TRUE(a.closeRunLog);
    ASSERT_TRUE(a.openPath.has_value());
    EXPECT_EQ(*a.openPath, "D:\\data\\261207093015gps.log");
    EXPECT_TRUE(a.truncate);
    EXPECT_TRUE(a.saveStoredPath);
    EXPECT_EQ(c.StoredPath(), *a.openPath);
}

TEST(RunLogControl, StopClosesAndForgets) {
    RunLogController c("D:\\data\\261207093015gps.log");
    const RunLogActions a = c.Handle(ParseRunLogCommand("1"), kTick);
    EXPECT_TRUE(a.acknowledge);
    EXPECT_TRUE(a.closeRunLog);
    EXPECT_FALSE(a.openPath.has_value());
    EXPECT_TRUE(a.saveStoredPath);
    EXPECT_EQ(c.StoredPath(), "");
}

TEST(RunLogControl, ContinueReopensTheStoredFileForAppending) {
    RunLogController empty;
    const RunLogActions none = empty.Handle(ParseRunLogCommand("2"), kTick);
    EXPECT_TRUE(none.acknowledge);
    EXPECT_FALSE(none.openPath.has_value());
    EXPECT_FALSE(none.closeRunLog);

    RunLogController c("E:\\run\\261207093015gps.log");
    for (int i = 0; i < 2; ++i) {  // twice in a row: the first handle is not leaked
        const RunLogActions a = c.Handle(ParseRunLogCommand("2"), kTick);
        EXPECT_TRUE(a.acknowledge);
        EXPECT_TRUE(a.closeRunLog);
        ASSERT_TRUE(a.openPath.has_value());
        EXPECT_EQ(*a.openPath, "E:\\run\\261207093015gps.log");
        EXPECT_FALSE(a.truncate);
        EXPECT_FALSE(a.saveStoredPath);
    }
}

TEST(RunLogControl, IdleTextDoesNothing) {
    RunLogController c("E:\\x.log");
    const RunLogActions a = c.Handle(ParseRunLogCommand("0\n"), kTick);
    EXPECT_FALSE(a.acknowledge);
    EXPECT_FALSE(a.closeRunLog);
    EXPECT_FALSE(a.openPath.has_value());
    EXPECT_EQ(c.StoredPath(), "E:\\x.log");
}

TEST(RunLogControl, FolderTooLongOpensNothingAndClearsThePath) {
    RunLogController c("E:\\x.log");
    const RunLogActions a = c.Handle(ParseRunLogCommand("1 " + std::string(255, 'f')), kTick);
    EXPECT_TRUE(a.acknowledge);
    EXPECT_FALSE(a.openPath.has_value());
    EXPECT_TRUE(a.saveStoredPath);
    EXPECT_EQ(c.StoredPath(), "");
}
