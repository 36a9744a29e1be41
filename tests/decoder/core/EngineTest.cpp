// The decoder core as the library layer drives it, on conformance streams.
#include "core/Framework.h"
#include "core/Nal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

using namespace QLMedia;

namespace {

std::vector<uint8_t> ReadStream(const char* name)
{
    std::ifstream in(std::string(QL_CONFORMANCE_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The NAL units of a stream regrouped into one input per picture (each
// picture of these streams is a single slice, preceded by its parameter sets).
std::vector<std::vector<uint8_t>> AccessUnits(const std::vector<uint8_t>& stream)
{
    std::vector<NalUnit> nals;
    SplitNalUnits(stream.data(), stream.size(), nals);
    std::vector<std::vector<uint8_t>> units(1);
    for (const NalUnit& n : nals) {
        units.back().insert(units.back().end(), {0, 0, 0, 1});
        units.back().insert(units.back().end(), n.data, n.data + n.size);
        if (n.type == 1 || n.type == 5)
            units.emplace_back();
    }
    units.pop_back();
    return units;
}

int32_t Feed(H264VideoDecoder& decoder, const std::vector<uint8_t>& bytes, VideoData& out)
{
    MediaData in;
    in.SetBufferPointer(bytes.data(), bytes.size());
    in.SetDataSize(bytes.size());
    return decoder.GetFrame(&in, &out);
}

} // namespace

TEST(Engine, GetInfoBeforeAnySpsHasNoStreamInformation)
{
    H264VideoDecoder decoder;
    VideoDecoderParams params;
    ASSERT_EQ(decoder.Init(&params), QL_OK);
    H264VideoDecoderParams info;
    EXPECT_EQ(decoder.GetInfo(&info), QL_ERR_NO_STREAM_INFO);
    BaseCodecParams notVideo;
    EXPECT_EQ(decoder.GetInfo(&notVideo), QL_ERR_NULL_PTR);
    EXPECT_EQ(decoder.Init(&notVideo), QL_ERR_NULL_PTR);
}

TEST(Engine, ThreadCountIsClampedAndWrittenBack)
{
    H264VideoDecoder decoder;
    VideoDecoderParams params;
    params.numThreads = 12;
    ASSERT_EQ(decoder.Init(&params), QL_OK);
    EXPECT_EQ(params.numThreads, 8);
    params.numThreads = 0;
    ASSERT_EQ(decoder.Init(&params), QL_OK);
    EXPECT_GE(params.numThreads, 1);
    EXPECT_LE(params.numThreads, 8);
}

TEST(Engine, OnePicturePerAccessUnitWithStreamInformation)
{
    const auto units = AccessUnits(ReadStream("BA_MW_D.264"));
    ASSERT_GT(units.size(), 10u);
    H264VideoDecoder decoder;
    VideoDecoderParams params;
    ASSERT_EQ(decoder.Init(&params), QL_OK);
    for (size_t i = 0; i < 10; ++i) {
        VideoData out;
        ASSERT_EQ(Feed(decoder, units[i], out), QL_OK) << "access unit " << i;
        EXPECT_EQ(out.Width(), 176);
        EXPECT_EQ(out.Height(), 144);
        EXPECT_NE(out.GetPlane(0).data, nullptr);
        EXPECT_EQ(out.GetPlane(0).pitch % 64, 0);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(out.GetPlane(0).data) % 64, 0u);
    }
    H264VideoDecoderParams info;
    ASSERT_EQ(decoder.GetInfo(&info), QL_OK);
    EXPECT_EQ(info.info.width, 176);
    EXPECT_EQ(info.info.height, 144);
    EXPECT_EQ(info.info.streamType, kStreamTypeH264);
    EXPECT_EQ(info.profile, 66);
    EXPECT_EQ(info.codedWidth, 176);
    EXPECT_EQ(info.codedHeight, 144);
}

TEST(Engine, DamagedSliceStopsPredictedPicturesUntilTheNextIdr)
{
    const auto units = AccessUnits(ReadStream("MIDR_MW_D.264")); // IDR pictures recur in this stream
    H264VideoDecoder decoder;
    VideoDecoderParams params;
    ASSERT_EQ(decoder.Init(&params), QL_OK);
    VideoData out;
    ASSERT_EQ(Feed(decoder, units[0], out), QL_OK);
    // A P picture whose slice data is garbage after its header.
    size_t damaged = 1;
    while (damaged < units.size() && (units[damaged][4] & 0x1F) != 1)
        ++damaged;
    ASSERT_LT(damaged, units.size());
    std::vector<uint8_t> broken = units[damaged];
    for (size_t i = 12; i < broken.size(); ++i)
        broken[i] = 0xFF;
    EXPECT_EQ(Feed(decoder, broken, out), QL_ERR_FAILED);
    size_t next = damaged + 1;
    for (; next < units.size(); ++next) {
        const int type = units[next][4] & 0x1F;
        if (type == 5 || (type == 7 && units[next].size() > 30))
            break;
        EXPECT_EQ(Feed(decoder, units[next], out), QL_ERR_NOT_ENOUGH_DATA) << "predicted picture " << next;
    }
    ASSERT_LT(next, units.size()) << "no IDR picture after the damage";
    EXPECT_EQ(Feed(decoder, units[next], out), QL_OK);
}
