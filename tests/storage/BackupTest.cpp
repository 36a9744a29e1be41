// Raw backups of generated recordings: a `.DVR` and a disk image whose ring
// has wrapped copied byte for byte with their `.inx`, the copy played and
// searched by time; a source without an index; a `.avs` recording cut to a
// range; refused ranges; names within one second.
#include "TempFolder.h"

#include "DvrWriter.h"
#include "storage/PlaybackSources.h"
#include "storage/RawBackup.h"
#include "storage/RecordFile.h"
#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <sys/resource.h>

using namespace tarnvik;
using namespace tarnvik::test;
using std::chrono::milliseconds;

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, uint64_t from, uint64_t to)
{
    return {b.begin() + long(from), b.begin() + long(to)};
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class BackupTest : public ::testing::Test {
protected:
    mkdvr::MkdvrOptions Recording(int channels, int seconds, int entrySeconds)
    {
        mkdvr::MkdvrOptions options;
        options.mediaDir = TARNVIK_MEDIA_DIR;
        options.channels = channels;
        options.seconds = seconds;
        options.entrySeconds = entrySeconds;
        return options;
    }
    // Runs a backup of the plan to the end (small chunks, so that several
    // are written and the last is cut short).
    std::unique_ptr<RawBackupJob> Run(const BackupPlan& plan)
    {
        BackupRequest request;
        request.plan = plan;
        request.folder = out / "in.a.folder"; // a dot in a folder name is no extension
        request.startedAt = 1767600000;
        request.chunkBytes = 300 * 1024;
        auto job = std::make_unique<RawBackupJob>(std::move(request));
        job->Start();
        for (int i = 0; i < 2000 && job->Status() == BackupStatus::Running; ++i)
            std::this_thread::sleep_for(milliseconds(10));
        return job;
    }
    // The `.inx` header and entries: the source's entries `first`..`last`
    // (recording order) with positions relative to `base`.
    void ExpectIndex(const std::string& path, const std::vector<dvrformat::TimeIndexEntry>& entries, size_t first,
                     size_t last, const std::function<uint64_t(uint64_t)>& outputPosition)
    {
        const std::vector<uint8_t> inx = ReadBytes(path);
        const size_t n = last - first + 1;
        ASSERT_EQ(inx.size(), 16 + 16 * n);
        EXPECT_EQ(std::vector<uint32_t>({U32(inx, 0), U32(inx, 4), U32(inx, 8), U32(inx, 12)}),
                  std::vector<uint32_t>({0, 1, uint32_t(n), 0}));
        for (size_t i = 0; i < n; ++i) {
            const dvrformat::TimeIndexEntry e = dvrformat::TimeIndexEntry::Read(inx.data() + 16 + 16 * i);
            EXPECT_EQ(e.time, entries[first + i].time) << "entry " << i;
            EXPECT_EQ(e.position, outputPosition(entries[first + i].position)) << "entry " << i;
        }
    }

    TempFolder folder;
    TempFolder out;
};

TEST_F(BackupTest, DvrFileRangeCopiesItsBlocksWithAnIndexThatPlaysAndSearches)
{
    // Five entries of four seconds, 100 s apart: the time search, which
    // matches whole minutes, tells each apart.
    mkdvr::MkdvrOptions options = Recording(4, 20, 100);
    options.gaps = {{4, 100}, {8, 100}, {12, 100}, {16, 100}};
    mkdvr::MkdvrSummary summary;
    std::string error;
    ASSERT_TRUE(mkdvr::WriteBackup(options, folder / "rec.DVR", error, &summary)) << error;
    ASSERT_EQ(summary.entries.size(), 5u);
    PlayerSource source;
    std::string message;
    ASSERT_EQ(OpenFileSource(folder / "rec.DVR", source, message), OpenResult::Ok) << message;
    const auto& entries = summary.entries;

    // Refused: an empty or reversed range, and a start before the recording.
    EXPECT_FALSE(PlanBackup(source, entries[2].time, entries[2].time));
    EXPECT_FALSE(PlanBackup(source, entries[3].time, entries[1].time));
    EXPECT_FALSE(PlanBackup(source, entries[0].time - 120, entries[3].time));

    // From the second entry to a time inside the fourth: entries 1..3, the
    // bytes up to where the fifth begins.
    const auto plan = PlanBackup(source, entries[1].time, entries[3].time + 2);
    ASSERT_TRUE(plan);
    const auto job = Run(*plan);
    ASSERT_EQ(job->Status(), BackupStatus::Succeeded) << job->Message();
    const std::string dvr = job->OutputPath();
    char name[32];
    const std::time_t startedAt = 1767600000;
    std::strftime(name, sizeof name, "%Y%m%d_%H%M%S_0.DVR", std::localtime(&startedAt));
    EXPECT_EQ(std::filesystem::path(dvr).filename(), name);
    const std::vector<uint8_t> copy = ReadBytes(dvr);
    EXPECT_EQ(copy, Slice(ReadBytes(folder / "rec.DVR"), entries[1].position, entries[4].position));
    EXPECT_EQ(job->ChunksDone(), job->ChunksTotal());
    EXPECT_EQ(job->ChunksTotal(), (copy.size() + 300 * 1024 - 1) / (300 * 1024));
    EXPECT_EQ(job->IndexPath(), dvr.substr(0, dvr.size() - 4) + ".inx");
    ExpectIndex(job->IndexPath(), entries, 1, 3, [&](uint64_t p) { return p - entries[1].position; });

    // The copy plays, and its time search finds the same entries.
    PlayerSource copied;
    ASSERT_EQ(OpenBackupSource(dvr, copied, message), OpenResult::Ok) << message;
    EXPECT_EQ(copied.firstTime, entries[1].time);
    for (size_t i = 1; i <= 3; ++i)
        EXPECT_EQ(copied.FindTimePosition(entries[i].time + 1), entries[i].position - entries[1].position);
    RendererRig rig;
    rig.state.division = 4;
    ASSERT_EQ(rig.model.InitDecoders(), 0);
    {
        LocalPlayer player(rig.state, rig.renderer, &rig.model.DecodeLock(), nullptr, nullptr, PlayerOptions{false});
        player.Start(std::move(copied));
        ASSERT_TRUE(player.WaitIdle(milliseconds(20000)));
        for (int pane = 0; pane < 4; ++pane)
            EXPECT_FALSE(rig.panes.Snapshot(pane).noVideo) << "pane " << pane;
    }

    // The whole recording: to the end of the data, as a second file of the
    // same second.
    const auto whole = PlanBackup(source, source.firstTime, source.lastTime);
    ASSERT_TRUE(whole);
    const auto again = Run(*whole);
    ASSERT_EQ(again->Status(), BackupStatus::Succeeded) << again->Message();
    EXPECT_NE(again->OutputPath().find("_1.DVR"), std::string::npos) << again->OutputPath();
    EXPECT_EQ(ReadBytes(again->OutputPath()), ReadBytes(folder / "rec.DVR"));
    ExpectIndex(again->IndexPath(), entries, 0, 4, [](uint64_t p) { return p; });
}

TEST_F(BackupTest, WithoutAnIndexTheBlocksTimesGiveTheRange)
{
    // A `.DVR` whose `.inx` is missing.
    std::string error;
    ASSERT_TRUE(mkdvr::WriteBackup(Recording(2, 8, 100), folder / "rec.DVR", error)) << error;
    std::filesystem::remove(IndexPathFor(folder / "rec.DVR"));
    PlayerSource source;
    std::string message;
    ASSERT_EQ(OpenFileSource(folder / "rec.DVR", source, message), OpenResult::Ok) << message;
    ASSERT_TRUE(source.index.Empty());
    std::vector<BlockInfo> blocks;
    for (BlockInfo b = source.blocks->First(); b.Valid(); b = source.blocks->After(b))
        blocks.push_back(b);
    ASSERT_EQ(blocks.size(), 8u);

    // Inside the third block's second to the fifth's: blocks 2..4, no index.
    EXPECT_FALSE(PlanBackup(source, blocks.back().time + 1, blocks.back().time + 9));
    const auto plan = PlanBackup(source, blocks[2].time, blocks[4].time);
    ASSERT_TRUE(plan);
    const auto job = Run(*plan);
    ASSERT_EQ(job->Status(), BackupStatus::Succeeded) << job->Message();
    EXPECT_EQ(ReadBytes(job->OutputPath()), Slice(ReadBytes(folder / "rec.DVR"), blocks[2].offset, blocks[5].offset));
    EXPECT_EQ(FilesIn(out / "in.a.folder").size(), 1u) << "no index without one in the source";
}

TEST_F(BackupTest, AFailedWriteSaysSoAndLeavesNoPartialFile)
{
    std::string error;
    ASSERT_TRUE(mkdvr::WriteBackup(Recording(4, 8, 4), folder / "rec.DVR", error)) << error;
    PlayerSource source;
    std::string message;
    ASSERT_EQ(OpenFileSource(folder / "rec.DVR", source, message), OpenResult::Ok) << message;
    const auto plan = PlanBackup(source, source.firstTime, source.lastTime);
    ASSERT_TRUE(plan);
    // Files of this process end at 400 KiB: the second chunk's write fails
    // as on a full disk.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 400 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto job = Run(*plan);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(job->Status(), BackupStatus::Failed);
    EXPECT_EQ(job->Message().rfind("Can't write ", 0), 0u) << job->Message();
    EXPECT_TRUE(FilesIn(out / "in.a.folder").empty());
}

TEST_F(BackupTest, WrappedDiskCopiesOverThePartitionEndInRecordingOrder)
{
    mkdvr::DiskLayout layout;
    layout.wrapEntries = 3; // the newest three entries at the partition's start
    mkdvr::MkdvrSummary summary;
    std::string error;
    ASSERT_TRUE(mkdvr::WriteDiskImage(Recording(2, 12, 2), layout, folder.str(), error, &summary)) << error;
    const auto disk = DvrDiskLocator({folder / "mounts", folder / "dev", folder / "sys"}).Find();
    ASSERT_TRUE(disk);
    PlayerSource source;
    std::string message;
    ASSERT_EQ(OpenDiskSource(*disk, source, message), OpenResult::Ok) << message;
    const auto& entries = summary.entries;
    ASSERT_EQ(entries.size(), 6u);

    // Entries 1..4: from the second oldest over the partition's end to
    // where the newest begins.
    const auto plan = PlanBackup(source, entries[1].time, entries[4].time);
    ASSERT_TRUE(plan);
    const auto job = Run(*plan);
    ASSERT_EQ(job->Status(), BackupStatus::Succeeded) << job->Message();
    const std::vector<uint8_t> partition = ReadBytes(disk->videoDevice);
    const uint64_t tail = partition.size() / 512 * 512 - entries[1].position;
    std::vector<uint8_t> expected = Slice(partition, entries[1].position, entries[1].position + tail);
    const std::vector<uint8_t> head = Slice(partition, entries[3].position, entries[5].position);
    expected.insert(expected.end(), head.begin(), head.end());
    EXPECT_EQ(ReadBytes(job->OutputPath()), expected);
    ExpectIndex(job->IndexPath(), entries, 1, 4, [&](uint64_t p) {
        return p >= entries[1].position ? p - entries[1].position : tail + p - entries[3].position;
    });
    PlayerSource copied;
    ASSERT_EQ(OpenBackupSource(job->OutputPath(), copied, message), OpenResult::Ok) << message;
    EXPECT_EQ(copied.FindTimePosition(entries[4].time), tail + entries[4].position - entries[3].position);
}

TEST_F(BackupTest, RecordingRangeIsItsHeaderAndTheWholeRecordsOfTheRange)
{
    // A recording as the stream recorder writes it: a header, then the
    // blocks' records one after the other.
    std::string error;
    ASSERT_TRUE(mkdvr::WriteBackup(Recording(2, 10, 10), folder / "src.DVR", error)) << error;
    std::vector<uint8_t> avs(8);
    dvrformat::StreamFileHeader::ForRecording(3, 0x480F).Write(avs.data());
    {
        auto file = std::make_unique<SourceFile>();
        ASSERT_TRUE(file->Open(folder / "src.DVR", error));
        GopBlockSource blocks(std::move(file), 0, {});
        std::vector<uint8_t> records(kMaxBlockBytes);
        for (BlockInfo b = blocks.First(); b.Valid(); b = blocks.At(b.next))
            avs.insert(avs.end(), records.begin(), records.begin() + long(blocks.ReadRecords(b, records.data())));
    }
    WriteBytes(folder / "rec.avs", avs);
    PlayerSource source;
    std::string message;
    ASSERT_EQ(OpenFileSource(folder / "rec.avs", source, message), OpenResult::Ok) << message;
    const auto& blocks = dynamic_cast<const RecordFileSource&>(*source.blocks).Blocks();
    ASSERT_GE(blocks.size(), 8u);

    // From inside the third block's second to the start of the sixth's.
    const auto plan = PlanBackup(source, blocks[2].time, blocks[5].time);
    ASSERT_TRUE(plan);
    const auto job = Run(*plan);
    ASSERT_EQ(job->Status(), BackupStatus::Succeeded) << job->Message();
    EXPECT_EQ(std::filesystem::path(job->OutputPath()).extension(), ".avs");
    std::vector<uint8_t> expected = Slice(avs, 0, 8);
    const std::vector<uint8_t> range = Slice(avs, blocks[2].offset, blocks[6].offset);
    expected.insert(expected.end(), range.begin(), range.end());
    EXPECT_EQ(ReadBytes(job->OutputPath()), expected);
    EXPECT_EQ(FilesIn(out / "in.a.folder").size(), 1u) << "no index beside a recording";
    PlayerSource copied;
    ASSERT_EQ(OpenFileSource(job->OutputPath(), copied, message), OpenResult::Ok) << message;
    EXPECT_EQ(copied.firstTime, blocks[2].time);
    EXPECT_EQ(copied.lastTime, blocks[5].time);
    EXPECT_FALSE(PlanBackup(source, blocks.back().time + 1, blocks.back().time + 60));
}

} // namespace
