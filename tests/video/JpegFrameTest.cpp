// DecodeAndShow for JPEG frames (codec 0): libjpeg-turbo output in pane 0
// with the picture's own size; damaged data is dropped.
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace tarnvik::test {
namespace {

using dvrformat::FrameHeader;

const std::string kMedia = TARNVIK_MEDIA_DIR;

std::vector<std::vector<uint8_t>> SplitJpegs(const std::vector<uint8_t>& s)
{
    std::vector<std::vector<uint8_t>> pictures;
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] != 0xFF || s[i + 1] != 0xD8)
            continue;
        for (size_t j = i + 2; j + 1 < s.size(); ++j) {
            if (s[j] == 0xFF && s[j + 1] == 0xD9) {
                pictures.emplace_back(s.begin() + long(i), s.begin() + long(j + 2));
                i = j + 1;
                break;
            }
        }
    }
    return pictures;
}

// Width and height from the JPEG's baseline frame header (SOF0).
QSize SofSize(const std::vector<uint8_t>& jpeg)
{
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
            return QSize((jpeg[i + 7] << 8) | jpeg[i + 8], (jpeg[i + 5] << 8) | jpeg[i + 6]);
    return {};
}

class JpegDecodeTest : public ::testing::Test {
protected:
    JpegDecodeTest()
    {
        rig.state.division = 16;
        rig.state.channelCount = 16;
        pictures = SplitJpegs(ReadFileBytes(kMedia + "/jpeg_cif.mjpeg"));
    }
    FrameHeader JpegHeader(const std::vector<uint8_t>& jpeg)
    {
        FrameHeader h = VideoHeader(5, 4, uint32_t(jpeg.size())); // code 4 names 720 x 480
        h.kind = 2;
        h.codec = 0;
        h.fullHeight = false;
        return h;
    }
    RendererRig rig;
    std::vector<std::vector<uint8_t>> pictures;
};

TEST_F(JpegDecodeTest, PictureLandsInPaneZeroWithItsOwnSize)
{
    ASSERT_EQ(pictures.size(), 25u);
    for (size_t n = 0; n < pictures.size(); n += 6) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(Feed(rig, JpegHeader(pictures[n]), pictures[n]));
        const QImage pane = rig.panes.Snapshot(0).image;
        ASSERT_EQ(pane.size(), SofSize(pictures[n]));
        EXPECT_EQ(rig.renderer.LineDoubling(), 0);

        // Qt's own JPEG reader is an independent decode of the same bytes.
        QImage expected;
        if (!expected.loadFromData(pictures[n].data(), int(pictures[n].size()), "JPG"))
            GTEST_SKIP() << "no Qt JPEG reader to compare with";
        expected = expected.convertToFormat(QImage::Format_BGR888);
        ASSERT_EQ(expected.size(), pane.size());
        int worst = 0;
        for (int y = 0; y < pane.height(); ++y)
            for (int x = 0; x < pane.width() * 3; ++x)
                worst = std::max(worst, std::abs(int(pane.constScanLine(y)[x]) - int(expected.constScanLine(y)[x])));
        EXPECT_LE(worst, 2) << "pixels differ from an independent decode";
    }
    EXPECT_EQ(rig.renderer.LastChannel(), 0);
}

TEST_F(JpegDecodeTest, DamagedJpegsAreDroppedAndThePaneKeepsItsPicture)
{
    ASSERT_FALSE(pictures.empty());
    const auto& good = pictures[0];
    ASSERT_TRUE(Feed(rig, JpegHeader(good), good));
    const QImage before = rig.panes.Snapshot(0).image;
    const int shown = rig.state.framesShown.load();

    std::vector<std::vector<uint8_t>> bad;
    bad.emplace_back(good.begin(), good.begin() + long(good.size() / 2)); // truncated
    bad.emplace_back(good.begin(), good.begin() + 20);                     // headers cut
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i * 131 + 7);
    bad.push_back(garbage);
    std::vector<uint8_t> huge = good; // SOF claims 65535 x 65535
    for (size_t i = 2; i + 9 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;
            break;
        }
    bad.push_back(huge);

    for (size_t k = 0; k < bad.size(); ++k) {
        EXPECT_FALSE(Feed(rig, JpegHeader(bad[k]), bad[k])) << "damaged JPEG " << k;
    }
    EXPECT_EQ(rig.state.framesShown.load(), shown);
    EXPECT_TRUE(rig.panes.Snapshot(0).image == before);
}

} // namespace
} // namespace tarnvik::test
