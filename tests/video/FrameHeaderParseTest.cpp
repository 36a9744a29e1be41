// ParseFrameHeader: field reading, CodecKind learning, the decodable flags
// and the time text.
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

namespace tarnvik::test {
namespace {

using dvrformat::FrameHeader;

// A 40-byte header spelled out byte by byte: magic, kind 3, type 0x2200.
std::vector<uint8_t> RawHeader()
{
    std::vector<uint8_t> b(40, 0);
    b[0] = 0xFF; b[1] = 0x01; b[2] = 0x00; b[3] = 0x00;
    b[4] = 3; b[5] = 0x00; b[6] = 0x22;
    b[18] = 0x20; // codec 1
    return b;
}

class ParseFrameHeaderTest : public ::testing::Test {
protected:
    bool Parse(const std::vector<uint8_t>& block, bool skipGapCheck = false)
    {
        return rig.renderer.ParseFrameHeader(block.data(), block.size(), frameKind, skipGapCheck);
    }
    bool ParseHeader(const FrameHeader& h, bool skipGapCheck = false) { return Parse(FrameBlock(h, 40), skipGapCheck); }
    // A predicted picture of channel `ch` with sequence number `seq`; code 0
    // is the code after a reset, so no resolution change interferes.
    FrameHeader Predicted(int ch, int seq, int resolution = 0)
    {
        FrameHeader h = VideoHeader(ch, resolution, 100);
        h.pictureType = 0;
        h.sequence = uint8_t(seq);
        return h;
    }

    RendererRig rig;
    int frameKind = -7;
};

TEST_F(ParseFrameHeaderTest, ChannelNibblesAndLengthsComeFromTheirBytes)
{
    auto b = RawHeader();
    b[8] = 0x35;
    b[20] = 0x00; b[21] = 0x10; b[22] = 0x40; b[23] = 0x01;
    ASSERT_TRUE(Parse(b));
    const FrameInfo& f = rig.renderer.Frame();
    EXPECT_EQ(f.channel, 5);
    EXPECT_EQ(f.secondChannel, 3);
    EXPECT_EQ(f.videoLength, 4096u);
    EXPECT_EQ(f.audioLength, 20u);
    EXPECT_EQ(frameKind, 1);
}

TEST_F(ParseFrameHeaderTest, AudioOnlyFrameIsKindTwo)
{
    auto b = RawHeader();
    b[22] = 0x40; b[23] = 0x01; // audio 20, video 0
    b[24] = 0x0C;               // audio mask: inputs 2 and 3
    b[8] = 0x01;
    ASSERT_TRUE(Parse(b));
    EXPECT_EQ(frameKind, 2);
    EXPECT_EQ(rig.renderer.Frame().audioInput, 2);
}

TEST_F(ParseFrameHeaderTest, MagicIsSearchedAndFieldsReadWhereFound)
{
    auto b = RawHeader();
    b[8] = 0x07;
    std::vector<uint8_t> shifted(6, 0xAA);
    shifted.insert(shifted.end(), b.begin(), b.end());
    ASSERT_TRUE(Parse(shifted));
    EXPECT_EQ(rig.renderer.Frame().channel, 7);

    // Magic beyond the first 40 bytes: not a frame.
    std::vector<uint8_t> late(38, 0xAA);
    late.insert(late.end(), b.begin(), b.end());
    frameKind = -7;
    EXPECT_FALSE(Parse(late));
    EXPECT_EQ(frameKind, 2);
    EXPECT_EQ(rig.renderer.Frame().channel, -1);
}

TEST_F(ParseFrameHeaderTest, ShortBlocksAreReadWithoutOverrun)
{
    auto b = RawHeader();
    b[8] = 0x04;
    // Only 9 bytes: the magic and the channel byte; the rest reads as 0.
    std::vector<uint8_t> shortBlock(b.begin(), b.begin() + 9);
    ASSERT_TRUE(Parse(shortBlock));
    EXPECT_EQ(rig.renderer.Frame().channel, 4);
    EXPECT_EQ(rig.renderer.Frame().videoLength, 0u);

    std::vector<uint8_t> tiny(b.begin(), b.begin() + 3);
    EXPECT_FALSE(Parse(tiny));
    EXPECT_FALSE(rig.renderer.ParseFrameHeader(nullptr, 0, frameKind, false));
}

TEST_F(ParseFrameHeaderTest, CodecKindAndTypeWordAreLearnedOnceFromBytesFourToSix)
{
    struct Row { uint8_t byte4, byte5, byte6; int kind; size_t headerLength; };
    const Row rows[] = {
        {3, 0x00, 0x22, 3, 40}, {2, 0x00, 0x22, 2, 32}, {2, 0xF0, 0x22, 2, 32},
        {1, 0xF0, 0x22, 1, 32}, {4, 0x00, 0x22, 0, 32}, {2, 0x00, 0x21, 0, 32},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "bytes 4..6 = " << int(r.byte4) << " " << int(r.byte5) << " " << int(r.byte6));
        RendererRig fresh;
        ASSERT_EQ(fresh.state.codecKind.load(), -1);
        auto b = RawHeader();
        b[4] = r.byte4; b[5] = r.byte5; b[6] = r.byte6;
        int kind = 0;
        ASSERT_TRUE(fresh.renderer.ParseFrameHeader(b.data(), b.size(), kind, false));
        EXPECT_EQ(fresh.state.codecKind.load(), r.kind);
        EXPECT_EQ(fresh.state.FrameHeaderLength(), r.headerLength);
        EXPECT_EQ(fresh.state.typeWord.load(), uint32_t(r.byte5 | (r.byte6 << 8)));

        // Once known, neither is taken from later headers.
        b[4] = 1; b[5] = 0x33; b[6] = 0x44;
        ASSERT_TRUE(fresh.renderer.ParseFrameHeader(b.data(), b.size(), kind, false));
        EXPECT_EQ(fresh.state.codecKind.load(), r.kind);
        EXPECT_EQ(fresh.state.typeWord.load(), uint32_t(r.byte5 | (r.byte6 << 8)));
    }
}

TEST_F(ParseFrameHeaderTest, TimeTextIsUtcWithThreeDigitMilliseconds)
{
    FrameHeader h = VideoHeader(0, 6, 10);
    h.time = 0;
    h.milliseconds = 0;
    ASSERT_TRUE(ParseHeader(h));
    EXPECT_EQ(rig.renderer.TimeText(), "1970-01-01 00:00:00.000");

    h.time = 1700000000; // 2023-11-14 22:13:20 UTC
    h.milliseconds = 123;
    ASSERT_TRUE(ParseHeader(h));
    EXPECT_EQ(rig.renderer.TimeText(), "2023-11-14 22:13:20.123");
    EXPECT_EQ(rig.renderer.Frame().timeText, "2023-11-14 22:13:20.123");

    h.time = 31536000 + 86399; // 1971-01-01 23:59:59
    h.milliseconds = 7;
    ASSERT_TRUE(ParseHeader(h));
    EXPECT_EQ(rig.renderer.TimeText(), "1971-01-01 23:59:59.007");

    EXPECT_EQ(FrameTimeText(0xFFFFFFFFu, 999), "2106-02-07 06:28:15.999");
}

TEST_F(ParseFrameHeaderTest, SequenceGapClearsOnlyForPredictedPictures)
{
    rig.renderer.ResetChannels();
    ASSERT_TRUE(ParseHeader(Predicted(2, 1))); // first frame, sequence 1: no gap
    rig.renderer.SetDecodable(2);
    rig.renderer.SetDecodable(3);

    ASSERT_TRUE(ParseHeader(Predicted(2, 2)));
    EXPECT_TRUE(rig.renderer.IsDecodable(2));

    ASSERT_TRUE(ParseHeader(Predicted(2, 4))); // 3 went missing
    EXPECT_FALSE(rig.renderer.IsDecodable(2));
    EXPECT_TRUE(rig.renderer.IsDecodable(3)) << "a gap concerns its own channel only";

    rig.renderer.SetDecodable(2);
    FrameHeader key = Predicted(2, 9);
    key.pictureType = 1;
    ASSERT_TRUE(ParseHeader(key)); // gap, but a key picture
    EXPECT_TRUE(rig.renderer.IsDecodable(2));

    ASSERT_TRUE(ParseHeader(Predicted(2, 12), /*skipGapCheck=*/true));
    EXPECT_TRUE(rig.renderer.IsDecodable(2));

    // The counter follows the last frame even when the check was skipped.
    ASSERT_TRUE(ParseHeader(Predicted(2, 13)));
    EXPECT_TRUE(rig.renderer.IsDecodable(2));
}

TEST_F(ParseFrameHeaderTest, SequenceRulesAtResetAndAt255)
{
    rig.renderer.ResetChannels();
    ASSERT_TRUE(ParseHeader(Predicted(1, 6)));
    rig.renderer.SetDecodable(1);
    ASSERT_TRUE(ParseHeader(Predicted(1, 255))); // "no counter" after 6: a gap
    EXPECT_FALSE(rig.renderer.IsDecodable(1));
    rig.renderer.SetDecodable(1);
    ASSERT_TRUE(ParseHeader(Predicted(1, 0))); // 255 is remembered as -1
    EXPECT_TRUE(rig.renderer.IsDecodable(1));

    // After a reset a channel expects sequence 1 again.
    rig.renderer.ResetChannels();
    rig.renderer.SetDecodable(1);
    ASSERT_TRUE(ParseHeader(Predicted(1, 1)));
    EXPECT_TRUE(rig.renderer.IsDecodable(1));
    rig.renderer.ResetChannels();
    ASSERT_TRUE(ParseHeader(Predicted(1, 2)));
    EXPECT_FALSE(rig.renderer.IsDecodable(1));

    // An audio-only frame does not take part in the count.
    rig.renderer.ResetChannels();
    FrameHeader audio = Predicted(1, 50);
    audio.videoLength = 0;
    audio.audioLength = 8;
    rig.renderer.SetDecodable(1);
    ASSERT_TRUE(ParseHeader(audio));
    EXPECT_TRUE(rig.renderer.IsDecodable(1));
    ASSERT_TRUE(ParseHeader(Predicted(1, 1)));
    EXPECT_TRUE(rig.renderer.IsDecodable(1));
}

TEST_F(ParseFrameHeaderTest, ResolutionChangeClearsFlagsAndRateSum)
{
    FrameHeader h = VideoHeader(0, 6, 10);
    h.frameRate = 25;
    ASSERT_TRUE(ParseHeader(h));
    h.channel = 1;
    h.frameRate = 12;
    ASSERT_TRUE(ParseHeader(h));
    EXPECT_EQ(rig.renderer.RateSum(), 37);
    h.frameRate = 30; // channel 1 again: counted once only
    ASSERT_TRUE(ParseHeader(h));
    EXPECT_EQ(rig.renderer.RateSum(), 37);

    for (int c = 0; c < 16; ++c)
        rig.renderer.SetDecodable(c);
    ASSERT_TRUE(ParseHeader(h)); // same code: nothing cleared
    for (int c = 0; c < 16; ++c)
        EXPECT_TRUE(rig.renderer.IsDecodable(c)) << "channel " << c;

    h.resolution = 4;
    h.frameRate = 8;
    ASSERT_TRUE(ParseHeader(h));
    // Only channel 1 changed its resolution: only it waits for a key picture.
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(rig.renderer.IsDecodable(c), c != 1) << "channel " << c;
    EXPECT_EQ(rig.renderer.RateSum(), 8) << "the sum starts again with the frame that changed the code";

}

TEST_F(ParseFrameHeaderTest, ChannelsOfDifferentResolutionsKeepTheirFlags)
{
    // Two channels of different sizes interleaved, each with its own steady
    // resolution: their predicted pictures stay decodable.
    for (int seq = 0; seq < 4; ++seq) {
        for (int ch = 0; ch < 2; ++ch) {
            FrameHeader h = Predicted(ch, seq, ch == 0 ? 6 : 4);
            if (seq == 0)
                h.pictureType = VideoHeader(ch, 0, 1).pictureType; // a key picture
            ASSERT_TRUE(ParseHeader(h));
            if (seq == 0)
                rig.renderer.SetDecodable(ch);
            EXPECT_TRUE(rig.renderer.IsDecodable(ch)) << "channel " << ch << " picture " << seq;
        }
    }
}

TEST_F(ParseFrameHeaderTest, JpegPicturesAreAlwaysDecodable)
{
    FrameHeader h = Predicted(6, 40);
    h.codec = 0;
    ASSERT_TRUE(ParseHeader(h)); // a gap, but JPEG
    EXPECT_TRUE(rig.renderer.IsDecodable(6));
    EXPECT_EQ(rig.renderer.Frame().codec, 0);
}

TEST_F(ParseFrameHeaderTest, LineDoublingPalAndStreamClassFollowTheHeader)
{
    FrameHeader h = VideoHeader(0, 4, 10);
    h.fullHeight = false;
    h.pal = true;
    ASSERT_TRUE(ParseHeader(h));
    EXPECT_EQ(rig.renderer.LineDoubling(), 1);
    EXPECT_TRUE(rig.state.pal.load());
    EXPECT_EQ(rig.renderer.StreamClass(), 2);

    h.fullHeight = true;
    h.pal = false;
    h.resolution = 5;
    ASSERT_TRUE(ParseHeader(h));
    EXPECT_EQ(rig.renderer.LineDoubling(), 0);
    EXPECT_FALSE(rig.state.pal.load());
    EXPECT_EQ(rig.renderer.StreamClass(), 0);
}

} // namespace
} // namespace tarnvik::test
