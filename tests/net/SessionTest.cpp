// The session against the bundled test DVR over loopback: login, the
// CodecKind decision, the ways a session ends, the live requests as the DVR
// logs them, and the DVR's faults.
#include "DvrServer.h"
#include "SessionTestSupport.h"

#include "net/DvrSession.h"
#include "net/PtzRepeater.h"

#include "support/InProcessDvr.h"
#include "support/SilentAddress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarnvik;
using namespace tarnvik::test;
using std::chrono::milliseconds;

using tarnvik::test::InProcessDvr;

namespace {

class SessionWithDvr : public ::testing::Test {
protected:
    void TearDown() override { StopAll(); }

    void StopAll()
    {
        session.reset(); // closes the connection and joins the command task
        server.reset();
    }

    void StartDvr(testdvr::Options options)
    {
        server = std::make_unique<InProcessDvr>(options, TARNVIK_TESTDVR_MEDIA);
        ASSERT_TRUE(server->Started()) << server->Error();
    }

    void MakeSession(milliseconds inactivity = milliseconds(5000))
    {
        SessionTiming timing;
        timing.stopGrace = milliseconds(20);
        timing.inactivityLimit = inactivity;
        timing.badHeaderPause = milliseconds(1);
        session = std::make_unique<DvrSession>(state, sink, decodeLock, ui, notifier, timing);
    }

    ConnectSettings Settings(const std::string& password = "1234")
    {
        ConnectSettings s;
        s.host = "127.0.0.1";
        s.port = server->Port();
        s.password = password;
        s.speedSetting = 3;
        s.codecSetting = 1;
        return s;
    }

    // Starts a DVR and logs in to it.
    void LogIn(testdvr::Options options = {}, milliseconds inactivity = milliseconds(5000))
    {
        StartDvr(options);
        MakeSession(inactivity);
        ASSERT_TRUE(session->Connect(Settings()));
        ASSERT_TRUE(WaitUntil([&] { return state.loggedIn.load(); })) << Joined(notifier.Texts());
    }

    int LogCount(const std::string& text) { return server->LogCount(text); }
    bool WaitForLog(const std::string& text) { return server->WaitForLog(text); }
    bool WaitForTaskEnd()
    {
        return WaitUntil([&] { return ui.Count("task ended") > 0; });
    }
    void ExpectIdle()
    {
        EXPECT_TRUE(state.stopFlag.load());
        EXPECT_FALSE(state.loggedIn.load());
        EXPECT_FALSE(session->IsConnected());
        EXPECT_FALSE(session->TaskRunning());
        EXPECT_EQ(ui.Last("logged"), "logged out 127.0.0.1");
    }
    static std::string Joined(const std::vector<std::string>& texts)
    {
        std::string all;
        for (const auto& t : texts)
            all += "[" + t + "]";
        return all;
    }

    ViewerState state;
    TestFrameSink sink{state};
    std::mutex decodeLock;
    RecordingUi ui;
    StateNotifier notifier{state};
    std::unique_ptr<DvrSession> session;
    std::unique_ptr<InProcessDvr> server;
};

} // namespace

TEST_F(SessionWithDvr, AcceptedLoginStreamsLiveVideoUntilDisconnect)
{
    state.channelCount = 16;
    testdvr::Options options;
    options.channels = 4;
    LogIn(options);
    EXPECT_EQ(state.channelCount.load(), 4);
    EXPECT_EQ(ui.Last("logged"), "logged in 127.0.0.1");
    EXPECT_TRUE(WaitForLog("login accepted admin=1 speed=2 codec=1"));
    EXPECT_TRUE(WaitForLog("live request sub=1 channels=0xffff op=17 panes=4 speed=2 mode=1"));
    EXPECT_GE(sink.Resets(), 2); // at login, and again by the live Play

    ASSERT_TRUE(WaitUntil([&] { return sink.DecodedCount() >= 12; }));
    std::set<int> channels;
    for (const auto& d : sink.Decoded()) {
        channels.insert(d.channel);
        ASSERT_GE(d.head.size(), 4u);
        // The picture data starts behind the 40-byte header: an Annex B start code.
        EXPECT_EQ(std::vector<uint8_t>(d.head.begin(), d.head.begin() + 4), std::vector<uint8_t>({0, 0, 0, 1}));
    }
    EXPECT_EQ(channels, std::set<int>({0, 1, 2, 3}));
    EXPECT_EQ(ui.Last("rec"), "rec on");
    ASSERT_GT(session->Frames().Size(), 0u);
    EXPECT_EQ(session->Frames().Lines().front().rfind("ID:0", 0), 0u);
    EXPECT_GT(sink.TimeTexts(), 0);

    session->Disconnect();
    ExpectIdle();
    EXPECT_EQ(ui.Count("task ended"), 1);
    EXPECT_EQ(ui.Last("rec"), "rec off");
    EXPECT_TRUE(notifier.Texts().empty()) << Joined(notifier.Texts());
}

TEST_F(SessionWithDvr, RefusedLoginShowsLoginFailedAndLeavesIdle)
{
    StartDvr({});
    MakeSession();
    ASSERT_TRUE(session->Connect(Settings("wrong")));
    ASSERT_TRUE(WaitForTaskEnd());
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Login failed!"}));
    EXPECT_EQ(notifier.EndedFirst(), std::vector<bool>({true}));
    EXPECT_TRUE(WaitForLog("login refused"));
    session->Disconnect(); // joins the task that ended on its own
    EXPECT_TRUE(state.stopFlag.load());
    EXPECT_FALSE(state.loggedIn.load());
    EXPECT_FALSE(session->IsConnected());
    EXPECT_EQ(sink.DecodedCount(), 0u);
}

TEST_F(SessionWithDvr, CodecKindFollowsTypeWordAndVersion)
{
    struct Case {
        uint32_t type, version;
        int kind;
        size_t headerLength;
    };
    const Case cases[] = {{0x2200, 0x0302, 0, 32}, {0x2200, 0x0303, 3, 40}, {0x22F0, 0x0101, 1, 32},
                          {0x22F0, 0x0202, 2, 32}, {0x22F0, 0x0300, 3, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "type 0x" << c.type << " version 0x" << c.version);
        testdvr::Options options;
        options.type = c.type;
        options.version = c.version;
        options.channels = 1;
        const size_t before = sink.DecodedCount();
        LogIn(options);
        EXPECT_EQ(state.codecKind.load(), c.kind);
        EXPECT_EQ(state.FrameHeaderLength(), c.headerLength);
        EXPECT_EQ(state.typeWord.load(), c.type);
        EXPECT_EQ(state.version.load(), c.version);
        // Pictures are found behind a header of that length.
        ASSERT_TRUE(WaitUntil([&] { return sink.DecodedCount() >= before + 2; }));
        const auto d = sink.Decoded().back();
        EXPECT_EQ(std::vector<uint8_t>(d.head.begin(), d.head.begin() + 4), std::vector<uint8_t>({0, 0, 0, 1}));
        StopAll();
    }
}

TEST_F(SessionWithDvr, UnknownTypeWordIsAVersionMismatch)
{
    testdvr::Options options;
    options.type = 0x1234;
    StartDvr(options);
    MakeSession();
    ASSERT_TRUE(session->Connect(Settings()));
    ASSERT_TRUE(WaitForTaskEnd());
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Dalvorin Version mismatched !!"}));
    EXPECT_EQ(notifier.EndedFirst(), std::vector<bool>({true}));
    ExpectIdle();
    EXPECT_EQ(state.codecKind.load(), -1);
    EXPECT_TRUE(WaitForLog("closed"));
    EXPECT_EQ(LogCount("live request"), 0);
    EXPECT_EQ(LogCount("playback end op=4 mode=2"), 1);
}

TEST_F(SessionWithDvr, ConnectFailureShowsConnectionFailed)
{
    // A port that was just free: nothing listens there.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);

    MakeSession();
    ConnectSettings s;
    s.host = "127.0.0.1";
    s.port = ntohs(address.sin_port);
    EXPECT_FALSE(session->Connect(s));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Connection failed!"}));
    EXPECT_TRUE(state.stopFlag.load());
    EXPECT_FALSE(session->TaskRunning());
    EXPECT_EQ(ui.Count("logged"), 0);
}

TEST_F(SessionWithDvr, ConnectInStepsCanBeCancelledWhileTheAddressIsSilent)
{
    SilentAddress silent;
    ASSERT_NE(silent.Port(), 0);
    MakeSession();
    ASSERT_TRUE(session->BeginConnect());
    // The open waits on its own thread, as the main window runs it; the
    // cancel must end the wait long before the 20-second connect limit.
    const auto start = std::chrono::steady_clock::now();
    bool opened = true;
    std::thread opener([&] { opened = session->OpenConnection("127.0.0.1", silent.Port()); });
    std::this_thread::sleep_for(milliseconds(100));
    session->CancelOpen();
    opener.join();
    EXPECT_FALSE(opened);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(session->CompleteConnect(ConnectSettings{})) << "nothing to complete without a connection";
    EXPECT_TRUE(notifier.Texts().empty()) << "the steps show no message; their caller does";
    EXPECT_TRUE(state.stopFlag.load());

    // The session is usable afterwards: the steps connect and log in, also
    // when a cancel came after the cancelled open had already ended.
    StartDvr({});
    session->CancelOpen();
    ASSERT_TRUE(session->BeginConnect());
    ASSERT_TRUE(session->OpenConnection("127.0.0.1", server->Port()));
    ASSERT_TRUE(session->CompleteConnect(Settings()));
    EXPECT_TRUE(WaitUntil([&] { return state.loggedIn.load(); })) << Joined(notifier.Texts());
    EXPECT_FALSE(session->BeginConnect()) << "a session runs";
}

TEST_F(SessionWithDvr, ConnectToASilentAddressFailsAtTheConnectLimit)
{
    SilentAddress silent;
    ASSERT_NE(silent.Port(), 0);
    SessionTiming timing;
    timing.connectLimit = milliseconds(300);
    session = std::make_unique<DvrSession>(state, sink, decodeLock, ui, notifier, timing);
    ConnectSettings s;
    s.host = "127.0.0.1";
    s.port = silent.Port();
    EXPECT_FALSE(session->Connect(s));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Connection failed!"}));
}

TEST_F(SessionWithDvr, SessionEndsByTheDvr)
{
    // The DVR closing the connection, and the DVR's finish message: the
    // session ends first, then the one message shows.
    struct Case {
        const char* control;
        const char* message;
    };
    for (const Case c : {Case{"drop", "Connection closed."}, Case{"finish", kFinishMessage}}) {
        SCOPED_TRACE(c.control);
        LogIn();
        ASSERT_TRUE(server->Control(c.control));
        ASSERT_TRUE(WaitForTaskEnd());
        ExpectIdle();
        // Give a late "Connection closed." the chance to appear.
        EXPECT_TRUE(WaitForLog("closed"));
        session->Disconnect();
        EXPECT_EQ(notifier.Texts(), std::vector<std::string>({c.message}));
        EXPECT_EQ(notifier.EndedFirst(), std::vector<bool>({true}));
        StopAll();
        notifier.Clear();
        ui.Clear();
    }
}

TEST_F(SessionWithDvr, DisconnectSendsOneSessionEndPerSession)
{
    LogIn();
    session->Disconnect();
    session->Disconnect();
    ASSERT_TRUE(WaitForLog("closed"));
    EXPECT_EQ(LogCount("playback end op=4 mode=2"), 1);
    EXPECT_EQ(ui.Count("logged out"), 1);

    // A second session on the same object, ended from the program's end path:
    // the live stop, and no second session end.
    ASSERT_TRUE(session->Connect(Settings()));
    ASSERT_TRUE(WaitUntil([&] { return state.loggedIn.load(); }));
    session->EndOfProgram();
    ASSERT_TRUE(WaitUntil([&] { return LogCount("closed") == 2; }));
    EXPECT_EQ(LogCount("playback end op=4 mode=2"), 1);
    EXPECT_EQ(LogCount("live request sub=1 channels=0x0000 op=20"), 1);
    ExpectIdle();
    EXPECT_TRUE(notifier.Texts().empty()) << Joined(notifier.Texts());
}

TEST_F(SessionWithDvr, ErrorReplyKeepsTheSession)
{
    LogIn();
    ASSERT_TRUE(server->Control("error 0x2002"));
    ASSERT_TRUE(WaitUntil([&] { return !notifier.Texts().empty(); }));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Unknown command"}));
    const size_t before = sink.DecodedCount();
    EXPECT_TRUE(WaitUntil([&] { return sink.DecodedCount() > before + 4; }));
    EXPECT_TRUE(state.loggedIn.load());
}

TEST_F(SessionWithDvr, LiveRequestsReachTheDvr)
{
    LogIn();
    // Pan/tilt/zoom is for the single view only: nothing goes out in the grid.
    session->SendPtz(dvrformat::op::PtzLeft);
    session->LivePause();
    EXPECT_TRUE(WaitForLog("live request sub=1 channels=0x0000 op=20 panes=0 speed=2 mode=1"));
    EXPECT_EQ(LogCount("ptz"), 0);
    EXPECT_EQ(state.streamState.load(), uint32_t(kStreamStopped));

    session->LiveTabHidden();
    EXPECT_TRUE(WaitForLog("live request sub=20 channels=0x0000 op=20"));
    session->LiveTabShown();
    EXPECT_TRUE(WaitForLog("live request sub=1 channels=0x0000 op=1 "));
    session->DivisionChanged(9);
    EXPECT_TRUE(WaitForLog("live request sub=1 channels=0xffff op=17 panes=9 speed=2 mode=1"));
    session->DivisionChanged(7); // not a division of the grid
    state.division = 1;
    session->ChannelChosen(2, true);
    EXPECT_TRUE(WaitForLog("live request sub=1 channels=0x0004 op=16 panes=1 speed=2 mode=1"));
    session->ChannelChosen(3, false); // a channel without video is not requested
    state.selectedChannel = 2;
    state.audioOn = true;
    session->AudioSwitched();
    EXPECT_TRUE(WaitForLog("live request sub=1 channels=0x0004 op=17 panes=1 speed=2 mode=1"));
    session->PtzPress(dvrformat::op::PtzZoomIn);
    session->PtzRelease();
    EXPECT_TRUE(WaitForLog("ptz ch=3 op=5"));
    EXPECT_TRUE(WaitForLog("ptz ch=3 op=9 stop"));
    EXPECT_EQ(LogCount("panes=7"), 0);
    EXPECT_EQ(LogCount("channels=0x0008"), 0);

    // The skinned buttons repeat the move while held, and send no stop.
    {
        PtzRepeater repeater([this](uint8_t o) { session->SendPtz(o); }, milliseconds(10));
        repeater.Press(dvrformat::op::PtzUp);
        EXPECT_TRUE(WaitUntil([&] { return LogCount("ptz ch=3 op=3") >= 3; }));
        repeater.Release();
    }
    session->LivePause(); // a marker behind everything the repeater sent
    EXPECT_TRUE(WaitUntil([&] { return LogCount("op=20 panes=0") == 3; }));
    EXPECT_EQ(LogCount("ptz ch=3 op=9 stop"), 1);

    // In remote playback the division change goes out as a playback request.
    state.mode = kModeRemotePlayback;
    session->DivisionChanged(16);
    EXPECT_TRUE(WaitForLog("playback request code=0x11 sub=2 op=17")) << Joined(server->Log()) << Joined(ui.Events());
}

TEST_F(SessionWithDvr, RecoverableFaultsKeepTheSession)
{
    for (const char* fault : {"garbage", "bad-magic", "oversize", "slow"}) {
        SCOPED_TRACE(fault);
        testdvr::Options options;
        options.channels = 2;
        options.faults = {fault};
        options.faultAfter = 4;
        LogIn(options);
        if (std::string(fault) != "slow") { // the slow sender is not a fault event of its own
            EXPECT_TRUE(WaitForLog(std::string("fault ") + fault));
        }
        const size_t before = sink.DecodedCount();
        EXPECT_TRUE(WaitUntil([&] { return sink.DecodedCount() >= before + 3; }));
        EXPECT_TRUE(state.loggedIn.load());
        EXPECT_TRUE(notifier.Texts().empty()) << Joined(notifier.Texts());
        if (std::string(fault) == "oversize") {
            EXPECT_GE(session->Reception().Counters().dropped.load(), 1);
        }
        StopAll();
    }
}

TEST_F(SessionWithDvr, FatalFaultsEndTheSession)
{
    for (const char* fault : {"drop", "short", "bad-code", "stall"}) {
        SCOPED_TRACE(fault);
        testdvr::Options options;
        options.channels = 1;
        options.faults = {fault};
        options.faultAfter = 3;
        LogIn(options, milliseconds(300));
        ASSERT_TRUE(WaitForTaskEnd());
        ExpectIdle();
        EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Connection closed."}));
        EXPECT_EQ(notifier.EndedFirst(), std::vector<bool>({true}));
        StopAll();
        notifier.Clear();
        ui.Clear();
    }
}

namespace {

constexpr uint32_t kRecordedFrom = 1235908800; // the test DVR's recording: 2009-03-01 12:00:00

// Position of the first log line containing `text`, or -1.
int LogIndex(const std::vector<std::string>& log, const std::string& text, int from = 0)
{
    for (size_t i = size_t(from); i < log.size(); ++i)
        if (log[i].find(text) != std::string::npos)
            return int(i);
    return -1;
}

// Times (ms) of the played-back pictures decoded so far; live pictures carry
// today's time, long after the recording.
std::vector<uint64_t> PlayedTimes(const TestFrameSink& sink, int channel = -1)
{
    std::vector<uint64_t> times;
    for (const DecodedFrame& d : sink.Decoded())
        if (d.timeMs < uint64_t(kRecordedFrom + 86400) * 1000 && (channel < 0 || d.channel == channel))
            times.push_back(d.timeMs);
    return times;
}

// A second viewer on a plain socket (the viewer's own socket is one per
// process): logs in, asks for a playback position and returns the error
// code the DVR answers with, 0 for none.
uint16_t SecondViewerPositions(uint16_t port, uint32_t time)
{
    using namespace dvrformat;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    uint16_t code = 0;
    auto send = [fd](uint8_t c, uint8_t sub, const uint8_t* payload, size_t size) {
        std::vector<uint8_t> message(kMessageHeaderSize + size);
        MessageHeader header;
        header.code = c;
        header.sub = sub;
        header.length = uint32_t(size);
        header.Write(message.data());
        std::copy(payload, payload + size, message.begin() + kMessageHeaderSize);
        return ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == ssize_t(message.size());
    };
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        LoginRequest login;
        login.password = "1234";
        uint8_t loginBytes[kLoginRequestSize];
        login.Write(loginBytes);
        StreamRequest position;
        position.op = op::SetPosition;
        position.mode = kModeRemotePlayback;
        position.time = time;
        uint8_t positionBytes[kStreamRequestSize];
        position.Write(positionBytes);
        send(cmd::Login, 1, loginBytes, sizeof loginBytes);
        send(cmd::PlaybackPosition, 2, positionBytes, sizeof positionBytes);
        uint8_t raw[kMessageHeaderSize];
        while (code == 0 && ::recv(fd, raw, sizeof raw, MSG_WAITALL) == ssize_t(sizeof raw)) {
            const MessageHeader header = MessageHeader::Read(raw);
            std::vector<uint8_t> payload(std::min<uint32_t>(header.length, 4096));
            if (!payload.empty() && ::recv(fd, payload.data(), payload.size(), MSG_WAITALL) != ssize_t(payload.size()))
                break;
            if (header.code == cmd::Error && payload.size() >= 2)
                code = uint16_t(payload[0] << 8 | payload[1]);
        }
    }
    ::close(fd);
    return code;
}

testdvr::Options ShortRecording()
{
    testdvr::Options options;
    options.channels = 2;
    options.playbackSeconds = 4; // 100 pictures a channel
    return options;
}

} // namespace

TEST_F(SessionWithDvr, RemotePlaybackPlaysPausesAndStepsFromTheChosenTime)
{
    LogIn(ShortRecording());
    ASSERT_TRUE(WaitUntil([&] { return sink.DecodedCount() > 2; })); // live video runs
    session->RemoteTabShown();
    EXPECT_EQ(state.mode.load(), int(kModeRemotePlayback));

    // Play while live runs: the live stop, then the position, then the stream.
    state.streamState = kStreamRequested;
    ASSERT_TRUE(session->RemotePlay(kRecordedFrom + 1));
    ASSERT_TRUE(WaitForLog("playback request code=0x11 sub=2 op=17"));
    auto log = server->Log();
    const int stop = LogIndex(log, "live request sub=20 channels=0x0000 op=20");
    const int position = LogIndex(log, "playback request code=0x06 sub=2 op=3 time=1235908801 channels=0xffff "
                                       "panes=4 mode=2");
    const int stream = LogIndex(log, "playback request code=0x11 sub=2 op=17 time=0 channels=0xffff panes=4");
    EXPECT_TRUE(stop >= 0 && stop < position && position < stream) << Joined(log);
    ASSERT_TRUE(WaitUntil([&] { return PlayedTimes(sink).size() >= 20; })) << Joined(server->Log());
    for (uint64_t t : PlayedTimes(sink))
        EXPECT_GE(t, uint64_t(kRecordedFrom + 1) * 1000);

    // Pause: the stop, then the session end; the pictures stop.
    session->RemotePause();
    ASSERT_TRUE(WaitForLog("playback end op=4 mode=2"));
    log = server->Log();
    EXPECT_LT(LogIndex(log, "playback request code=0x11 sub=2 op=20"), LogIndex(log, "playback end op=4"));
    EXPECT_EQ(state.streamState.load(), uint32_t(kStreamStopped));
    std::this_thread::sleep_for(milliseconds(200)); // what was under way arrives
    const size_t paused = PlayedTimes(sink).size();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(PlayedTimes(sink).size(), paused);

    // Step Next from idle positions at the pickers' time first; a second
    // step sends only the step, and shows the next picture.
    session->RemoteTimeReset();
    EXPECT_EQ(state.streamState.load(), uint32_t(kStreamIdle));
    const int positionsBefore = LogCount("code=0x06");
    const uint32_t at = kRecordedFrom + 2;
    const uint64_t atMs = uint64_t(at) * 1000;
    session->RemoteStep(true, at);
    ASSERT_TRUE(WaitUntil([&] { return !PlayedTimes(sink, 1).empty() && PlayedTimes(sink, 1).back() == atMs; }));
    log = server->Log();
    const int stepPosition = LogIndex(log, "code=0x06 sub=2 op=3 time=1235908802");
    EXPECT_GE(stepPosition, 0);
    EXPECT_GT(LogIndex(log, "code=0x11 sub=2 op=18 time=1235908802", stepPosition), stepPosition);
    EXPECT_EQ(PlayedTimes(sink, 0).back(), atMs);
    session->RemoteStep(true, at);
    ASSERT_TRUE(WaitUntil([&] { return PlayedTimes(sink, 0).back() == atMs + 40; }));
    EXPECT_EQ(LogCount("code=0x06"), positionsBefore + 1);
    EXPECT_EQ(state.streamState.load(), uint32_t(kStreamStepping));
    // Two steps back: the picture before, then the last of the second before.
    session->RemoteStep(false, at);
    ASSERT_TRUE(WaitUntil([&] { return LogCount("op=23") == 1 && PlayedTimes(sink, 0).back() == atMs; }));
    session->RemoteStep(false, at);
    ASSERT_TRUE(WaitUntil([&] { return PlayedTimes(sink, 0).back() == atMs - 40; }));

    // Leaving the page always ends the DVR's playback session.
    const int ends = LogCount("playback end op=4");
    session->RemoteTabHidden();
    EXPECT_TRUE(WaitUntil([&] { return LogCount("playback end op=4") == ends + 1; }));
    session->RemoteTabHidden(); // nothing played since: sent all the same
    EXPECT_TRUE(WaitUntil([&] { return LogCount("playback end op=4") == ends + 2; }));
    EXPECT_TRUE(notifier.Texts().empty()) << Joined(notifier.Texts());
}

TEST_F(SessionWithDvr, RemotePlaybackInTheSingleViewAsksForTheOneChannel)
{
    LogIn(ShortRecording());
    session->RemoteTabShown();
    state.division = 1;
    state.selectedChannel = 1;
    state.audioOn = false;
    ASSERT_TRUE(session->RemotePlay(kRecordedFrom));
    EXPECT_TRUE(WaitForLog("code=0x11 sub=2 op=16 time=0 channels=0x0002 panes=1 mode=2"));
    ASSERT_TRUE(WaitUntil([&] { return PlayedTimes(sink, 1).size() >= 3; }));
    EXPECT_TRUE(PlayedTimes(sink, 0).empty());
}

TEST_F(SessionWithDvr, PlaybackErrorsOfTheDvrAreShownAndTheSessionGoesOn)
{
    LogIn(ShortRecording());
    session->RemoteTabShown();
    // After the recording: nothing to play.
    ASSERT_TRUE(session->RemotePlay(kRecordedFrom + 3600));
    ASSERT_TRUE(WaitUntil([&] { return notifier.Texts().size() == 1; }));
    EXPECT_EQ(notifier.Texts().back(), "There is not a search data.");
    // Before the first picture nothing is older.
    session->RemoteTimeReset();
    session->RemoteStep(false, kRecordedFrom);
    ASSERT_TRUE(WaitUntil([&] { return notifier.Texts().size() == 2; }));
    EXPECT_EQ(notifier.Texts().back(), "It is the first position of recorded data.");
    // Past the last picture nothing is newer.
    session->RemoteTimeReset();
    session->RemoteStep(true, kRecordedFrom + 3);
    for (int i = 0; i < 25 && notifier.Texts().size() == 2; ++i) {
        session->RemoteStep(true, kRecordedFrom + 3);
        std::this_thread::sleep_for(milliseconds(5));
    }
    ASSERT_TRUE(WaitUntil([&] { return notifier.Texts().size() == 3; }));
    EXPECT_EQ(notifier.Texts().back(), "It is the last position of recorded data.");

    // A second viewer cannot play back while this one does.
    EXPECT_EQ(SecondViewerPositions(server->Port(), kRecordedFrom), 0x3026);
    EXPECT_EQ(LogCount("send error 0x3026"), 1);

    EXPECT_TRUE(state.loggedIn.load()) << "error replies never end the session";
}

TEST_F(SessionWithDvr, TheLoginsLiveRequestPrecedesWhatTheWindowAsksNext)
{
    // The window leaves the live page the moment it hears of the login: its
    // stop must reach the DVR behind the login's live request, or live video
    // would resume under the other page.
    ui.onSessionChanged = [&](bool loggedIn) {
        if (loggedIn)
            session->LiveTabHidden();
    };
    LogIn();
    ASSERT_TRUE(WaitForLog("live request sub=20 channels=0x0000 op=20"));
    auto log = server->Log();
    const int play = LogIndex(log, "live request sub=1 channels=0xffff op=17");
    EXPECT_TRUE(play >= 0 && play < LogIndex(log, "live request sub=20")) << Joined(log);

    // Logged in while another page is shown: no live video is asked for.
    ui.onSessionChanged = nullptr;
    session->Disconnect();
    session->RemoteTabShown();
    ASSERT_TRUE(session->Connect(Settings()));
    ASSERT_TRUE(WaitUntil([&] { return state.loggedIn.load(); }));
    session->RemoteTimeReset(); // a marker behind anything the login sent
    ASSERT_TRUE(WaitForLog("playback end op=4"));
    EXPECT_EQ(LogCount("live request sub=1 channels=0xffff"), 1) << Joined(server->Log());
}

TEST_F(SessionWithDvr, TheEndOfTheRecordingEndsTheSession)
{
    LogIn(ShortRecording());
    session->RemoteTabShown();
    ASSERT_TRUE(session->RemotePlay(kRecordedFrom + 3)); // the last of its 4 seconds
    ASSERT_TRUE(WaitForTaskEnd()) << Joined(server->Log());
    EXPECT_TRUE(WaitForLog("playback reached the end"));
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"PB MODE STOP!!!"}));
    EXPECT_FALSE(state.loggedIn.load());
    EXPECT_GE(PlayedTimes(sink).size(), 2u);
}

TEST_F(SessionWithDvr, FaultsDuringPlayback)
{
    // Garbage between playback messages is skipped (a DVR of type 0x22F0:
    // only its playback headers are searched for after garbage); a cut
    // message ends the session.
    for (const char* fault : {"garbage", "short"}) {
        SCOPED_TRACE(fault);
        testdvr::Options options = ShortRecording();
        options.type = 0x22F0;
        LogIn(options);
        session->LiveTabHidden();
        ASSERT_TRUE(WaitForLog("live request sub=20"));
        session->RemoteTabShown();
        server->Control(std::string("fault ") + fault);
        ASSERT_TRUE(session->RemotePlay(kRecordedFrom));
        if (std::string(fault) == "garbage") {
            ASSERT_TRUE(WaitUntil([&] { return PlayedTimes(sink).size() >= 10; }));
            EXPECT_TRUE(state.loggedIn.load());
            EXPECT_TRUE(notifier.Texts().empty()) << Joined(notifier.Texts());
        } else {
            ASSERT_TRUE(WaitForTaskEnd());
            EXPECT_EQ(notifier.Texts(), std::vector<std::string>({"Connection closed."}));
        }
        StopAll();
        notifier.Clear();
        ui.Clear();
    }
}
