// Reading an H.264 Annex B byte stream for qldec and the decoder tests:
// NAL units behind 3- or 4-byte start codes, their grouping into access
// units, and the picture size that a sequence parameter set describes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qldec {

struct NalUnit {
    size_t offset = 0; // of the NAL header byte in the stream
    size_t size = 0;   // header and payload, trailing zero bytes removed
    int type = 0;      // nal_unit_type
};

// Every NAL unit of the stream, in order. Bytes before the first start code
// are ignored.
std::vector<NalUnit> SplitNalUnits(const uint8_t* data, size_t size);

// first_mb_in_slice of a slice NAL unit; -1 when it cannot be read.
int64_t FirstMbInSlice(const uint8_t* unit, size_t size);

struct AccessUnitRange {
    size_t first = 0; // index into the NAL unit list
    size_t count = 0;
};

// Groups NAL units into access units (ITU-T H.264 clause 7.4.1.2.3, the
// parts a Baseline stream needs): after a slice, a slice with
// first_mb_in_slice 0 or an SPS, PPS, access unit delimiter or SEI starts the
// next access unit.
std::vector<AccessUnitRange> GroupAccessUnits(const uint8_t* data, const std::vector<NalUnit>& units);

// Writes the units of one access unit with 4-byte start codes into out
// (reusing its capacity).
void BuildAccessUnit(const uint8_t* data, const NalUnit* units, size_t count, std::vector<uint8_t>& out);

struct SpsPictureSize {
    int profileIdc = 0;
    int codedWidth = 0;  // 16 * PicWidthInMbs
    int codedHeight = 0; // 16 * FrameHeightInMbs
    int width = 0;       // after frame cropping (clause 7.4.2.1.1)
    int height = 0;
};

// Reads the picture size from an SPS NAL unit (header byte first). False for
// a unit that is not a readable SPS or whose cropping leaves no picture.
bool ReadSpsPictureSize(const uint8_t* unit, size_t size, SpsPictureSize* out);

} // namespace qldec
