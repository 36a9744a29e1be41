// Test recordings made by mkdvr read back through the stored-format rules,
// the time index and the disk locator.
#include "DvrWriter.h"
#include "TempFolder.h"
#include "dvrformat/FrameHeader.h"
#include "storage/DvrDiskLocator.h"
#include "storage/TimeIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace tarnvik;
using dvrformat::FrameHeader;
using test::TempFolder;

namespace {

struct Walked {
    std::vector<uint64_t> blockStarts;
    std::vector<int> firstChannels;
};

// Walks the blocks of `data` from `from` by the block-length rule and checks
// every block and record in it; `channels` channels, `audio` per block.
Walked WalkBlocks(const std::vector<uint8_t>& data, uint64_t from, int channels, uint32_t audio)
{
    Walked w;
    uint64_t pos = from;
    uint32_t previous = 0;
    int expectedSequence[16] = {};
    while (pos < data.size()) {
        SCOPED_TRACE(testing::Message() << "block at " << pos);
        const uint8_t* block = data.data() + pos;
        if (!dvrformat::IsBlockOpening(block, std::min<size_t>(40, data.size() - pos))) {
            ADD_FAILURE() << "not a block opening";
            break;
        }
        const FrameHeader open = FrameHeader::Read(block, 40);
        EXPECT_EQ(open.audioBlockLength, audio);
        EXPECT_EQ(open.previousBlockLength, previous ? previous : open.blockLength);
        if (open.blockLength > data.size() - pos) {
            ADD_FAILURE() << "block runs past the end";
            break;
        }
        std::set<int> keyed;
        size_t at = 0;
        const size_t records = open.blockLength - open.audioBlockLength;
        while (at < records) {
            const FrameHeader h = FrameHeader::Read(block + at, 40);
            EXPECT_EQ(std::vector<uint8_t>(block + at, block + at + 4), std::vector<uint8_t>({0xFF, 1, 0, 0}));
            EXPECT_EQ(h.kind, 3);
            EXPECT_EQ(h.typeWord, 0x22F0);
            EXPECT_EQ(h.codec, 1);
            EXPECT_EQ(h.frameRate, 25);
            EXPECT_EQ(h.recordLength, 40 + h.videoLength);
            EXPECT_EQ(h.time, open.time);
            EXPECT_LT(h.channel, channels);
            EXPECT_EQ(h.sequence, expectedSequence[h.channel]) << int(h.channel);
            expectedSequence[h.channel] = (h.sequence + 1) % 255;
            if (at != 0) {
                EXPECT_EQ(h.blockLength + h.audioBlockLength + h.previousBlockLength, 0u);
            }
            // Every channel's first record in the block is a key picture.
            if (keyed.insert(h.channel).second) {
                EXPECT_EQ(h.pictureType, 1) << int(h.channel);
            }
            at += h.recordLength;
        }
        EXPECT_EQ(at, records);
        if (audio > 0) {
            // The tone: 300 + 100 x first channel Hz over one second.
            int crossings = 0;
            auto sample = [&](size_t i) { return int16_t(block[records + 2 * i] | (block[records + 2 * i + 1] << 8)); };
            for (size_t i = 1; i < audio / 2; ++i)
                crossings += (sample(i - 1) < 0) != (sample(i) < 0);
            EXPECT_NEAR(crossings, 2 * (300 + 100 * *keyed.begin()), 2);
        }
        w.blockStarts.push_back(pos);
        w.firstChannels.push_back(*keyed.begin());
        previous = open.blockLength;
        pos += dvrformat::RoundUpToSector(open.blockLength);
    }
    EXPECT_EQ(pos, data.size());
    return w;
}

mkdvr::MkdvrOptions Options(int channels, int seconds)
{
    mkdvr::MkdvrOptions o;
    o.mediaDir = TARNVIK_MEDIA_DIR;
    o.channels = channels;
    o.seconds = seconds;
    return o;
}

} // namespace

TEST(MkdvrTest, BackupParsesBackWithItsIndex)
{
    TempFolder dir;
    mkdvr::MkdvrOptions o = Options(4, 12);
    o.entrySeconds = 5;
    o.gaps = {{7, 120}}; // entries at seconds 0, 5, 7 (gap), 12 would be past the end
    const std::string path = dir / "rec.DVR";
    std::string error;
    mkdvr::MkdvrSummary summary;
    ASSERT_TRUE(mkdvr::WriteBackup(o, path, error, &summary)) << error;

    const std::vector<uint8_t> data = test::ReadBytes(path);
    const Walked w = WalkBlocks(data, 0, 4, 44100);
    ASSERT_EQ(w.blockStarts.size(), 12u);

    TimeIndex index;
    ASSERT_TRUE(LoadTimeIndex(dir / "rec.inx", false, data.size(), index, error)) << error;
    ASSERT_EQ(index.count, 3u);
    const uint32_t t0 = mkdvr::kDefaultStartTime;
    EXPECT_EQ(index.startTime, t0);
    EXPECT_EQ(index.endTime, t0 + 7 + 120);
    const uint32_t times[] = {t0 + 127, t0 + 5, t0};
    const uint64_t seconds[] = {7, 5, 0};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(index.sorted[i].time, times[i]);
        EXPECT_EQ(index.sorted[i].position, w.blockStarts[seconds[i]]);
        EXPECT_EQ(FrameHeader::Read(data.data() + index.sorted[i].position, 40).time, times[i]);
    }
    // Across the gap: from inside second 6 the recording continues at second 7.
    EXPECT_EQ(NextSegment(index, w.blockStarts[6] + 512), w.blockStarts[7]);
    EXPECT_EQ(FindTime(index, t0 + 60), 1); // in the gap: the interval before it
}

TEST(MkdvrTest, ManyChannelsSplitIntoGroupBlocks)
{
    TempFolder dir;
    mkdvr::MkdvrOptions o = Options(16, 2);
    std::string error;
    mkdvr::MkdvrSummary summary;
    ASSERT_TRUE(mkdvr::WriteBackup(o, dir / "many.DVR", error, &summary)) << error;
    ASSERT_GT(summary.groups, 1);
    const Walked w = WalkBlocks(test::ReadBytes(dir / "many.DVR"), 0, 16, 44100);
    ASSERT_EQ(w.blockStarts.size(), size_t(2 * summary.groups));
    for (int g = 0; g < summary.groups; ++g)
        EXPECT_EQ(w.firstChannels[size_t(g)], g * 16 / summary.groups);

    mkdvr::MkdvrOptions bad = Options(17, 2);
    EXPECT_FALSE(mkdvr::WriteBackup(bad, dir / "bad.DVR", error));
    bad = Options(2, 10);
    bad.gaps = {{10, 5}};
    EXPECT_FALSE(mkdvr::WriteBackup(bad, dir / "bad.DVR", error));
}

TEST(MkdvrTest, DiskImageIsFoundAndItsRingLoads)
{
    TempFolder dir;
    const std::string folder = dir / "dvr disk";
    mkdvr::MkdvrOptions o = Options(2, 25); // entries at 0, 10, 20
    o.audio = false;
    mkdvr::DiskLayout layout;
    layout.ringSlots = 6;
    layout.ringOldest = 5; // slots 5, 6, 1 valid
    layout.carId = std::string(100, 'Z');
    layout.carIdZeroTerminated = false;
    std::string error;
    ASSERT_TRUE(mkdvr::WriteDiskImage(o, layout, folder, error)) << error;

    const auto disk = DvrDiskLocator({folder + "/mounts", folder + "/dev", folder + "/sys"}).Find();
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->videoDevice, folder + "/dev/sdz2");
    EXPECT_EQ(ReadCarId(disk->carIdPath()), layout.carId);

    const std::vector<uint8_t> video = test::ReadBytes(disk->videoDevice);
    ASSERT_GE(video.size(), 512u);
    const auto header = dvrformat::StreamFileHeader::Read(video.data());
    EXPECT_TRUE(header.HasValidSignature());
    EXPECT_EQ(header.CodecKindOr(-1), 3);
    EXPECT_EQ(header.ModelCode(), 0x480Fu);
    const Walked w = WalkBlocks(video, 512, 2, 0);
    ASSERT_EQ(w.blockStarts.size(), 25u);

    TimeIndex index;
    ASSERT_TRUE(LoadTimeIndex(disk->timeIndexPath(), true, video.size(), index, error)) << error;
    EXPECT_EQ(index.count, 3u); // 6 - 5 + 1 + 1
    const uint32_t t0 = mkdvr::kDefaultStartTime;
    EXPECT_EQ(index.startTime, t0);
    EXPECT_EQ(index.endTime, t0 + 20);
    ASSERT_EQ(index.sorted.size(), 6u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(index.sorted[i].time, t0 + 20 - 10 * i);
        EXPECT_EQ(index.sorted[i].position, w.blockStarts[20 - 10 * i]);
    }
    // The stale slots are older than the oldest entry, real times, real blocks.
    for (size_t i = 3; i < 6; ++i) {
        EXPECT_LT(index.sorted[i].time, t0);
        EXPECT_GT(index.sorted[i].time, 365u * 86400u);
        EXPECT_TRUE(std::count(w.blockStarts.begin(), w.blockStarts.end(), index.sorted[i].position));
    }
    EXPECT_EQ(FindTime(index, t0 - 120), -1); // stale slots are not found
    EXPECT_EQ(FindTime(index, t0 - 50), 2); // 50 s before the oldest entry

    layout.ringSlots = 2; // fewer slots than entries: refused before anything is written
    EXPECT_FALSE(mkdvr::WriteDiskImage(o, layout, dir / "small", error));
    EXPECT_FALSE(std::filesystem::exists(dir / "small"));
}
