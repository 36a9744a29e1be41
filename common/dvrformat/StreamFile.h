// Stored stream records: the optional 8-byte header of stream files and DVR
// video partitions, the acceptance rule of a block-opening frame header, and
// the time index (the DVR's `timeindex` file and a backup's `.inx`).
// All little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dvrformat {

constexpr size_t kStreamFileHeaderSize = 8;
constexpr uint16_t kFormatWordRecorder = 0x2202;

struct StreamFileHeader {
    uint16_t formatWord = kFormatWordRecorder;
    uint16_t codecKindWord = 0x0101;
    uint32_t modelWord = 0; // ModelCode * 8

    static StreamFileHeader Read(const uint8_t* p);
    void Write(uint8_t* p) const;

    // The header a recorder writes for the current CodecKind and ModelCode
    // (kinds 0, 1 and unknown are written as 0x0101).
    static StreamFileHeader ForRecording(int codecKind, uint32_t modelCode);

    // Format word 0x2200..0x2202.
    bool HasValidSignature() const { return formatWord >= 0x2200 && formatWord <= 0x2202; }
    // CodecKind named by the codec kind word, or `current` for other words.
    int CodecKindOr(int current) const;
    uint32_t ModelCode() const { return (modelWord >> 3) & 0xFFFF; }
};

// DvrTypeWord of a model code, or `current` for models the table does not list.
uint32_t TypeWordForModel(uint32_t modelCode, uint32_t current);

// GopBlocks start on 512-byte boundaries of a file or partition.
constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kBlockLengthMin = 0xA00;   // exclusive
constexpr uint32_t kBlockLengthMax = 0x7D000; // exclusive

inline uint64_t RoundUpToSector(uint64_t n) { return (n + kSectorSize - 1) / kSectorSize * kSectorSize; }

// True when the 40 bytes at p open a GopBlock: the magic within them, a
// picture type of 1, and block length and previous block length strictly
// between 0xA00 and 0x7D000. The fields are read where the magic is found.
bool IsBlockOpening(const uint8_t* p, size_t size);

constexpr size_t kTimeIndexHeaderSize = 16;
constexpr size_t kTimeIndexEntrySize = 16;

struct TimeIndexHeader {
    uint32_t reserved0 = 0;
    uint32_t oldest = 0; // 1-based entry numbers
    uint32_t newest = 0;
    uint32_t reserved1 = 0;

    static TimeIndexHeader Read(const uint8_t* p);
    void Write(uint8_t* p) const;
};

struct TimeIndexEntry {
    uint32_t time = 0;     // DvrTime of the interval's start
    uint32_t carried = 0;  // copied, never interpreted
    uint64_t position = 0; // byte offset of the interval's first block

    static TimeIndexEntry Read(const uint8_t* p);
    void Write(uint8_t* p) const;
};

} // namespace dvrformat
