// The test DVR driven over loopback by the viewer's own socket and protocol
// reader, as the viewer will drive it.
#include "DvrServer.h"
#include "Media.h"

#include "dvrformat/FrameHeader.h"
#include "net/DvrProtocol.h"
#include "net/DvrSocket.h"
#include "support/InProcessDvr.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <map>
#include <thread>

using namespace tarnvik;
using namespace dvrformat;
using tarnvik::test::InProcessDvr;
using tarnvik::test::RecordingNotifier;
using std::chrono::milliseconds;

namespace {

struct Frame {
    FrameHeader header;
    DataPrefix prefix;
    std::vector<uint8_t> block;
};

class TestDvr : public ::testing::Test {
protected:
    void TearDown() override
    {
        socket.Close();
        server.reset();
    }

    void StartDvr(testdvr::Options options)
    {
        server = std::make_unique<InProcessDvr>(options, TARNVIK_TESTDVR_MEDIA);
        ASSERT_TRUE(server->Started()) << server->Error();
        ASSERT_TRUE(socket.Open("127.0.0.1", server->Port()));
        protocol.BeginConnection();
    }

    bool WaitForLog(const std::string& text) { return server->WaitForLog(text); }

    LoginReply Login(const std::string& password)
    {
        LoginRequest login;
        login.administrator = 1;
        login.codec = 1;
        login.password = password;
        protocol.SendLogin(login);
        const ReadResult r = protocol.ReadMessage();
        EXPECT_EQ(r.kind, ReadResult::Kind::Message);
        EXPECT_EQ(r.header.code, cmd::Login);
        return LoginReply::Read(protocol.Payload(), protocol.PayloadSize());
    }

    void RequestLive(uint32_t channels, uint8_t operation, uint8_t panes)
    {
        StreamRequest request;
        request.channels = channels;
        request.op = operation;
        request.panes = panes;
        request.mode = 1;
        protocol.SendStreamRequest(cmd::Live, 1, request);
    }

    // The next live frame; false when the connection ended (endMessage set).
    bool NextFrame(Frame& frame, int* dropped = nullptr)
    {
        for (;;) {
            const ReadResult r = protocol.ReadMessage();
            if (r.kind == ReadResult::Kind::Ended) {
                endMessage = r.endMessage;
                return false;
            }
            if (r.header.code != cmd::Live)
                continue;
            const VideoMessage v = protocol.ReadVideoMessage(r.header, frameBuffer.get(), kFrameBufferSize);
            if (v.status == VideoMessage::Status::Ended) {
                endMessage = "(ended)";
                return false;
            }
            if (v.status == VideoMessage::Status::Dropped) {
                if (dropped)
                    ++*dropped;
                continue;
            }
            frame.prefix = v.prefix;
            frame.block.assign(frameBuffer.get(), frameBuffer.get() + v.blockSize);
            frame.header = FrameHeader::Read(frame.block.data(), frame.block.size());
            return true;
        }
    }

    std::unique_ptr<InProcessDvr> server;
    RecordingNotifier notifier;
    DvrSocket socket{milliseconds(5000)};
    DvrProtocol protocol{socket, notifier, milliseconds(1)};
    std::unique_ptr<uint8_t[]> frameBuffer{new uint8_t[kFrameBufferSize]};
    std::string endMessage;
};

uint32_t DvrClockNow()
{
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return uint32_t(now + local.tm_gmtoff);
}

} // namespace

TEST_F(TestDvr, LoginIsAcceptedWithThePasswordAndRefusedWithout)
{
    testdvr::Options options;
    options.type = 0x22F0;
    options.version = 0x0202;
    options.model = 0x480F;
    StartDvr(options);
    const LoginReply refused = Login("wrong");
    EXPECT_EQ(refused.result, 0);
    const LoginReply accepted = Login("1234");
    EXPECT_NE(accepted.result, 0);
    EXPECT_EQ(accepted.type, 0x22F0u);
    EXPECT_EQ(accepted.version, 0x0202u);
    EXPECT_EQ(accepted.model, 0x480Fu);
    EXPECT_TRUE(WaitForLog("login accepted admin=1 speed=0 codec=1"));
}

TEST_F(TestDvr, LiveFramesCarryTheClipsInTheFrameHeaderLayout)
{
    StartDvr({});
    ASSERT_NE(Login("1234").result, 0);
    RequestLive(0xFFFF, op::StreamWithAudio, 4);
    ASSERT_TRUE(WaitForLog("live request sub=1 channels=0xffff op=17 panes=4 speed=0 mode=1"));

    std::vector<testdvr::Clip> clips(3);
    const char* names[] = {"clip0_cif.264", "clip1_d1.264", "clip2_cif.264"};
    for (int i = 0; i < 3; ++i) {
        std::string error;
        ASSERT_TRUE(testdvr::LoadH264Clip(std::string(TARNVIK_TESTDVR_MEDIA) + "/" + names[i], clips[size_t(i)], error));
    }
    std::map<int, int> count;
    for (int n = 0; n < 16 * 30; ++n) {
        Frame f;
        ASSERT_TRUE(NextFrame(f)) << endMessage;
        const FrameHeader& h = f.header;
        ASSERT_EQ(FindFrameMagic(f.block.data(), f.block.size()), 0);
        const int c = h.channel;
        const testdvr::Clip& clip = clips[size_t(c % 3)];
        const auto& picture = clip.pictures[size_t(count[c] % int(clip.pictures.size()))];
        EXPECT_EQ(h.kind, 3);
        EXPECT_EQ(h.typeWord, 0x2200);
        EXPECT_EQ(f.block.size(), 40 + h.videoLength);
        EXPECT_EQ(h.recordLength, f.block.size());
        EXPECT_EQ(h.sequence, count[c] % 256) << "channel " << c;
        EXPECT_EQ(h.resolution, clip.width == 720 ? 4 : 6);
        EXPECT_TRUE(h.pal);
        EXPECT_EQ(h.codec, 1);
        EXPECT_EQ(h.frameRate, 25);
        EXPECT_TRUE(h.fullHeight);
        EXPECT_EQ(h.audioLength, 0); // the DVR was started without audio
        EXPECT_NE(f.prefix.recording, 0);
        EXPECT_LT(h.milliseconds, 1000);
        EXPECT_NEAR(double(h.time), double(DvrClockNow()), 5.0);
        EXPECT_EQ(h.IsKeyPicture(), picture.key);
        ASSERT_EQ(std::vector<uint8_t>(f.block.begin() + 40, f.block.end()), picture.bytes)
            << "channel " << c << " picture " << count[c];
        ++count[c];
    }
    EXPECT_EQ(count.size(), 16u);
}

TEST_F(TestDvr, KindTwoUsesTheShortHeaderAndAudioFollowsThePicture)
{
    testdvr::Options options;
    options.type = 0x22F0;
    options.version = 0x0202;
    options.audio = true;
    options.channels = 4;
    StartDvr(options);
    ASSERT_NE(Login("1234").result, 0);
    RequestLive(0xFFFF, op::StreamWithAudio, 4);
    std::map<int, int> seen;
    for (int n = 0; n < 12; ++n) {
        Frame f;
        ASSERT_TRUE(NextFrame(f)) << endMessage;
        EXPECT_EQ(f.block[4], 2);
        EXPECT_EQ(f.block[6], 0x22);
        EXPECT_EQ(f.header.audioLength, 1764); // 1/25 s of 22,050 Hz 16-bit mono
        EXPECT_EQ(f.header.audioMask, 1u << (f.header.channel % 4));
        EXPECT_EQ(f.block.size(), 32u + f.header.videoLength + f.header.audioLength);
        ++seen[f.header.channel];
    }
    EXPECT_EQ(seen.size(), 4u); // channels beyond the DVR's four never appear
    EXPECT_EQ(seen.rbegin()->first, 3);
}

TEST_F(TestDvr, ChannelMaskPauseAndJpegChannel)
{
    testdvr::Options options;
    options.jpegChannel = 2;
    StartDvr(options);
    ASSERT_NE(Login("1234").result, 0);
    RequestLive(1u << 2, op::StreamNoAudio, 1);
    for (int n = 0; n < 5; ++n) {
        Frame f;
        ASSERT_TRUE(NextFrame(f)) << endMessage;
        EXPECT_EQ(f.header.channel, 2);
        EXPECT_EQ(f.header.codec, 0);
        EXPECT_TRUE(f.header.IsKeyPicture());
        EXPECT_EQ(f.block[40], 0xFF);
        EXPECT_EQ(f.block[41], 0xD8);
    }
    RequestLive(0, op::Stop, 0);
    ASSERT_TRUE(WaitForLog("op=20"));
    server->Control("status");
    // Pictures already on their way come first; after the status message the
    // paused stream is silent, so the reader times out.
    for (;;) {
        const ReadResult r = protocol.ReadMessage();
        ASSERT_EQ(r.kind, ReadResult::Kind::Message);
        if (r.header.code == cmd::Status)
            break;
        protocol.ReadVideoMessage(r.header, frameBuffer.get(), kFrameBufferSize);
    }
    socket.SetInactivityLimit(milliseconds(500));
    EXPECT_EQ(protocol.ReadMessage().endMessage, "Connection closed.");
}

TEST_F(TestDvr, PanTiltZoomAndPlaybackEndAreLoggedAndAnswered)
{
    StartDvr({});
    ASSERT_NE(Login("1234").result, 0);
    protocol.SendStreamRequest(cmd::Live, 1, StreamRequest::PanTiltZoom(2, op::PtzLeft, 0));
    protocol.SendStreamRequest(cmd::Live, 1, StreamRequest::PanTiltZoom(2, op::PtzStop, 0));
    EXPECT_TRUE(WaitForLog("ptz ch=3 op=1"));
    EXPECT_TRUE(WaitForLog("ptz ch=3 op=9 stop"));

    StreamRequest end;
    end.op = op::EndSession;
    end.mode = 2;
    protocol.SendStreamRequest(cmd::PlaybackEnd, 4, end);
    const ReadResult r = protocol.ReadMessage();
    EXPECT_EQ(r.header.code, cmd::PlaybackEnd);
    EXPECT_TRUE(WaitForLog("playback end op=4 mode=2"));
}

TEST_F(TestDvr, ErrorRepliesAndFinishOnDemand)
{
    StartDvr({});
    ASSERT_NE(Login("1234").result, 0);
    ASSERT_TRUE(server->Control("error 0x2002"));
    ReadResult r = protocol.ReadMessage();
    ASSERT_EQ(r.header.code, cmd::Error);
    EXPECT_TRUE(protocol.HandleErrorReply(r.header));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Unknown command"}));
    ASSERT_TRUE(server->Control("finish"));
    r = protocol.ReadMessage();
    EXPECT_EQ(r.header.code, cmd::Finish);
    EXPECT_FALSE(server->Control("explode"));
    EXPECT_FALSE(server->Control("fault nonsense"));
}

TEST_F(TestDvr, RecoverableFaultsLeaveTheStreamReadable)
{
    testdvr::Options options;
    options.channels = 2;
    options.faults = {"garbage", "bad-magic", "oversize"};
    options.faultAfter = 7;
    StartDvr(options);
    ASSERT_NE(Login("1234").result, 0);
    RequestLive(0xFFFF, op::StreamNoAudio, 4);
    int dropped = 0;
    for (int n = 0; n < 40; ++n) {
        Frame f;
        ASSERT_TRUE(NextFrame(f, &dropped)) << endMessage;
        ASSERT_EQ(FindFrameMagic(f.block.data(), f.block.size()), 0);
        EXPECT_EQ(f.block.size(), 40 + f.header.videoLength);
    }
    EXPECT_GE(dropped, 3); // the oversize messages
    EXPECT_TRUE(WaitForLog("fault garbage"));
    EXPECT_TRUE(WaitForLog("fault bad-magic"));
}

TEST_F(TestDvr, SlowSenderDeliversWholeFrames)
{
    testdvr::Options options;
    options.channels = 1;
    options.faults = {"slow"};
    StartDvr(options);
    ASSERT_NE(Login("1234").result, 0);
    RequestLive(0xFFFF, op::StreamNoAudio, 1);
    for (int n = 0; n < 3; ++n) {
        Frame f;
        ASSERT_TRUE(NextFrame(f)) << endMessage;
        EXPECT_EQ(f.header.sequence, n);
    }
}

TEST_F(TestDvr, FaultsThatEndTheConnection)
{
    // "short" ends inside a frame block: that frame is dropped, and the next
    // header cannot be read.
    for (const char* fault : {"drop", "bad-code", "stall", "short"}) {
        SCOPED_TRACE(fault);
        testdvr::Options options;
        options.channels = 1;
        options.faults = {fault};
        options.faultAfter = 3;
        StartDvr(options);
        socket.SetInactivityLimit(milliseconds(800));
        ASSERT_NE(Login("1234").result, 0);
        RequestLive(0xFFFF, op::StreamNoAudio, 1);
        Frame f;
        int frames = 0;
        while (frames < 100 && NextFrame(f))
            ++frames;
        EXPECT_EQ(frames, 2);
        EXPECT_EQ(endMessage, "Connection closed.");
        TearDown();
        endMessage.clear();
    }
}
