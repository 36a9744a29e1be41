#include "AnnexB.h"

#include <algorithm>

namespace qldec {
namespace {

// Most-significant-bit-first reader over an RBSP; reading past the end
// yields zeros and sets the error flag.
class RbspReader {
public:
    explicit RbspReader(std::vector<uint8_t> rbsp) : bytes_(std::move(rbsp)) {}

    uint32_t Bit()
    {
        if (pos_ >= bytes_.size() * 8) {
            error_ = true;
            return 0;
        }
        const uint32_t bit = (bytes_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
        ++pos_;
        return bit;
    }
    uint32_t Bits(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 1) | Bit();
        return v;
    }
    uint32_t Ue()
    {
        int zeros = 0;
        while (Bit() == 0 && !error_) {
            if (++zeros > 31) {
                error_ = true;
                return 0;
            }
        }
        return uint32_t((uint64_t(1) << zeros) - 1 + Bits(zeros));
    }
    int32_t Se()
    {
        const uint32_t k = Ue();
        return (k & 1) ? int32_t((k + 1) / 2) : -int32_t(k / 2);
    }
    bool Error() const { return error_; }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    bool error_ = false;
};

// The RBSP of a NAL unit payload (after the header byte), at most maxBytes:
// emulation prevention bytes (00 00 03) removed.
std::vector<uint8_t> Rbsp(const uint8_t* payload, size_t size, size_t maxBytes)
{
    std::vector<uint8_t> out;
    out.reserve(std::min(size, maxBytes));
    int zeros = 0;
    for (size_t i = 0; i < size && out.size() < maxBytes; ++i) {
        if (zeros >= 2 && payload[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = payload[i] == 0 ? zeros + 1 : 0;
        out.push_back(payload[i]);
    }
    return out;
}

void SkipScalingList(RbspReader& r, int count)
{
    int last = 8;
    int next = 8;
    for (int j = 0; j < count && !r.Error(); ++j) {
        if (next != 0)
            next = (last + r.Se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

bool HasChromaFormatFields(int profile)
{
    switch (profile) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128: case 138: case 139:
    case 134: case 135:
        return true;
    default:
        return false;
    }
}

bool IsSlice(int type)
{
    return type == 1 || type == 5;
}

} // namespace

std::vector<NalUnit> SplitNalUnits(const uint8_t* data, size_t size)
{
    std::vector<NalUnit> units;
    // Offsets just past each 00 00 01; a 4-byte start code is a zero byte
    // plus the 3-byte one, and that zero is trimmed with the trailing zeros.
    std::vector<size_t> starts;
    for (size_t i = 2; i < size; ++i) {
        if (data[i] == 1 && data[i - 1] == 0 && data[i - 2] == 0)
            starts.push_back(i + 1);
    }
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t begin = starts[k];
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : size;
        while (end > begin && data[end - 1] == 0)
            --end;
        if (end <= begin)
            continue;
        units.push_back({begin, end - begin, data[begin] & 0x1F});
    }
    return units;
}

int64_t FirstMbInSlice(const uint8_t* unit, size_t size)
{
    if (size < 2)
        return -1;
    RbspReader r(Rbsp(unit + 1, size - 1, 8));
    const uint32_t v = r.Ue();
    return r.Error() ? -1 : int64_t(v);
}

std::vector<AccessUnitRange> GroupAccessUnits(const uint8_t* data, const std::vector<NalUnit>& units)
{
    std::vector<AccessUnitRange> out;
    bool sawSlice = false;
    for (size_t i = 0; i < units.size(); ++i) {
        const NalUnit& u = units[i];
        bool starts = out.empty();
        if (!starts && sawSlice) {
            if (IsSlice(u.type))
                starts = FirstMbInSlice(data + u.offset, u.size) == 0;
            else
                starts = u.type == 6 || u.type == 7 || u.type == 8 || u.type == 9;
        }
        if (starts) {
            out.push_back({i, 0});
            sawSlice = false;
        }
        ++out.back().count;
        if (IsSlice(u.type))
            sawSlice = true;
    }
    return out;
}

void BuildAccessUnit(const uint8_t* data, const NalUnit* units, size_t count, std::vector<uint8_t>& out)
{
    out.clear();
    for (size_t i = 0; i < count; ++i) {
        static const uint8_t kStartCode[4] = {0, 0, 0, 1};
        out.insert(out.end(), kStartCode, kStartCode + 4);
        out.insert(out.end(), data + units[i].offset, data + units[i].offset + units[i].size);
    }
}

bool ReadSpsPictureSize(const uint8_t* unit, size_t size, SpsPictureSize* out)
{
    if (size < 4 || (unit[0] & 0x1F) != 7)
        return false;
    RbspReader r(Rbsp(unit + 1, size - 1, 4096));
    const int profile = int(r.Bits(8));
    r.Bits(16); // constraint flags, reserved bits, level_idc
    r.Ue();     // seq_parameter_set_id
    int chromaFormat = 1;
    bool separatePlanes = false;
    if (HasChromaFormatFields(profile)) {
        chromaFormat = int(r.Ue());
        if (chromaFormat == 3)
            separatePlanes = r.Bit() != 0;
        r.Ue(); // bit_depth_luma_minus8
        r.Ue(); // bit_depth_chroma_minus8
        r.Bit(); // qpprime_y_zero_transform_bypass_flag
        if (r.Bit()) {
            for (int i = 0; i < (chromaFormat != 3 ? 8 : 12) && !r.Error(); ++i) {
                if (r.Bit())
                    SkipScalingList(r, i < 6 ? 16 : 64);
            }
        }
    }
    r.Ue(); // log2_max_frame_num_minus4
    const uint32_t pocType = r.Ue();
    if (pocType == 0) {
        r.Ue();
    } else if (pocType == 1) {
        r.Bit();
        r.Se();
        r.Se();
        const uint32_t cycle = r.Ue();
        if (cycle > 255)
            return false;
        for (uint32_t i = 0; i < cycle; ++i)
            r.Se();
    }
    r.Ue(); // max_num_ref_frames
    r.Bit(); // gaps_in_frame_num_value_allowed_flag
    const uint32_t widthMbs = r.Ue() + 1;
    const uint32_t heightMapUnits = r.Ue() + 1;
    const uint32_t frameMbsOnly = r.Bit();
    if (!frameMbsOnly)
        r.Bit(); // mb_adaptive_frame_field_flag
    r.Bit();     // direct_8x8_inference_flag
    uint32_t crop[4] = {0, 0, 0, 0};
    if (r.Bit()) {
        for (uint32_t& c : crop)
            c = r.Ue();
    }
    if (r.Error() || widthMbs > 1024 || heightMapUnits > 1024)
        return false;
    const int64_t codedWidth = int64_t(widthMbs) * 16;
    const int64_t codedHeight = int64_t(heightMapUnits) * 16 * (2 - frameMbsOnly);
    int64_t cropUnitX = 1;
    int64_t cropUnitY = 2 - frameMbsOnly;
    if (chromaFormat != 0 && !separatePlanes) {
        cropUnitX = chromaFormat == 3 ? 1 : 2;
        cropUnitY *= chromaFormat == 1 ? 2 : 1;
    }
    const int64_t width = codedWidth - cropUnitX * (int64_t(crop[0]) + crop[1]);
    const int64_t height = codedHeight - cropUnitY * (int64_t(crop[2]) + crop[3]);
    if (width <= 0 || height <= 0)
        return false;
    out->profileIdc = profile;
    out->codedWidth = int(codedWidth);
    out->codedHeight = int(codedHeight);
    out->width = int(width);
    out->height = int(height);
    return true;
}

} // namespace qldec
