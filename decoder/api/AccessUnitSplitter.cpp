#include "AccessUnitSplitter.h"

#include "ApiTrace.h"

#include <cstring>

namespace qlapi {
namespace {

// More units than macroblocks of the largest picture cannot be one access
// unit; the cap bounds the unit tables for any input.
constexpr size_t kMaxUnits = 65536;

// ITU-T H.264 clause 7.4.1.2.3: after a slice, a parameter set, an access
// unit delimiter, SEI or types 14..18 begin the next access unit, and so does
// a slice with first_mb_in_slice 0. first_mb_in_slice is ue(v) right after
// the header, so it is 0 exactly when the first payload bit is 1.
bool StartsNewAccessUnit(int type, const uint8_t* unit, size_t size)
{
    if (type == 1 || type == 5)
        return size > 5 && (unit[5] & 0x80) != 0;
    return type == 6 || type == 7 || type == 8 || type == 9 || (type >= 14 && type <= 18);
}

bool Within(const uint8_t* p, const uint8_t* begin, size_t size)
{
    const auto a = reinterpret_cast<uintptr_t>(p);
    const auto b = reinterpret_cast<uintptr_t>(begin);
    return a >= b && a - b < size;
}

} // namespace

size_t FindStartCode(const uint8_t* data, size_t size, size_t from)
{
    if (!data || size < 4 || from > size - 4)
        return size;
    size_t i = from + 3;
    while (i < size) {
        const void* hit = std::memchr(data + i, 0x01, size - i);
        if (!hit)
            return size;
        i = size_t(static_cast<const uint8_t*>(hit) - data);
        if (data[i - 1] == 0 && data[i - 2] == 0 && data[i - 3] == 0)
            return i - 3;
        ++i;
    }
    return size;
}

namespace {

// Offset of the 01 byte of the first 3-byte start code (00 00 01 not
// preceded by a zero byte) whose 01 lies at or after `from` (at least 2),
// or size when there is none.
size_t NextShortStartCode(const uint8_t* data, size_t size, size_t from)
{
    for (size_t i = from; i < size;) {
        const void* hit = std::memchr(data + i, 0x01, size - i);
        if (!hit)
            return size;
        i = size_t(static_cast<const uint8_t*>(hit) - data);
        if (data[i - 1] == 0 && data[i - 2] == 0 && (i < 3 || data[i - 3] != 0))
            return i;
        ++i;
    }
    return size;
}

} // namespace

bool HasShortStartCode(const uint8_t* data, size_t size)
{
    return data && size >= 3 && NextShortStartCode(data, size, 2) < size;
}

size_t WithLongStartCodes(const uint8_t* data, size_t size, uint8_t* out)
{
    size_t written = 0;
    size_t copied = 0; // data[0, copied) is in out
    for (size_t i = NextShortStartCode(data, size, 2); i < size; i = NextShortStartCode(data, size, i + 1)) {
        // Everything up to the start code, then its extra zero byte.
        std::memcpy(out + written, data + copied, i - 2 - copied);
        written += i - 2 - copied;
        out[written++] = 0;
        copied = i - 2;
    }
    std::memcpy(out + written, data + copied, size - copied);
    return written + size - copied;
}

int _GetOneNALU(const uint8_t* data, size_t size, size_t* start, size_t* length)
{
    const size_t first = FindStartCode(data, size, 0);
    if (first >= size) {
        *start = size;
        *length = 0;
        return kNaluNone;
    }
    *start = first;
    const size_t second = FindStartCode(data, size, first + 1);
    if (second >= size) {
        *length = size - first;
        QL_TRACE(" - End\n");
        return kNaluLast;
    }
    *length = second - first;
    return kNaluFollowed;
}

void PointAtUnits(QLMedia::MediaDataEx& media, const uint8_t* data, size_t size)
{
    media.SetBufferPointer(data, size);
    media.SetDataSize(size);
    media.unitOffsets.clear();
    media.unitTypes.clear();
    size_t pos = FindStartCode(data, size, 0);
    while (pos < size && media.unitOffsets.size() < kMaxUnits) {
        media.unitOffsets.push_back(uint32_t(pos));
        media.unitTypes.push_back(uint32_t(NalUnitType(data + pos, size - pos)));
        pos = FindStartCode(data, size, pos + 1);
    }
}

AccessUnitSplitter::AccessUnitSplitter() = default;

bool AccessUnitSplitter::CanAccept(size_t size) const
{
    return size <= kStagingSize - (fill_ - readPos_);
}

void AccessUnitSplitter::Feed(const uint8_t* data, size_t size)
{
    if (!data || size == 0)
        return;
    if (!staging_)
        staging_.reset(new uint8_t[kStagingSize]);
    if (size > kStagingSize - fill_ && readPos_ > 0) {
        std::memmove(staging_.get(), staging_.get() + readPos_, fill_ - readPos_);
        fill_ -= readPos_;
        readPos_ = 0;
    }
    const size_t n = size < kStagingSize - fill_ ? size : kStagingSize - fill_;
    std::memcpy(staging_.get() + fill_, data, n);
    fill_ += n;
}

bool AccessUnitSplitter::GetData(QLMedia::MediaDataEx& out)
{
    const uint8_t* s = staging_.get();
    size_t pos = FindStartCode(s, fill_, readPos_);
    if (pos >= fill_) {
        readPos_ = fill_ = 0;
        return false;
    }
    const size_t auStart = pos;
    size_t end = fill_;
    bool sawSlice = false;
    int bits = 0;
    while (pos < fill_) {
        const size_t next = FindStartCode(s, fill_, pos + 1);
        const int type = NalUnitType(s + pos, fill_ - pos);
        if (sawSlice && StartsNewAccessUnit(type, s + pos, next - pos)) {
            end = pos;
            break;
        }
        if (type == 1 || type == 5)
            sawSlice = true;
        else if (type == 7 || type == 8)
            bits |= NewParameterSetBit(type, s + pos, next - pos);
        pos = next;
    }
    readPos_ = end;
    report_ = bits;
    PointAtUnits(out, s + auStart, end - auStart);
    return true;
}

void AccessUnitSplitter::DeliverParameterSet(const uint8_t* unit, size_t size, QLMedia::MediaDataEx& out)
{
    if (unit && size > 0 && size <= kParamAreaSize) {
        if (size > kParamAreaSize - paramLength_)
            paramLength_ = 0;
        std::memcpy(paramArea_ + paramLength_, unit, size);
        paramLength_ += size;
        report_ |= NewParameterSetBit(NalUnitType(unit, size), unit, size);
    }
    PointAtUnits(out, paramArea_, paramLength_);
}

bool AccessUnitSplitter::HasParameterSet(int type) const
{
    for (size_t pos = FindStartCode(paramArea_, paramLength_, 0); pos < paramLength_;
         pos = FindStartCode(paramArea_, paramLength_, pos + 1)) {
        if (NalUnitType(paramArea_ + pos, paramLength_ - pos) == type)
            return true;
    }
    return false;
}

bool AccessUnitSplitter::Holds(const uint8_t* p) const
{
    return p && ((staging_ && Within(p, staging_.get(), kStagingSize)) || Within(p, paramArea_, kParamAreaSize));
}

int AccessUnitSplitter::NewParameterSetBit(int type, const uint8_t* unit, size_t size)
{
    uint8_t* last = type == 7 ? lastSps_ : lastPps_;
    size_t& lastLength = type == 7 ? lastSpsLength_ : lastPpsLength_;
    const int bit = type == 7 ? 1 : type == 8 ? 2 : 0;
    if (bit == 0)
        return 0;
    if (size == lastLength && std::memcmp(last, unit, size) == 0)
        return 0;
    // A set too long to remember counts as new every time it is seen.
    lastLength = size <= sizeof lastSps_ ? size : 0;
    if (lastLength)
        std::memcpy(last, unit, size);
    return bit;
}

} // namespace qlapi
