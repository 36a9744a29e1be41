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

// The displayed picture as planar 4:2:0 rows without padding.
std::vector<uint8_t> Picture(const VideoData& out)
{
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 3; ++i) {
        const Plane p = out.GetPlane(i);
        const int w = i ? out.Width() / 2 : out.Width(), h = i ? out.Height() / 2 : out.Height();
        for (int y = 0; y < h; ++y)
            bytes.insert(bytes.end(), p.data + y * p.pitch, p.data + y * p.pitch + w);
    }
    return bytes;
}

// Counts the blocks the decoder holds: its pictures.
class CountingAllocator : public DefaultMemoryAllocator {
public:
    int32_t Alloc(uint32_t* id, size_t size, uint32_t flags, uint32_t alignment) override
    {
        const int32_t status = DefaultMemoryAllocator::Alloc(id, size, flags, alignment);
        live += status == QL_OK;
        return status;
    }
    int32_t Release(uint32_t id) override
    {
        const int32_t status = DefaultMemoryAllocator::Release(id);
        live -= status == QL_OK;
        return status;
    }
    int live = 0;
};

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

// Two streams of one picture size, one with a single reference frame and one
// with four, take turns at each IDR picture: each turn sizes the picture
// pool anew. The pool keeps no picture of an earlier turn, and every turn
// decodes the same pictures as the first.
TEST(Engine, PicturePoolFollowsTheReferenceCountOfEachIdrPicture)
{
    const auto oneRef = AccessUnits(ReadStream("BANM_MW_D.264"));
    const auto fourRefs = AccessUnits(ReadStream("BA_MW_D.264"));
    CountingAllocator allocator;
    H264VideoDecoder decoder;
    VideoDecoderParams params;
    params.allocator = &allocator;
    ASSERT_EQ(decoder.Init(&params), QL_OK);
    constexpr size_t kPictures = 8;
    std::vector<std::vector<uint8_t>> firstTurn;
    int firstPool = 0;
    for (int turn = 0; turn < 4; ++turn) {
        size_t n = 0;
        for (const auto* units : {&oneRef, &fourRefs}) {
            for (size_t i = 0; i < kPictures; ++i, ++n) {
                VideoData out;
                ASSERT_EQ(Feed(decoder, (*units)[i], out), QL_OK) << "turn " << turn << " picture " << n;
                if (turn == 0)
                    firstTurn.push_back(Picture(out));
                else
                    EXPECT_EQ(Picture(out), firstTurn[n]) << "turn " << turn << " picture " << n;
            }
        }
        if (turn == 0)
            firstPool = allocator.live;
        EXPECT_EQ(allocator.live, firstPool) << "turn " << turn;
    }
}

// Two pictures in each input of a stream with one reference frame: every
// input leaves one more picture waiting for output, so the pool grows past
// the reference and the picture being decoded. No waiting picture is
// overwritten: the pictures come out as they do one input at a time.
TEST(Engine, PicturesWaitingForOutputAreKeptAsThePoolGrows)
{
    const auto units = AccessUnits(ReadStream("BANM_MW_D.264"));
    constexpr size_t kPairs = 4;
    ASSERT_GT(units.size(), 2 * kPairs);
    std::vector<std::vector<uint8_t>> expected;
    {
        H264VideoDecoder decoder;
        VideoDecoderParams params;
        ASSERT_EQ(decoder.Init(&params), QL_OK);
        for (size_t i = 0; i < 2 * kPairs; ++i) {
            VideoData out;
            ASSERT_EQ(Feed(decoder, units[i], out), QL_OK);
            expected.push_back(Picture(out));
        }
    }
    H264VideoDecoder decoder;
    VideoDecoderParams params;
    ASSERT_EQ(decoder.Init(&params), QL_OK);
    std::vector<std::vector<uint8_t>> pictures;
    for (size_t i = 0; i < kPairs; ++i) {
        std::vector<uint8_t> pair = units[2 * i];
        pair.insert(pair.end(), units[2 * i + 1].begin(), units[2 * i + 1].end());
        VideoData out;
        ASSERT_EQ(Feed(decoder, pair, out), QL_OK) << "pair " << i;
        pictures.push_back(Picture(out));
    }
    VideoData out;
    while (pictures.size() < expected.size() && decoder.GetFrame(nullptr, &out) == QL_OK)
        pictures.push_back(Picture(out));
    EXPECT_EQ(pictures, expected);
}
