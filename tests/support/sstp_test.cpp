// SSTP exports against a recording receiver on loopback.
#include <gtest/gtest.h>

#include <string>

#include "support/SfrLib.h"
#include "tests/support/fake_sstp_listener.h"

namespace {

using sonfara::test::FakeSstpListener;
using sonfara::test::OpenFdCount;
using sonfara::test::PortOverride;
using sonfara::test::UnusedPort;

TEST(Sstp, EachRequestHasTheExactBytes) {
    FakeSstpListener rx;
    PortOverride port(rx.Port());
    EXPECT_EQ(SSTPSendMessage("abc", "X", ""), 0);
    EXPECT_EQ(SSTPGiveDocument("doc text", "Sender1"), 0);
    EXPECT_EQ(SSTPGiveSongname("Song", "Sender2"), 0);
    EXPECT_EQ(SSTPCommunicate("hello", "S3"), 0);
    EXPECT_EQ(SSTPSendString("RAW \r\n bytes"), 0);
    auto got = rx.WaitFor(5);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0], "SEND SSTP/1.0\r\nSender: X\r\nScript: abc\\e\r\nOption: \r\n\r\n");
    EXPECT_EQ(got[1], "GIVE SSTP/1.1\r\nSender: Sender1\r\nDocument: doc text\r\n\r\n");
    EXPECT_EQ(got[2], "GIVE SSTP/1.1\r\nSender: Sender2\r\nSongname: Song\r\n\r\n");
    EXPECT_EQ(got[3], "COMMUNICATE SSTP/1.1\r\nSender: S3\r\nSentence: hello\r\n\r\n");
    EXPECT_EQ(got[4], "RAW \r\n bytes");
}

TEST(Sstp, TextBytesPassUnchangedAndNullIsEmpty) {
    FakeSstpListener rx;
    PortOverride port(rx.Port());
    const std::string cp932 = "\x82\xa0\x5c\x83\x5c";  // multi-byte text with 5Ch trail bytes
    EXPECT_EQ(SSTPSendMessage(cp932.c_str(), "Sonfara", "nodescript"), 0);
    EXPECT_EQ(SSTPSendMessage(nullptr, nullptr, nullptr), 0);
    auto got = rx.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "SEND SSTP/1.0\r\nSender: Sonfara\r\nScript: " + cp932 +
                          "\\e\r\nOption: nodescript\r\n\r\n");
    EXPECT_EQ(got[1], "SEND SSTP/1.0\r\nSender: \r\nScript: \\e\r\nOption: \r\n\r\n");
}

TEST(Sstp, RequestLimitIsRefusedNotTruncated) {
    FakeSstpListener rx;
    PortOverride port(rx.Port());
    const std::string fits(SFRLIB_SSTP_MAX_REQUEST, 'a');
    const std::string over(SFRLIB_SSTP_MAX_REQUEST + 1, 'b');
    EXPECT_EQ(SSTPSendString(fits.c_str()), 0);
    EXPECT_EQ(SSTPSendString(over.c_str()), -1);
    // "SEND ...Script: " + script + "\e..." crosses the limit with a shorter script.
    EXPECT_EQ(SSTPSendMessage(std::string(SFRLIB_SSTP_MAX_REQUEST - 40, 'c').c_str(), "X", ""), -1);
    EXPECT_EQ(SSTPSendString("last"), 0);
    auto got = rx.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);  // the refused requests never connected
    EXPECT_EQ(got[0], fits);
    EXPECT_EQ(got[1], "last");
}

TEST(Sstp, AvailabilityFollowsTheReceiver) {
    {
        FakeSstpListener rx;
        PortOverride port(rx.Port());
        EXPECT_EQ(SSTPIsEnabled(), 0);
        auto got = rx.WaitFor(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], "");  // the probe sends nothing
    }
    PortOverride port(UnusedPort());
    EXPECT_EQ(SSTPIsEnabled(), -1);
}

TEST(Sstp, NothingListeningFailsAndLeavesNoSocket) {
    PortOverride port(UnusedPort());
    const int before = OpenFdCount();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(SSTPSendString("x"), -1);
        EXPECT_EQ(SSTPSendMessage("a", "b", "c"), -1);
        EXPECT_EQ(SSTPGiveDocument("a", "b"), -1);
        EXPECT_EQ(SSTPGiveSongname("a", "b"), -1);
        EXPECT_EQ(SSTPCommunicate("a", "b"), -1);
        EXPECT_EQ(SSTPIsEnabled(), -1);
    }
    EXPECT_EQ(OpenFdCount(), before);
}

TEST(Sstp, ReceiverThatNeverReadsDoesNotHoldTheCaller) {
    FakeSstpListener stuck(/*reading=*/false);
    PortOverride port(stuck.Port());
    const std::string big(SFRLIB_SSTP_MAX_REQUEST, 'z');
    const int before = OpenFdCount();
    // The first connection waits in the backlog and takes the request; later
    // ones find the backlog full and give up within the call's time bound.
    EXPECT_EQ(SSTPSendString(big.c_str()), 0);
    for (int i = 0; i < 4; ++i) {
        const int r = SSTPSendString(big.c_str());
        EXPECT_TRUE(r == 0 || r == -1);
    }
    EXPECT_EQ(OpenFdCount(), before);
}

}  // namespace
