// A recording made from live video plays back: four channels recorded from
// the in-process test DVR through the viewer core's recorder, then opened as
// a file and played into a fresh renderer (panes, blocks, steps, seeks, time
// search and fast forward).
#include "TempFolder.h"

#include "net/SessionTestSupport.h"
#include "storage/PlaybackSources.h"
#include "storage/RecordFile.h"
#include "support/InProcessDvr.h"
#include "video/VideoTestSupport.h"
#include "video/ViewerCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

using namespace tarnvik;
using namespace tarnvik::test;
using std::chrono::milliseconds;

namespace {

// Records about three seconds of four live channels with sound; the
// recording's path.
std::string RecordLive(const TempFolder& folder)
{
    testdvr::Options options;
    options.channels = 4;
    options.audio = true;
    options.password = "rec";
    InProcessDvr dvr(options, TARNVIK_MEDIA_DIR);
    EXPECT_TRUE(dvr.Started()) << dvr.Error();
    RecordingNotifier notifier;
    RecordingUi ui;
    ViewerCore core(notifier, ui);
    core.Recorder().SetFolder(folder / "rec/");
    ConnectSettings settings;
    settings.host = "127.0.0.1";
    settings.port = dvr.Port();
    settings.password = "rec";
    EXPECT_TRUE(core.Connect(settings));
    EXPECT_TRUE(WaitUntil([&] { return core.Session().Reception().Counters().finished.load() > 20; }));
    EXPECT_TRUE(core.Recorder().StartRecording(kModeLive));
    // Three seconds of pictures (four channels at 25 a second), however
    // slowly a loaded machine takes them in.
    const int start = core.Session().Reception().Counters().finished.load();
    EXPECT_TRUE(WaitUntil([&] { return core.Session().Reception().Counters().finished.load() - start >= 300; },
                          milliseconds(60000)));
    core.Recorder().StopRecording();
    core.Session().Disconnect();
    return core.Recorder().CurrentPath();
}

TEST(RecordingPlayback, LiveRecordingPlaysStepsSeeksAndFastForwards)
{
    TempFolder folder;
    const std::string path = RecordLive(folder);
    ASSERT_FALSE(path.empty());

    RendererRig rig;
    rig.state.division = 4;
    ASSERT_EQ(rig.model.InitDecoders(), 0);
    PlayerSource source;
    std::string message;
    ASSERT_EQ(OpenFileSource(path, source, message), OpenResult::Ok) << message;
    const auto& blocks = dynamic_cast<const RecordFileSource&>(*source.blocks).Blocks();
    ASSERT_GT(blocks.size(), 1u);
    const uint64_t size = source.blocks->Size();

    // The sound inside the records comes back block by block as one
    // channel's unbroken tone (the test DVR's 220 Hz x (1 + channel % 4)).
    const int audioChannel = dynamic_cast<const RecordFileSource&>(*source.blocks).Scan().audioChannel;
    ASSERT_GE(audioChannel, 0);
    std::vector<uint8_t> pcm, buffer(kAudioBufferBytes);
    for (const BlockInfo& block : blocks)
        pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + long(source.blocks->ReadAudio(block, buffer.data())));
    const size_t samples = pcm.size() / 2;
    ASSERT_GT(samples, 22050u);
    int changes = 0;
    for (size_t i = 1; i < samples; ++i)
        changes += (int16_t(pcm[2 * i] | pcm[2 * i + 1] << 8) < 0) != (int16_t(pcm[2 * i - 2] | pcm[2 * i - 1] << 8) < 0);
    const double expected = 2 * 220.0 * (1 + audioChannel % 4);
    EXPECT_NEAR(changes * 22050.0 / double(samples), expected, expected * 0.02);

    std::mutex lock;
    std::vector<ReaderEvent> events;
    auto take = [&] { std::lock_guard<std::mutex> guard(lock); return std::exchange(events, {}); };
    auto firstRecordBlock = [&] {
        for (const ReaderEvent& e : take())
            if (e.kind == ReaderEvent::Kind::Record)
                return e.blockOffset;
        return kNoBlock;
    };
    LocalPlayer player(rig.state, rig.renderer, &rig.model.DecodeLock(), nullptr, nullptr, PlayerOptions{false});
    player.onReaderEvent = [&](const ReaderEvent& e) { std::lock_guard<std::mutex> guard(lock); events.push_back(e); };
    player.Start(std::move(source));
    ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));

    // Played to the end, every channel has reached its pane.
    player.PlayPause();
    ASSERT_TRUE(WaitUntil([&] { return player.AtEnd(); }, milliseconds(30000)));
    ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));
    for (int pane = 0; pane < 4; ++pane)
        EXPECT_FALSE(rig.panes.Snapshot(pane).noVideo) << "pane " << pane;

    player.MoveToFirst();
    ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));
    take();
    player.StepNext();
    ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));
    const auto stepped = take();
    EXPECT_EQ(std::count_if(stepped.begin(), stepped.end(), [](const ReaderEvent& e) { return e.decoded; }),
              kStepPictures);

    // The middle of the file: the first listed block at or after it.
    const auto middle = std::find_if(blocks.begin(), blocks.end(), [&](const BlockInfo& b) { return b.offset >= size / 2; });
    ASSERT_NE(middle, blocks.end());
    player.SeekTo(size / 2);
    ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));
    EXPECT_EQ(firstRecordBlock(), middle->offset);

    // The middle second: the last block that starts at or before it.
    const uint32_t second = blocks.front().time + (blocks.back().time - blocks.front().time) / 2;
    const auto found = player.Source()->FindTimePosition(second);
    ASSERT_TRUE(found);
    const auto holder = std::find_if(blocks.begin(), blocks.end(), [&](const BlockInfo& b) { return b.offset == *found; });
    ASSERT_NE(holder, blocks.end());
    EXPECT_LE(holder->time, second);
    EXPECT_TRUE(holder + 1 == blocks.end() || (holder + 1)->time > second);
    player.SeekTo(*found);
    ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));
    EXPECT_EQ(firstRecordBlock(), *found);

    player.FastForward();
    ASSERT_TRUE(WaitUntil([&] { return player.AtEnd(); }, milliseconds(30000)));
    ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));
    const auto fast = take();
    EXPECT_TRUE(std::any_of(fast.begin(), fast.end(), [](const ReaderEvent& e) { return e.kind == ReaderEvent::Kind::Jump; }));
}

} // namespace
