#include "net/DvrSocket.h"
#include "support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tarnvik;
using tarnvik::test::LoopbackPeer;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

long ElapsedMs(Clock::time_point since)
{
    return long(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

} // namespace

TEST(DvrSocket, UnresolvableHostFailsWithoutConnecting)
{
    DvrSocket socket;
    EXPECT_FALSE(socket.Open("no-such-host.invalid", 2200));
    EXPECT_FALSE(socket.IsConnected());
    uint8_t byte;
    EXPECT_EQ(socket.Read(&byte, 1), -1);
}

TEST(DvrSocket, RefusedConnectionFails)
{
    uint16_t port;
    {
        LoopbackPeer closed; // take a free port, then give it back
        port = closed.Port();
    }
    DvrSocket socket;
    EXPECT_FALSE(socket.Open("127.0.0.1", port));
    EXPECT_FALSE(socket.IsConnected());
}

TEST(DvrSocket, OnlyTheFirstLiveObjectConnects)
{
    LoopbackPeer peer;
    auto first = std::make_unique<DvrSocket>();
    DvrSocket second;
    EXPECT_TRUE(first->CanConnect());
    EXPECT_FALSE(second.CanConnect());
    EXPECT_FALSE(second.Open("127.0.0.1", peer.Port()));
    EXPECT_TRUE(first->Open("127.0.0.1", peer.Port()));
    ASSERT_TRUE(peer.Accept());
    first.reset();
    // The second object is still alive, so a third one is not the first
    // either.
    DvrSocket third;
    EXPECT_FALSE(third.CanConnect());
}

TEST(DvrSocket, ReceiveExactReturnsWhatArrivedBeforeClose)
{
    LoopbackPeer peer;
    DvrSocket socket;
    ASSERT_TRUE(socket.Open("localhost", peer.Port()));
    ASSERT_TRUE(peer.Accept());
    peer.Send(std::string("abc"));
    peer.Close();
    uint8_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(socket.ReceiveExact(buffer, 8), 3);
    EXPECT_EQ(buffer[0], 'a');
    EXPECT_EQ(buffer[2], 'c');
    EXPECT_EQ(buffer[3], 0); // the rest was zeroed
    EXPECT_EQ(socket.ReceiveExact(buffer, 8), 0);
}

TEST(DvrSocket, InactivityLimitCountsFromTheLastByte)
{
    LoopbackPeer peer;
    DvrSocket socket(milliseconds(400));
    ASSERT_TRUE(socket.Open("127.0.0.1", peer.Port()));
    ASSERT_TRUE(peer.Accept());

    // A silent peer: -1 once the limit has passed.
    uint8_t buffer[5];
    auto start = Clock::now();
    EXPECT_EQ(socket.ReceiveExact(buffer, 5), -1);
    EXPECT_GE(ElapsedMs(start), 390);
    EXPECT_LT(ElapsedMs(start), 5000);

    // A slow but steady peer: one byte every 150 ms takes 600 ms in all,
    // longer than the limit, and never times out.
    std::thread sender([&peer] {
        for (char c : std::string("12345")) {
            std::this_thread::sleep_for(milliseconds(150));
            peer.Send(std::string(1, c));
        }
    });
    start = Clock::now();
    EXPECT_EQ(socket.ReceiveExact(buffer, 5), 5);
    EXPECT_GE(ElapsedMs(start), 500);
    EXPECT_EQ(buffer[4], '5');
    sender.join();
}

TEST(DvrSocket, CloseFromAnotherThreadWakesTheReader)
{
    LoopbackPeer peer;
    DvrSocket socket;
    ASSERT_TRUE(socket.Open("127.0.0.1", peer.Port()));
    ASSERT_TRUE(peer.Accept());
    std::thread closer([&socket] {
        std::this_thread::sleep_for(milliseconds(100));
        socket.Close();
    });
    uint8_t buffer[8];
    const auto start = Clock::now();
    EXPECT_LE(socket.ReceiveExact(buffer, 8), 0);
    EXPECT_LT(ElapsedMs(start), 5000); // not the 30-second limit
    closer.join();
    EXPECT_FALSE(socket.IsConnected());
}

TEST(DvrSocket, WriteToAClosedPeerFailsQuietly)
{
    LoopbackPeer peer;
    DvrSocket socket;
    ASSERT_TRUE(socket.Open("127.0.0.1", peer.Port()));
    ASSERT_TRUE(peer.Accept());
    peer.Close();
    std::vector<uint8_t> data(256 * 1024, 0x55);
    int result = 0;
    // The first writes may still be buffered; a later one must fail, and
    // none may raise SIGPIPE.
    for (int i = 0; i < 50 && result != -1; ++i) {
        result = socket.Write(data.data(), data.size());
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(result, -1);
}

TEST(DvrSocket, ReopensForTheNextConnection)
{
    LoopbackPeer first;
    LoopbackPeer second;
    DvrSocket socket;
    ASSERT_TRUE(socket.Open("127.0.0.1", first.Port()));
    ASSERT_TRUE(first.Accept());
    socket.Close();
    ASSERT_TRUE(socket.Open("127.0.0.1", second.Port()));
    ASSERT_TRUE(second.Accept());
    const uint8_t hello[] = {'h', 'i'};
    EXPECT_EQ(socket.Write(hello, 2), 2);
    EXPECT_EQ(second.Receive(2), std::vector<uint8_t>({'h', 'i'}));
}
