// The time index through real files: ring counts, refusals, sorting, search
// by time, the next segment, entries beyond the recording, CARID and names.
#include "TempFolder.h"
#include "storage/TimeIndex.h"

#include <gtest/gtest.h>

using namespace tarnvik;
using dvrformat::TimeIndexEntry;
using dvrformat::TimeIndexHeader;
using test::TempFolder;

namespace {

constexpr uint32_t T = 1767600000; // 2026-01-05 08:00:00

std::vector<uint8_t> IndexBytes(uint32_t oldest, uint32_t newest, const std::vector<TimeIndexEntry>& entries)
{
    std::vector<uint8_t> bytes(16 + 16 * entries.size());
    TimeIndexHeader{0, oldest, newest, 0}.Write(bytes.data());
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i].Write(bytes.data() + 16 + 16 * i);
    return bytes;
}

// `n` entries ten minutes apart, positions 1 MiB apart.
std::vector<TimeIndexEntry> Entries(size_t n)
{
    std::vector<TimeIndexEntry> e;
    for (size_t i = 0; i < n; ++i)
        e.push_back({T + uint32_t(600 * i), uint32_t(i), uint64_t(i) << 20});
    return e;
}

struct Loaded {
    bool ok;
    TimeIndex index;
    std::string error;
};

Loaded Load(const TempFolder& dir, const std::vector<uint8_t>& bytes, bool disk, uint64_t sourceLength = 0)
{
    const std::string path = dir / "timeindex";
    test::WriteBytes(path, bytes);
    Loaded r;
    r.ok = LoadTimeIndex(path, disk, sourceLength, r.index, r.error);
    return r;
}

} // namespace

TEST(TimeIndexTest, RingCountAndRefusedNumbers)
{
    struct Row {
        uint32_t oldest, newest;
        size_t count; // 0: refused
    };
    const Row rows[] = {
        {5, 3, 9}, {4, 4, 1}, {1, 10, 10}, {10, 1, 2}, {1, 1, 1},
        {0, 3, 0}, {5, 0, 0}, {11, 3, 0}, {5, 11, 0}, {0xFFFFFFFF, 1, 0}, {1, 0xFFFFFFFF, 0},
    };
    TempFolder dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "oldest " << row.oldest << " newest " << row.newest);
        const Loaded r = Load(dir, IndexBytes(row.oldest, row.newest, Entries(10)), true);
        EXPECT_EQ(r.ok, row.count != 0);
        EXPECT_EQ(r.index.count, row.count);
        if (row.count == 0) {
            EXPECT_NE(r.error.find("entry"), std::string::npos) << r.error;
            EXPECT_TRUE(r.index.Empty());
            EXPECT_TRUE(r.index.sorted.empty());
        } else {
            EXPECT_EQ(r.index.startTime, T + 600 * (row.oldest - 1));
            EXPECT_EQ(r.index.endTime, T + 600 * (row.newest - 1));
        }
    }
}

TEST(TimeIndexTest, ShortAndMissingFilesAreRefusedWithAReason)
{
    TempFolder dir;
    const std::vector<uint8_t> header = IndexBytes(1, 1, {});
    std::vector<uint8_t> partial = header;
    partial.resize(16 + 15, 0x7F);
    for (const auto& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>(15, 1), header, partial}) {
        const Loaded r = Load(dir, bytes, false);
        EXPECT_FALSE(r.ok) << bytes.size();
        EXPECT_FALSE(r.error.empty());
        EXPECT_TRUE(r.index.Empty());
    }
    TimeIndex index;
    std::string error;
    EXPECT_FALSE(LoadTimeIndex(dir / "absent.inx", false, 0, index, error));
    EXPECT_NE(error.find("absent.inx"), std::string::npos);
}

TEST(TimeIndexTest, OneEntryBackupIndex)
{
    TempFolder dir;
    const Loaded r = Load(dir, IndexBytes(1, 1, {{T, 7, 0}}), false, 4096);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.index.count, 1u);
    EXPECT_EQ(r.index.startTime, T);
    EXPECT_EQ(r.index.endTime, T);
    EXPECT_EQ(r.index.sorted[0].carried, 7u);
    EXPECT_EQ(FindTime(r.index, T + 5), 0);
    EXPECT_EQ(NextSegment(r.index, 0), 0u);
}

TEST(TimeIndexTest, SortedNewestFirstWithUnsetSlotsLast)
{
    // The slot of 1970 ends the copied part: the entry after it is not taken.
    std::vector<TimeIndexEntry> e = {{T + 10, 0, 512}, {T + 30, 0, 1536}, {T + 20, 0, 1024}, {0, 0, 0}, {T + 40, 0, 2048}};
    TempFolder dir;
    const Loaded r = Load(dir, IndexBytes(1, 3, e), true);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.index.sorted.size(), 5u);
    EXPECT_EQ(r.index.count, 3u);
    const uint32_t times[] = {T + 30, T + 20, T + 10, 0, 0};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(r.index.sorted[i].time, times[i]) << i;
    EXPECT_EQ(r.index.lastNonzeroPosition, 1024u);

    // A ring counting more entries than were copied counts only the copied.
    const Loaded wide = Load(dir, IndexBytes(1, 5, e), true);
    EXPECT_EQ(wide.index.count, 3u);
}

TEST(TimeIndexTest, FindTimeMatchesUpToFiftyNineSecondsAhead)
{
    TempFolder dir;
    const Loaded r = Load(dir, IndexBytes(1, 3, Entries(3)), false); // T, T+600, T+1200
    ASSERT_TRUE(r.ok) << r.error;
    struct Row {
        uint32_t time;
        int expectedTime; // -1: none
    } rows[] = {
        {T + 600 - 30, int(T + 600)}, {T + 600 - 59, int(T + 600)}, {T + 600 - 60, int(T)},
        {T + 5000, int(T + 1200)},    {T - 59, int(T)},             {T - 60, -1},
        {0, -1},
    };
    for (const Row& row : rows) {
        const int found = FindTime(r.index, row.time);
        const int foundTime = found < 0 ? -1 : int(r.index.sorted[size_t(found)].time);
        EXPECT_EQ(foundTime, row.expectedTime) << row.time;
    }
    EXPECT_EQ(FindTime(TimeIndex{}, T), -1);
}

TEST(TimeIndexTest, NextSegmentFollowsRecordingOrder)
{
    EXPECT_EQ(NextSegment(TimeIndex{}, 0), 0u);
    EXPECT_EQ(NextSegment(TimeIndex{}, 123456), 0u);
    TimeIndex noCount;
    noCount.sorted = Entries(3);
    EXPECT_EQ(NextSegment(noCount, 100), 0u);

    TempFolder dir;
    const Loaded r = Load(dir, IndexBytes(1, 3, Entries(3)), false); // at 0, 1 MiB, 2 MiB
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(NextSegment(r.index, 0), 1u << 20);
    EXPECT_EQ(NextSegment(r.index, (1u << 20) + 512), 2u << 20);
    EXPECT_EQ(NextSegment(r.index, 2u << 20), 0u);
}

TEST(TimeIndexTest, EntriesBeyondTheRecordingAreNotFollowed)
{
    TempFolder dir;
    // A backup's newest entry beyond the file is clamped to the file's end.
    Loaded r = Load(dir, IndexBytes(1, 3, Entries(3)), false, 1500000);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.index.count, 3u);
    EXPECT_EQ(r.index.sorted[0].position, 1500000u);
    EXPECT_EQ(r.index.lastNonzeroPosition, 1500000u);

    // Any other entry beyond the source is left out, on a backup or a disk.
    std::vector<TimeIndexEntry> e = Entries(3);
    e[1].position = 9u << 20;
    for (bool disk : {false, true}) {
        r = Load(dir, IndexBytes(1, 3, e), disk, 3u << 20);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.index.count, 2u) << disk;
        EXPECT_EQ(r.index.sorted[0].time, T + 1200);
        EXPECT_EQ(r.index.sorted[1].time, T);
        EXPECT_EQ(NextSegment(r.index, 0), 2u << 20);
    }
}

TEST(TimeIndexTest, CarIdAndNames)
{
    TempFolder dir;
    auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    const struct {
        std::vector<uint8_t> file;
        std::string id;
    } rows[] = {
        {bytes(std::string("CAR 7 \t\0junk", 12)), "CAR 7"},
        {bytes(std::string(120, 'A')), std::string(100, 'A')}, // no zero byte: 100 bytes
        {bytes("ID-42   \n"), "ID-42"},
        {{}, ""},
    };
    for (const auto& row : rows) {
        test::WriteBytes(dir / "CARID", row.file);
        EXPECT_EQ(ReadCarId(dir / "CARID"), row.id);
    }
    EXPECT_EQ(ReadCarId(dir / "missing"), "");

    EXPECT_EQ(IndexPathFor("/a.b/rec.DVR"), "/a.b/rec.inx");
    EXPECT_EQ(IndexPathFor("/a.b/rec"), "/a.b/rec.inx");
    EXPECT_EQ(IndexPathFor("/x/20260105_080000_0.DVR"), "/x/20260105_080000_0.inx");
    EXPECT_EQ(IndexPathFor("rec.2.DVR"), "rec.2.inx");

    EXPECT_EQ(FormatIndexTime(T), "2026/01/05 08:00:00");
    EXPECT_EQ(FormatIndexTime(0), "1970/01/01 00:00:00");
    EXPECT_EQ(FormatIndexTime(0xFFFFFFFF), "2106/02/07 06:28:15");
}
