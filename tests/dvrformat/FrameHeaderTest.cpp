#include "dvrformat/FrameHeader.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace dvrformat;

namespace {

std::array<uint8_t, 40> BlankHeader()
{
    std::array<uint8_t, 40> h{};
    h[0] = 0xFF;
    h[1] = 0x01;
    return h;
}

} // namespace

TEST(FrameHeader, ChannelNibbles)
{
    auto h = BlankHeader();
    h[8] = 0x35;
    const FrameHeader f = FrameHeader::Read(h.data(), h.size());
    EXPECT_EQ(f.channel, 5);
    EXPECT_EQ(f.secondChannel, 3);
}

TEST(FrameHeader, VideoAndAudioLengthsShareBytes20To23)
{
    auto h = BlankHeader();
    h[20] = 0x00;
    h[21] = 0x10;
    h[22] = 0x40;
    h[23] = 0x01;
    const FrameHeader f = FrameHeader::Read(h.data(), h.size());
    EXPECT_EQ(f.videoLength, 4096u);
    EXPECT_EQ(f.audioLength, 20);
}

TEST(FrameHeader, ResolutionAndRecordLengthShareBytes9To11)
{
    auto h = BlankHeader();
    // 24-bit little-endian 0xABCDE4: resolution 4, record length 0xABCDE.
    h[9] = 0xE4;
    h[10] = 0xCD;
    h[11] = 0xAB;
    const FrameHeader f = FrameHeader::Read(h.data(), h.size());
    EXPECT_EQ(f.resolution, 4);
    EXPECT_EQ(f.recordLength, 0xABCDEu);
}

TEST(FrameHeader, Byte18Flags)
{
    auto h = BlankHeader();
    h[16] = 0x34;
    h[17] = 0x12;
    h[18] = 0xB5; // PAL, codec 1, even field, previous block length nibble 5
    const FrameHeader f = FrameHeader::Read(h.data(), h.size());
    EXPECT_EQ(f.previousBlockLength, 0x51234u);
    EXPECT_TRUE(f.evenField);
    EXPECT_EQ(f.codec, 1);
    EXPECT_TRUE(f.pal);
    h[18] = 0x40; // codec 2, odd field, NTSC
    const FrameHeader g = FrameHeader::Read(h.data(), h.size());
    EXPECT_FALSE(g.evenField);
    EXPECT_EQ(g.codec, 2);
    EXPECT_FALSE(g.pal);
}

TEST(FrameHeader, PictureTypeFrameRateAndFullHeight)
{
    auto h = BlankHeader();
    h[28] = (25 << 2) | 1;
    h[29] = 0xFF;
    h[30] = 0x02;
    FrameHeader f = FrameHeader::Read(h.data(), h.size());
    EXPECT_EQ(f.pictureType, 1);
    EXPECT_TRUE(f.IsKeyPicture());
    EXPECT_EQ(f.frameRate, 25);
    EXPECT_EQ(f.flags, 3);
    EXPECT_TRUE(f.fullHeight);
    h[28] = 30 << 2;
    h[30] = 0xFD;
    f = FrameHeader::Read(h.data(), h.size());
    EXPECT_FALSE(f.IsKeyPicture());
    EXPECT_EQ(f.frameRate, 30);
    EXPECT_FALSE(f.fullHeight);
}

TEST(FrameHeader, WriteThenReadKeepsEveryField)
{
    FrameHeader f;
    f.kind = 3;
    f.typeWord = 0x22F0;
    f.sequence = 254;
    f.channel = 15;
    f.secondChannel = 9;
    f.resolution = 14;
    f.recordLength = kMax20Bit;
    f.time = 0xFEDCBA98;
    f.previousBlockLength = 0x7CFFF;
    f.evenField = true;
    f.codec = 1;
    f.pal = true;
    f.pacing = 0x5A;
    f.videoLength = kMax20Bit;
    f.audioLength = kMax12Bit;
    f.audioMask = 0x0008;
    f.milliseconds = 999;
    f.pictureType = 1;
    f.frameRate = 31;
    f.flags = 2;
    f.fullHeight = false;
    f.blockLength = 0x12345;
    f.audioBlockLength = 0x6789;
    std::array<uint8_t, 40> bytes{};
    f.Write(bytes.data(), 40);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x00);
    EXPECT_EQ(bytes[4], 3);
    EXPECT_EQ(bytes[5], 0xF0);
    EXPECT_EQ(bytes[6], 0x22);
    EXPECT_EQ(bytes[19], 0x5A);
    const FrameHeader g = FrameHeader::Read(bytes.data(), bytes.size());
    EXPECT_EQ(g.kind, f.kind);
    EXPECT_EQ(g.typeWord, f.typeWord);
    EXPECT_EQ(g.sequence, f.sequence);
    EXPECT_EQ(g.channel, f.channel);
    EXPECT_EQ(g.secondChannel, f.secondChannel);
    EXPECT_EQ(g.resolution, f.resolution);
    EXPECT_EQ(g.recordLength, f.recordLength);
    EXPECT_EQ(g.time, f.time);
    EXPECT_EQ(g.previousBlockLength, f.previousBlockLength);
    EXPECT_EQ(g.evenField, f.evenField);
    EXPECT_EQ(g.codec, f.codec);
    EXPECT_EQ(g.pal, f.pal);
    EXPECT_EQ(g.pacing, f.pacing);
    EXPECT_EQ(g.videoLength, f.videoLength);
    EXPECT_EQ(g.audioLength, f.audioLength);
    EXPECT_EQ(g.audioMask, f.audioMask);
    EXPECT_EQ(g.milliseconds, f.milliseconds);
    EXPECT_EQ(g.pictureType, f.pictureType);
    EXPECT_EQ(g.frameRate, f.frameRate);
    EXPECT_EQ(g.flags, f.flags);
    EXPECT_EQ(g.fullHeight, f.fullHeight);
    EXPECT_EQ(g.blockLength, f.blockLength);
    EXPECT_EQ(g.audioBlockLength, f.audioBlockLength);
}

TEST(FrameHeader, ShortFormHasNoBlockWordsAndShortInputIsNotOverRead)
{
    FrameHeader f;
    f.blockLength = 0x1111;
    f.audioBlockLength = 0x2222;
    f.videoLength = 77;
    // Exactly 32 bytes in a heap buffer: any read past them is caught by ASan.
    std::vector<uint8_t> bytes(32);
    f.Write(bytes.data(), bytes.size());
    const FrameHeader g = FrameHeader::Read(bytes.data(), bytes.size());
    EXPECT_EQ(g.videoLength, 77u);
    EXPECT_EQ(g.blockLength, 0u);
    EXPECT_EQ(g.audioBlockLength, 0u);
    std::vector<uint8_t> tiny(bytes.begin(), bytes.begin() + 10);
    EXPECT_EQ(FrameHeader::Read(tiny.data(), tiny.size()).videoLength, 0u);
}

TEST(FrameHeader, OversizeValuesAreMaskedToTheirFields)
{
    FrameHeader f;
    f.videoLength = 0x1FFFFF;
    f.audioLength = 0x1FFF;
    f.channel = 0x1F;
    std::array<uint8_t, 32> bytes{};
    f.Write(bytes.data(), bytes.size());
    const FrameHeader g = FrameHeader::Read(bytes.data(), bytes.size());
    EXPECT_EQ(g.videoLength, kMax20Bit);
    EXPECT_EQ(g.audioLength, kMax12Bit);
    EXPECT_EQ(g.channel, 15);
}

TEST(FrameHeader, CodecKindFromBytes4And6)
{
    EXPECT_EQ(CodecKindFromHeaderBytes(3, 0x22), 3);
    EXPECT_EQ(CodecKindFromHeaderBytes(2, 0x22), 2);
    EXPECT_EQ(CodecKindFromHeaderBytes(1, 0x22), 1);
    EXPECT_EQ(CodecKindFromHeaderBytes(4, 0x22), 0);
    EXPECT_EQ(CodecKindFromHeaderBytes(0, 0x22), 0);
    EXPECT_EQ(CodecKindFromHeaderBytes(3, 0x23), 0);
    EXPECT_EQ(FrameHeaderLength(3), 40u);
    EXPECT_EQ(FrameHeaderLength(2), 32u);
    EXPECT_EQ(FrameHeaderLength(kCodecKindUnknown), 32u);
}

TEST(FrameHeader, SizeClasses)
{
    const int expected[16] = {1, 2, 2, 2, 2, 0, 1, 1, 2, 0, 1, 1, 1, 1, 1, 1};
    for (int code = 0; code < 16; ++code)
        EXPECT_EQ(SizeClassOfResolution(code), expected[code]) << code;
}

TEST(FrameHeader, MagicSearchWithinFortyBytes)
{
    std::array<uint8_t, 48> bytes{};
    EXPECT_EQ(FindFrameMagic(bytes.data(), bytes.size()), -1);
    bytes[5] = 0xFF;
    bytes[6] = 0x01;
    EXPECT_EQ(FindFrameMagic(bytes.data(), bytes.size()), 5);
    bytes = {};
    bytes[36] = 0xFF;
    bytes[37] = 0x01;
    EXPECT_EQ(FindFrameMagic(bytes.data(), bytes.size()), 36);
    bytes[36] = 0;
    bytes[37] = 0xFF;
    bytes[38] = 0x01;
    EXPECT_EQ(FindFrameMagic(bytes.data(), bytes.size()), -1); // would end past byte 40
    EXPECT_EQ(FindFrameMagic(bytes.data(), 3), -1);
}
