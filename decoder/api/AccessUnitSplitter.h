// Start-code search and the input stager. Inside the library every start
// code is the 4-byte 00 00 00 01: input with 3-byte start codes is given
// the long form at the entry (WithLongStartCodes).
#pragma once

#include "core/Framework.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qlapi {

// Offset of the first 00 00 00 01 in data[0, size) whose 01 byte lies at or
// after from + 3, or size when there is none. Equivalent to the 32-bit shift
// register of _GetOneNALU, but uses memchr to skip to each 01 byte.
size_t FindStartCode(const uint8_t* data, size_t size, size_t from);

// Whether data[0, size) holds a 3-byte start code (00 00 01 not preceded by
// a zero byte).
bool HasShortStartCode(const uint8_t* data, size_t size);
// Writes data[0, size) into out with every 3-byte start code given its
// fourth byte; out holds at least size + size / 3 + 1 bytes. Returns the
// bytes written.
size_t WithLongStartCodes(const uint8_t* data, size_t size, uint8_t* out);

// Results of _GetOneNALU.
constexpr int kNaluFollowed = 0; // a second start code ends the first unit
constexpr int kNaluLast = -1;    // the first unit runs to the end of the range
constexpr int kNaluNone = -2;    // the range holds no start code at all

// Finds the first NAL unit of the range: *start is the offset of its start
// code, *length its length including the start code. Never reads outside
// data[0, size).
int _GetOneNALU(const uint8_t* data, size_t size, size_t* start, size_t* length);

// nal_unit_type of the unit whose start code begins at unit[0]; 0 when the
// range ends before the unit's header byte.
inline int NalUnitType(const uint8_t* unit, size_t size)
{
    return size > 4 ? unit[4] & 0x1F : 0;
}

// Points media at data[0, size) (no copy) and records, for each NAL unit,
// the offset of its start code from the data pointer and its type. Unit i
// runs to unit i + 1's offset, the last one to the data size. Vectors keep
// their capacity, so a steady stream allocates nothing here.
void PointAtUnits(QLMedia::MediaDataEx& media, const uint8_t* data, size_t size);

// The input stager: holds a copy of input that is split into access units
// over several calls (only with three or more decoding threads), and the
// parameter sets handed over for the parameter setup.
class AccessUnitSplitter {
public:
    static constexpr size_t kStagingSize = 262144;
    static constexpr size_t kParamAreaSize = 1024;

    AccessUnitSplitter();

    // Whether size more bytes fit beside the data still held.
    bool CanAccept(size_t size) const;
    // Appends a copy of the range; what does not fit is dropped.
    void Feed(const uint8_t* data, size_t size);
    // Delivers the next access unit into out (pointing into the staging
    // buffer, valid until the next Feed). False when none is held. Sets the
    // report value: bit 0 for a new SPS in the unit, bit 1 for a new PPS.
    bool GetData(QLMedia::MediaDataEx& out);

    // Adds one SPS or PPS NAL unit to the parameter sets waiting for the
    // parameter setup and delivers all of them into out.
    void DeliverParameterSet(const uint8_t* unit, size_t size, QLMedia::MediaDataEx& out);
    // Whether a NAL unit of this type waits among the parameter sets.
    bool HasParameterSet(int type) const;
    // The decoder took the waiting parameter sets.
    void ClearParameterSets() { paramLength_ = 0; }

    int32_t Report() const { return report_; }
    void ResetReport() { report_ = 0; }

    // Whether p points into memory of the splitter.
    bool Holds(const uint8_t* p) const;

private:
    int NewParameterSetBit(int type, const uint8_t* unit, size_t size);

    std::unique_ptr<uint8_t[]> staging_; // allocated at the first Feed
    size_t readPos_ = 0;
    size_t fill_ = 0;
    uint8_t paramArea_[kParamAreaSize];
    size_t paramLength_ = 0;
    // The last SPS and PPS seen, to tell new parameter sets from repeats.
    uint8_t lastSps_[256];
    size_t lastSpsLength_ = 0;
    uint8_t lastPps_[256];
    size_t lastPpsLength_ = 0;
    int32_t report_ = 0;
};

} // namespace qlapi
