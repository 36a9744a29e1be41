// Bit reading over an RBSP (emulation prevention bytes already removed),
// most significant bit first, with a sticky error flag: reading past the end
// yields zeros and sets the flag, and the parser checks the flag at syntax
// element boundaries. A bad bitstream never reads outside its buffer.
//
// The next bits wait in a 64-bit cache, refilled whole bytes at a time with
// one 8-byte load while 8 bytes remain, so the bounds are checked once per
// refill rather than per read. Past the end of the buffer the refill supplies
// zero bytes that the buffer does not have; the reader is in error once it
// has consumed any of them, which is worked out when asked (Error()) rather
// than on every read.
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
        if (count_ == 0)
            Refill();
        const uint32_t bit = uint32_t(cache_ >> 63);
        cache_ <<= 1;
        --count_;
        return bit;
    }

    // n in 0..32.
    uint32_t ReadBits(int n)
    {
        const uint32_t v = Peek(n);
        SkipPeeked(n);
        return v;
    }

    // The next n bits (0..32) without consuming them; bits past the end read 0.
    uint32_t Peek(int n)
    {
        if (count_ < 32)
            Refill();
        // Split shift: n == 0 must not shift by 64.
        return uint32_t(cache_ >> 1 >> (63 - n));
    }

    // The next 32 bits, most significant first; bits past the end read 0.
    // At least 32 bits are in the cache afterwards, so up to 32 of them can
    // be taken with SkipPeeked() without another check.
    uint32_t Peek32()
    {
        if (count_ < 32)
            Refill();
        return uint32_t(cache_ >> 32);
    }

    // Consumes n (0..32) bits just shown by Peek32() or Peek().
    void SkipPeeked(int n)
    {
        cache_ <<= n;
        count_ -= n;
    }

    void Skip(int n)
    {
        if (n <= count_) {
            SkipPeeked(n);
            return;
        }
        // Beyond the cache: start over at the new position. Positions past
        // the end stay as they are, which makes Error() true.
        const uint64_t pos = RawPosition() + uint64_t(n);
        next_ = pos >> 3;
        cache_ = 0;
        count_ = 0;
        Refill();
        SkipPeeked(int(pos & 7));
    }

    // ue(v): up to 31 leading zeros give values up to 2^32 - 2; more is an error.
    uint32_t ReadUe()
    {
        const uint32_t next = Peek32();
        if (next >= (1u << 16)) {
            // Up to 15 leading zeros: the whole code (<= 31 bits) is in next.
            const int length = 2 * __builtin_clz(next) + 1;
            SkipPeeked(length);
            return (next >> (32 - length)) - 1;
        }
        if (next == 0) {
            error_ = true;
            return 0;
        }
        const int zeros = __builtin_clz(next);
        SkipPeeked(zeros + 1);
        return uint32_t((uint64_t(1) << zeros) - 1 + ReadBits(zeros));
    }

    int32_t ReadSe()
    {
        const uint32_t k = ReadUe();
        return (k & 1) ? int32_t((k + 1) >> 1) : -int32_t(k >> 1);
    }

    bool Error() const { return error_ || RawPosition() > bits_; }
    void SetError() { error_ = true; }
    // Bits consumed, at most the size of the buffer.
    uint64_t Position() const
    {
        const uint64_t pos = RawPosition();
        return pos < bits_ ? pos : bits_;
    }
    uint64_t BitsLeft() const { return bits_ - Position(); }
    bool ByteAligned() const { return (RawPosition() & 7) == 0; }

    // more_rbsp_data(): true while data other than the stop bit and the
    // trailing zero bits remain.
    bool MoreRbspData() const
    {
        const uint64_t pos = RawPosition();
        if (pos >= bits_)
            return false;
        if (stopBit_ == kUnknown)
            stopBit_ = StopBit();
        return pos < stopBit_;
    }

private:
    static constexpr uint64_t kUnknown = ~uint64_t(0);

    // Counts the zero bytes supplied past the end, so it can exceed bits_.
    uint64_t RawPosition() const { return uint64_t(next_) * 8 - uint64_t(count_); }

    // Tops the cache up to 56..63 bits with whole bytes. The cache's bits
    // below count_ are zeros or the stream's own next bits (a refill loads
    // more than it counts), so OR-ing the stream's bits in again is harmless.
    void Refill()
    {
        if (next_ + 8 <= size_) {
            uint64_t word;
            std::memcpy(&word, data_ + next_, 8);
            cache_ |= __builtin_bswap64(word) >> count_;
            next_ += size_t(63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        RefillNearEnd();
    }

    void RefillNearEnd()
    {
        for (; count_ <= 56; count_ += 8, ++next_)
            if (next_ < size_)
                cache_ |= uint64_t(data_[next_]) << (56 - count_);
    }

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
    size_t next_ = 0;    // the next byte to load into the cache
    uint64_t cache_ = 0; // the next count_ bits, left-aligned
    int count_ = 0;
    bool error_ = false;
    mutable uint64_t stopBit_ = kUnknown; // found at the first question
};

} // namespace QLMedia
