#include "net/DvrProtocol.h"
#include "net/DvrSocket.h"
#include "support/LoopbackPeer.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

using namespace tarnvik;
using namespace dvrformat;
using tarnvik::test::Hex;
using tarnvik::test::LoopbackPeer;
using tarnvik::test::RecordingNotifier;
using std::chrono::milliseconds;

namespace {

std::vector<uint8_t> Header(uint8_t code, uint8_t sub, uint32_t length)
{
    std::vector<uint8_t> bytes(kMessageHeaderSize);
    MessageHeader h;
    h.code = code;
    h.sub = sub;
    h.length = length;
    h.Write(bytes.data());
    return bytes;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A protocol over a real loopback connection to a peer the test drives.
class ProtocolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        socket = std::make_unique<DvrSocket>(milliseconds(2000));
        ASSERT_TRUE(socket->Open("127.0.0.1", peer.Port()));
        ASSERT_TRUE(peer.Accept());
        protocol = std::make_unique<DvrProtocol>(*socket, notifier, milliseconds(1));
        protocol->BeginConnection();
        frame.reset(new uint8_t[kFrameBufferSize]);
    }

    ReadResult ReadExpectingMessage()
    {
        ReadResult r = protocol->ReadMessage();
        EXPECT_EQ(r.kind, ReadResult::Kind::Message) << r.endMessage;
        return r;
    }

    LoopbackPeer peer;
    RecordingNotifier notifier;
    std::unique_ptr<DvrSocket> socket;
    std::unique_ptr<DvrProtocol> protocol;
    std::unique_ptr<uint8_t[]> frame;
};

} // namespace

TEST_F(ProtocolTest, LoginRequestBytes)
{
    LoginRequest login;
    login.administrator = 1;
    login.speed = LoginRequest::SpeedByte(0);
    login.codec = 1;
    login.password = "1234";
    protocol->SendLogin(login);
    EXPECT_EQ(peer.Receive(28), Hex("54 71 02 01 00 00 00 14  01 00 01 00 00 00 00 00 00 00 00 00  31 32 33 34 00 00 00 00"));
}

TEST_F(ProtocolTest, RequestWithoutPayloadIsTheHeaderAlone)
{
    protocol->SendCommand(cmd::Backup, 0, nullptr);
    protocol->SendStreamRequest(cmd::Live, 20, StreamRequest{0, false, 0, op::Stop, 0, 0, 1});
    EXPECT_EQ(peer.Receive(28), Hex("54 71 21 00 00 00 00 00  54 71 03 14 00 00 00 0C  00 00 00 00 00 00 00 00 14 00 00 01"));
}

TEST_F(ProtocolTest, NothingIsSentWithoutAConnection)
{
    socket->Close();
    protocol->SendCommand(cmd::Backup, 0, nullptr); // must neither crash nor send
    EXPECT_TRUE(peer.Receive(1).empty());
}

TEST_F(ProtocolTest, LiveDataLengthWithAndWithoutPrefix)
{
    std::vector<uint8_t> block(4096, 0x11);
    peer.Send(Concat({Header(0x03, 0x40, 4096), std::vector<uint8_t>(4088, 0x22)}));
    std::vector<uint8_t> prefix(14, 0);
    prefix[6] = 1;
    peer.Send(Concat({Header(0x03, 0x01, 4096), prefix, std::vector<uint8_t>(4074, 0x33)}));
    peer.Send(Header(0x04, 0, 0));

    ReadResult r = ReadExpectingMessage();
    VideoMessage v = protocol->ReadVideoMessage(r.header, frame.get(), kFrameBufferSize);
    EXPECT_EQ(v.status, VideoMessage::Status::Ok);
    EXPECT_FALSE(v.hasPrefix);
    EXPECT_EQ(v.blockSize, 4088u);
    EXPECT_EQ(frame[4087], 0x22);

    r = ReadExpectingMessage();
    v = protocol->ReadVideoMessage(r.header, frame.get(), kFrameBufferSize);
    EXPECT_EQ(v.status, VideoMessage::Status::Ok);
    EXPECT_TRUE(v.hasPrefix);
    EXPECT_EQ(v.prefix.recording, 1);
    EXPECT_EQ(v.blockSize, 4074u);
    EXPECT_EQ(frame[4073], 0x33);

    // Both messages were consumed exactly: the next header is in step.
    EXPECT_EQ(ReadExpectingMessage().header.code, 0x04);
}

TEST_F(ProtocolTest, ResynchronisesOnALiveHeaderAfterGarbage)
{
    std::vector<uint8_t> prefix(14, 0);
    peer.Send(Concat({Hex("00 11 22 33 44 55 66 77"), Hex("78 54 71 03 01 00 00 10 00"), prefix,
                      std::vector<uint8_t>(4074, 0x44)}));
    const ReadResult r = ReadExpectingMessage();
    EXPECT_EQ(r.header.code, 0x03);
    EXPECT_EQ(r.header.sub, 0x01);
    EXPECT_EQ(r.header.length, 4096u);
    EXPECT_EQ(protocol->BadHeaderCount(), 0);
    const VideoMessage v = protocol->ReadVideoMessage(r.header, frame.get(), kFrameBufferSize);
    EXPECT_EQ(v.status, VideoMessage::Status::Ok);
    EXPECT_EQ(v.blockSize, 4074u);
}

TEST_F(ProtocolTest, PlaybackHeaderFoundBySearchOnlyWhenTypeWordIsNot2200)
{
    // DVR type 0x2200: the 0x11 candidate is passed over, the 0x03 one taken.
    protocol->SetDvrTypeWord(0x2200);
    peer.Send(Concat({Hex("01 02 03 04 05 06 07 08"), Hex("54 71 11 02"), Hex("54 71 03 40 00 00 00 0A 99 98")}));
    ReadResult r = ReadExpectingMessage();
    EXPECT_EQ(r.header.code, 0x03);
    EXPECT_EQ(r.header.length, 10u);
    protocol->ReadVideoMessage(r.header, frame.get(), kFrameBufferSize);

    protocol->SetDvrTypeWord(0x22F0);
    peer.Send(Concat({Hex("01 02 03 04 05 06 07 08"), Hex("54 71 11 02 00 00 00 09 AA")}));
    r = ReadExpectingMessage();
    EXPECT_EQ(r.header.code, 0x11);
    EXPECT_EQ(r.header.length, 9u);
}

TEST_F(ProtocolTest, AcceptedCodeWithPayloadIsReadWholeAndTheNextMessageFollows)
{
    peer.Send(Concat({Header(0x04, 0, 10), Hex("01 02 03 04 05 06 07 08 09 0A"), Header(0x99, 0, 0)}));
    ReadResult r = ReadExpectingMessage();
    EXPECT_EQ(r.header.code, 0x04);
    ASSERT_EQ(protocol->PayloadSize(), 10u);
    EXPECT_EQ(protocol->Payload()[9], 0x0A);
    r = ReadExpectingMessage();
    EXPECT_EQ(r.header.code, 0x99);
}

TEST_F(ProtocolTest, ErrorRepliesShowTheirMessageAndKeepTheConnection)
{
    peer.Send(Concat({Header(0xEE, 0, 2), Hex("20 02"), Header(0xEE, 0, 2), Hex("30 99"), Header(0x04, 0, 0)}));
    ReadResult r = ReadExpectingMessage();
    ASSERT_EQ(r.header.code, 0xEE);
    EXPECT_TRUE(protocol->HandleErrorReply(r.header));
    EXPECT_EQ(protocol->LastErrorCode(), 0x2002);
    r = ReadExpectingMessage();
    EXPECT_TRUE(protocol->HandleErrorReply(r.header));
    EXPECT_EQ(protocol->LastErrorCode(), 0x3099);
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Unknown command"}));
    // Any whole message clears the code again.
    EXPECT_EQ(ReadExpectingMessage().header.code, 0x04);
    EXPECT_EQ(protocol->LastErrorCode(), 0);
}

TEST_F(ProtocolTest, EmptyErrorReplyDoesNotEndTheConnection)
{
    peer.Send(Concat({Header(0xEE, 0, 0), Header(0x04, 0, 0)}));
    ReadResult r = ReadExpectingMessage();
    EXPECT_TRUE(protocol->HandleErrorReply(r.header));
    EXPECT_EQ(protocol->LastErrorCode(), 0);
    EXPECT_EQ(ReadExpectingMessage().header.code, 0x04);
}

TEST_F(ProtocolTest, ErrorReplyCutShortEndsSilently)
{
    peer.Send(Header(0xEE, 0, 2));
    peer.Close();
    const ReadResult r = ReadExpectingMessage();
    EXPECT_FALSE(protocol->HandleErrorReply(r.header));
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(ProtocolTest, LostPayloadAfterAnErrorReplyShowsItsLowByte)
{
    peer.Send(Concat({Header(0xEE, 0, 2), Hex("20 02"), Header(0x04, 0, 10), Hex("01 02 03")}));
    peer.Close();
    ReadResult r = ReadExpectingMessage();
    protocol->HandleErrorReply(r.header);
    r = protocol->ReadMessage();
    EXPECT_EQ(r.kind, ReadResult::Kind::Ended);
    EXPECT_EQ(r.endMessage, "Connection closed.(02)");
}

TEST_F(ProtocolTest, LostPayloadWithoutErrorReplyShowsZero)
{
    peer.Send(Concat({Header(0x04, 0, 10), Hex("01 02 03")}));
    peer.Close();
    const ReadResult r = protocol->ReadMessage();
    EXPECT_EQ(r.kind, ReadResult::Kind::Ended);
    EXPECT_EQ(r.endMessage, "Connection closed.(00)");
}

TEST_F(ProtocolTest, PayloadTimeoutBeforeLoginIsAFailedConnection)
{
    socket->SetInactivityLimit(milliseconds(200));
    peer.Send(Header(0x04, 0, 10));
    const ReadResult r = protocol->ReadMessage();
    EXPECT_EQ(r.kind, ReadResult::Kind::Ended);
    EXPECT_EQ(r.endMessage, "Connection failed.");
}

TEST_F(ProtocolTest, PayloadTimeoutAfterLoginIsAClosedConnection)
{
    socket->SetInactivityLimit(milliseconds(200));
    peer.Send(Concat({Header(0x02, 1, 13), Hex("01 00 00 03 03 00 00 00 01 00 00 22 00"), Header(0x04, 0, 10)}));
    EXPECT_EQ(ReadExpectingMessage().header.code, 0x02);
    EXPECT_TRUE(protocol->LoginSeen());
    const ReadResult r = protocol->ReadMessage();
    EXPECT_EQ(r.endMessage, "Connection closed.(00)");
}

TEST_F(ProtocolTest, HeaderLostEndsWithConnectionClosed)
{
    peer.Send(Hex("54 71 04"));
    peer.Close();
    const ReadResult r = protocol->ReadMessage();
    EXPECT_EQ(r.kind, ReadResult::Kind::Ended);
    EXPECT_EQ(r.endMessage, "Connection closed.");
}

TEST_F(ProtocolTest, GarbageThatNeverResynchronisesEndsWhenThePeerCloses)
{
    peer.Send(std::vector<uint8_t>(300, 0x54));
    peer.Close();
    const ReadResult r = protocol->ReadMessage();
    EXPECT_EQ(r.endMessage, "Connection closed.");
}

TEST_F(ProtocolTest, HundredBadHeadersAreToleratedButNotMore)
{
    std::vector<uint8_t> bad;
    for (int i = 0; i < 100; ++i) {
        const auto h = Header(0x05, 0, 0);
        bad.insert(bad.end(), h.begin(), h.end());
    }
    peer.Send(Concat({bad, Header(0x04, 0, 0)}));
    EXPECT_EQ(ReadExpectingMessage().header.code, 0x04);
    EXPECT_EQ(protocol->BadHeaderCount(), 0);

    peer.Send(Concat({bad, Header(0x05, 0, 0), Header(0x04, 0, 0)}));
    const ReadResult r = protocol->ReadMessage();
    EXPECT_EQ(r.kind, ReadResult::Kind::Ended);
    EXPECT_EQ(r.endMessage, "Connection closed.");
}

TEST_F(ProtocolTest, OversizeMessagesAreSkippedWithoutOverrun)
{
    const uint32_t big = 2000000;
    // Far more than the socket buffers hold: the peer writes while we read.
    std::thread sender([this, big] {
        peer.Send(Concat({Header(0x04, 0, big), std::vector<uint8_t>(big, 0x5A)}));
        peer.Send(Concat({Header(0x03, 0x01, big), std::vector<uint8_t>(14, 0), std::vector<uint8_t>(big - 22, 0x6B)}));
        peer.Send(Header(0x99, 0, 0));
    });

    ReadResult r = ReadExpectingMessage();
    EXPECT_EQ(r.header.code, 0x04);
    EXPECT_EQ(protocol->PayloadSize(), kReceiveBufferSize - kMessageHeaderSize);

    r = ReadExpectingMessage();
    ASSERT_EQ(r.header.code, 0x03);
    const VideoMessage v = protocol->ReadVideoMessage(r.header, frame.get(), kFrameBufferSize);
    EXPECT_EQ(v.status, VideoMessage::Status::Dropped);

    EXPECT_EQ(ReadExpectingMessage().header.code, 0x99);
    sender.join();
}

TEST_F(ProtocolTest, LengthBeyondAnyDvrMessageIsACorruptedHeader)
{
    // Skipping what such a header claims would swallow the stream for hours;
    // the reader takes the next header instead, and counts the bad one.
    int refused = 0;
    for (const uint8_t code : {cmd::Live, cmd::Playback, cmd::Status, cmd::Error}) {
        for (const uint32_t length : {0x7FFFFFFFu, 0xFFFFFFFFu, DvrProtocol::kMaxMessageLength + 1}) {
            SCOPED_TRACE(testing::Message() << "code " << int(code) << " length " << length);
            peer.Send(Concat({Header(code, 0x02, length), Hex("01 02 03"), Header(cmd::Live, 0x01, 4096),
                              std::vector<uint8_t>(14, 0), std::vector<uint8_t>(4074, 0x44)}));
            const ReadResult r = ReadExpectingMessage();
            EXPECT_EQ(r.header.code, cmd::Live);
            EXPECT_EQ(r.header.length, 4096u);
            EXPECT_EQ(protocol->ImplausibleLengthCount(), ++refused);
            const VideoMessage v = protocol->ReadVideoMessage(r.header, frame.get(), kFrameBufferSize);
            EXPECT_EQ(v.status, VideoMessage::Status::Ok);
        }
    }
}

TEST_F(ProtocolTest, VideoMessageShorterThanItsPrefixIsDropped)
{
    peer.Send(Concat({Header(0x11, 0x02, 12), Hex("01 02 03 04"), Header(0x99, 0, 0)}));
    const ReadResult r = ReadExpectingMessage();
    const VideoMessage v = protocol->ReadVideoMessage(r.header, frame.get(), kFrameBufferSize);
    EXPECT_EQ(v.status, VideoMessage::Status::Dropped);
    EXPECT_EQ(ReadExpectingMessage().header.code, 0x99);
}

TEST(ConnectionClosedText, LowByteOfTheLastErrorCode)
{
    EXPECT_EQ(ConnectionClosedWithCode(0), "Connection closed.(00)");
    EXPECT_EQ(ConnectionClosedWithCode(0x3025), "Connection closed.(25)");
}
