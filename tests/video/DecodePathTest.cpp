// DecodeAndShow for H.264: real pictures against the decoder's own output,
// the decoder result loop with a scripted decoder, cropping and interleaving.
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QImage>

#include <cstdlib>
#include <cstring>
#include <deque>

namespace tarnvik::test {
namespace {

using dvrformat::FrameHeader;

const std::string kMedia = TARNVIK_MEDIA_DIR;

// Pane rows must equal reference rows [firstRow, firstRow + height).
void ExpectRowsEqual(const QImage& pane, const uint8_t* reference, int referenceWidth, int firstRow, int picture)
{
    ASSERT_EQ(pane.format(), QImage::Format_BGR888);
    ASSERT_EQ(pane.width(), referenceWidth);
    const size_t rowBytes = size_t(referenceWidth) * 3;
    for (int y = 0; y < pane.height(); ++y) {
        ASSERT_EQ(std::memcmp(pane.constScanLine(y), reference + size_t(firstRow + y) * rowBytes, rowBytes), 0)
            << "picture " << picture << " pane row " << y;
    }
}

class RealDecodeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        units = new std::vector<std::vector<uint8_t>>(SplitAccessUnits(ReadFileBytes(kMedia + "/clip0_cif.264")));
        const std::string out = ::testing::TempDir() + "/clip0_cif_bgr." + std::to_string(getpid()) + ".raw";
        const std::string command = std::string("\"") + TARNVIK_QLDEC + "\" \"" + kMedia + "/clip0_cif.264\" --format 3 -o \"" + out + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        reference = new std::vector<uint8_t>(ReadFileBytes(out));
        std::remove(out.c_str());
    }
    static void TearDownTestSuite()
    {
        delete units;
        delete reference;
    }
    static const uint8_t* Picture(size_t n) { return reference->data() + n * kPictureBytes; }

    static constexpr int kWidth = 352;
    static constexpr int kHeight = 288;
    static constexpr size_t kPictureBytes = size_t(kWidth) * kHeight * 3;
    static std::vector<std::vector<uint8_t>>* units;
    static std::vector<uint8_t>* reference;
};
std::vector<std::vector<uint8_t>>* RealDecodeTest::units = nullptr;
std::vector<uint8_t>* RealDecodeTest::reference = nullptr;

TEST_F(RealDecodeTest, ClipSplitsIntoOneUnitPerReferencePicture)
{
    ASSERT_EQ(units->size(), 100u);
    ASSERT_EQ(reference->size(), units->size() * kPictureBytes);
}

TEST_F(RealDecodeTest, Kind3Code6PicturesLandCroppedInTheChannelsPane)
{
    RendererRig rig;
    ASSERT_EQ(rig.model.InitDecoders(), 0);
    rig.state.division = 16;
    rig.state.channelCount = 4;
    int bytes = 0;
    for (size_t n = 0; n < units->size(); ++n) {
        FrameHeader h = VideoHeader(2, 6, uint32_t((*units)[n].size()));
        h.pal = true;
        h.time = 1700000000 + uint32_t(n);
        h.milliseconds = uint16_t(n);
        h.pictureType = ((*units)[n][4] & 0x1F) == 7 ? 1 : 0; // opens with an SPS: a key picture
        int frameKind = 0;
        ASSERT_TRUE(Feed(rig, h, (*units)[n], &frameKind)) << "picture " << n;
        ASSERT_EQ(frameKind, 1);
        bytes += int((*units)[n].size());

        const PaneSnapshot pane = rig.panes.Snapshot(2);
        ASSERT_EQ(pane.image.height(), kHeight - 16) << "8 lines cut at top and bottom";
        ExpectRowsEqual(pane.image, Picture(n), kWidth, 8, int(n));
        if (HasFatalFailure())
            return;
        EXPECT_EQ(pane.timeText, FrameTimeText(h.time, h.milliseconds));
    }
    EXPECT_EQ(rig.state.codecKind.load(), 3);
    EXPECT_EQ(rig.state.framesShown.load(), 100);
    EXPECT_EQ(rig.state.bytesShown.load(), bytes);
    EXPECT_EQ(rig.ui.Panes(), std::vector<int>(100, 2));
    const PaneSnapshot pane = rig.panes.Snapshot(2);
    EXPECT_EQ(pane.caption, "Cam_03 ");
    EXPECT_FALSE(pane.noVideo);
    EXPECT_EQ(pane.channel, 2);
    EXPECT_EQ(pane.streamClass, 1);
    EXPECT_EQ(rig.panes.PaneOfChannel(2), 2);
    EXPECT_EQ(rig.renderer.LastChannel(), 2);
    EXPECT_EQ(rig.model.Handle(2).codedWidth, kWidth) << "CodecKind 3 decodes with the channel's own handle";
    EXPECT_EQ(rig.model.Handle(0).codedWidth, 0);
    EXPECT_TRUE(rig.panes.Snapshot(0).image.isNull());
}

TEST_F(RealDecodeTest, Kind0PicturesAreWholeInPaneZeroThroughHandleZero)
{
    RendererRig rig;
    ASSERT_EQ(rig.model.InitDecoders(), 0);
    rig.state.division = 4;
    rig.state.channelCount = 16;
    for (size_t n = 0; n < 30; ++n) {
        FrameHeader h = VideoHeader(3, 6, uint32_t((*units)[n].size()));
        h.kind = 0; // a single-stream DVR
        h.pal = true;
        ASSERT_TRUE(Feed(rig, h, (*units)[n])) << "picture " << n;
        const PaneSnapshot pane = rig.panes.Snapshot(0);
        ASSERT_EQ(pane.image.height(), kHeight);
        ExpectRowsEqual(pane.image, Picture(n), kWidth, 0, int(n));
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(rig.state.codecKind.load(), 0);
    EXPECT_EQ(rig.model.Handle(0).codedWidth, kWidth);
    EXPECT_EQ(rig.model.Handle(3).codedWidth, 0);
    EXPECT_TRUE(rig.panes.Snapshot(3).image.isNull());
}

TEST_F(RealDecodeTest, ChannelOutsideTheDivisionIsDroppedBeforeDecoding)
{
    RendererRig rig;
    ASSERT_EQ(rig.model.InitDecoders(), 0);
    rig.state.division = 4;
    rig.state.channelCount = 4;
    FrameHeader h = VideoHeader(9, 6, uint32_t((*units)[0].size()));
    EXPECT_FALSE(Feed(rig, h, (*units)[0]));
    EXPECT_EQ(rig.model.Handle(9).codedWidth, 0) << "the decoder never saw the frame";
    EXPECT_EQ(rig.state.framesShown.load(), 0);
    EXPECT_TRUE(rig.ui.Panes().empty());
}

// clip0 (CIF) and then clip1 (720 x 576) on one channel: the second stream's
// sequence parameter set replaces the first under the same id, so the
// renderer must re-create the channel's decoder and decode on.
TEST_F(RealDecodeTest, StreamChangeToD1IsDecodedWithFieldPairsInterleaved)
{
    const auto d1Units = SplitAccessUnits(ReadFileBytes(kMedia + "/clip1_d1.264"));
    const std::string out = ::testing::TempDir() + "/clip1_d1_bgr." + std::to_string(getpid()) + ".raw";
    const std::string command = std::string("\"") + TARNVIK_QLDEC + "\" \"" + kMedia + "/clip1_d1.264\" --format 3 -o \"" + out + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const auto d1Reference = ReadFileBytes(out);
    std::remove(out.c_str());
    constexpr int kD1Width = 720, kD1Height = 576;
    constexpr size_t kD1Bytes = size_t(kD1Width) * kD1Height * 3;
    ASSERT_GE(d1Units.size(), 20u);
    ASSERT_EQ(d1Reference.size(), d1Units.size() * kD1Bytes);

    RendererRig rig;
    ASSERT_EQ(rig.model.InitDecoders(), 0);
    rig.state.division = 16;
    for (size_t n = 0; n < 5; ++n) {
        FrameHeader h = VideoHeader(1, 6, uint32_t((*units)[n].size()));
        h.pal = true;
        ASSERT_TRUE(Feed(rig, h, (*units)[n])) << "CIF picture " << n;
    }
    for (size_t n = 0; n < 20; ++n) {
        FrameHeader h = VideoHeader(1, 4, uint32_t(d1Units[n].size()));
        h.pal = true;
        h.fullHeight = n >= 10; // the first ten as field pairs
        ASSERT_TRUE(Feed(rig, h, d1Units[n])) << "D1 picture " << n;
        const QImage pane = rig.panes.Snapshot(1).image;
        const uint8_t* picture = d1Reference.data() + n * kD1Bytes;
        if (h.fullHeight) {
            ASSERT_EQ(pane.height(), kD1Height);
            ExpectRowsEqual(pane, picture, kD1Width, 0, int(n));
        } else {
            // Interleaved rows 16.. of the picture whose halves are the fields.
            ASSERT_EQ(pane.size(), QSize(kD1Width, kD1Height - 16));
            for (int y = 0; y < pane.height(); ++y) {
                const int k = y + 16;
                const int source = k % 2 == 0 ? k / 2 : kD1Height / 2 + k / 2;
                ASSERT_EQ(std::memcmp(pane.constScanLine(y), picture + size_t(source) * kD1Width * 3, kD1Width * 3), 0)
                    << "picture " << n << " pane row " << y;
            }
        }
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(rig.model.Handle(1).codedWidth, kD1Width);
}

// A decoder whose results follow a script. Pictures are width x height
// B,G,R with row y holding (y & 0xFF, y >> 8, call number).
struct ScriptedDecoder {
    std::deque<int32_t> results;
    int32_t whenEmpty = 4;
    int width = 720;
    int height = 576;
    std::vector<std::string> log;
    int calls = 0;
    const uint8_t* lastData = nullptr;
    uint32_t lastLength = 0;
    int setCodedWidth = 0; // written into the handle on result 1 when non-zero
    int setCodedHeight = 0;

    DecoderApi Api()
    {
        DecoderApi api;
        api.init = [this](DecoderHandle* h) { log.push_back("init"); h->context = this; return 0; };
        api.uninit = [this](DecoderHandle* h) { log.push_back("uninit"); h->context = nullptr; };
        api.getOneFrame = [this](DecoderHandle* h, const uint8_t* data, uint32_t length, uint8_t* out) {
            log.push_back("get");
            ++calls;
            lastData = data;
            lastLength = length;
            const int32_t result = results.empty() ? whenEmpty : results.front();
            if (!results.empty())
                results.pop_front();
            if (result == 1 && setCodedWidth) {
                h->codedWidth = setCodedWidth;
                h->codedHeight = setCodedHeight;
            }
            if (result == 0 || result == 5) {
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x) {
                        uint8_t* p = out + (size_t(y) * width + x) * 3;
                        p[0] = uint8_t(y & 0xFF);
                        p[1] = uint8_t(y >> 8);
                        p[2] = uint8_t(calls);
                    }
            }
            return result;
        };
        return api;
    }
};

// The source row a pane row shows, read back from the scripted pattern.
int SourceRowOf(const QImage& image, int y) { return image.constScanLine(y)[0] | (image.constScanLine(y)[1] << 8); }

class ScriptedDecodeTest : public ::testing::Test {
protected:
    ScriptedDecodeTest() : rig(decoder.Api())
    {
        rig.model.InitDecoders();
        decoder.log.clear();
        rig.state.division = 16;
        rig.state.channelCount = 16;
    }
    FrameHeader Header(int channel = 1, int resolution = 4, int kind = 2)
    {
        FrameHeader h = VideoHeader(channel, resolution, uint32_t(payload.size()));
        h.kind = uint8_t(kind);
        h.pal = true;
        return h;
    }
    ScriptedDecoder decoder;
    RendererRig rig;
    std::vector<uint8_t> payload = std::vector<uint8_t>(64, 0x42);
};

TEST_F(ScriptedDecodeTest, ResultOneCallsAgainAtOnceWithTheSameData)
{
    decoder.results = {1, 0};
    ASSERT_TRUE(Feed(rig, Header(), payload));
    EXPECT_EQ(decoder.log, (std::vector<std::string>{"get", "get"}));
    EXPECT_EQ(decoder.lastLength, payload.size());
    EXPECT_EQ(rig.ui.Panes(), std::vector<int>{1});
    EXPECT_EQ(rig.renderer.DecodeStatus(1), 0);
}

TEST_F(ScriptedDecodeTest, ChangedStreamRecreatesTheDecoderAndRetries)
{
    decoder.results = {-5, 1, 0};
    ASSERT_TRUE(Feed(rig, Header(), payload));
    EXPECT_EQ(decoder.log, (std::vector<std::string>{"get", "uninit", "init", "get", "get"}));
    EXPECT_EQ(rig.state.framesShown.load(), 1);
}

TEST_F(ScriptedDecodeTest, ResultFiveShowsEveryWaitingPicture)
{
    decoder.results = {5, 5, 0};
    ASSERT_TRUE(Feed(rig, Header(), payload));
    EXPECT_EQ(decoder.calls, 3);
    EXPECT_EQ(rig.ui.Panes(), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(rig.state.framesShown.load(), 3);
    EXPECT_EQ(rig.state.bytesShown.load(), 3 * int(payload.size()));
    EXPECT_EQ(rig.panes.Snapshot(1).image.constScanLine(0)[2], 3) << "the pane holds the last picture";
}

TEST_F(ScriptedDecodeTest, OtherResultsShowNothing)
{
    for (int32_t result : {2, 3, 4, -1, -2, -3, -6, 7}) {
        SCOPED_TRACE(result);
        decoder.results = {result};
        decoder.calls = 0;
        EXPECT_FALSE(Feed(rig, Header(), payload));
        EXPECT_EQ(decoder.calls, 1);
        EXPECT_EQ(rig.renderer.DecodeStatus(1), result);
    }
    EXPECT_EQ(rig.state.framesShown.load(), 0);
    EXPECT_TRUE(rig.ui.Panes().empty());
    EXPECT_TRUE(rig.panes.Snapshot(1).image.isNull());
}

TEST_F(ScriptedDecodeTest, ADecoderThatNeverFinishesDoesNotHoldTheThread)
{
    decoder.whenEmpty = 1;
    EXPECT_FALSE(Feed(rig, Header(), payload));
    EXPECT_GT(decoder.calls, 1);
    EXPECT_LE(decoder.calls, 1000);
}

TEST_F(ScriptedDecodeTest, StreamLargerThanTheBuffersIsRefused)
{
    decoder.results = {1, 0};
    decoder.setCodedWidth = 4096;
    decoder.setCodedHeight = 2304;
    EXPECT_FALSE(Feed(rig, Header(), payload));
    EXPECT_EQ(decoder.calls, 1) << "no call may write a picture the buffers cannot hold";
    // The decoder is re-created so that a stream of a supported size can start.
    EXPECT_EQ(decoder.log, (std::vector<std::string>{"get", "uninit", "init"}));

    // 1080 lines are coded as 1088: that still fits.
    decoder.results = {1, 0};
    decoder.calls = 0;
    decoder.setCodedWidth = 1920;
    decoder.setCodedHeight = 1088;
    decoder.width = 1920;
    decoder.height = 1088;
    EXPECT_TRUE(Feed(rig, Header(1, 1), payload));
    EXPECT_EQ(rig.panes.Snapshot(1).image.size(), QSize(1920, 1080));
}

TEST_F(ScriptedDecodeTest, FieldPairsAreInterleavedAndKind2LosesSixteenLines)
{
    decoder.results = {0};
    FrameHeader h = Header(1, 4, 2);
    h.fullHeight = false;
    ASSERT_TRUE(Feed(rig, h, payload));
    const QImage image = rig.panes.Snapshot(1).image;
    ASSERT_EQ(image.size(), QSize(720, 576 - 16));
    for (int y = 0; y < image.height(); ++y) {
        const int interleaved = y + 16;
        const int expected = interleaved % 2 == 0 ? interleaved / 2 : 288 + interleaved / 2;
        ASSERT_EQ(SourceRowOf(image, y), expected) << "pane row " << y;
    }
}

TEST_F(ScriptedDecodeTest, FieldPairsOfKind0AreInterleavedWhole)
{
    decoder.results = {0};
    FrameHeader h = Header(1, 4, 0);
    h.fullHeight = false;
    ASSERT_TRUE(Feed(rig, h, payload));
    const QImage image = rig.panes.Snapshot(0).image;
    ASSERT_EQ(image.size(), QSize(720, 576));
    for (int y = 0; y < image.height(); ++y)
        ASSERT_EQ(SourceRowOf(image, y), y % 2 == 0 ? y / 2 : 288 + y / 2) << "pane row " << y;
}

TEST_F(ScriptedDecodeTest, Codes5And6AreNeverInterleavedAndLoseEightLinesEachEnd)
{
    for (int code : {5, 6}) {
        SCOPED_TRACE(code);
        decoder.results = {0};
        FrameHeader h = Header(1, code, 3);
        h.fullHeight = false;
        ASSERT_TRUE(Feed(rig, h, payload));
        const QImage image = rig.panes.Snapshot(1).image;
        ASSERT_EQ(image.size(), code == 5 ? QSize(720, 272) : QSize(352, 272));
        for (int y = 0; y < image.height(); ++y)
            ASSERT_EQ(SourceRowOf(image, y), y + 8) << "pane row " << y;
        decoder.width = 352;
        decoder.height = 288;
    }
}

TEST_F(ScriptedDecodeTest, MinimisedWindowDecodesButShowsAndCountsNothing)
{
    rig.state.minimised = true;
    decoder.results = {0};
    EXPECT_TRUE(Feed(rig, Header(), payload));
    EXPECT_EQ(decoder.calls, 1);
    EXPECT_EQ(rig.state.framesShown.load(), 0);
    EXPECT_TRUE(rig.ui.Panes().empty());
}

TEST_F(ScriptedDecodeTest, SingleViewWithAviExportDecodesOtherChannelsWithoutDrawing)
{
    rig.state.division = 201;
    rig.state.selectedChannel = 3;
    rig.state.exportedChannelMask = 1 << 4;
    decoder.results = {0, 0};
    EXPECT_TRUE(Feed(rig, Header(4), payload));
    EXPECT_EQ(decoder.calls, 1);
    EXPECT_TRUE(rig.ui.Panes().empty());
    EXPECT_TRUE(rig.panes.Snapshot(3).image.isNull());

    EXPECT_TRUE(Feed(rig, Header(3), payload));
    EXPECT_EQ(rig.ui.Panes(), std::vector<int>{3});
}

TEST_F(ScriptedDecodeTest, CommitTimeTextGoesToThePaneOfTheChannel)
{
    rig.state.division = 4;
    rig.renderer.SetPageStarts(4, -1);
    decoder.results = {0};
    ASSERT_TRUE(Feed(rig, Header(6), payload));
    EXPECT_EQ(rig.panes.PaneOfChannel(6), 2);
    FrameHeader later = Header(6);
    later.time = 86400;
    later.milliseconds = 250;
    const auto block = FrameBlock(later, 32, payload);
    int kind = 0;
    ASSERT_TRUE(rig.renderer.ParseFrameHeader(block.data(), block.size(), kind, false));
    rig.renderer.CommitTimeText();
    EXPECT_EQ(rig.panes.Snapshot(2).timeText, "1970-01-02 00:00:00.250");
}

} // namespace
} // namespace tarnvik::test
