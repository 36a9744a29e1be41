#include "BitWriter.h"

#include "core/BitReader.h"
#include "core/Framework.h"
#include "core/Nal.h"
#include "core/ParameterSets.h"
#include "core/SliceHeader.h"

#include <gtest/gtest.h>

using namespace QLMedia;
using QLMedia::test::BitWriter;
using QLMedia::test::MakeSps;

namespace {

int32_t Parse(const std::vector<uint8_t>& rbsp, SequenceParameterSet& sps)
{
    BitReader br(rbsp.data(), rbsp.size());
    return ParseSps(br, sps);
}

} // namespace

TEST(BitReader, ExpGolombAndEndOfData)
{
    BitWriter w;
    w.Ue(0);
    w.Ue(7);
    w.Se(-3);
    w.Se(4);
    w.Ue(65535);
    const auto bytes = w.Finish();
    BitReader br(bytes.data(), bytes.size());
    EXPECT_EQ(br.ReadUe(), 0u);
    EXPECT_EQ(br.ReadUe(), 7u);
    EXPECT_EQ(br.ReadSe(), -3);
    EXPECT_EQ(br.ReadSe(), 4);
    EXPECT_EQ(br.ReadUe(), 65535u);
    EXPECT_FALSE(br.MoreRbspData()); // only the stop bit is left
    EXPECT_FALSE(br.Error());
    br.ReadBits(16);
    EXPECT_TRUE(br.Error()); // past the end: sticky, and zeros come back
    EXPECT_EQ(br.ReadBits(8), 0u);
}

TEST(BitReader, LongRunsOfCodesReadBackAtEveryAlignment)
{
    // Long enough that most reads take the whole-word path; the last ones,
    // near the end, take the byte-by-byte one.
    std::vector<uint32_t> values;
    uint32_t seed = 2024;
    auto next = [&] { return seed = seed * 1664525 + 1013904223; };
    BitWriter w;
    for (int i = 0; i < 3000; ++i) {
        const uint32_t v = next() >> (next() % 32); // every magnitude, up to 2^32 - 1
        const uint32_t ue = v == 0xFFFFFFFFu ? v - 1 : v;
        const int n = int(next() % 33);
        const uint32_t bits = n == 0 ? 0 : next() >> (32 - n);
        values.insert(values.end(), {ue, uint32_t(n), bits});
        w.Ue(ue);
        w.Bits(bits, n);
    }
    const auto bytes = w.Finish();
    BitReader br(bytes.data(), bytes.size());
    for (size_t i = 0; i < values.size(); i += 3) {
        ASSERT_EQ(br.ReadUe(), values[i]) << "code " << i / 3;
        ASSERT_EQ(br.ReadBits(int(values[i + 1])), values[i + 2]) << "code " << i / 3;
    }
    EXPECT_FALSE(br.Error());
    EXPECT_FALSE(br.MoreRbspData());
}

TEST(Nal, SplitsAtThreeAndFourByteStartCodesAndRemovesEmulationPrevention)
{
    const std::vector<uint8_t> stream = {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 1, 0x68, 0, 0, 3, 1, 0, 0, 0, 0, 1, 0x65, 9};
    std::vector<NalUnit> units;
    SplitNalUnits(stream.data(), stream.size(), units);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].type, 7);
    EXPECT_EQ(units[0].size, 3u);
    EXPECT_EQ(units[1].type, 8);
    EXPECT_EQ(units[1].size, 5u); // trailing zeros before the next start code are not part of it
    EXPECT_EQ(units[2].type, 5);
    EXPECT_EQ(units[2].refIdc, 3);
    std::vector<uint8_t> rbsp;
    ExtractRbsp(units[1], rbsp);
    EXPECT_EQ(rbsp, std::vector<uint8_t>({0, 0, 1}));
}

TEST(ParameterSets, SpsIdentifierAndPocTypeLimits)
{
    SequenceParameterSet sps;
    EXPECT_EQ(Parse(MakeSps(31, 30, 22, 18), sps), QL_OK);
    EXPECT_EQ(sps.id, 31);
    EXPECT_EQ(Parse(MakeSps(32, 30, 22, 18), sps), H264_ERR_SPS_ID);
    EXPECT_EQ(Parse(MakeSps(0, 30, 22, 18, 3), sps), H264_ERR_POC_TYPE);
}

TEST(ParameterSets, CroppingGivesTheDisplayedSize)
{
    SequenceParameterSet sps;
    const int crop[4] = {0, 0, 0, 4};
    ASSERT_EQ(Parse(MakeSps(0, 40, 120, 68, 2, crop), sps), QL_OK);
    EXPECT_EQ(16 * sps.widthMbs, 1920);
    EXPECT_EQ(16 * sps.heightMbs, 1088);
    EXPECT_EQ(sps.DisplayWidth(), 1920);
    EXPECT_EQ(sps.DisplayHeight(), 1080);
}

TEST(ParameterSets, CroppingThatLeavesNothingIsRefused)
{
    SequenceParameterSet sps;
    const int crop[4] = {4, 4, 0, 0};
    EXPECT_NE(Parse(MakeSps(0, 30, 1, 1, 2, crop), sps), QL_OK);
}

TEST(ParameterSets, DpbSizeFollowsTheLevelTable)
{
    // floor(MaxDPB * 512 / (1.5 * W * H)), at most 16, worked out by hand.
    struct Row {
        int level, widthMbs, heightMbs, expected;
    };
    const Row rows[] = {
        {30, 22, 18, 16}, // 6075 * 512 / 152,064 = 20.5
        {20, 22, 18, 6},  // 1782 * 512 / 152,064 = 6.0
        {10, 11, 9, 4},   // 297 * 512 / 38,016 = 4.0
        {31, 80, 45, 5},  // 13500 * 512 / 1,382,400 = 5.0
        {40, 120, 68, 4}, // 24576 * 512 / 3,133,440 = 4.02
        {51, 120, 68, 16},
    };
    for (const Row& row : rows) {
        SequenceParameterSet sps;
        ASSERT_EQ(Parse(MakeSps(0, row.level, row.widthMbs, row.heightMbs), sps), QL_OK);
        EXPECT_EQ(DpbSizeFor(sps), row.expected) << "level " << row.level;
    }
}

TEST(ParameterSets, PpsNeedsItsSpsAndChecksSliceGroups)
{
    SpsTable spsTable;
    auto rbsp = MakeSps(3, 30, 11, 9);
    spsTable[3] = std::make_unique<SequenceParameterSet>();
    ASSERT_EQ(Parse(rbsp, *spsTable[3]), QL_OK);
    auto pps = [&](int spsId, int groups, int mapType, int extra) {
        BitWriter w;
        w.Ue(0);
        w.Ue(uint32_t(spsId));
        w.Bit(0);
        w.Bit(0);
        w.Ue(uint32_t(groups - 1));
        if (groups > 1) {
            w.Ue(uint32_t(mapType));
            if (mapType >= 3 && mapType <= 5) {
                w.Bit(0);
                w.Ue(uint32_t(extra)); // slice_group_change_rate_minus1
            }
        }
        w.Ue(0);
        w.Ue(0);
        w.Bit(0);
        w.Bits(0, 2);
        w.Se(0);
        w.Se(0);
        w.Se(0);
        w.Bit(1);
        w.Bit(0);
        w.Bit(0);
        const auto bytes = w.Finish();
        BitReader br(bytes.data(), bytes.size());
        PictureParameterSet out;
        return ParsePps(br, spsTable, out);
    };
    EXPECT_EQ(pps(3, 1, 0, 0), QL_OK);
    EXPECT_EQ(pps(4, 1, 0, 0), H264_ERR_PPS_SPS_ID); // no such SPS
    EXPECT_EQ(pps(3, 9, 0, 0), H264_ERR_SLICE_GROUP_COUNT);
    EXPECT_EQ(pps(3, 2, 7, 0), H264_ERR_MAP_TYPE);
    EXPECT_EQ(pps(3, 3, 4, 0), H264_ERR_MAP_TYPE_GROUPS);
    EXPECT_EQ(pps(3, 2, 4, 99), H264_ERR_CHANGE_RATE); // 100 > 99 map units
    EXPECT_EQ(pps(3, 2, 4, 98), QL_OK);
}

TEST(ParameterSets, SliceGroupMapBoxOut)
{
    // 3x3 macroblocks, box-out with direction flag 0: the spiral starts in
    // the centre and moves left first (clause 8.2.2.4).
    SequenceParameterSet sps;
    ASSERT_EQ(Parse(MakeSps(0, 30, 3, 3), sps), QL_OK);
    PictureParameterSet pps;
    pps.numSliceGroups = 2;
    pps.sliceGroupMapType = 3;
    pps.sliceGroupChangeRate = 1;
    std::vector<uint8_t> map;
    BuildSliceGroupMap(sps, pps, 9, map);
    EXPECT_EQ(map, std::vector<uint8_t>(9, 0)); // the whole picture once the cycle covers it
    BuildSliceGroupMap(sps, pps, 1, map);
    EXPECT_EQ(map, std::vector<uint8_t>({1, 1, 1, 1, 0, 1, 1, 1, 1}));
    BuildSliceGroupMap(sps, pps, 2, map);
    EXPECT_EQ(map, std::vector<uint8_t>({1, 1, 1, 0, 0, 1, 1, 1, 1}));
}
