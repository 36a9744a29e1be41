// Vector versions of the motion compensation kernels, each bit-exact with
// its C++ reference in InterPred.cpp (tests/decoder/core/DspTest.cpp runs
// both on random and saturating inputs).
//
// Luma: each half-sample plane a position needs (b horizontal, h vertical,
// j centre) is filtered once for the whole block, and a quarter position is
// the rounded average of two planes, or of a plane and the integer samples,
// which pavgb computes exactly. No load reaches past the samples the
// reference reads (2 before and 3 after the block each way, 1 after for
// chroma): a block may end at the last byte of a picture buffer.
#include "Dsp.h"

#if defined(__x86_64__)

#include <cstring>
#include <immintrin.h>
#include <utility>

// Kernels of a higher level carry its target; lambdas would not inherit it,
// so those kernels use none.
#define QL_SSSE3 __attribute__((target("ssse3")))
#define QL_AVX2 __attribute__((target("avx2")))

namespace QLMedia {

namespace {

// A row of W bytes (2, 4, 8 or 16) in the low bytes of a vector.
template <int W>
inline __m128i LoadRow(const uint8_t* p)
{
    if constexpr (W == 16) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    } else if constexpr (W == 8) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    } else if constexpr (W == 4) {
        int32_t x;
        std::memcpy(&x, p, 4);
        return _mm_cvtsi32_si128(x);
    } else {
        uint16_t x;
        std::memcpy(&x, p, 2);
        return _mm_cvtsi32_si128(x);
    }
}

template <int W>
inline void StoreRow(uint8_t* p, __m128i v)
{
    if constexpr (W == 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    } else if constexpr (W == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
    } else if constexpr (W == 4) {
        const int32_t x = _mm_cvtsi128_si32(v);
        std::memcpy(p, &x, 4);
    } else {
        const uint16_t x = uint16_t(_mm_cvtsi128_si32(v));
        std::memcpy(p, &x, 2);
    }
}

inline __m128i Widen(__m128i v)
{
    return _mm_unpacklo_epi8(v, _mm_setzero_si128());
}

// a - 5b + 20c + 20d - 5e + f of 16-bit samples, as a + f + 5(4(c + d) - (b + e)):
// every step stays within -2550..10710.
inline __m128i SixTap(__m128i a, __m128i b, __m128i c, __m128i d, __m128i e, __m128i f)
{
    const __m128i t = _mm_sub_epi16(_mm_slli_epi16(_mm_add_epi16(c, d), 2), _mm_add_epi16(b, e));
    return _mm_add_epi16(_mm_add_epi16(a, f), _mm_add_epi16(t, _mm_slli_epi16(t, 2)));
}

// Half samples (sum + 16) >> 5 clipped to 0..255 from the sums of two vectors.
inline __m128i RoundHalf(__m128i lo, __m128i hi)
{
    const __m128i r = _mm_set1_epi16(16);
    return _mm_packus_epi16(_mm_srai_epi16(_mm_add_epi16(lo, r), 5), _mm_srai_epi16(_mm_add_epi16(hi, r), 5));
}

// The centre sample (j1 + 512) >> 10 before clipping, from six vertically
// adjacent unrounded horizontal sums (each -2550..10710), in 16 bits:
// with s1 = a + f, s2 = b + e, s3 = c + d, floor(j1 / 16) is exactly
// ((((s1 - s2) >> 2) - s2 + s3) >> 2) + s3. The middle sum can leave the
// 16-bit range only when s3 > 21037 (or < -4718), where the result clips to
// 255 (or 0) however that sum is rounded, so a saturating add keeps it exact.
inline __m128i CentreTap(__m128i a, __m128i b, __m128i c, __m128i d, __m128i e, __m128i f)
{
    const __m128i s1 = _mm_add_epi16(a, f), s2 = _mm_add_epi16(b, e), s3 = _mm_add_epi16(c, d);
    const __m128i p = _mm_srai_epi16(_mm_sub_epi16(s1, s2), 2);
    const __m128i r = _mm_adds_epi16(p, _mm_sub_epi16(s3, s2));
    const __m128i t = _mm_add_epi16(_mm_srai_epi16(r, 2), s3);
    return _mm_srai_epi16(_mm_add_epi16(t, _mm_set1_epi16(32)), 6);
}

// Unrounded horizontal sums of W luma samples from p, outputs 8..15 in hi.
template <int W>
inline void HorizontalSumsSse2(const uint8_t* p, __m128i& lo, __m128i& hi)
{
    __m128i v[6];
    for (int k = 0; k < 6; ++k)
        v[k] = LoadRow<W>(p + k - 2);
    lo = SixTap(Widen(v[0]), Widen(v[1]), Widen(v[2]), Widen(v[3]), Widen(v[4]), Widen(v[5]));
    if constexpr (W == 16) {
        const __m128i z = _mm_setzero_si128();
        hi = SixTap(_mm_unpackhi_epi8(v[0], z), _mm_unpackhi_epi8(v[1], z), _mm_unpackhi_epi8(v[2], z),
                    _mm_unpackhi_epi8(v[3], z), _mm_unpackhi_epi8(v[4], z), _mm_unpackhi_epi8(v[5], z));
    } else {
        hi = lo;
    }
}

// Horizontal sums of a block's rows for the centre plane, 16 per row.
constexpr int kSumsStride = 16;
constexpr int kHalfStride = 16;

// What the centre plane is averaged with: nothing, b of the same row, b of
// the row below, or a plane given by the caller.
enum CentreMix { kAlone, kRowB, kRowBelowB, kPlane };

struct Sse2 {
    // b of a W x h block, averaged with the rows at `avg` when given.
    template <int W>
    static void FilterH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h,
                        const uint8_t* avg, ptrdiff_t avgStride)
    {
        for (int y = 0; y < h; ++y) {
            __m128i lo, hi;
            HorizontalSumsSse2<W>(src + y * srcStride, lo, hi);
            __m128i v = RoundHalf(lo, hi);
            if (avg)
                v = _mm_avg_epu8(v, LoadRow<W>(avg + y * avgStride));
            StoreRow<W>(dst + y * dstStride, v);
        }
    }

    // h of a W x h block in columns of eight, six rows held in registers.
    template <int W>
    static void FilterV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h,
                        const uint8_t* avg, ptrdiff_t avgStride)
    {
        constexpr int kCols = W < 8 ? W : 8;
        for (int x = 0; x < W; x += kCols) {
            const uint8_t* s = src + x;
            __m128i r0 = Widen(LoadRow<kCols>(s - 2 * srcStride)), r1 = Widen(LoadRow<kCols>(s - srcStride));
            __m128i r2 = Widen(LoadRow<kCols>(s)), r3 = Widen(LoadRow<kCols>(s + srcStride));
            __m128i r4 = Widen(LoadRow<kCols>(s + 2 * srcStride));
            for (int y = 0; y < h; ++y) {
                const __m128i r5 = Widen(LoadRow<kCols>(s + (y + 3) * srcStride));
                const __m128i sum = SixTap(r0, r1, r2, r3, r4, r5);
                __m128i v = RoundHalf(sum, sum);
                if (avg)
                    v = _mm_avg_epu8(v, LoadRow<kCols>(avg + y * avgStride + x));
                StoreRow<kCols>(dst + y * dstStride + x, v);
                r0 = r1, r1 = r2, r2 = r3, r3 = r4, r4 = r5;
            }
        }
    }

    // Horizontal sums of `rows` rows from src for the centre plane.
    template <int W>
    static void CentreSums(int16_t* sums, const uint8_t* src, ptrdiff_t srcStride, int rows)
    {
        for (int y = 0; y < rows; ++y) {
            __m128i lo, hi;
            HorizontalSumsSse2<W>(src + y * srcStride, lo, hi);
            _mm_store_si128(reinterpret_cast<__m128i*>(sums + y * kSumsStride), lo);
            if constexpr (W == 16)
                _mm_store_si128(reinterpret_cast<__m128i*>(sums + y * kSumsStride + 8), hi);
        }
    }

    // j of a W x h block from the sums of its rows -2..h+2, mixed as Mix says.
    template <int W, CentreMix Mix>
    static void Centre(uint8_t* dst, ptrdiff_t dstStride, const int16_t* sums, int h, const uint8_t* avg,
                       ptrdiff_t avgStride)
    {
        constexpr int kCols = W < 8 ? W : 8;
        for (int x = 0; x < W; x += kCols) {
            const int16_t* s = sums + x;
            auto row = [&](int y) { return _mm_load_si128(reinterpret_cast<const __m128i*>(s + y * kSumsStride)); };
            __m128i r0 = row(0), r1 = row(1), r2 = row(2), r3 = row(3), r4 = row(4);
            for (int y = 0; y < h; ++y) {
                const __m128i r5 = row(y + 5);
                const __m128i j = CentreTap(r0, r1, r2, r3, r4, r5);
                __m128i v = _mm_packus_epi16(j, j);
                if constexpr (Mix == kRowB)
                    v = _mm_avg_epu8(v, RoundHalf(r2, r2));
                else if constexpr (Mix == kRowBelowB)
                    v = _mm_avg_epu8(v, RoundHalf(r3, r3));
                else if constexpr (Mix == kPlane)
                    v = _mm_avg_epu8(v, LoadRow<kCols>(avg + y * avgStride + x));
                StoreRow<kCols>(dst + y * dstStride + x, v);
                r0 = r1, r1 = r2, r2 = r3, r3 = r4, r4 = r5;
            }
        }
    }
};

// pshufb control gathering the byte pairs (G[first + i], G[first + i + 1]),
// i = 0..7, from a vector holding sample G[m] at byte m + offset, or at
// m + offset + 3 from G[split] on.
struct ByteMask {
    alignas(16) int8_t b[16];
};

constexpr ByteMask PairMask(int first, int offset, int split = 32)
{
    ByteMask m{};
    for (int i = 0; i < 16; ++i) {
        const int g = first + i / 2 + i % 2;
        m.b[i] = int8_t(g + offset + (g >= split ? 3 : 0));
    }
    return m;
}

// Eight outputs from [G-2..G5 | G3..G10]: a block 8 wide (or 4) may read only
// 13 (or 9) samples of a row, so the row comes in two overlapping loads.
constexpr ByteMask kPairs8[3] = {PairMask(-2, 2, 6), PairMask(0, 2, 6), PairMask(2, 2, 6)};
// Sixteen outputs: 0..7 from G-2..G13, 8..15 from G3..G18; each low mask
// sits before its high one for the 256-bit form.
alignas(32) constexpr ByteMask kPairs16[3][2] = {
    {PairMask(-2, 2), PairMask(6, -3)}, {PairMask(0, 2), PairMask(8, -3)}, {PairMask(2, 2), PairMask(10, -3)}};

inline __m128i LoadMask(const ByteMask& m)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m.b));
}

// G[-2]..G[3] weighted 1, -5, 20, 20, -5, 1 as three pmaddubsw of pairs.
QL_SSSE3 inline __m128i PairSums(__m128i v, const ByteMask& m0, const ByteMask& m1, const ByteMask& m2)
{
    const __m128i c0 = _mm_set1_epi16(int16_t(0xFB01)), c1 = _mm_set1_epi16(0x1414);
    const __m128i c2 = _mm_set1_epi16(int16_t(0x01FB)); // byte pairs (1, -5), (20, 20), (-5, 1)
    const __m128i s0 = _mm_maddubs_epi16(_mm_shuffle_epi8(v, LoadMask(m0)), c0);
    const __m128i s1 = _mm_maddubs_epi16(_mm_shuffle_epi8(v, LoadMask(m1)), c1);
    const __m128i s2 = _mm_maddubs_epi16(_mm_shuffle_epi8(v, LoadMask(m2)), c2);
    return _mm_add_epi16(_mm_add_epi16(s0, s1), s2);
}

template <int W>
QL_SSSE3 inline void HorizontalSumsSsse3(const uint8_t* p, __m128i& lo, __m128i& hi)
{
    if constexpr (W == 16) {
        lo = PairSums(LoadRow<16>(p - 2), kPairs16[0][0], kPairs16[1][0], kPairs16[2][0]);
        hi = PairSums(LoadRow<16>(p + 3), kPairs16[0][1], kPairs16[1][1], kPairs16[2][1]);
    } else {
        lo = PairSums(_mm_unpacklo_epi64(LoadRow<8>(p - 2), LoadRow<W>(p + 3)), kPairs8[0], kPairs8[1], kPairs8[2]);
        hi = lo;
    }
}

struct Ssse3 : Sse2 {
    template <int W>
    QL_SSSE3 static void FilterH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h,
                                 const uint8_t* avg, ptrdiff_t avgStride)
    {
        for (int y = 0; y < h; ++y) {
            __m128i lo, hi;
            HorizontalSumsSsse3<W>(src + y * srcStride, lo, hi);
            __m128i v = RoundHalf(lo, hi);
            if (avg)
                v = _mm_avg_epu8(v, LoadRow<W>(avg + y * avgStride));
            StoreRow<W>(dst + y * dstStride, v);
        }
    }

    template <int W>
    QL_SSSE3 static void CentreSums(int16_t* sums, const uint8_t* src, ptrdiff_t srcStride, int rows)
    {
        for (int y = 0; y < rows; ++y) {
            __m128i lo, hi;
            HorizontalSumsSsse3<W>(src + y * srcStride, lo, hi);
            _mm_store_si128(reinterpret_cast<__m128i*>(sums + y * kSumsStride), lo);
            if constexpr (W == 16)
                _mm_store_si128(reinterpret_cast<__m128i*>(sums + y * kSumsStride + 8), hi);
        }
    }
};

// AVX2 for 16-wide blocks: one 256-bit vector per row of 16-bit values.

QL_AVX2 inline __m256i SixTap256(__m256i a, __m256i b, __m256i c, __m256i d, __m256i e, __m256i f)
{
    const __m256i t = _mm256_sub_epi16(_mm256_slli_epi16(_mm256_add_epi16(c, d), 2), _mm256_add_epi16(b, e));
    return _mm256_add_epi16(_mm256_add_epi16(a, f), _mm256_add_epi16(t, _mm256_slli_epi16(t, 2)));
}

// As CentreTap.
QL_AVX2 inline __m256i CentreTap256(__m256i a, __m256i b, __m256i c, __m256i d, __m256i e, __m256i f)
{
    const __m256i s1 = _mm256_add_epi16(a, f), s2 = _mm256_add_epi16(b, e), s3 = _mm256_add_epi16(c, d);
    const __m256i p = _mm256_srai_epi16(_mm256_sub_epi16(s1, s2), 2);
    const __m256i r = _mm256_adds_epi16(p, _mm256_sub_epi16(s3, s2));
    const __m256i t = _mm256_add_epi16(_mm256_srai_epi16(r, 2), s3);
    return _mm256_srai_epi16(_mm256_add_epi16(t, _mm256_set1_epi16(32)), 6);
}

// Sixteen 16-bit values to bytes with unsigned saturation, in order.
QL_AVX2 inline __m128i Pack256(__m256i v)
{
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

QL_AVX2 inline __m128i RoundHalf256(__m256i v)
{
    return Pack256(_mm256_srai_epi16(_mm256_add_epi16(v, _mm256_set1_epi16(16)), 5));
}

QL_AVX2 inline __m256i LoadMask256(const ByteMask (&m)[2])
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(m));
}

QL_AVX2 inline __m256i WidenRow256(const uint8_t* p)
{
    return _mm256_cvtepu8_epi16(LoadRow<16>(p));
}

QL_AVX2 inline __m256i LoadSums256(const int16_t* p)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

QL_AVX2 inline __m256i HorizontalSums256(const uint8_t* p)
{
    const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(LoadRow<16>(p - 2)), LoadRow<16>(p + 3), 1);
    const __m256i s0 = _mm256_maddubs_epi16(_mm256_shuffle_epi8(v, LoadMask256(kPairs16[0])),
                                            _mm256_set1_epi16(int16_t(0xFB01)));
    const __m256i s1 = _mm256_maddubs_epi16(_mm256_shuffle_epi8(v, LoadMask256(kPairs16[1])), _mm256_set1_epi16(0x1414));
    const __m256i s2 = _mm256_maddubs_epi16(_mm256_shuffle_epi8(v, LoadMask256(kPairs16[2])),
                                            _mm256_set1_epi16(int16_t(0x01FB)));
    return _mm256_add_epi16(_mm256_add_epi16(s0, s1), s2);
}

QL_AVX2 void FilterH16Avx2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h,
                           const uint8_t* avg, ptrdiff_t avgStride)
{
    for (int y = 0; y < h; ++y) {
        __m128i v = RoundHalf256(HorizontalSums256(src + y * srcStride));
        if (avg)
            v = _mm_avg_epu8(v, LoadRow<16>(avg + y * avgStride));
        StoreRow<16>(dst + y * dstStride, v);
    }
}

QL_AVX2 void FilterV16Avx2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h,
                           const uint8_t* avg, ptrdiff_t avgStride)
{
    __m256i r0 = WidenRow256(src - 2 * srcStride), r1 = WidenRow256(src - srcStride), r2 = WidenRow256(src);
    __m256i r3 = WidenRow256(src + srcStride), r4 = WidenRow256(src + 2 * srcStride);
    for (int y = 0; y < h; ++y) {
        const __m256i r5 = WidenRow256(src + (y + 3) * srcStride);
        __m128i v = RoundHalf256(SixTap256(r0, r1, r2, r3, r4, r5));
        if (avg)
            v = _mm_avg_epu8(v, LoadRow<16>(avg + y * avgStride));
        StoreRow<16>(dst + y * dstStride, v);
        r0 = r1, r1 = r2, r2 = r3, r3 = r4, r4 = r5;
    }
}

QL_AVX2 void CentreSums16Avx2(int16_t* sums, const uint8_t* src, ptrdiff_t srcStride, int rows)
{
    for (int y = 0; y < rows; ++y)
        _mm256_store_si256(reinterpret_cast<__m256i*>(sums + y * kSumsStride), HorizontalSums256(src + y * srcStride));
}

template <CentreMix Mix>
QL_AVX2 void Centre16Avx2(uint8_t* dst, ptrdiff_t dstStride, const int16_t* sums, int h, const uint8_t* avg,
                          ptrdiff_t avgStride)
{
    __m256i r0 = LoadSums256(sums), r1 = LoadSums256(sums + kSumsStride), r2 = LoadSums256(sums + 2 * kSumsStride);
    __m256i r3 = LoadSums256(sums + 3 * kSumsStride), r4 = LoadSums256(sums + 4 * kSumsStride);
    for (int y = 0; y < h; ++y) {
        const __m256i r5 = LoadSums256(sums + (y + 5) * kSumsStride);
        __m128i v = Pack256(CentreTap256(r0, r1, r2, r3, r4, r5));
        if constexpr (Mix == kRowB)
            v = _mm_avg_epu8(v, RoundHalf256(r2));
        else if constexpr (Mix == kRowBelowB)
            v = _mm_avg_epu8(v, RoundHalf256(r3));
        else if constexpr (Mix == kPlane)
            v = _mm_avg_epu8(v, LoadRow<16>(avg + y * avgStride));
        StoreRow<16>(dst + y * dstStride, v);
        r0 = r1, r1 = r2, r2 = r3, r3 = r4, r4 = r5;
    }
}

struct Avx2 : Ssse3 {
    template <int W>
    static void FilterH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h,
                        const uint8_t* avg, ptrdiff_t avgStride)
    {
        if constexpr (W == 16)
            FilterH16Avx2(dst, dstStride, src, srcStride, h, avg, avgStride);
        else
            Ssse3::FilterH<W>(dst, dstStride, src, srcStride, h, avg, avgStride);
    }

    template <int W>
    static void FilterV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h,
                        const uint8_t* avg, ptrdiff_t avgStride)
    {
        if constexpr (W == 16)
            FilterV16Avx2(dst, dstStride, src, srcStride, h, avg, avgStride);
        else
            Ssse3::FilterV<W>(dst, dstStride, src, srcStride, h, avg, avgStride);
    }

    template <int W>
    static void CentreSums(int16_t* sums, const uint8_t* src, ptrdiff_t srcStride, int rows)
    {
        if constexpr (W == 16)
            CentreSums16Avx2(sums, src, srcStride, rows);
        else
            Ssse3::CentreSums<W>(sums, src, srcStride, rows);
    }

    template <int W, CentreMix Mix>
    static void Centre(uint8_t* dst, ptrdiff_t dstStride, const int16_t* sums, int h, const uint8_t* avg,
                       ptrdiff_t avgStride)
    {
        if constexpr (W == 16)
            Centre16Avx2<Mix>(dst, dstStride, sums, h, avg, avgStride);
        else
            Ssse3::Centre<W, Mix>(dst, dstStride, sums, h, avg, avgStride);
    }
};

template <int W>
void CopyBlock(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h)
{
    for (int y = 0; y < h; ++y)
        StoreRow<W>(dst + y * dstStride, LoadRow<W>(src + y * srcStride));
}

// Position yFrac * 4 + xFrac of a W x h luma block with the filters of Isa.
template <class Isa, int W, int Pos>
void LumaBlock(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h)
{
    constexpr int X = Pos & 3, Y = Pos >> 2;
    if constexpr (Pos == 0) {
        CopyBlock<W>(dst, dstStride, src, srcStride, h);
    } else if constexpr (Y == 0) {
        // b, or its average with the integer sample on its left or right.
        Isa::template FilterH<W>(dst, dstStride, src, srcStride, h, X == 2 ? nullptr : src + X / 2, srcStride);
    } else if constexpr (X == 0) {
        // h, or its average with the integer sample above or below.
        Isa::template FilterV<W>(dst, dstStride, src, srcStride, h, Y == 2 ? nullptr : src + Y / 2 * srcStride,
                                 srcStride);
    } else if constexpr (X != 2 && Y != 2) {
        // The diagonal positions: b of this row or the next with h of this
        // column or the next.
        alignas(16) uint8_t half[16 * kHalfStride];
        Isa::template FilterH<W>(half, kHalfStride, src + Y / 2 * srcStride, srcStride, h, nullptr, 0);
        Isa::template FilterV<W>(dst, dstStride, src + X / 2, srcStride, h, half, kHalfStride);
    } else {
        alignas(32) int16_t sums[(16 + 5) * kSumsStride];
        Isa::template CentreSums<W>(sums, src - 2 * srcStride, srcStride, h + 5);
        if constexpr (X == 2) {
            Isa::template Centre<W, Y == 1 ? kRowB : Y == 3 ? kRowBelowB : kAlone>(dst, dstStride, sums, h, nullptr,
                                                                                 0);
        } else {
            // j with h of this column or the next.
            alignas(16) uint8_t half[16 * kHalfStride];
            Isa::template FilterV<W>(half, kHalfStride, src + X / 2, srcStride, h, nullptr, 0);
            Isa::template Centre<W, kPlane>(dst, dstStride, sums, h, half, kHalfStride);
        }
    }
}

template <class Isa, int Pos>
void LumaMc(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h)
{
    if (w == 16)
        LumaBlock<Isa, 16, Pos>(dst, dstStride, src, srcStride, h);
    else if (w == 8)
        LumaBlock<Isa, 8, Pos>(dst, dstStride, src, srcStride, h);
    else
        LumaBlock<Isa, 4, Pos>(dst, dstStride, src, srcStride, h);
}

template <class Isa>
void SetLumaMc(InterPredDsp& dsp)
{
    [&]<int... Pos>(std::integer_sequence<int, Pos...>) {
        ((dsp.lumaMc[Pos] = LumaMc<Isa, Pos>), ...);
    }(std::make_integer_sequence<int, 16>{});
}

// Chroma of a W x h block: (8 - xFrac) s[i] + xFrac s[i + 1] across (at most
// 2040), then the same down with yFrac (at most 16320), all in 16 bits. W < 8
// takes two rows per vector.
template <int W>
void ChromaBlockSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int h, int xFrac,
                     int yFrac)
{
    if (xFrac == 0 && yFrac == 0) {
        CopyBlock<W>(dst, dstStride, src, srcStride, h);
        return;
    }
    const __m128i fx = _mm_set1_epi16(int16_t(xFrac)), fy = _mm_set1_epi16(int16_t(yFrac));
    auto across = [&](const uint8_t* s) {
        const __m128i a = Widen(LoadRow<W>(s)), b = Widen(LoadRow<W>(s + 1));
        return _mm_add_epi16(_mm_slli_epi16(a, 3), _mm_mullo_epi16(_mm_sub_epi16(b, a), fx));
    };
    auto down = [&](__m128i top, __m128i bottom) {
        const __m128i v = _mm_add_epi16(_mm_slli_epi16(top, 3), _mm_mullo_epi16(_mm_sub_epi16(bottom, top), fy));
        const __m128i r = _mm_srli_epi16(_mm_add_epi16(v, _mm_set1_epi16(32)), 6);
        return _mm_packus_epi16(r, r);
    };
    __m128i top = across(src);
    if constexpr (W == 8) {
        for (int y = 0; y < h; ++y) {
            const __m128i bottom = across(src + (y + 1) * srcStride);
            StoreRow<8>(dst + y * dstStride, down(top, bottom));
            top = bottom;
        }
    } else {
        auto join = [](__m128i a, __m128i b) { return W == 4 ? _mm_unpacklo_epi64(a, b) : _mm_unpacklo_epi32(a, b); };
        for (int y = 0; y < h; y += 2) {
            const __m128i middle = across(src + (y + 1) * srcStride), bottom = across(src + (y + 2) * srcStride);
            const __m128i v = down(join(top, middle), join(middle, bottom));
            StoreRow<W>(dst + y * dstStride, v);
            StoreRow<W>(dst + (y + 1) * dstStride, _mm_srli_si128(v, W));
            top = bottom;
        }
    }
}

void ChromaMcSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h, int xFrac,
                  int yFrac)
{
    if (w == 8)
        ChromaBlockSse2<8>(dst, dstStride, src, srcStride, h, xFrac, yFrac);
    else if (w == 4)
        ChromaBlockSse2<4>(dst, dstStride, src, srcStride, h, xFrac, yFrac);
    else
        ChromaBlockSse2<2>(dst, dstStride, src, srcStride, h, xFrac, yFrac);
}

} // namespace

void InitInterPredSimd(InterPredDsp& dsp, SimdLevel level)
{
    if (level < SimdLevel::Sse2)
        return;
    SetLumaMc<Sse2>(dsp);
    dsp.chromaMc = ChromaMcSse2;
    if (level < SimdLevel::Ssse3)
        return;
    SetLumaMc<Ssse3>(dsp);
    if (level < SimdLevel::Avx2)
        return;
    SetLumaMc<Avx2>(dsp);
}

} // namespace QLMedia

#else

namespace QLMedia {

void InitInterPredSimd(InterPredDsp&, SimdLevel) {}

} // namespace QLMedia

#endif
