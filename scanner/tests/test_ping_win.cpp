// CPing against loopback addresses.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include "scanner/ping.h"

namespace {

TEST(PingTest, LoopbackAnswersWithItsAddress) {
    CPing ping;
    ASSERT_TRUE(ping.Loaded());
    PingReply reply;
    ASSERT_EQ(ping.Ping("127.0.0.1", reply), 1) << "error " << ::GetLastError();
    EXPECT_EQ(reply.family, AF_INET);
    char text[32];
    ::inet_ntop(AF_INET, &reply.address, text, sizeof text);
    EXPECT_STREQ(text, "127.0.0.1");
    EXPECT_EQ(reply.raw.size(), CPing::kReplyBufferSize);
    // The scanners' addresses are loopback too in the tests.
    EXPECT_EQ(ping.Ping("127.0.0.3", reply), 1);
}

TEST(PingTest, ANameIsResolvedFirstAndAnUnknownOneFails) {
    CPing ping;
    PingReply reply;
    EXPECT_EQ(ping.Ping("localhost", reply), 1);
    ::SetLastError(0);
    EXPECT_EQ(ping.Ping("no-such-host.invalid", reply), 0);
    EXPECT_NE(::GetLastError(), 0u);
}

class CountingPing : public CPing {
public:
    int fills = 0;
    uint8_t first = 0;
    void FillRequestData(uint8_t* buffer, size_t size) override {
        CPing::FillRequestData(buffer, size);
        ++fills;
        first = buffer[0];
        EXPECT_EQ(size, CPing::kRequestSize);
    }
};

TEST(PingTest, ThePayloadIsThirtyTwoLettersE) {
    CountingPing ping;
    PingReply reply;
    ping.Ping("127.0.0.1", reply);
    EXPECT_EQ(ping.fills, 1);
    EXPECT_EQ(ping.first, 'E');
}

}  // namespace
