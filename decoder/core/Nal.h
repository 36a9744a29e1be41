// NAL units of an Annex B byte stream (ITU-T H.264 clauses 7.3.1, B.1):
// finding them between start codes and removing emulation prevention bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace QLMedia {

struct NalUnit {
    const uint8_t* data = nullptr; // the NAL header byte onwards
    size_t size = 0;
    int type = 0;
    int refIdc = 0;
};

// Splits `size` bytes at 3- or 4-byte start codes. Bytes before the first
// start code are ignored; trailing zero bytes of a unit are not part of it.
void SplitNalUnits(const uint8_t* data, size_t size, std::vector<NalUnit>& units);

// Copies the unit's payload (after the header byte) without emulation
// prevention bytes into `rbsp` (reused between calls).
void ExtractRbsp(const NalUnit& nal, std::vector<uint8_t>& rbsp);

} // namespace QLMedia
