#include "FrameHeader.h"

#include "ByteOrder.h"

#include <cstring>

namespace dvrformat {

int CodecKindFromHeaderBytes(uint8_t byte4, uint8_t byte6)
{
    if (byte6 != 0x22)
        return 0;
    return (byte4 >= 1 && byte4 <= 3) ? byte4 : 0;
}

int SizeClassOfResolution(int resolutionCode)
{
    switch (resolutionCode) {
    case 1: case 2: case 3: case 4: case 8: return 2;
    case 5: case 9: return 0;
    default: return 1;
    }
}

FrameHeader FrameHeader::Read(const uint8_t* at, size_t available)
{
    // Work on a zero-filled copy so a short block can never be over-read.
    uint8_t p[kFrameHeaderLong] = {};
    std::memcpy(p, at, available < kFrameHeaderLong ? available : kFrameHeaderLong);
    FrameHeader h;
    h.kind = p[4];
    h.typeWord = LoadLE16(p + 5);
    h.sequence = p[7];
    h.channel = p[8] & 0x0F;
    h.secondChannel = p[8] >> 4;
    h.resolution = p[9] & 0x0F;
    h.recordLength = (LoadLE24(p + 9) >> 4) & kMax20Bit;
    h.time = LoadLE32(p + 12);
    h.previousBlockLength = LoadLE32(p + 16) & kMax20Bit;
    h.evenField = (p[18] >> 4) & 1;
    h.codec = (p[18] >> 5) & 3;
    h.pal = (p[18] >> 7) & 1;
    h.pacing = p[19];
    h.videoLength = LoadLE24(p + 20) & kMax20Bit;
    h.audioLength = uint16_t((LoadLE16(p + 22) >> 4) & kMax12Bit);
    h.audioMask = LoadLE16(p + 24);
    h.milliseconds = LoadLE16(p + 26);
    h.pictureType = p[28] & 3;
    h.frameRate = (p[28] >> 2) & 0x1F;
    h.flags = p[29] & 3;
    h.fullHeight = (p[30] >> 1) & 1;
    if (available >= kFrameHeaderLong) {
        h.blockLength = LoadLE32(p + 32);
        h.audioBlockLength = LoadLE32(p + 36);
    }
    return h;
}

void FrameHeader::Write(uint8_t* p, size_t length) const
{
    std::memset(p, 0, length);
    std::memcpy(p, kFrameMagic, 4);
    p[4] = kind;
    StoreLE16(p + 5, typeWord);
    p[7] = sequence;
    p[8] = uint8_t((channel & 0x0F) | (secondChannel << 4));
    StoreLE24(p + 9, ((recordLength & kMax20Bit) << 4) | (resolution & 0x0F));
    StoreLE32(p + 12, time);
    uint32_t word16 = previousBlockLength & kMax20Bit;
    word16 |= uint32_t(evenField) << 20;
    word16 |= uint32_t(codec & 3) << 21;
    word16 |= uint32_t(pal) << 23;
    word16 |= uint32_t(pacing) << 24;
    StoreLE32(p + 16, word16);
    StoreLE32(p + 20, (videoLength & kMax20Bit) | (uint32_t(audioLength & kMax12Bit) << 20));
    StoreLE16(p + 24, audioMask);
    StoreLE16(p + 26, milliseconds);
    p[28] = uint8_t((pictureType & 3) | ((frameRate & 0x1F) << 2));
    p[29] = flags & 3;
    p[30] = uint8_t(fullHeight) << 1;
    if (length >= kFrameHeaderLong) {
        StoreLE32(p + 32, blockLength);
        StoreLE32(p + 36, audioBlockLength);
    }
}

int FindFrameMagic(const uint8_t* p, size_t size)
{
    const size_t limit = size < kFrameHeaderLong ? size : kFrameHeaderLong;
    for (size_t i = 0; i + 4 <= limit; ++i)
        if (std::memcmp(p + i, kFrameMagic, 4) == 0)
            return int(i);
    return -1;
}

} // namespace dvrformat
