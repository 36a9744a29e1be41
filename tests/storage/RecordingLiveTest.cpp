// The headless viewer records what the in-process test DVR sends: the
// recordings, split at the rollover size, hold byte for byte a contiguous
// run of the DVR's copy of its sent frame blocks, each file with its own
// header naming the stream variant and model of the DVR.
#include "RecordingTestSupport.h"

#include "net/SessionTestSupport.h"
#include "support/InProcessDvr.h"
#include "support/RecordingNotifier.h"
#include "video/ViewerCore.h"

#include <chrono>
#include <memory>
#include <thread>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

constexpr uint64_t kFourMegabytes = 4000000;

class RecordingLive : public ::testing::Test {
protected:
    // Starts a sixteen-channel DVR that copies what it sends and a viewer
    // logged in to it, with pictures arriving.
    void Open(uint32_t type, uint32_t version, uint32_t model, bool decode, uint64_t rollover = kRolloverBytes)
    {
        testdvr::Options options;
        options.channels = 16;
        options.type = type;
        options.version = version;
        options.model = model;
        options.password = "rec";
        options.copySent = folder / "sent.bin";
        dvr = std::make_unique<InProcessDvr>(options, TARNVIK_MEDIA_DIR);
        ASSERT_TRUE(dvr->Started()) << dvr->Error();
        SessionTiming timing;
        timing.stopGrace = std::chrono::milliseconds(50);
        core = std::make_unique<ViewerCore>(notifier, ui, timing, rollover);
        core->State().minimised = !decode; // recording goes on without decoding
        core->Recorder().SetFolder(folder / "rec/");
        ConnectSettings settings;
        settings.host = "127.0.0.1";
        settings.port = dvr->Port();
        settings.password = "rec";
        ASSERT_TRUE(core->Connect(settings));
        const auto& counters = core->Session().Reception().Counters();
        ASSERT_TRUE(WaitUntil([&] { return counters.finished.load() > 50; }));
    }

    // Ends the session and the DVR, so every block sent is in the copy.
    Bytes CloseAndReadCopy()
    {
        core->Session().Disconnect();
        dvr.reset();
        return ReadFile(folder / "sent.bin");
    }

    void TearDown() override
    {
        core.reset();
        dvr.reset();
    }

    TempFolder folder;
    RecordingNotifier notifier;
    RecordingUi ui;
    std::unique_ptr<InProcessDvr> dvr;
    std::unique_ptr<ViewerCore> core;
};

} // namespace

TEST_F(RecordingLive, TwentySecondsOfSixteenChannelsInFourMegabyteFiles)
{
    ASSERT_NO_FATAL_FAILURE(Open(0x2200, 0x0303, 0x480F, true, kFourMegabytes));
    std::vector<int> states;
    core->Recorder().onStateChanged = [&](int kind) { states.push_back(kind); };
    ASSERT_TRUE(core->Recorder().StartRecording(kModeLive));
    std::this_thread::sleep_for(std::chrono::seconds(20));
    core->Recorder().StopRecording();
    const Bytes sent = CloseAndReadCopy();

    const std::vector<std::string> files = Recordings(folder / "rec");
    ASSERT_GE(files.size(), 2u);
    std::vector<Bytes> all;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i]);
        const Bytes file = ReadFile(files[i]);
        ASSERT_GE(file.size(), 8u);
        // 0x2202, kind 3, 0x480F * 8.
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), Bytes({0x02, 0x22, 0x03, 0x03, 0x78, 0x40, 0x02, 0x00}));
        const std::vector<Bytes> records = Records(file);
        ASSERT_FALSE(records.empty());
        const uint64_t size = file.size() - 8;
        if (i + 1 < files.size()) {
            // Ends with the record that took it past the limit.
            EXPECT_GT(size, kFourMegabytes);
            EXPECT_LE(size - records.back().size(), kFourMegabytes);
        } else {
            EXPECT_LE(size, kFourMegabytes);
        }
        all.insert(all.end(), records.begin(), records.end());
    }
    EXPECT_TRUE(ContainsRun(sent, Concat(all)));
    // Sixteen channels for twenty seconds: far more than a few pictures.
    EXPECT_GT(all.size(), 16u * 25u * 5u);
    // Started, one report per new file, stopped.
    EXPECT_EQ(states.size(), files.size() + 1);
    EXPECT_EQ(states.back(), 0);
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(RecordingLive, HeaderNamesEachStreamVariant)
{
    struct Variant {
        uint32_t type, version;
        uint8_t kindByte;
    };
    const Variant variants[] = {{0x2200, 0x0202, 1}, {0x22F0, 0x0101, 1}, {0x22F0, 0x0202, 2}, {0x2200, 0x0303, 3}};
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.type * 0x10000 + v.version);
        ASSERT_NO_FATAL_FAILURE(Open(v.type, v.version, 0x1208, false));
        ASSERT_TRUE(core->Recorder().StartRecording(kModeLive));
        ASSERT_TRUE(WaitUntil([&] { return core->Recorder().Written() > 200000; }));
        core->Recorder().StopRecording();
        const Bytes file = ReadFile(core->Recorder().CurrentPath());
        const Bytes sent = CloseAndReadCopy();
        ASSERT_GT(file.size(), 8u);
        // 0x1208 * 8 = 0x9040.
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), Bytes({0x02, 0x22, v.kindByte, v.kindByte, 0x40, 0x90, 0, 0}));
        EXPECT_TRUE(ContainsRun(sent, Bytes(file.begin() + 8, file.end())));
        EXPECT_FALSE(Records(file).empty());
        core.reset();
        std::filesystem::remove_all(folder / "rec");
        std::filesystem::remove(folder / "sent.bin");
    }
}
