// Bit reading over an RBSP (emulation prevention bytes already removed),
// most significant bit first, with a sticky error flag: reading past the end
// yields zeros and sets the flag, and the parser checks the flag at syntax
// element boundaries. A bad bitstream never reads outside its buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace QLMedia {

class BitReader {
public:
    BitReader() = default;
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size), bits_(uint64_t(size) * 8) {}

    uint32_t ReadBit()
    {
        if (pos_ >= bits_) {
            error_ = true;
            return 0;
        }
        const uint32_t bit = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
        ++pos_;
        return bit;
    }

    // n in 0..32.
    uint32_t ReadBits(int n)
    {
        uint32_t v = Peek(n);
        Skip(n);
        return v;
    }

    // The next n bits (0..32) without consuming them; bits past the end read 0.
    uint32_t Peek(int n) const
    {
        if (n == 0)
            return 0;
        uint64_t window = 0;
        const uint64_t byte = pos_ >> 3;
        for (int i = 0; i < 5; ++i) {
            window <<= 8;
            if (byte + i < size_)
                window |= data_[byte + i];
        }
        window <<= 24; // 40 bits loaded, left-aligned in 64
        window <<= (pos_ & 7);
        return uint32_t(window >> (64 - n));
    }

    void Skip(int n)
    {
        pos_ += uint64_t(n);
        if (pos_ > bits_) {
            pos_ = bits_;
            error_ = true;
        }
    }

    // ue(v): up to 32 leading zeros give values up to 2^32 - 2; more is an error.
    uint32_t ReadUe()
    {
        int zeros = 0;
        while (ReadBit() == 0) {
            if (error_ || ++zeros > 31) {
                error_ = true;
                return 0;
            }
        }
        if (zeros == 0)
            return 0;
        return uint32_t((uint64_t(1) << zeros) - 1 + ReadBits(zeros));
    }

    int32_t ReadSe()
    {
        const uint32_t k = ReadUe();
        return (k & 1) ? int32_t((k + 1) >> 1) : -int32_t(k >> 1);
    }

    bool Error() const { return error_; }
    void SetError() { error_ = true; }
    uint64_t Position() const { return pos_; }
    uint64_t BitsLeft() const { return bits_ - pos_; }
    bool ByteAligned() const { return (pos_ & 7) == 0; }

    // more_rbsp_data(): true while data other than the stop bit and the
    // trailing zero bits remain.
    bool MoreRbspData() const
    {
        if (pos_ >= bits_)
            return false;
        // Find the last 1 bit of the buffer (the stop bit).
        size_t last = size_;
        while (last > 0 && data_[last - 1] == 0)
            --last;
        if (last == 0)
            return false;
        const uint8_t b = data_[last - 1];
        int trailing = 0;
        while (!((b >> trailing) & 1))
            ++trailing;
        const uint64_t stopBit = uint64_t(last) * 8 - 1 - uint64_t(trailing);
        return pos_ < stopBit;
    }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    uint64_t bits_ = 0;
    uint64_t pos_ = 0;
    bool error_ = false;
};

} // namespace QLMedia
