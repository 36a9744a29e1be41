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
    EXPECT_TRUE(WaitForLog("playback request code=0x11 op=17")) << Joined(server->Log()) << Joined(ui.Events());
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
