// The AVI writer's files as other programs read them: ffprobe sees the
// right stream, ffmpeg decodes every frame, the RIFF sizes and the index
// agree with the file, a picture of another size leaves the file whole,
// and a file that cannot be written says so.
#include "TempFolder.h"

#include "storage/AviWriter.h"
#include "support/AviProbe.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

// A picture that changes with `n`, so that every frame differs.
std::vector<uint8_t> Picture(int width, int height, int n)
{
    std::vector<uint8_t> bgr(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &bgr[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(x + n * 4);
            p[1] = uint8_t(y * 2);
            p[2] = uint8_t((x ^ y) + n);
        }
    return bgr;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

} // namespace

TEST(AviWriter, WritesAFileOtherProgramsReadAndDropsPicturesOfAnotherSize)
{
    TempFolder dir;
    const std::string path = dir / "x_ch0_0.avi";
    {
        AviWriter writer(path, 25);
        EXPECT_FALSE(writer.FileCreated()) << "the first picture creates the file";
        for (int n = 0; n < 30; ++n) {
            const auto bgr = Picture(320, 240, n);
            ASSERT_EQ(writer.AddFrame(bgr.data(), 320, 240, 320 * 3), AviWriter::Result::Written) << n;
            if (n == 10) {
                // A resolution change in the middle: left out, the file goes on.
                const auto other = Picture(176, 144, n);
                EXPECT_EQ(writer.AddFrame(other.data(), 176, 144, 176 * 3), AviWriter::Result::Dropped);
                EXPECT_TRUE(writer.Usable());
            }
        }
        EXPECT_EQ(writer.FrameCount(), 30u);
        EXPECT_TRUE(writer.Close()) << writer.Error();
    }

    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 224u);
    EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8) << "the RIFF size is the file's";
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "AVI ", 4), 0);
    const size_t moviEnd = 216 + 4 + Le32(bytes, 216);
    ASSERT_LT(moviEnd + 8, bytes.size());
    EXPECT_EQ(std::memcmp(bytes.data() + moviEnd, "idx1", 4), 0);
    EXPECT_EQ(Le32(bytes, moviEnd + 4), 30u * 16) << "one index entry per frame";
    for (size_t e = 0; e < 30; ++e)
        EXPECT_EQ(Le32(bytes, moviEnd + 8 + e * 16 + 4), 0x10u) << "entry " << e << " is a key frame";

    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffprobe/ffmpeg missing: scripts/setup-deps.sh installs them";
    const auto stream = ProbeAvi(path);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->codec, "mjpeg");
    EXPECT_EQ(stream->width, 320);
    EXPECT_EQ(stream->height, 240);
    EXPECT_EQ(stream->rate, "25/1");
    EXPECT_EQ(stream->frames, 30);
    EXPECT_EQ(DecodeErrors(path), "");
    // The pixels survive JPEG at quality 90 closely.
    const auto expected = Picture(320, 240, 29);
    const auto frame = FrameBgr(path, 29);
    ASSERT_EQ(frame.size(), expected.size());
    double difference = 0;
    for (size_t i = 0; i < frame.size(); ++i)
        difference += std::abs(int(frame[i]) - int(expected[i]));
    EXPECT_LT(difference / double(frame.size()), 6.0);
}

TEST(AviWriter, UnknownRateIsThirtyAndFailuresAreReported)
{
    TempFolder dir;
    const auto bgr = Picture(64, 48, 0);
    const std::string path = dir / "rate.avi";
    {
        AviWriter writer(path, 0);
        EXPECT_EQ(writer.FrameRate(), 30);
        ASSERT_EQ(writer.AddFrame(bgr.data(), 64, 48, 64 * 3), AviWriter::Result::Written);
    } // closed by its destructor
    if (HaveFfmpeg()) {
        const auto stream = ProbeAvi(path);
        ASSERT_TRUE(stream);
        EXPECT_EQ(stream->rate, "30/1");
        EXPECT_EQ(stream->frames, 1);
    }

    // An existing file is never overwritten; a missing folder fails too.
    for (const std::string& bad : {path, dir / "missing/x.avi"}) {
        AviWriter writer(bad, 25);
        EXPECT_EQ(writer.AddFrame(bgr.data(), 64, 48, 64 * 3), AviWriter::Result::Failed) << bad;
        EXPECT_FALSE(writer.Usable());
        EXPECT_NE(writer.Error().find(bad), std::string::npos) << writer.Error();
        EXPECT_EQ(writer.AddFrame(bgr.data(), 64, 48, 64 * 3), AviWriter::Result::Dropped);
        EXPECT_FALSE(writer.Close());
    }
    EXPECT_EQ(AviContinuationName("/a/b_ch3_0.avi", 2), "/a/b_ch3_0.avi0002.avi");
}
