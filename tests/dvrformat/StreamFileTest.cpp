#include "dvrformat/FrameHeader.h"
#include "dvrformat/StreamFile.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace dvrformat;

TEST(StreamFileHeader, RecorderHeaderBytes)
{
    std::array<uint8_t, 8> bytes{};
    StreamFileHeader::ForRecording(3, 0x480F).Write(bytes.data());
    const std::array<uint8_t, 8> expected = {0x02, 0x22, 0x03, 0x03, 0x78, 0x40, 0x02, 0x00};
    EXPECT_EQ(bytes, expected);
    const StreamFileHeader h = StreamFileHeader::Read(bytes.data());
    EXPECT_EQ(h.ModelCode(), 0x480Fu);
    EXPECT_EQ(h.CodecKindOr(-1), 3);
}

TEST(StreamFileHeader, CodecKindWordOfEachKind)
{
    EXPECT_EQ(StreamFileHeader::ForRecording(kCodecKindUnknown, 1).codecKindWord, 0x0101);
    EXPECT_EQ(StreamFileHeader::ForRecording(0, 1).codecKindWord, 0x0101);
    EXPECT_EQ(StreamFileHeader::ForRecording(1, 1).codecKindWord, 0x0101);
    EXPECT_EQ(StreamFileHeader::ForRecording(2, 1).codecKindWord, 0x0202);
    StreamFileHeader h;
    h.codecKindWord = 0x0404;
    EXPECT_EQ(h.CodecKindOr(2), 2); // unknown words leave the kind as it was
    h.codecKindWord = 0x0202;
    EXPECT_EQ(h.CodecKindOr(3), 2);
}

TEST(StreamFileHeader, Signature)
{
    StreamFileHeader h;
    for (uint16_t word : {0x2200, 0x2201, 0x2202}) {
        h.formatWord = word;
        EXPECT_TRUE(h.HasValidSignature()) << word;
    }
    for (uint16_t word : {0x2203, 0x21FF, 0x0000}) {
        h.formatWord = word;
        EXPECT_FALSE(h.HasValidSignature()) << word;
    }
}

TEST(StreamFileHeader, ModelWordKeepsSixteenBits)
{
    StreamFileHeader h;
    h.modelWord = (0x3480Fu << 3) | 7;
    EXPECT_EQ(h.ModelCode(), 0x480Fu);
}

TEST(StreamFile, TypeWordOfModel)
{
    EXPECT_EQ(TypeWordForModel(1, kTypeWordUnknown), kTypeWord2200);
    for (uint32_t model : {0x1204u, 0x1208u, 0x120Fu, 0x2408u, 0x240Fu, 0x480Fu})
        EXPECT_EQ(TypeWordForModel(model, kTypeWordUnknown), kTypeWord22F0) << model;
    EXPECT_EQ(TypeWordForModel(2, kTypeWordUnknown), kTypeWordUnknown);
    EXPECT_EQ(TypeWordForModel(0x1205, kTypeWord2200), kTypeWord2200);
}

namespace {

std::vector<uint8_t> BlockHeader(uint8_t pictureType, uint32_t blockLength, uint32_t previous, size_t at = 0)
{
    FrameHeader f;
    f.pictureType = pictureType;
    f.blockLength = blockLength;
    f.previousBlockLength = previous;
    f.codec = 1;
    f.pal = true;
    std::vector<uint8_t> bytes(at + 40, 0);
    f.Write(bytes.data() + at, 40);
    bytes.resize(40); // the rule looks at the first 40 bytes only
    return bytes;
}

} // namespace

TEST(GopBlock, AcceptanceBounds)
{
    EXPECT_TRUE(IsBlockOpening(BlockHeader(1, 0xA01, 0xA01).data(), 40));
    EXPECT_TRUE(IsBlockOpening(BlockHeader(1, 0x7CFFF, 0x7CFFF).data(), 40));
    EXPECT_FALSE(IsBlockOpening(BlockHeader(1, 0xA00, 0x1000).data(), 40));
    EXPECT_FALSE(IsBlockOpening(BlockHeader(1, 0x7D000, 0x1000).data(), 40));
    EXPECT_FALSE(IsBlockOpening(BlockHeader(1, 0x1000, 0xA00).data(), 40));
    EXPECT_FALSE(IsBlockOpening(BlockHeader(1, 0x1000, 0x7D000).data(), 40));
    EXPECT_FALSE(IsBlockOpening(BlockHeader(2, 0x1000, 0x1000).data(), 40));
    EXPECT_FALSE(IsBlockOpening(BlockHeader(0, 0x1000, 0x1000).data(), 40));
    std::vector<uint8_t> noMagic = BlockHeader(1, 0x1000, 0x1000);
    noMagic[0] = 0;
    EXPECT_FALSE(IsBlockOpening(noMagic.data(), 40));
    EXPECT_EQ(RoundUpToSector(0x1001), 0x1200u);
    EXPECT_EQ(RoundUpToSector(0x1000), 0x1000u);
}

TEST(TimeIndex, BackupOfOneEntry)
{
    TimeIndexHeader h;
    h.oldest = 1;
    h.newest = 1;
    std::array<uint8_t, 16> bytes{};
    h.Write(bytes.data());
    const std::array<uint8_t, 16> expected = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(bytes, expected);
}

TEST(TimeIndex, EntryWithPositionPastFourGigabytes)
{
    TimeIndexEntry e{1700000000u, 0xCAFEBABEu, 0x123456789ABull};
    std::array<uint8_t, 16> bytes{};
    e.Write(bytes.data());
    const std::array<uint8_t, 16> expected = {0x00, 0xF1, 0x53, 0x65, 0xBE, 0xBA, 0xFE, 0xCA,
                                              0xAB, 0x89, 0x67, 0x45, 0x23, 0x01, 0x00, 0x00};
    EXPECT_EQ(bytes, expected);
    const TimeIndexEntry r = TimeIndexEntry::Read(bytes.data());
    EXPECT_EQ(r.time, e.time);
    EXPECT_EQ(r.carried, e.carried);
    EXPECT_EQ(r.position, e.position);
}
