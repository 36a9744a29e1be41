// Writes syntax elements MSB first, for building parameter sets and slices
// in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace QLMedia::test {

class BitWriter {
public:
    void Bits(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            Bit((value >> i) & 1);
    }
    void Bit(uint32_t b)
    {
        if (used_ % 8 == 0)
            bytes_.push_back(0);
        if (b)
            bytes_.back() |= uint8_t(0x80 >> (used_ % 8));
        ++used_;
    }
    void Ue(uint32_t v)
    {
        const uint64_t code = uint64_t(v) + 1;
        int bits = 0;
        while ((code >> bits) > 1)
            ++bits;
        Bits(0, bits);
        Bits(uint32_t(code), bits + 1);
    }
    void Se(int32_t v) { Ue(v > 0 ? uint32_t(2 * v - 1) : uint32_t(-2 * int64_t(v))); }
    // A codeword written as it is printed, "0010 1" (spaces ignored).
    void Code(std::string_view bits)
    {
        for (char c : bits)
            if (c != ' ')
                Bit(c == '1');
    }
    size_t BitCount() const { return used_; }
    // The bits so far, the last byte padded with zeros.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // rbsp_trailing_bits
    std::vector<uint8_t> Finish()
    {
        Bit(1);
        while (used_ % 8)
            Bit(0);
        return bytes_;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t used_ = 0;
};

// A Baseline SPS RBSP with the given fields (no VUI).
inline std::vector<uint8_t> MakeSps(int id, int levelIdc, int widthMbs, int heightMbs, int pocType = 2,
                                    const int* crop = nullptr)
{
    BitWriter w;
    w.Bits(66, 8);
    w.Bits(0xC0, 8); // constraint_set0/1
    w.Bits(uint32_t(levelIdc), 8);
    w.Ue(uint32_t(id));
    w.Ue(0); // log2_max_frame_num_minus4
    w.Ue(uint32_t(pocType));
    if (pocType == 0)
        w.Ue(2);
    w.Ue(1); // max_num_ref_frames
    w.Bit(0);
    w.Ue(uint32_t(widthMbs - 1));
    w.Ue(uint32_t(heightMbs - 1));
    w.Bit(1); // frame_mbs_only_flag
    w.Bit(1); // direct_8x8_inference_flag
    w.Bit(crop != nullptr);
    if (crop)
        for (int i = 0; i < 4; ++i)
            w.Ue(uint32_t(crop[i]));
    w.Bit(0); // vui_parameters_present_flag
    return w.Finish();
}

} // namespace QLMedia::test
