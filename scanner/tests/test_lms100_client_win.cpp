// MyCLMS100Eth over real sockets against a loopback scanner: the start
// sequence, replies ending at ETX however they are written, slow replies,
// an oversize telegram and a dropped connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "loopback_scanner.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "scan_telegrams.h"
#include "scanner/lms100_client.h"

namespace {

using scan_test::LoopbackScanner;
using scan_test::PeerReply;
using sopas::ScanLayout;

// Scan number `poll` of a scanner in `layout`: its first distance tells it apart.
scan_test::TelegramShape NumberedScan(int poll, size_t points, ScanLayout layout) {
    scan_test::TelegramShape shape = scan_test::RoadScan(points, layout);
    shape.distances[0] = 10000 + static_cast<uint32_t>(poll);
    return shape;
}

PeerReply Scan(int poll, ScanLayout layout = ScanLayout::First, size_t points = 541) {
    return PeerReply{scan_test::BuildTelegram(NumberedScan(poll, points, layout))};
}

class ClientTest : public ::testing::Test {
protected:
    std::unique_ptr<MyCLMS100Eth> Started(LoopbackScanner& peer) {
        auto client = std::make_unique<MyCLMS100Eth>(L"127.0.0.1", peer.Port());
        client->m_perfFrequency = platform::CurrentClock().PerformanceFrequency();
        EXPECT_TRUE(client->Start());
        return client;
    }
    // Polls one scan; returns its first distance (0 when it failed).
    uint32_t Poll(MyCLMS100Eth& client, int32_t* count = nullptr) {
        int32_t n = -1;
        bool failed = true;
        client.ReadScan(n, m_values.data(), failed);
        if (count)
            *count = n;
        return failed ? 0 : m_values[0];
    }

    platform::RecordingNotifier m_messages;
    platform::ScopedNotifier m_scope{m_messages};
    std::vector<uint32_t> m_values = std::vector<uint32_t>(sopas::kScanValueCapacity);
};

TEST_F(ClientTest, StartsInTheFirstLayoutAndPollsScans) {
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 3, [](int poll) { return Scan(poll); }));
    auto client = Started(peer);
    EXPECT_TRUE(client->m_measuring);
    EXPECT_EQ(client->m_layout, ScanLayout::First);
    EXPECT_TRUE(client->WaitUntilReady());
    int32_t count = 0;
    EXPECT_EQ(Poll(*client, &count), 10000u);
    EXPECT_EQ(count, 541);
    EXPECT_EQ(Poll(*client), 10001u);
    EXPECT_GT(client->m_scanTimeMs, 0);
    const auto commands = peer.Commands();
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ(commands[0], sopas::kSetAccessMode);
    EXPECT_EQ(commands[1], sopas::kScanDataConfig1);
    EXPECT_EQ(commands[2], sopas::kRun);
    EXPECT_TRUE(m_messages.Messages().empty());

    // Destroying the client stops the measurement.
    client.reset();
    for (int i = 0; i < 100 && peer.Commands().back() != sopas::kStopMeasurement; ++i)
        ::Sleep(10);
    EXPECT_EQ(peer.Commands().back(), sopas::kStopMeasurement);
}

TEST_F(ClientTest, ASecondLayoutScannerIsReadInItsLayout) {
    LoopbackScanner peer(LoopbackScanner::Lms100(
        2, 1, [](int poll) { return Scan(poll, ScanLayout::Second, 1081); }));
    auto client = Started(peer);
    EXPECT_EQ(client->m_layout, ScanLayout::Second);
    int32_t count = 0;
    EXPECT_EQ(Poll(*client, &count), 10000u);
    EXPECT_EQ(count, 1081);
}

TEST_F(ClientTest, ARefusingScannerDoesNotStartAndANonMeasuringClientSendsNothing) {
    LoopbackScanner peer(LoopbackScanner::Lms100(0, 1, nullptr));
    MyCLMS100Eth client(L"127.0.0.1", peer.Port());
    EXPECT_FALSE(client.Start());
    EXPECT_FALSE(client.m_measuring);
    const size_t sent = peer.Commands().size();
    int32_t count = 5;
    bool failed = false;
    client.ReadScan(count, m_values.data(), failed);
    EXPECT_TRUE(failed);
    EXPECT_EQ(count, 0);
    ::Sleep(50);
    EXPECT_EQ(peer.Commands().size(), sent);
}

TEST_F(ClientTest, RepliesSplitAcrossWritesCompleteAtTheirEtx) {
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 1, [](int poll) {
        PeerReply r = Scan(poll, ScanLayout::First, 1081);
        r.pieceBytes = 700;
        r.pieceDelayMs = 30;  // gaps shorter than the silence limit
        return r;
    }));
    auto client = Started(peer);
    EXPECT_EQ(Poll(*client), 10000u);
    EXPECT_EQ(Poll(*client), 10001u);
}

TEST_F(ClientTest, AReplyEndsAtItsEtxNotAfterASilence) {
    // Each exchange takes about the time of one loopback round trip, not the
    // 0.1 s silence limit: 20 polls well within 2 s.
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 1, [](int poll) { return Scan(poll); }));
    auto client = Started(peer);
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(Poll(*client), 10000u + i);
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(elapsed, std::chrono::milliseconds(20 * sopas::kReplySilenceMs));
    std::printf("20 exchanges: %lld ms\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

TEST_F(ClientTest, ASlowReplyFailsAndItsLateTailDoesNotAnswerTheNextPoll) {
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 1, [](int poll) {
        PeerReply r = Scan(poll);
        if (poll == 1) {
            r.pieceBytes = r.bytes.size() / 2 + 1;
            r.pieceDelayMs = 250;  // a gap longer than the silence limit
        }
        return r;
    }));
    auto client = Started(peer);
    EXPECT_EQ(Poll(*client), 10000u);
    EXPECT_EQ(Poll(*client), 0u);  // only half a telegram arrived in time
    ::Sleep(400);                  // its second half arrives meanwhile
    EXPECT_EQ(Poll(*client), 10002u);
    EXPECT_EQ(Poll(*client), 10003u);
}

TEST_F(ClientTest, AnOversizeTelegramIsAFailedScanAndIsReadToItsEnd) {
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 1, [](int poll) {
        // Poll 1: 1440 points of eight-digit values, about 22 000 bytes.
        scan_test::TelegramShape shape =
            NumberedScan(poll, poll == 1 ? 1440 : 541, ScanLayout::First);
        if (poll == 1) {
            for (uint32_t& d : shape.distances)
                d = 0x12345678;
        }
        PeerReply r{scan_test::BuildTelegram(shape)};
        r.pieceBytes = 5000;
        return r;
    }));
    auto client = Started(peer);
    EXPECT_EQ(Poll(*client), 10000u);
    EXPECT_EQ(Poll(*client), 0u);
    EXPECT_TRUE(client->LastReplyOverflowed());
    EXPECT_EQ(Poll(*client), 10002u);  // the tail did not answer this poll
    EXPECT_FALSE(client->LastReplyOverflowed());
}

TEST_F(ClientTest, AReplyTrickledWithoutEtxEndsAfterAboutASecond) {
    // Poll 1 is answered with a byte every 50 ms for 20 s, never an ETX.
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 1, [](int poll) {
        if (poll != 1)
            return Scan(poll);
        PeerReply r{"\x02sRA LMDscandata 1 1 " + std::string(400, '7')};
        r.pieceBytes = 1;
        r.pieceDelayMs = 50;
        return r;
    }));
    auto client = Started(peer);
    EXPECT_EQ(Poll(*client), 10000u);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Poll(*client), 0u);
    const auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(elapsed, std::chrono::milliseconds(sopas::kReplyTotalMs - 50));
    EXPECT_LT(elapsed, std::chrono::milliseconds(sopas::kReplyTotalMs + 600));
    EXPECT_TRUE(client->LastReplyOverflowed());  // a reply that never ends
}

TEST_F(ClientTest, APeerThatStopsReadingCannotHoldTheSenderAndLosesItsConnection) {
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 1, [](int poll) {
        PeerReply r = Scan(poll);
        r.stopReading = true;
        return r;
    }));
    auto client = Started(peer);
    EXPECT_EQ(Poll(*client), 10000u);
    // Small socket buffers: the peer's window fills after a few dozen frames.
    const int small = 4096;
    ::setsockopt(client->m_socket.Get(), SOL_SOCKET, SO_SNDBUF,
                 reinterpret_cast<const char*>(&small), sizeof small);
    const std::string command = "sMN " + std::string(900, 'x');
    auto longest = std::chrono::steady_clock::duration::zero();
    int frames = 0;
    for (; frames < 5000 && client->SocketOpen(); ++frames) {
        const auto begin = std::chrono::steady_clock::now();
        client->SendTelegram(command.c_str());
        longest = std::max(longest, std::chrono::steady_clock::now() - begin);
    }
    EXPECT_FALSE(client->SocketOpen()) << frames << " frames went out";
    EXPECT_LT(longest, std::chrono::milliseconds(sopas::kSendTimeoutMs + 1000));
    EXPECT_EQ(Poll(*client), 0u);  // no more scans, as after a dropped connection
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(ClientTest, ADroppedConnectionFailsEveryLaterPollWithoutMessages) {
    LoopbackScanner peer(LoopbackScanner::Lms100(1, 1, [](int poll) {
        PeerReply r = Scan(poll);
        if (poll == 2) {
            r.bytes.resize(r.bytes.size() / 3);
            r.closeAfter = true;
        }
        return r;
    }));
    auto client = Started(peer);
    EXPECT_EQ(Poll(*client), 10000u);
    EXPECT_EQ(Poll(*client), 10001u);
    EXPECT_EQ(Poll(*client), 0u);
    EXPECT_FALSE(client->SocketOpen());
    EXPECT_TRUE(client->m_measuring);  // no reconnection: it just stops delivering
    EXPECT_EQ(Poll(*client), 0u);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(ClientTest, NothingListeningMeansNoStartAndOneCheckFailure) {
    uint16_t port = 0;
    {
        LoopbackScanner gone(LoopbackScanner::Lms100(1, 1, nullptr));
        port = gone.Port();
    }
    MyCLMS100Eth client(L"127.0.0.1", port);
    EXPECT_FALSE(client.Start());
    EXPECT_FALSE(client.m_connected);
    ASSERT_EQ(m_messages.Messages().size(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].text, "check failure");
}

}  // namespace
