// Reception and requests against a raw loopback peer that plays the DVR
// byte for byte: exact request bytes, the decodability gate, playback data
// rules, the REC indicator and frame lines, and reads that end a connection.
#include "SessionTestSupport.h"
#include "support/LoopbackPeer.h"

#include "net/DvrSession.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tarnvik;
using namespace tarnvik::test;
using namespace dvrformat;
using std::chrono::milliseconds;

namespace {

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

class SessionWithPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        SessionTiming timing;
        timing.stopGrace = milliseconds(20);
        timing.inactivityLimit = milliseconds(3000);
        timing.badHeaderPause = milliseconds(1);
        session = std::make_unique<DvrSession>(state, sink, decodeLock, ui, notifier, timing);
    }
    void TearDown() override { session.reset(); }

    // Connects and returns the login request as the peer received it.
    std::vector<uint8_t> Connect(const std::string& password = "1234")
    {
        ConnectSettings s;
        s.host = "127.0.0.1";
        s.port = peer.Port();
        s.password = password;
        s.speedSetting = 3;
        s.codecSetting = 1;
        EXPECT_TRUE(session->Connect(s));
        EXPECT_TRUE(peer.Accept());
        return peer.Receive(kMessageHeaderSize + kLoginRequestSize);
    }

    // Answers the login and returns the live Play request that follows.
    std::vector<uint8_t> LogIn(uint32_t type = 0x2200, uint32_t version = 0x0303)
    {
        Connect();
        return AnswerLogin(type, version);
    }

    std::vector<uint8_t> AnswerLogin(uint32_t type = 0x2200, uint32_t version = 0x0303)
    {
        LoginReply reply;
        reply.result = 1;
        reply.type = type;
        reply.version = version;
        std::vector<uint8_t> payload(kLoginReplySize);
        reply.Write(payload.data());
        EXPECT_TRUE(peer.Send(Concat({Hex("54 71 02 01 00 00 00 0d"), payload})));
        EXPECT_TRUE(WaitUntil([&] { return state.loggedIn.load(); }));
        return peer.Receive(kMessageHeaderSize + kStreamRequestSize);
    }

    std::vector<uint8_t> NextRequest() { return peer.Receive(kMessageHeaderSize + kStreamRequestSize); }

    // Sends frames and waits until the session has parsed them all.
    // Sends the messages and waits until the reception has finished with
    // all of them (decoding, frame lines and indicators included).
    void SendFrames(const std::vector<std::vector<uint8_t>>& messages)
    {
        const auto& counters = session->Reception().Counters();
        const int target = counters.finished.load() + int(messages.size());
        for (const auto& m : messages)
            ASSERT_TRUE(peer.Send(m));
        ASSERT_TRUE(WaitUntil([&] { return counters.finished.load() >= target; }));
    }

    std::vector<std::pair<int, int>> DecodedChannelSequences()
    {
        std::vector<std::pair<int, int>> out;
        for (const auto& d : sink.Decoded())
            out.emplace_back(d.channel, d.sequence);
        return out;
    }

    ViewerState state;
    TestFrameSink sink{state};
    std::mutex decodeLock;
    RecordingUi ui;
    StateNotifier notifier{state};
    LoopbackPeer peer;
    std::unique_ptr<DvrSession> session;
};

TestFrame Picture(int channel, int sequence, bool key, uint8_t codec = 1)
{
    TestFrame f;
    f.channel = channel;
    f.sequence = sequence;
    f.key = key;
    f.codec = codec;
    return f;
}

} // namespace

TEST_F(SessionWithPeer, LoginAndPlayRequestBytes)
{
    state.division = 1;
    state.selectedChannel = 5;
    const auto login = Connect();
    EXPECT_EQ(login, Hex("54 71 02 01 00 00 00 14  01 02 01 00 00 00 00 00 00 00 00 00  31 32 33 34 00 00 00 00"));
    const auto play = AnswerLogin();
    // Single view: the selected channel alone, without audio, one pane.
    EXPECT_EQ(std::vector<uint8_t>(play.begin(), play.begin() + 12), Hex("54 71 03 01 00 00 00 0c 00 00 00 20"));
    EXPECT_EQ(std::vector<uint8_t>(play.begin() + 16, play.end()), Hex("10 01 02 01"));
    EXPECT_EQ(state.streamState.load(), uint32_t(kStreamRequested));
}

TEST_F(SessionWithPeer, RequestBytes)
{
    const auto play = LogIn();
    EXPECT_EQ(std::vector<uint8_t>(play.begin(), play.begin() + 12), Hex("54 71 03 01 00 00 00 0c 00 00 ff ff"));
    EXPECT_EQ(std::vector<uint8_t>(play.begin() + 16, play.end()), Hex("11 04 02 01"));

    session->LivePause();
    auto r = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 8), Hex("54 71 03 01 00 00 00 0c"));
    EXPECT_EQ(r[16], 20);
    session->LiveTabHidden();
    r = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 8), Hex("54 71 03 14 00 00 00 0c"));
    EXPECT_EQ(r[16], 20);
    session->LiveTabShown();
    r = NextRequest();
    EXPECT_EQ(r[3], 1);
    EXPECT_EQ(r[16], 1);

    // Division changes: time 0, and the mode byte of the current mode but 1 for four panes.
    state.mode = kModeRemotePlayback;
    session->DivisionChanged(9);
    r = NextRequest();
    EXPECT_EQ(r, Hex("54 71 11 02 00 00 00 0c  00 00 ff ff  00 00 00 00  11 09 02 02"));
    session->DivisionChanged(4);
    r = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(r.begin() + 16, r.end()), Hex("11 04 02 01"));
    state.mode = kModeLive;

    // Pan/tilt/zoom: channel + 1 as a little-endian word.
    state.division = 201;
    state.selectedChannel = 2;
    session->SendPtz(op::PtzDown);
    r = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 12), Hex("54 71 03 01 00 00 00 0c 03 00 00 00"));
    EXPECT_EQ(std::vector<uint8_t>(r.begin() + 16, r.end()), Hex("34 01 02 01"));

    session->LocalPlaybackStarted();
    r = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 4), Hex("54 71 03 14"));
    EXPECT_EQ(r[16], 20);
    r = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 4), Hex("54 71 11 14"));
    EXPECT_EQ(r[16], 20);
    EXPECT_EQ(r[19], 2);

    session->Disconnect();
    r = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 8), Hex("54 71 07 04 00 00 00 0c"));
    EXPECT_EQ(r[16], 4);
    EXPECT_EQ(r[19], 2);
    EXPECT_TRUE(peer.Receive(1).empty()); // closed, nothing after the session end

    // Idle: requests go nowhere and nothing breaks.
    session->LivePlay();
    session->LivePause();
    session->SendPtz(op::PtzLeft);
}

TEST_F(SessionWithPeer, SingleViewGapDropsPredictedPicturesUntilAKeyPicture)
{
    state.division = 1;
    state.selectedChannel = 0;
    LogIn();
    const size_t h = kFrameHeaderLong;
    SendFrames({VideoMessageBytes(Picture(0, 0, true), h), VideoMessageBytes(Picture(0, 1, false), h),
                VideoMessageBytes(Picture(0, 2, false), h), VideoMessageBytes(Picture(0, 4, false), h),
                VideoMessageBytes(Picture(0, 5, false), h), VideoMessageBytes(Picture(0, 6, false, 0), h),
                VideoMessageBytes(Picture(0, 8, false), h), VideoMessageBytes(Picture(0, 10, true), h),
                VideoMessageBytes(Picture(0, 11, false), h)});
    // 4 and 5 follow the gap; the JPEG picture 6 stands alone and makes the
    // channel decodable, 8 follows another gap, 10 is a key picture.
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 6}, {0, 10}, {0, 11}};
    EXPECT_EQ(DecodedChannelSequences(), expected);
    EXPECT_EQ(session->Reception().Counters().gated.load(), 3);
}

TEST_F(SessionWithPeer, GridGateTestsTheFramesOwnChannel)
{
    state.division = 4;
    state.selectedChannel = 0;
    LogIn();
    const size_t h = kFrameHeaderLong;
    SendFrames({VideoMessageBytes(Picture(0, 0, true), h), VideoMessageBytes(Picture(1, 0, true), h),
                VideoMessageBytes(Picture(1, 1, false), h), VideoMessageBytes(Picture(1, 3, false), h),
                VideoMessageBytes(Picture(0, 1, false), h), VideoMessageBytes(Picture(1, 4, false), h),
                VideoMessageBytes(Picture(0, 2, false), h)});
    // Channel 1's gap holds back only channel 1, although the selected
    // channel 0 stays decodable throughout.
    const std::vector<std::pair<int, int>> expected = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 2}};
    EXPECT_EQ(DecodedChannelSequences(), expected);
}

TEST_F(SessionWithPeer, RecordingIndicatorFrameLinesAndPrefixlessData)
{
    LogIn(0x22F0, 0x0202); // kind 2: 32-byte headers
    const size_t h = kFrameHeaderShort;
    DataPrefix recording;
    recording.recording = 1;
    TestFrame f = Picture(3, 0, true);
    f.evenField = true;
    f.videoLength = 100;
    SendFrames({VideoMessageBytes(f, h, cmd::Live, 1, recording)});
    EXPECT_EQ(ui.Last("rec"), "rec on");
    EXPECT_EQ(ui.Last("line"), "line ID:03 [I/E/C] Size:100");
    EXPECT_EQ(session->Frames().Lines(), std::vector<std::string>({"ID:03 [I/E/C] Size:100"}));

    TestFrame g = Picture(3, 1, false);
    g.resolution = 5;
    g.videoLength = 7;
    SendFrames({VideoMessageBytes(g, h, cmd::Live, kSubNoPrefix)});
    // The resolution changed, so every flag was cleared: the predicted
    // picture is held back.
    EXPECT_EQ(sink.DecodedCount(), 1u);
    TestFrame k = Picture(3, 2, true);
    k.resolution = 5;
    k.videoLength = 7;
    SendFrames({VideoMessageBytes(k, h, cmd::Live, kSubNoPrefix)});
    ASSERT_EQ(sink.DecodedCount(), 2u);
    EXPECT_EQ(sink.Decoded().back().head, std::vector<uint8_t>(7, 2)); // data behind the 32-byte header
    EXPECT_EQ(ui.Last("rec"), "rec off");
    EXPECT_EQ(ui.Last("line"), "line ID:03 [I/O/f] Size:7");
}

TEST_F(SessionWithPeer, PlaybackDataRules)
{
    state.mode = kModeRemotePlayback;
    LogIn();
    const size_t h = kFrameHeaderLong;
    // No gate: a predicted picture of a channel never seen is decoded.
    SendFrames({VideoMessageBytes(Picture(2, 7, false), h, cmd::Playback, 2)});
    EXPECT_EQ(DecodedChannelSequences(), (std::vector<std::pair<int, int>>{{2, 7}}));

    // Audio only (video length 0) is parsed but not decoded.
    TestFrame audio = Picture(2, 8, false);
    audio.videoLength = 0;
    SendFrames({VideoMessageBytes(audio, h, cmd::Playback, 2)});
    EXPECT_EQ(sink.DecodedCount(), 1u);

    // Above 0x100000 bytes the message is read whole and dropped.
    TestFrame big = Picture(2, 9, true);
    big.videoLength = 0xFFFF0; // with prefix and header the message passes 0x100000
    const int dropped = session->Reception().Counters().dropped.load();
    ASSERT_TRUE(peer.Send(VideoMessageBytes(big, h, cmd::Playback, 2)));
    SendFrames({VideoMessageBytes(Picture(2, 10, true), h, cmd::Playback, 2)});
    EXPECT_EQ(session->Reception().Counters().dropped.load(), dropped + 1);
    EXPECT_EQ(DecodedChannelSequences(), (std::vector<std::pair<int, int>>{{2, 7}, {2, 10}}));
    EXPECT_TRUE(notifier.Texts().empty());

    // Prefix byte 9: the DVR stopped playback.
    DataPrefix stopped;
    stopped.playbackStopped = 1;
    ASSERT_TRUE(peer.Send(VideoMessageBytes(Picture(2, 11, true), h, cmd::Playback, 2, stopped)));
    ASSERT_TRUE(WaitUntil([&] { return ui.Count("task ended") == 1; }));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"PB MODE STOP!!!"}));
    EXPECT_EQ(notifier.EndedFirst(), std::vector<bool>({true}));
    EXPECT_EQ(sink.DecodedCount(), 2u);
    const auto end = NextRequest();
    EXPECT_EQ(std::vector<uint8_t>(end.begin(), end.begin() + 4), Hex("54 71 07 04"));
}

TEST_F(SessionWithPeer, PlaybackPrefixFoundByResynchronisation)
{
    // A playback header behind garbage is taken from a DVR whose type word
    // is not 0x2200.
    state.mode = kModeRemotePlayback;
    LogIn(0x22F0, 0x0300);
    const auto frame = VideoMessageBytes(Picture(1, 0, true), kFrameHeaderLong, cmd::Playback, 2);
    SendFrames({Concat({Hex("00 11 22 33 44 55 66 77 54"), frame})});
    EXPECT_EQ(DecodedChannelSequences(), (std::vector<std::pair<int, int>>{{1, 0}}));
}

TEST_F(SessionWithPeer, ReadsThatEndTheConnection)
{
    // A payload that stops arriving before any login reply: "Connection failed.".
    {
        SessionTiming timing;
        timing.stopGrace = milliseconds(5);
        timing.inactivityLimit = milliseconds(200);
        session.reset();
        session = std::make_unique<DvrSession>(state, sink, decodeLock, ui, notifier, timing);
        Connect();
        ASSERT_TRUE(peer.Send(Hex("54 71 04 00 00 00 00 0a 01 02")));
        ASSERT_TRUE(WaitUntil([&] { return ui.Count("task ended") == 1; }));
        EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Connection failed."}));
        session->Disconnect();
        peer.Close();
    }
    // After login, an error reply and then a cut payload: its code's low byte.
    notifier.Clear();
    LogIn();
    ASSERT_TRUE(peer.Send(Concat({Hex("54 71 ee 00 00 00 00 02 30 99"), Hex("54 71 04 00 00 00 00 0a 01 02")})));
    peer.Close();
    ASSERT_TRUE(WaitUntil([&] { return ui.Count("task ended") == 2; }));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Connection closed.(99)"}));
    EXPECT_FALSE(state.loggedIn.load());
}
