// The start sequence and the readiness wait against a scripted scanner.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/notifier.h"
#include "scanner/start_sequence.h"

namespace {

using sopas::ScanLayout;

// A scanner that answers each command with the next reply its script gives.
class ScriptedScanner : public sopas::SopasLink {
public:
    std::function<std::string(const std::string& command)> answer;
    bool opens = true;
    std::vector<std::string> sent;
    std::vector<int> pauses;

    bool Open() override { return opens; }
    void SendTelegram(const char* command) override {
        sent.emplace_back(command);
        m_pending = answer ? answer(command) : std::string();
    }
    size_t Receive(char* buffer, size_t capacity) override {
        const size_t n = std::min(m_pending.size(), capacity - 1);
        std::memcpy(buffer, m_pending.data(), n);
        buffer[n] = '\0';
        m_pending.clear();
        return n;
    }
    void Pause(int ms) override { pauses.push_back(ms); }

private:
    std::string m_pending;
};

std::string Framed(const std::string& text) {
    return "\x02" + text + "\x03";
}

// A scanner that accepts `acceptConfig` (1 or 2; 0 none) and measures after
// `pollsUntilReady` status polls.
std::function<std::string(const std::string&)> Lms100(int acceptConfig, int pollsUntilReady) {
    auto polls = std::make_shared<int>(0);
    return [=](const std::string& c) -> std::string {
        if (c == sopas::kSetAccessMode)
            return Framed("sAN SetAccessMode 1");
        if (c == sopas::kScanDataConfig1)
            return Framed(acceptConfig == 1 ? "sWA LMDscandatacfg" : "sFA 4");
        if (c == sopas::kScanDataConfig2)
            return Framed(acceptConfig == 2 ? "sWA LMDscandatacfg" : "sFA 4");
        if (c == sopas::kRun)
            return Framed("sAN Run 1");
        if (c == sopas::kStartMeasurement)
            return Framed("sAN LMCstartmeas 0");
        if (c == sopas::kQueryStatus) {
            ++*polls;
            return Framed(std::string("sRA STlms ") + (*polls >= pollsUntilReady ? "7" : "3") +
                          " 0 8 00:00:00 8 01.01.06 0 0 0");
        }
        return Framed("sFA C");
    };
}

class StartSequenceTest : public ::testing::Test {
protected:
    platform::RecordingNotifier m_messages;
    platform::ScopedNotifier m_scope{m_messages};
    ScriptedScanner m_scanner;
};

TEST_F(StartSequenceTest, AScannerTakingTheFirstConfigurationStartsInTheFirstLayout) {
    m_scanner.answer = Lms100(1, 1);
    const auto outcome = sopas::RunStartSequence(m_scanner);
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.layout, ScanLayout::First);
    const std::vector<std::string> expected = {sopas::kSetAccessMode, sopas::kScanDataConfig1,
                                               sopas::kRun, sopas::kStartMeasurement,
                                               sopas::kQueryStatus};
    EXPECT_EQ(m_scanner.sent, expected);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(StartSequenceTest, RefusingTheFirstConfigurationGivesTheSecondLayout) {
    m_scanner.answer = Lms100(2, 1);
    const auto outcome = sopas::RunStartSequence(m_scanner);
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.layout, ScanLayout::Second);
    ASSERT_GE(m_scanner.sent.size(), 3u);
    EXPECT_EQ(m_scanner.sent[2], sopas::kScanDataConfig2);
}

TEST_F(StartSequenceTest, RefusingBothConfigurationsStopsBeforeRun) {
    m_scanner.answer = Lms100(0, 1);
    const auto outcome = sopas::RunStartSequence(m_scanner);
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(outcome.layout, ScanLayout::None);
    EXPECT_EQ(m_scanner.sent.size(), 3u);
    EXPECT_EQ(std::count(m_scanner.sent.begin(), m_scanner.sent.end(), sopas::kRun), 0);
}

TEST_F(StartSequenceTest, TheTwentiethStatusPollMaySucceedButNotTheTwentyFirst) {
    m_scanner.answer = Lms100(1, 20);
    EXPECT_TRUE(sopas::RunStartSequence(m_scanner).started);
    EXPECT_EQ(m_scanner.pauses.size(), 19u);

    ScriptedScanner late;
    late.answer = Lms100(1, 21);
    EXPECT_FALSE(sopas::RunStartSequence(late).started);
    EXPECT_EQ(std::count(late.sent.begin(), late.sent.end(), sopas::kQueryStatus), 20);
    EXPECT_EQ(late.pauses, std::vector<int>(20, sopas::kPollPauseMs));
}

TEST_F(StartSequenceTest, SilenceAtAnyStepEndsTheSequenceAndAFailedOpenIsReported) {
    for (const char* silentAt : {sopas::kSetAccessMode, sopas::kRun, sopas::kStartMeasurement}) {
        SCOPED_TRACE(silentAt);
        ScriptedScanner scanner;
        auto normal = Lms100(1, 1);
        scanner.answer = [&](const std::string& c) { return c == silentAt ? "" : normal(c); };
        EXPECT_FALSE(sopas::RunStartSequence(scanner).started);
        EXPECT_EQ(scanner.sent.back(), silentAt);
    }
    EXPECT_TRUE(m_messages.Messages().empty());

    m_scanner.opens = false;
    EXPECT_FALSE(sopas::RunStartSequence(m_scanner).started);
    EXPECT_TRUE(m_scanner.sent.empty());
    ASSERT_EQ(m_messages.Messages().size(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].text, "check failure");
}

TEST_F(StartSequenceTest, TheReadinessWaitEndsAtState7AndPausesOnlyAfterAnswers) {
    int polls = 0;
    m_scanner.answer = [&](const std::string&) -> std::string {
        ++polls;
        if (polls <= 2)
            return "";  // silent: the read has waited already
        return polls < 5 ? Framed("sRA STlms 6 0") : Framed("sRA STlms 7 0");
    };
    EXPECT_TRUE(sopas::WaitUntilReady(m_scanner));
    EXPECT_EQ(polls, 5);
    EXPECT_EQ(m_scanner.pauses.size(), 2u);  // after the two answers with state 6

    ScriptedScanner never;
    never.answer = [](const std::string&) { return Framed("sRA STlms 3 0"); };
    EXPECT_FALSE(sopas::WaitUntilReady(never, 50));
    EXPECT_EQ(never.sent.size(), 50u);
}

}  // namespace
