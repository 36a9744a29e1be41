#include "StreamFile.h"

#include "ByteOrder.h"
#include "FrameHeader.h"

namespace dvrformat {

StreamFileHeader StreamFileHeader::Read(const uint8_t* p)
{
    StreamFileHeader h;
    h.formatWord = LoadLE16(p);
    h.codecKindWord = LoadLE16(p + 2);
    h.modelWord = LoadLE32(p + 4);
    return h;
}

void StreamFileHeader::Write(uint8_t* p) const
{
    StoreLE16(p, formatWord);
    StoreLE16(p + 2, codecKindWord);
    StoreLE32(p + 4, modelWord);
}

StreamFileHeader StreamFileHeader::ForRecording(int codecKind, uint32_t modelCode)
{
    StreamFileHeader h;
    h.formatWord = kFormatWordRecorder;
    h.codecKindWord = codecKind == 2 ? 0x0202 : codecKind == 3 ? 0x0303 : 0x0101;
    h.modelWord = modelCode * 8;
    return h;
}

int StreamFileHeader::CodecKindOr(int current) const
{
    switch (codecKindWord) {
    case 0x0101: return 1;
    case 0x0202: return 2;
    case 0x0303: return 3;
    default: return current;
    }
}

uint32_t TypeWordForModel(uint32_t modelCode, uint32_t current)
{
    switch (modelCode) {
    case 1:
        return kTypeWord2200;
    case 0x1204: case 0x1208: case 0x120F: case 0x2408: case 0x240F: case 0x480F:
        return kTypeWord22F0;
    default:
        return current;
    }
}

bool IsBlockOpening(const uint8_t* p, size_t size)
{
    const int at = FindFrameMagic(p, size);
    if (at < 0)
        return false;
    const FrameHeader h = FrameHeader::Read(p + at, size - size_t(at));
    auto inRange = [](uint32_t v) { return v > kBlockLengthMin && v < kBlockLengthMax; };
    return h.pictureType == 1 && inRange(h.blockLength) && inRange(h.previousBlockLength);
}

TimeIndexHeader TimeIndexHeader::Read(const uint8_t* p)
{
    return {LoadLE32(p), LoadLE32(p + 4), LoadLE32(p + 8), LoadLE32(p + 12)};
}

void TimeIndexHeader::Write(uint8_t* p) const
{
    StoreLE32(p, reserved0);
    StoreLE32(p + 4, oldest);
    StoreLE32(p + 8, newest);
    StoreLE32(p + 12, reserved1);
}

TimeIndexEntry TimeIndexEntry::Read(const uint8_t* p)
{
    return {LoadLE32(p), LoadLE32(p + 4), LoadLE64(p + 8)};
}

void TimeIndexEntry::Write(uint8_t* p) const
{
    StoreLE32(p, time);
    StoreLE32(p + 4, carried);
    StoreLE64(p + 8, position);
}

} // namespace dvrformat
