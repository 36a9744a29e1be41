// The recorder on real files in a temporary folder: headers, modes, names
// that never overwrite, folder and write failures told to the user, and the
// reception handing over the pictures the gate keeps from decoding.
#include "RecordingTestSupport.h"

#include "net/DvrSession.h"
#include "net/SessionTestSupport.h"
#include "storage/StreamRecorder.h"
#include "support/LoopbackPeer.h"
#include "support/RecordingNotifier.h"

#include <csignal>
#include <ctime>
#include <filesystem>

#include <sys/resource.h>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

Bytes Block(uint8_t fill, size_t size = 100)
{
    dvrformat::FrameHeader h;
    h.kind = 2;
    h.typeWord = 0x22F0;
    h.videoLength = uint32_t(size - dvrformat::kFrameHeaderShort);
    h.recordLength = uint32_t(size);
    Bytes b(size, fill);
    h.Write(b.data(), dvrformat::kFrameHeaderShort);
    return b;
}

class Recorder : public ::testing::Test {
protected:
    Recorder()
    {
        state.codecKind = 2;
        state.modelCode = 0x480F;
        recorder.SetFolder(folder.str());
        recorder.onStateChanged = [this](int kind) { states.push_back(kind); };
    }
    void Write(const Bytes& b, int mode) { recorder.WriteFrame(b.data(), b.size(), mode); }

    TempFolder folder;
    ViewerState state;
    RecordingNotifier notifier;
    StreamRecorder recorder{state, notifier};
    std::vector<int> states;
};

const Bytes kHeaderKind2 = {0x02, 0x22, 0x02, 0x02, 0x78, 0x40, 0x02, 0x00}; // model 0x480F * 8

} // namespace

TEST_F(Recorder, RecordsOnlyItsOwnModeAndSwitchesModesCleanly)
{
    const Bytes a = Block(0xA1), b = Block(0xB2), c = Block(0xC3), d = Block(0xD4);
    ASSERT_TRUE(recorder.StartRecording(kModeRemotePlayback));
    EXPECT_TRUE(recorder.IsRecording(kModeRemotePlayback));
    Write(a, kModeLive);
    Write(b, kModeRemotePlayback);
    const std::string playbackFile = recorder.CurrentPath();
    // Live recording closes the playback file first.
    ASSERT_TRUE(recorder.StartRecording(kModeLive));
    EXPECT_EQ(ReadFile(playbackFile), Concat({kHeaderKind2, b}));
    EXPECT_TRUE(recorder.StartRecording(kModeLive)); // already: nothing happens
    Write(c, kModeRemotePlayback);
    Write(d, kModeLive);
    EXPECT_EQ(recorder.Written(), d.size());
    recorder.StopRecording();
    EXPECT_NE(recorder.CurrentPath(), playbackFile);
    EXPECT_EQ(ReadFile(recorder.CurrentPath()), Concat({kHeaderKind2, d}));
    EXPECT_EQ(states, std::vector<int>({kModeRemotePlayback, kModeLive, 0}));
    EXPECT_FALSE(recorder.StartRecording(kModeLocalPlayback));
    EXPECT_TRUE(notifier.Texts().empty());

    // Started before the stream variant is known: the header waits for the
    // first block, by when parsing has learned it.
    state.codecKind = dvrformat::kCodecKindUnknown;
    ASSERT_TRUE(recorder.StartRecording(kModeLive));
    state.codecKind = 3;
    Write(a, kModeLive);
    recorder.StopRecording();
    EXPECT_EQ(ReadFile(recorder.CurrentPath()), Concat({{0x02, 0x22, 0x03, 0x03, 0x78, 0x40, 0x02, 0x00}, a}));
}

TEST_F(Recorder, NeverOverwritesARecordingOfTheSameSecond)
{
    // Files named for this second and the next two are there already.
    const time_t now = std::time(nullptr);
    std::vector<std::string> existing;
    for (int s = 0; s < 3; ++s) {
        const time_t t = now + s;
        tm local{};
        localtime_r(&t, &local);
        char name[32];
        std::strftime(name, sizeof name, "%Y%m%d_%H%M%S.avs", &local);
        existing.push_back(folder / name);
        std::ofstream(existing.back()) << "keep";
    }
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(recorder.StartRecording(kModeLive));
        Write(Block(uint8_t(i)), kModeLive);
        recorder.StopRecording();
        paths.push_back(recorder.CurrentPath());
    }
    for (const std::string& e : existing)
        EXPECT_EQ(ReadFile(e), Bytes({'k', 'e', 'e', 'p'}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::count(existing.begin(), existing.end(), paths[size_t(i)]), 0);
        EXPECT_EQ(std::count(paths.begin(), paths.end(), paths[size_t(i)]), 1);
        EXPECT_EQ(ReadFile(paths[size_t(i)]), Concat({kHeaderKind2, Block(uint8_t(i))}));
    }
    EXPECT_NE(paths[0].find("_1.avs"), std::string::npos); // the next free number of the second
}

TEST_F(Recorder, RollsOverAfterTheRecordThatCrossesTheLimit)
{
    StreamRecorder small(state, notifier, 250);
    small.SetFolder(folder / "new/"); // made on the first start
    ASSERT_TRUE(small.StartRecording(kModeLive));
    for (int i = 0; i < 7; ++i) {
        const Bytes b = Block(uint8_t(i));
        small.WriteFrame(b.data(), b.size(), kModeLive);
    }
    small.StopRecording();
    const std::vector<std::string> files = Recordings(folder / "new");
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(ReadFile(files[0]), Concat({kHeaderKind2, Block(0), Block(1), Block(2)}));
    EXPECT_EQ(ReadFile(files[1]), Concat({kHeaderKind2, Block(3), Block(4), Block(5)}));
    EXPECT_EQ(ReadFile(files[2]), Concat({kHeaderKind2, Block(6)}));
}

TEST_F(Recorder, FolderFailuresAreToldAndNothingIsRecorded)
{
    std::ofstream(folder / "plain") << "x";
    std::filesystem::create_directory(folder / "made");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {folder / "missing/sub/", kCantMakeDirectory}, // parent missing: one level only
        {folder / "plain/", kCantMakeDirectory},       // a file in the way
        {"/proc/self/", kCantOpenFile},                // a folder no one can create files in, root included
    };
    for (const auto& [path, text] : cases) {
        SCOPED_TRACE(path);
        recorder.SetFolder(path);
        EXPECT_FALSE(recorder.StartRecording(kModeLive));
        EXPECT_FALSE(recorder.IsRecording(kModeLive));
        ASSERT_FALSE(notifier.Texts().empty());
        EXPECT_EQ(notifier.Texts().back(), text);
    }
    EXPECT_EQ(notifier.Texts().size(), cases.size());
    EXPECT_TRUE(states.empty()); // the REC mark never came on
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST_F(Recorder, WriteFailureStopsTheRecordingAndTellsTheUser)
{
    // A file size limit makes the kernel refuse writes past 64 KiB.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);

    // A large enough stream fails while it is written...
    ASSERT_TRUE(recorder.StartRecording(kModeLive));
    const Bytes big = Block(0x55, 60000);
    for (int i = 0; i < 40 && recorder.IsRecording(kModeLive); ++i)
        Write(big, kModeLive);
    const std::string first = recorder.CurrentPath();
    EXPECT_FALSE(recorder.IsRecording(kModeLive));
    // ... a small one when its buffered end is written at the stop.
    ASSERT_TRUE(recorder.StartRecording(kModeLive));
    Write(big, kModeLive);
    Write(big, kModeLive);
    EXPECT_TRUE(recorder.IsRecording(kModeLive));
    recorder.StopRecording();

    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(notifier.Texts(), std::vector<std::string>({kCantWriteFile, kCantWriteFile}));
    EXPECT_EQ(states, std::vector<int>({kModeLive, 0, kModeLive, 0}));
    EXPECT_LE(std::filesystem::file_size(first), 64u * 1024u);
    Write(big, kModeLive); // ignored: nothing records
    EXPECT_EQ(notifier.Texts().size(), 2u);
}

TEST(RecordedReception, GatedPicturesAreRecordedToo)
{
    using namespace dvrformat;
    TempFolder folder;
    ViewerState state;
    state.division = 1; // single view of channel 0
    TestFrameSink sink{state};
    std::mutex decodeLock;
    RecordingUi ui;
    StateNotifier notifier{state};
    StreamRecorder recorder(state, notifier);
    recorder.SetFolder(folder.str());
    LoopbackPeer peer;
    SessionTiming timing;
    timing.stopGrace = std::chrono::milliseconds(20);
    DvrSession session(state, sink, decodeLock, ui, notifier, timing);
    session.Reception().recorder = [&](const uint8_t* b, size_t n, int mode) { recorder.WriteFrame(b, n, mode); };

    ConnectSettings settings;
    settings.host = "127.0.0.1";
    settings.port = peer.Port();
    settings.password = "1234";
    ASSERT_TRUE(session.Connect(settings));
    ASSERT_TRUE(peer.Accept());
    peer.Receive(kMessageHeaderSize + kLoginRequestSize);
    LoginReply reply;
    reply.result = 1;
    reply.type = 0x2200;
    reply.version = 0x0303;
    Bytes login = Hex("54 71 02 01 00 00 00 0d");
    login.resize(login.size() + kLoginReplySize);
    reply.Write(login.data() + kMessageHeaderSize);
    ASSERT_TRUE(peer.Send(login));
    ASSERT_TRUE(WaitUntil([&] { return state.loggedIn.load(); }));
    ASSERT_TRUE(recorder.StartRecording(kModeLive));

    // 4 and 5 follow a gap and are held back from decoding; 7 is a key picture.
    Bytes blocks;
    const int sequences[] = {0, 1, 2, 4, 5, 7};
    for (int s : sequences) {
        TestFrame f;
        f.sequence = s;
        f.key = s == 0 || s == 7;
        const Bytes message = VideoMessageBytes(f, kFrameHeaderLong);
        ASSERT_TRUE(peer.Send(message));
        blocks.insert(blocks.end(), message.begin() + long(kMessageHeaderSize + kDataPrefixSize), message.end());
    }
    const auto& counters = session.Reception().Counters();
    ASSERT_TRUE(WaitUntil([&] { return counters.finished.load() >= 6; }));
    recorder.StopRecording();
    session.Disconnect();
    EXPECT_EQ(counters.gated.load(), 2);
    EXPECT_EQ(sink.DecodedCount(), 4u);
    const Bytes file = ReadFile(recorder.CurrentPath());
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(Bytes(file.begin() + 8, file.end()), blocks);
}
