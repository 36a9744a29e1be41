// Bit reading over an RBSP (emulation prevention bytes already removed),
// most significant bit first, with a sticky error flag: reading past the end
// yields zeros and sets the flag, and the parser checks the flag at syntax
// element boundaries. A bad bitstream never reads outside its buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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
        const uint64_t byte = pos_ >> 3;
        if (byte + 8 <= size_) {
            // Eight whole bytes are there: one load, most significant first;
            // at most 7 bits are shifted out, so 57 remain for n <= 32.
            uint64_t word;
            std::memcpy(&word, data_ + byte, 8);
            word = __builtin_bswap64(word) << (pos_ & 7);
            return uint32_t(word >> (64 - n));
        }
        uint64_t window = 0;
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
        // Codes of up to 31 bits that lie wholly in the buffer: the leading
        // zeros counted at once.
        if (pos_ + 32 <= bits_) {
            const uint32_t next = Peek(32);
            if (next >= (1u << 16)) {
                const int length = 2 * __builtin_clz(next) + 1;
                pos_ += uint64_t(length);
                return (next >> (32 - length)) - 1;
            }
        }
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
        if (stopBit_ == kUnknown)
            stopBit_ = StopBit();
        return pos_ < stopBit_;
    }

private:
    static constexpr uint64_t kUnknown = ~uint64_t(0);

    // The position of the last 1 bit of the buffer (the stop bit); 0 when
    // there is none (then no data remains).
    uint64_t StopBit() const
    {
        size_t last = size_;
        while (last > 0 && data_[last - 1] == 0)
            --last;
        if (last == 0)
            return 0;
        return uint64_t(last) * 8 - 1 - uint64_t(__builtin_ctz(data_[last - 1]));
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    uint64_t bits_ = 0;
    uint64_t pos_ = 0;
    bool error_ = false;
    mutable uint64_t stopBit_ = kUnknown; // found at the first question
};

} // namespace QLMedia
