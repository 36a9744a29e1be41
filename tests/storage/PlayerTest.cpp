// The local player on real files made by the test-file generator, decoding
// through the real renderer into the panes: first pictures, the speed
// labels, fast-motion bursts both ways (from the reader's own record
// trace), steps, the end, seeks, time search, the disk image, and damaged
// sources.
#include "TempFolder.h"

#include "DvrWriter.h"
#include "storage/PlaybackSources.h"
#include "storage/RecordFile.h"
#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

using namespace tarnvik;
using namespace tarnvik::test;
using std::chrono::milliseconds;

namespace {

class FakeAudio : public PlayerAudio {
public:
    void Clear() override
    {
        std::lock_guard<std::mutex> guard(lock);
        pcm.clear();
    }
    void Append(const uint8_t* data, size_t bytes) override
    {
        std::lock_guard<std::mutex> guard(lock);
        pcm.insert(pcm.end(), data, data + bytes);
    }
    size_t Count() const override { return pcm.size(); }
    void Pause() override { ++pauses; }
    void Resume() override { ++resumes; }
    void Reset() override {}
    void SetRefill(std::function<void()> r) override { refill = std::move(r); }

    std::mutex lock;
    std::vector<uint8_t> pcm;
    std::function<void()> refill;
    std::atomic<int> pauses{0}, resumes{0};
};

// Collects the reader's trace; the player thread writes, the test reads.
struct Trace {
    void Add(const ReaderEvent& e)
    {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(e);
    }
    std::vector<ReaderEvent> Take()
    {
        std::lock_guard<std::mutex> guard(lock);
        return std::exchange(events, {});
    }
    size_t RecordCount()
    {
        std::lock_guard<std::mutex> guard(lock);
        return size_t(std::count_if(events.begin(), events.end(),
                                    [](const ReaderEvent& e) { return e.kind == ReaderEvent::Kind::Record; }));
    }
    std::mutex lock;
    std::vector<ReaderEvent> events;
};

std::vector<ReaderEvent> Records(const std::vector<ReaderEvent>& events)
{
    std::vector<ReaderEvent> out;
    for (const auto& e : events)
        if (e.kind == ReaderEvent::Kind::Record)
            out.push_back(e);
    return out;
}

std::vector<BlockInfo> BlockList(const std::string& path)
{
    auto file = std::make_unique<SourceFile>();
    std::string error;
    EXPECT_TRUE(file->Open(path, error)) << error;
    GopBlockSource blocks(std::move(file), 0, {});
    std::vector<BlockInfo> list;
    for (BlockInfo b = blocks.First(); b.Valid(); b = blocks.At(b.next))
        list.push_back(b);
    return list;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rig.state.division = 4;
        ASSERT_EQ(rig.model.InitDecoders(), 0);
    }
    void TearDown() override { player.reset(); }

    std::string MakeBackup(int channels, int seconds, mkdvr::MkdvrSummary* summary = nullptr)
    {
        mkdvr::MkdvrOptions options;
        options.mediaDir = TARNVIK_MEDIA_DIR;
        options.channels = channels;
        options.seconds = seconds;
        options.entrySeconds = 4;
        const std::string path = folder / "rec.DVR";
        std::string error;
        EXPECT_TRUE(mkdvr::WriteBackup(options, path, error, summary)) << error;
        return path;
    }

    void Play(PlayerSource source)
    {
        player = std::make_unique<LocalPlayer>(rig.state, rig.renderer, &rig.model.DecodeLock(), &audio, nullptr,
                                               PlayerOptions{false});
        player->onReaderEvent = [this](const ReaderEvent& e) { trace.Add(e); };
        player->Start(std::move(source));
        ASSERT_TRUE(player->WaitIdle(milliseconds(20000)));
    }

    // A disk image with an entry every two seconds, found by the locator
    // through its fake mount table and opened as the DVR disk.
    void OpenDiskImage(int channels, int seconds, const mkdvr::DiskLayout& layout, PlayerSource& source,
                       mkdvr::MkdvrSummary* summary = nullptr)
    {
        mkdvr::MkdvrOptions options;
        options.mediaDir = TARNVIK_MEDIA_DIR;
        options.channels = channels;
        options.seconds = seconds;
        options.entrySeconds = 2;
        std::string error;
        ASSERT_TRUE(mkdvr::WriteDiskImage(options, layout, folder.str(), error, summary)) << error;
        const auto disk = DvrDiskLocator({folder / "mounts", folder / "dev", folder / "sys"}).Find();
        ASSERT_TRUE(disk);
        std::string message;
        ASSERT_EQ(OpenDiskSource(*disk, source, message), OpenResult::Ok) << message;
    }

    void PlayFile(const std::string& path)
    {
        PlayerSource source;
        std::string message;
        ASSERT_EQ(OpenFileSource(path, source, message), OpenResult::Ok) << message;
        Play(std::move(source));
    }

    // The blocks of the source in order, walked by their own lengths.
    std::vector<uint64_t> BlockStarts()
    {
        std::vector<uint64_t> starts;
        BlockSource& blocks = *const_cast<PlayerSource*>(player->Source())->blocks;
        for (BlockInfo b = blocks.First(); b.Valid(); b = blocks.At(b.next))
            starts.push_back(b.offset);
        return starts;
    }

    // Lets fast motion run until `records` records were read, then pauses.
    std::vector<ReaderEvent> RunUntil(size_t records)
    {
        for (int i = 0; i < 2000 && trace.RecordCount() < records; ++i)
            std::this_thread::sleep_for(milliseconds(5));
        player->BeginSeek();
        EXPECT_TRUE(player->WaitIdle(milliseconds(20000)));
        return trace.Take();
    }

    TempFolder folder;
    RendererRig rig;
    FakeAudio audio;
    Trace trace;
    std::unique_ptr<LocalPlayer> player;
};

TEST_F(PlayerTest, BackupShowsAllFourChannelsAndStepsEightPictures)
{
    PlayFile(MakeBackup(4, 6));
    for (int pane = 0; pane < 4; ++pane)
        EXPECT_FALSE(rig.panes.Snapshot(pane).noVideo) << "pane " << pane;
    EXPECT_EQ(player->State(), kStatePaused);

    trace.Take();
    player->StepNext();
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    int decoded = 0;
    for (const auto& e : Records(trace.Take()))
        decoded += e.decoded;
    EXPECT_EQ(decoded, kStepPictures);
}

TEST(PlayerSpeeds, ButtonsStepThroughTheSpeedsAndLabels)
{
    // FF six times from a pause, RW three times from there, FF at <<8.
    std::vector<std::string> labels;
    int speed = 0;
    for (int i = 0; i < 6; ++i)
        labels.push_back(SpeedLabel(speed = NextFastForwardSpeed(speed)));
    for (int i = 0; i < 3; ++i)
        labels.push_back(SpeedLabel(speed = NextFastBackwardSpeed(speed)));
    labels.push_back(SpeedLabel(NextFastForwardSpeed(speed)));
    EXPECT_EQ(labels, (std::vector<std::string>{" >>2  ", " >>4  ", " >>8  ", " >>16 ", " >>32 ", " >>2  ",
                                                " <<2  ", " <<4  ", " <<8  ", " >>2  "}));
    EXPECT_EQ(NextFastBackwardSpeed(-6), -2);
    EXPECT_EQ(SpeedLabel(-1), " <    ");
    EXPECT_EQ(SpeedLabel(0), " ||  ");
    EXPECT_EQ(SpeedLabel(7), "     ");
}

// Fast motion shows bursts of 16 records, each from the start of a block,
// `jump` blocks after (or before) the previous burst's block.
void ExpectBursts(const std::vector<ReaderEvent>& events, const std::vector<uint64_t>& starts, int jump)
{
    const std::vector<ReaderEvent> records = Records(events);
    ASSERT_GE(records.size(), size_t(3 * kBurstRecords));
    auto indexOf = [&](uint64_t offset) {
        return int(std::find(starts.begin(), starts.end(), offset) - starts.begin());
    };
    // The first burst starts after the first jump; records before it are
    // none (fast motion begins with a jump).
    int previousBlock = -1;
    for (size_t burst = 0; (burst + 1) * kBurstRecords <= records.size(); ++burst) {
        const ReaderEvent& first = records[burst * kBurstRecords];
        const int block = indexOf(first.blockOffset);
        ASSERT_LT(block, int(starts.size()));
        EXPECT_EQ(first.recordOffset, first.blockOffset) << "burst " << burst << " starts mid-block";
        for (int i = 1; i < kBurstRecords; ++i)
            EXPECT_EQ(records[burst * kBurstRecords + i].blockOffset, first.blockOffset);
        if (previousBlock >= 0) {
            EXPECT_EQ(block - previousBlock, jump) << "burst " << burst;
        }
        previousBlock = block;
    }
}

TEST_F(PlayerTest, FastForwardShowsBurstsAndSkipsBlocks)
{
    PlayFile(MakeBackup(4, 30));
    const std::vector<uint64_t> starts = BlockStarts();
    trace.Take();
    player->FastForward(); // >>2: one block skipped between bursts
    ExpectBursts(RunUntil(4 * kBurstRecords), starts, 2);

    player->MoveToFirst();
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    trace.Take();
    for (int i = 0; i < 4; ++i)
        player->FastForward();
    ASSERT_EQ(SpeedLabel(player->Speed()), " >>16 "); // four blocks skipped
    ExpectBursts(RunUntil(3 * kBurstRecords), starts, 5);
}

TEST_F(PlayerTest, FastBackwardStepsBackBlockByBlock)
{
    PlayFile(MakeBackup(4, 30));
    const std::vector<uint64_t> starts = BlockStarts();
    player->MoveToLast();
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    trace.Take();
    player->FastBackward(); // <<2: back one block
    ExpectBursts(RunUntil(4 * kBurstRecords), starts, -1);
    player->MoveToLast();
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    trace.Take();
    for (int i = 0; i < 3; ++i)
        player->FastBackward(); // <<8: back three blocks
    ExpectBursts(RunUntil(3 * kBurstRecords), starts, -3);
}

TEST_F(PlayerTest, PlayRunsToTheEndAndPlayAfterTheEndRestarts)
{
    PlayFile(MakeBackup(2, 4));
    const std::vector<uint64_t> starts = BlockStarts();
    player->PlayPause();
    for (int i = 0; i < 2000 && !player->AtEnd(); ++i)
        std::this_thread::sleep_for(milliseconds(5));
    ASSERT_TRUE(player->AtEnd());
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    EXPECT_EQ(player->State(), kStatePaused);
    trace.Take();
    player->PlayPause();
    for (int i = 0; i < 2000 && trace.RecordCount() == 0; ++i)
        std::this_thread::sleep_for(milliseconds(5));
    player->BeginSeek();
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    const auto records = Records(trace.Take());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().blockOffset, starts.front());
}

TEST_F(PlayerTest, SeekAndStepBackLandOnBlocks)
{
    PlayFile(MakeBackup(4, 12));
    const std::vector<uint64_t> starts = BlockStarts();
    ASSERT_GE(starts.size(), 8u);

    // The slider names a sector; the player shows the block starting there or next.
    const PlayerSource& source = *player->Source();
    const int64_t value = int64_t(starts[5] / 512) - 3;
    trace.Take();
    player->SeekTo(source.SliderTarget(value));
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    auto records = Records(trace.Take());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().blockOffset, starts[5]);
    EXPECT_EQ(source.SliderValue(starts[5], 0), int64_t(starts[5] / 512));

    player->StepPrev();
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    records = Records(trace.Take());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().blockOffset, starts[4]);

}

TEST_F(PlayerTest, TimeSearchFindsTheEntryOfThatMinute)
{
    // Four seconds, 100 s unrecorded, eight more: two index entries.
    mkdvr::MkdvrOptions options;
    options.mediaDir = TARNVIK_MEDIA_DIR;
    options.channels = 1;
    options.seconds = 12;
    options.entrySeconds = 100;
    options.gaps = {{4, 100}};
    mkdvr::MkdvrSummary summary;
    std::string error;
    ASSERT_TRUE(mkdvr::WriteBackup(options, folder / "gap.DVR", error, &summary)) << error;
    ASSERT_EQ(summary.entries.size(), 2u);
    PlayFile(folder / "gap.DVR");
    const PlayerSource& source = *player->Source();
    const auto& second = summary.entries[1];
    // 30 s before an entry's start finds it; before the oldest, nothing.
    EXPECT_EQ(source.FindTimePosition(second.time - 30), std::optional<uint64_t>(second.position));
    EXPECT_EQ(source.FindTimePosition(summary.entries[0].time + 1), std::optional<uint64_t>(summary.entries[0].position));
    EXPECT_EQ(source.FindTimePosition(summary.entries[0].time - 61), std::nullopt);
    trace.Take();
    player->SeekTo(*source.FindTimePosition(second.time - 30));
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    const auto records = Records(trace.Take());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().blockOffset, second.position);
}

TEST_F(PlayerTest, BlockAudioReachesTheOutputInOrder)
{
    const std::string path = MakeBackup(1, 5);
    PlayFile(path);
    ASSERT_TRUE(audio.refill);
    // Play restarts the audio reader at the block playing (the first), which
    // reads two blocks' sound; each further refill reads the next two.
    player->PlayPause();
    for (int i = 0; i < 2000 && !player->AtEnd(); ++i)
        std::this_thread::sleep_for(milliseconds(5));
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    audio.refill();
    std::vector<uint8_t> expected;
    const std::vector<uint8_t> file = ReadBytes(path);
    for (const BlockInfo& block : BlockList(path)) {
        ASSERT_EQ(block.audioBytes, 44100u);
        const size_t at = size_t(block.offset + block.recordBytes);
        expected.insert(expected.end(), file.begin() + long(at), file.begin() + long(at + block.audioBytes));
        if (expected.size() == 4 * 44100)
            break;
    }
    std::lock_guard<std::mutex> guard(audio.lock);
    EXPECT_EQ(audio.pcm.size(), expected.size());
    EXPECT_TRUE(audio.pcm == expected);
    EXPECT_GT(audio.resumes.load(), 0);
}

TEST_F(PlayerTest, WrappedDiskPlaysFromTheOldestOverThePartitionEndToTheNewest)
{
    // Twelve seconds in six entries; the newest three entries' blocks lie at
    // the partition's start, the older ones behind them.
    mkdvr::DiskLayout layout;
    layout.wrapEntries = 3;
    mkdvr::MkdvrSummary summary;
    PlayerSource source;
    ASSERT_NO_FATAL_FAILURE(OpenDiskImage(2, 12, layout, source, &summary));
    ASSERT_LT(summary.entries.back().position, summary.entries.front().position);
    // The slider counts index entries from the oldest.
    EXPECT_EQ(source.SliderMaximum(), int64_t(summary.entries.size()) - 1);
    EXPECT_EQ(source.SliderValue(summary.entries.front().position, summary.entries.front().time), 0);
    Play(std::move(source));

    // Played through: every block once, in time order, ending at the newest.
    trace.Take();
    player->MoveToFirst();
    player->PlayPause();
    for (int i = 0; i < 4000 && !player->AtEnd(); ++i)
        std::this_thread::sleep_for(milliseconds(5));
    ASSERT_TRUE(player->AtEnd());
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    std::vector<uint64_t> blocks;
    for (const ReaderEvent& e : trace.Take())
        if (e.kind == ReaderEvent::Kind::Refill)
            blocks.push_back(e.blockOffset);
    ASSERT_EQ(blocks.size(), size_t(summary.blocks));
    EXPECT_EQ(blocks.front(), summary.entries.front().position);
    EXPECT_EQ(std::set<uint64_t>(blocks.begin(), blocks.end()).size(), blocks.size());
    const auto wrap = std::find(blocks.begin(), blocks.end(), summary.entries[3].position);
    ASSERT_NE(wrap, blocks.end());
    EXPECT_EQ(*(wrap - 1) > *wrap, true) << "the walk goes on at the partition's start";

    // The last position is the newest recording; RW steps back over the wrap.
    player->MoveToLast();
    ASSERT_TRUE(player->WaitIdle(milliseconds(10000)));
    auto records = Records(trace.Take());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().blockOffset, blocks.back());
    player->FastBackward();
    const auto back = Records(RunUntil(size_t(summary.blocks) * kBurstRecords));
    std::vector<uint64_t> bursts;
    for (size_t i = 0; i < back.size(); i += kBurstRecords)
        bursts.push_back(back[i].blockOffset);
    ASSERT_GE(bursts.size(), 8u);
    for (size_t i = 0; i + 1 < bursts.size(); ++i) {
        const auto at = std::find(blocks.begin(), blocks.end(), bursts[i]);
        ASSERT_NE(at, blocks.begin());
        EXPECT_EQ(*(at - 1), bursts[i + 1]) << "burst " << i;
    }
}

TEST_F(PlayerTest, DamagedSourcesPlayWhatTheyCanOrSayWhy)
{
    const std::string good = MakeBackup(2, 6);
    std::vector<uint8_t> bytes = ReadBytes(good);
    PlayerSource source;
    std::string message;

    WriteBytes(folder / "empty.DVR", {});
    EXPECT_EQ(OpenFileSource(folder / "empty.DVR", source, message), OpenResult::Failed);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(OpenFileSource(folder / "missing.avs", source, message), OpenResult::Failed);
    WriteBytes(folder / "empty.avs", {});
    EXPECT_EQ(OpenFileSource(folder / "empty.avs", source, message), OpenResult::Failed);

    std::vector<uint8_t> garbage(3 << 20);
    uint32_t seed = 12345;
    for (auto& b : garbage)
        b = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
    WriteBytes(folder / "garbage.DVR", garbage);
    EXPECT_EQ(OpenFileSource(folder / "garbage.DVR", source, message), OpenResult::Failed);
    WriteBytes(folder / "garbage.avs", garbage);
    EXPECT_EQ(OpenFileSource(folder / "garbage.avs", source, message), OpenResult::Failed);

    // Cut in the middle of a block, and with a block length out of range
    // in the third block: the player plays to the end without a fault.
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + bytes.size() / 2 + 777);
    WriteBytes(folder / "cut.DVR", cut);
    std::vector<uint8_t> broken = bytes;
    const std::vector<BlockInfo> blocks = BlockList(good);
    ASSERT_GE(blocks.size(), 4u);
    for (int i = 0; i < 4; ++i)
        broken[blocks[2].offset + 32 + i] = 0xFF;
    WriteBytes(folder / "broken.DVR", broken);
    for (const std::string name : {"cut.DVR", "broken.DVR"}) {
        PlayFile(folder / name);
        player->FastForward();
        player->FastForward();
        for (int i = 0; i < 4000 && !player->AtEnd(); ++i)
            std::this_thread::sleep_for(milliseconds(5));
        EXPECT_TRUE(player->AtEnd()) << name;
        player->Stop();
    }
}

} // namespace
