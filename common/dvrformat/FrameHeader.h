// The frame header that opens every frame block, on the wire and in stored
// streams: 32 bytes, or 40 when the stream variant (CodecKind) is 3. All
// multi-byte fields are little-endian; several are packed bit fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dvrformat {

constexpr size_t kFrameHeaderShort = 32;
constexpr size_t kFrameHeaderLong = 40;
constexpr uint8_t kFrameMagic[4] = {0xFF, 0x01, 0x00, 0x00};

constexpr uint32_t kTypeWord2200 = 0x2200;
constexpr uint32_t kTypeWord22F0 = 0x22F0;
constexpr uint32_t kTypeWordUnknown = 0xFFFFFFFF;

constexpr int kCodecKindUnknown = -1;

// Frame header length for a CodecKind (unknown counts as short).
inline size_t FrameHeaderLength(int codecKind) { return codecKind == 3 ? kFrameHeaderLong : kFrameHeaderShort; }

// CodecKind named by bytes 4 and 6 of a frame header: 1..3 when byte 6 is
// 0x22 and byte 4 is 1..3, otherwise 0.
int CodecKindFromHeaderBytes(uint8_t byte4, uint8_t byte6);

// Size class of a resolution code: 0, 1 or 2.
int SizeClassOfResolution(int resolutionCode);

// The largest value a 20-bit length field holds.
constexpr uint32_t kMax20Bit = 0xFFFFF;
constexpr uint32_t kMax12Bit = 0xFFF;

struct FrameHeader {
    uint8_t kind = 0;          // byte 4: stream variant
    uint16_t typeWord = 0;     // bytes 5..6: DvrTypeWord
    uint8_t sequence = 0;      // byte 7: per-channel counter, 255 = none
    uint8_t channel = 0;       // byte 8 low nibble
    uint8_t secondChannel = 0; // byte 8 high nibble
    uint8_t resolution = 0;    // byte 9 low nibble
    uint32_t recordLength = 0; // 20 bits: header plus data
    uint32_t time = 0;         // DvrTime seconds
    uint32_t previousBlockLength = 0; // 20 bits
    bool evenField = false;    // byte 18 bit 4
    uint8_t codec = 0;         // byte 18 bits 5..6: 1 H.264, 0 JPEG
    bool pal = false;          // byte 18 bit 7
    uint8_t pacing = 0;        // byte 19
    uint32_t videoLength = 0;  // 20 bits
    uint16_t audioLength = 0;  // 12 bits
    uint16_t audioMask = 0;
    uint16_t milliseconds = 0;
    uint8_t pictureType = 0;   // byte 28 bits 0..1: 0 predicted, else key
    uint8_t frameRate = 0;     // byte 28 bits 2..6
    uint8_t flags = 0;         // byte 29 bits 0, 1
    bool fullHeight = true;    // byte 30 bit 1
    uint32_t blockLength = 0;      // 40-byte form only
    uint32_t audioBlockLength = 0; // 40-byte form only

    bool IsKeyPicture() const { return pictureType != 0; }
    bool IsH264() const { return codec == 1; }

    // Reads the fields of a header whose magic starts at p. `available` is
    // the number of readable bytes at p; fields beyond it read as 0 (so the
    // 40-byte form's last two words are 0 when only 32 bytes are there).
    static FrameHeader Read(const uint8_t* p, size_t available);
    // Writes `length` bytes (32 or 40), magic included. Fields wider than
    // their bit field are masked.
    void Write(uint8_t* p, size_t length) const;
};

// Offset of the frame magic within the first `size` bytes (at most 40
// searched), or -1 when absent.
int FindFrameMagic(const uint8_t* p, size_t size);

} // namespace dvrformat
