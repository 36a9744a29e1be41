// SSE2 and SSSE3 versions of the reconstruction kernels: intra prediction,
// and the scaling of a 4x4 block with its inverse transform and the add to
// the prediction. Each matches its C++ reference bit for bit
// (tests/decoder/core/ReconstructDspTest.cpp runs both on random inputs).
#include "Dsp.h"

#if defined(__x86_64__)

#include "Transform.h"

#include <cstring>
#include <immintrin.h>

namespace QLMedia {

namespace {

inline __m128i Load32(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

inline void Store32(uint8_t* p, __m128i v)
{
    const int32_t x = _mm_cvtsi128_si32(v);
    std::memcpy(p, &x, 4);
}

inline void Transpose4x32(__m128i& a, __m128i& b, __m128i& c, __m128i& d)
{
    const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
    const __m128i t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t1);
    b = _mm_unpackhi_epi64(t0, t1);
    c = _mm_unpacklo_epi64(t2, t3);
    d = _mm_unpackhi_epi64(t2, t3);
}

// One pass of the 4-point inverse transform across four registers.
inline void Butterfly(__m128i& x0, __m128i& x1, __m128i& x2, __m128i& x3)
{
    const __m128i e0 = _mm_add_epi32(x0, x2);
    const __m128i e1 = _mm_sub_epi32(x0, x2);
    const __m128i e2 = _mm_sub_epi32(_mm_srai_epi32(x1, 1), x3);
    const __m128i e3 = _mm_add_epi32(x1, _mm_srai_epi32(x3, 1));
    x0 = _mm_add_epi32(e0, e3);
    x1 = _mm_add_epi32(e1, e2);
    x2 = _mm_sub_epi32(e1, e2);
    x3 = _mm_sub_epi32(e0, e3);
}

// Adds the residual rows (16 bits, rows 0-1 and 2-3) to the 4x4 prediction.
inline void AddResidual4x4(uint8_t* dst, ptrdiff_t stride, __m128i r01, __m128i r23)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i p01 = _mm_unpacklo_epi32(Load32(dst), Load32(dst + stride));
    const __m128i p23 = _mm_unpacklo_epi32(Load32(dst + 2 * stride), Load32(dst + 3 * stride));
    // Saturating adds then the clip of the pack give the clip of the exact
    // sum: a residual beyond +-32767 pushes any sample past 0..255 anyway.
    const __m128i s01 = _mm_adds_epi16(_mm_unpacklo_epi8(p01, zero), r01);
    const __m128i s23 = _mm_adds_epi16(_mm_unpacklo_epi8(p23, zero), r23);
    const __m128i out = _mm_packus_epi16(s01, s23);
    Store32(dst, out);
    Store32(dst + stride, _mm_srli_si128(out, 4));
    Store32(dst + 2 * stride, _mm_srli_si128(out, 8));
    Store32(dst + 3 * stride, _mm_srli_si128(out, 12));
}

// With scaledDc, dc (16 bits) replaces the scaled levels[0].
inline void DequantIdctAdd(const int16_t levels[16], int32_t dc, bool scaledDc, int qp, uint8_t* dst,
                           ptrdiff_t stride)
{
    const __m128i l01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels));
    const __m128i l23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + 8));
    const __m128i s01 = _mm_load_si128(reinterpret_cast<const __m128i*>(kLevelScale4x4[qp]));
    const __m128i s23 = _mm_load_si128(reinterpret_cast<const __m128i*>(kLevelScale4x4[qp] + 8));
    // 32-bit products from the low and high halves, then held to 16 bits
    // by the saturating pack.
    const __m128i lo01 = _mm_mullo_epi16(l01, s01), hi01 = _mm_mulhi_epi16(l01, s01);
    const __m128i lo23 = _mm_mullo_epi16(l23, s23), hi23 = _mm_mulhi_epi16(l23, s23);
    __m128i d01 = _mm_packs_epi32(_mm_unpacklo_epi16(lo01, hi01), _mm_unpackhi_epi16(lo01, hi01));
    const __m128i d23 = _mm_packs_epi32(_mm_unpacklo_epi16(lo23, hi23), _mm_unpackhi_epi16(lo23, hi23));
    if (scaledDc)
        d01 = _mm_insert_epi16(d01, dc, 0);
    // Transposed while still 16 bits wide: ca holds columns 0 and 1, cb
    // columns 2 and 3, each column's four rows in a row.
    const __m128i t0 = _mm_unpacklo_epi16(d01, d23), t1 = _mm_unpackhi_epi16(d01, d23);
    const __m128i ca = _mm_unpacklo_epi16(t0, t1), cb = _mm_unpackhi_epi16(t0, t1);
    // Widened to 32 bits: x[j] holds coefficient j of each row.
    __m128i x0 = _mm_srai_epi32(_mm_unpacklo_epi16(ca, ca), 16);
    __m128i x1 = _mm_srai_epi32(_mm_unpackhi_epi16(ca, ca), 16);
    __m128i x2 = _mm_srai_epi32(_mm_unpacklo_epi16(cb, cb), 16);
    __m128i x3 = _mm_srai_epi32(_mm_unpackhi_epi16(cb, cb), 16);
    Butterfly(x0, x1, x2, x3); // rows
    Transpose4x32(x0, x1, x2, x3);
    // Every output takes row 0 with weight one, so the rounding is added
    // there once.
    x0 = _mm_add_epi32(x0, _mm_set1_epi32(32));
    Butterfly(x0, x1, x2, x3); // columns
    const __m128i r01 = _mm_packs_epi32(_mm_srai_epi32(x0, 6), _mm_srai_epi32(x1, 6));
    const __m128i r23 = _mm_packs_epi32(_mm_srai_epi32(x2, 6), _mm_srai_epi32(x3, 6));
    AddResidual4x4(dst, stride, r01, r23);
}

void DequantIdctAddSse2(const int16_t levels[16], int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAdd(levels, 0, false, qp, dst, stride);
}

void DequantIdctAddAcSse2(const int16_t levels[16], int32_t dc, int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAdd(levels, dc, true, qp, dst, stride);
}

void DequantIdctAdd2Sse2(const int16_t levels[32], int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAdd(levels, 0, false, qp, dst, stride);
    DequantIdctAdd(levels + 16, 0, false, qp, dst + 4, stride);
}

void DequantIdctAddAc2Sse2(const int16_t levels[32], const int32_t dc[2], int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAdd(levels, dc[0], true, qp, dst, stride);
    DequantIdctAdd(levels + 16, dc[1], true, qp, dst + 4, stride);
}

// AVX2: the two blocks side by side, one in each 128-bit half of every
// register. The steps are those of DequantIdctAdd, which all work within
// halves.
#define QL_AVX2 __attribute__((target("avx2")))

QL_AVX2 inline void Transpose4x32(__m256i& a, __m256i& b, __m256i& c, __m256i& d)
{
    const __m256i t0 = _mm256_unpacklo_epi32(a, b), t1 = _mm256_unpacklo_epi32(c, d);
    const __m256i t2 = _mm256_unpackhi_epi32(a, b), t3 = _mm256_unpackhi_epi32(c, d);
    a = _mm256_unpacklo_epi64(t0, t1);
    b = _mm256_unpackhi_epi64(t0, t1);
    c = _mm256_unpacklo_epi64(t2, t3);
    d = _mm256_unpackhi_epi64(t2, t3);
}

QL_AVX2 inline void Butterfly(__m256i& x0, __m256i& x1, __m256i& x2, __m256i& x3)
{
    const __m256i e0 = _mm256_add_epi32(x0, x2);
    const __m256i e1 = _mm256_sub_epi32(x0, x2);
    const __m256i e2 = _mm256_sub_epi32(_mm256_srai_epi32(x1, 1), x3);
    const __m256i e3 = _mm256_add_epi32(x1, _mm256_srai_epi32(x3, 1));
    x0 = _mm256_add_epi32(e0, e3);
    x1 = _mm256_add_epi32(e1, e2);
    x2 = _mm256_sub_epi32(e1, e2);
    x3 = _mm256_sub_epi32(e0, e3);
}

QL_AVX2 inline __m128i Load64(const uint8_t* p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

QL_AVX2 inline void DequantIdctAdd2(const int16_t levels[32], const int32_t* dc, int qp, uint8_t* dst,
                                    ptrdiff_t stride)
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + 16));
    const __m256i l01 = _mm256_permute2x128_si256(a, b, 0x20), l23 = _mm256_permute2x128_si256(a, b, 0x31);
    const __m256i s01 =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kLevelScale4x4[qp])));
    const __m256i s23 =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kLevelScale4x4[qp] + 8)));
    const __m256i lo01 = _mm256_mullo_epi16(l01, s01), hi01 = _mm256_mulhi_epi16(l01, s01);
    const __m256i lo23 = _mm256_mullo_epi16(l23, s23), hi23 = _mm256_mulhi_epi16(l23, s23);
    __m256i d01 = _mm256_packs_epi32(_mm256_unpacklo_epi16(lo01, hi01), _mm256_unpackhi_epi16(lo01, hi01));
    const __m256i d23 = _mm256_packs_epi32(_mm256_unpacklo_epi16(lo23, hi23), _mm256_unpackhi_epi16(lo23, hi23));
    if (dc)
        d01 = _mm256_blend_epi16(d01, _mm256_set_m128i(_mm_cvtsi32_si128(dc[1]), _mm_cvtsi32_si128(dc[0])), 1);
    const __m256i t0 = _mm256_unpacklo_epi16(d01, d23), t1 = _mm256_unpackhi_epi16(d01, d23);
    const __m256i ca = _mm256_unpacklo_epi16(t0, t1), cb = _mm256_unpackhi_epi16(t0, t1);
    __m256i x0 = _mm256_srai_epi32(_mm256_unpacklo_epi16(ca, ca), 16);
    __m256i x1 = _mm256_srai_epi32(_mm256_unpackhi_epi16(ca, ca), 16);
    __m256i x2 = _mm256_srai_epi32(_mm256_unpacklo_epi16(cb, cb), 16);
    __m256i x3 = _mm256_srai_epi32(_mm256_unpackhi_epi16(cb, cb), 16);
    Butterfly(x0, x1, x2, x3);
    Transpose4x32(x0, x1, x2, x3);
    x0 = _mm256_add_epi32(x0, _mm256_set1_epi32(32));
    Butterfly(x0, x1, x2, x3);
    const __m256i r01 = _mm256_packs_epi32(_mm256_srai_epi32(x0, 6), _mm256_srai_epi32(x1, 6));
    const __m256i r23 = _mm256_packs_epi32(_mm256_srai_epi32(x2, 6), _mm256_srai_epi32(x3, 6));
    // Rows of eight samples, the first block's four then the second's,
    // regrouped so that each half holds one block's rows 0-1 (or 2-3).
    const __m128i q0 = Load64(dst), q1 = Load64(dst + stride);
    const __m128i q2 = Load64(dst + 2 * stride), q3 = Load64(dst + 3 * stride);
    const __m256i p01 = _mm256_cvtepu8_epi16(_mm_unpacklo_epi32(q0, q1));
    const __m256i p23 = _mm256_cvtepu8_epi16(_mm_unpacklo_epi32(q2, q3));
    const __m256i out = _mm256_packus_epi16(_mm256_adds_epi16(p01, r01), _mm256_adds_epi16(p23, r23));
    const __m128i first = _mm256_castsi256_si128(out), second = _mm256_extracti128_si256(out, 1);
    const __m128i rows01 = _mm_unpacklo_epi32(first, second), rows23 = _mm_unpackhi_epi32(first, second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), rows01);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + stride), _mm_unpackhi_epi64(rows01, rows01));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 2 * stride), rows23);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 3 * stride), _mm_unpackhi_epi64(rows23, rows23));
}

QL_AVX2 void DequantIdctAdd2Avx2(const int16_t levels[32], int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAdd2(levels, nullptr, qp, dst, stride);
}

QL_AVX2 void DequantIdctAddAc2Avx2(const int16_t levels[32], const int32_t dc[2], int qp, uint8_t* dst,
                                   ptrdiff_t stride)
{
    DequantIdctAdd2(levels, dc, qp, dst, stride);
}

void AddDc4x4Sse2(int32_t dc, uint8_t* dst, ptrdiff_t stride)
{
    // An add beyond +-255 clips every sample the same way as +-255.
    int add = (dc + 32) >> 6;
    add = add < -255 ? -255 : add > 255 ? 255 : add;
    const __m128i up = _mm_set1_epi8(char(add > 0 ? add : 0));
    const __m128i down = _mm_set1_epi8(char(add < 0 ? -add : 0));
    for (int y = 0; y < 4; ++y) {
        uint8_t* row = dst + y * stride;
        Store32(row, _mm_subs_epu8(_mm_adds_epu8(Load32(row), up), down));
    }
}

// Intra prediction. The 4x4 directional modes filter their edge once with
// the two- and three-tap averages, 16 samples at a time, and take each row
// as a run of those results.

inline void StoreRow(uint8_t* p, uint64_t v)
{
    const uint32_t x = uint32_t(v);
    std::memcpy(p, &x, 4);
}

inline void StoreRows4x4(uint8_t* dst, ptrdiff_t stride, uint64_t r0, uint64_t r1, uint64_t r2, uint64_t r3)
{
    StoreRow(dst, r0);
    StoreRow(dst + stride, r1);
    StoreRow(dst + 2 * stride, r2);
    StoreRow(dst + 3 * stride, r3);
}

// (a + 2b + c + 2) >> 2 per byte: the rounded average of a and c is made
// the floored one, whose rounded average with b is exact.
inline __m128i Avg3(__m128i a, __m128i b, __m128i c)
{
    const __m128i floorAc = _mm_sub_epi8(_mm_avg_epu8(a, c), _mm_and_si128(_mm_xor_si128(a, c), _mm_set1_epi8(1)));
    return _mm_avg_epu8(floorAc, b);
}

inline uint64_t Filter3(__m128i e)
{
    return uint64_t(_mm_cvtsi128_si64(Avg3(e, _mm_srli_si128(e, 1), _mm_srli_si128(e, 2))));
}

inline uint64_t Filter2(__m128i e)
{
    return uint64_t(_mm_cvtsi128_si64(_mm_avg_epu8(e, _mm_srli_si128(e, 1))));
}

// Bytes 0..7: the row above and the four samples above right.
inline __m128i EdgeTop(const uint8_t* dst, ptrdiff_t stride, const uint8_t* topRight)
{
    return _mm_unpacklo_epi32(Load32(dst - stride), Load32(topRight));
}

// Bytes 0..8: the left column from the bottom up, the sample above left,
// the row above.
inline __m128i EdgeLeftTop(const uint8_t* dst, ptrdiff_t stride)
{
    const uint64_t left = uint64_t(dst[3 * stride - 1]) | uint64_t(dst[2 * stride - 1]) << 8 |
                          uint64_t(dst[stride - 1]) << 16 | uint64_t(dst[-1]) << 24 | uint64_t(dst[-stride - 1]) << 32;
    return _mm_or_si128(_mm_cvtsi64_si128(int64_t(left)), _mm_slli_si128(Load32(dst - stride), 5));
}

void Pred4x4DcSse2(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const int top = _mm_cvtsi128_si32(_mm_sad_epu8(Load32(dst - stride), _mm_setzero_si128()));
    const int sum = top + dst[-1] + dst[stride - 1] + dst[2 * stride - 1] + dst[3 * stride - 1];
    const uint64_t row = uint64_t((sum + 4) >> 3) * 0x01010101u;
    StoreRows4x4(dst, stride, row, row, row, row);
}

void Pred4x4DiagonalDownLeftSse2(uint8_t* dst, ptrdiff_t stride, const uint8_t* topRight)
{
    // The last sample above right is repeated once for the bottom right
    // sample's filter.
    const __m128i t = EdgeTop(dst, stride, topRight);
    const uint64_t f = Filter3(_mm_or_si128(t, _mm_slli_si128(_mm_srli_epi64(t, 56), 8)));
    StoreRows4x4(dst, stride, f, f >> 8, f >> 16, f >> 24);
}

void Pred4x4DiagonalDownRightSse2(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const uint64_t f = Filter3(EdgeLeftTop(dst, stride));
    StoreRows4x4(dst, stride, f >> 24, f >> 16, f >> 8, f);
}

void Pred4x4VerticalRightSse2(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const __m128i e = EdgeLeftTop(dst, stride);
    const uint64_t a = Filter2(e), f = Filter3(e);
    StoreRows4x4(dst, stride, a >> 32, f >> 24, ((a >> 24) & ~0xFFull) | ((f >> 16) & 0xFF),
                 ((f >> 16) & ~0xFFull) | ((f >> 8) & 0xFF));
}

void Pred4x4HorizontalDownSse2(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const __m128i e = EdgeLeftTop(dst, stride);
    const __m128i a = _mm_avg_epu8(e, _mm_srli_si128(e, 1));
    const __m128i f = Avg3(e, _mm_srli_si128(e, 1), _mm_srli_si128(e, 2));
    const uint64_t mixed = uint64_t(_mm_cvtsi128_si64(_mm_unpacklo_epi8(a, f)));
    const uint64_t f64 = uint64_t(_mm_cvtsi128_si64(f));
    StoreRows4x4(dst, stride, (mixed >> 48) | ((f64 >> 32) & 0xFFFF) << 16, mixed >> 32, mixed >> 16, mixed);
}

void Pred4x4VerticalLeftSse2(uint8_t* dst, ptrdiff_t stride, const uint8_t* topRight)
{
    const __m128i e = EdgeTop(dst, stride, topRight);
    const uint64_t a = Filter2(e), f = Filter3(e);
    StoreRows4x4(dst, stride, a, f, a >> 8, f >> 8);
}

void Pred4x4HorizontalUpSse2(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    // The left column top down, its last sample repeated to the end.
    const uint64_t left = uint64_t(dst[-1]) | uint64_t(dst[stride - 1]) << 8 | uint64_t(dst[2 * stride - 1]) << 16 |
                          uint64_t(dst[3 * stride - 1]) * 0x0101010101ull << 24;
    const __m128i e = _mm_cvtsi64_si128(int64_t(left));
    const __m128i mixed = _mm_unpacklo_epi8(_mm_avg_epu8(e, _mm_srli_si128(e, 1)),
                                            Avg3(e, _mm_srli_si128(e, 1), _mm_srli_si128(e, 2)));
    const uint64_t m = uint64_t(_mm_cvtsi128_si64(mixed));
    StoreRows4x4(dst, stride, m, m >> 16, m >> 32, uint64_t(dst[3 * stride - 1]) * 0x01010101u);
}

void Pred16x16DcSse2(uint8_t* dst, ptrdiff_t stride)
{
    const __m128i sad = _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(dst - stride)),
                                     _mm_setzero_si128());
    int sum = _mm_cvtsi128_si32(sad) + _mm_extract_epi16(sad, 4);
    for (int y = 0; y < 16; ++y)
        sum += dst[y * stride - 1];
    const __m128i v = _mm_set1_epi8(char((sum + 16) >> 5));
    for (int y = 0; y < 16; ++y)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + y * stride), v);
}

// Plane prediction in 16 bits: a + b * (x - k) + c * (y - k) + 16 stays
// within +-20000 for any samples, so the sums never wrap.
inline void PlaneRows(uint8_t* dst, ptrdiff_t stride, int size, int base, int b, int c)
{
    const __m128i step = _mm_set1_epi16(int16_t(c));
    const __m128i bs = _mm_set1_epi16(int16_t(b));
    __m128i lo = _mm_add_epi16(_mm_set1_epi16(int16_t(base)), _mm_mullo_epi16(bs, _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7)));
    __m128i hi = _mm_add_epi16(lo, _mm_slli_epi16(bs, 3));
    for (int y = 0; y < size; ++y) {
        const __m128i out = _mm_packus_epi16(_mm_srai_epi16(lo, 5), _mm_srai_epi16(hi, 5));
        if (size == 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + y * stride), out);
        else
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + y * stride), out);
        lo = _mm_add_epi16(lo, step);
        hi = _mm_add_epi16(hi, step);
    }
}

// Sum of (i + 1) * (p[half + i] - p[half - 2 - i]) over i < half, for the
// 2 * half + 1 samples p[-1 .. 2 * half - 1] read every `step` bytes.
inline int PlaneGradient(const uint8_t* p, ptrdiff_t step, int half)
{
    int g = 0;
    for (int i = 0; i < half; ++i)
        g += (i + 1) * (p[(half + i) * step] - p[(half - 2 - i) * step]);
    return g;
}

void Pred16x16PlaneSse2(uint8_t* dst, ptrdiff_t stride)
{
    const uint8_t* above = dst - stride;
    // H from the row above: the samples right of centre weighted 1..8 and
    // those left of it (down to the one above left) -1..-8.
    const __m128i zero = _mm_setzero_si128();
    const __m128i right = _mm_unpackhi_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(above)), zero);
    const __m128i left = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(above - 1)), zero);
    __m128i sum = _mm_add_epi32(_mm_madd_epi16(right, _mm_setr_epi16(1, 2, 3, 4, 5, 6, 7, 8)),
                                _mm_madd_epi16(left, _mm_setr_epi16(-8, -7, -6, -5, -4, -3, -2, -1)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
    const int h = _mm_cvtsi128_si32(sum);
    const int v = PlaneGradient(dst - 1, stride, 8);
    const int a = 16 * (dst[15 * stride - 1] + above[15]);
    const int b = (5 * h + 32) >> 6, c = (5 * v + 32) >> 6;
    PlaneRows(dst, stride, 16, a + 16 - 7 * b - 7 * c, b, c);
}

void PredChromaPlaneSse2(uint8_t* dst, ptrdiff_t stride)
{
    const uint8_t* above = dst - stride;
    const int h = PlaneGradient(above, 1, 4);
    const int v = PlaneGradient(dst - 1, stride, 4);
    const int a = 16 * (dst[7 * stride - 1] + above[7]);
    const int b = (34 * h + 32) >> 6, c = (34 * v + 32) >> 6;
    PlaneRows(dst, stride, 8, a + 16 - 3 * b - 3 * c, b, c);
}

void PredChromaDcSse2(uint8_t* dst, ptrdiff_t stride)
{
    // The two halves of the row above summed apart.
    const __m128i top = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst - stride));
    const __m128i sad = _mm_sad_epu8(_mm_unpacklo_epi32(top, _mm_setzero_si128()), _mm_setzero_si128());
    const int top0 = _mm_cvtsi128_si32(sad), top1 = _mm_extract_epi16(sad, 4);
    const int left0 = dst[-1] + dst[stride - 1] + dst[2 * stride - 1] + dst[3 * stride - 1];
    const int left1 = dst[4 * stride - 1] + dst[5 * stride - 1] + dst[6 * stride - 1] + dst[7 * stride - 1];
    auto row = [](int dcLeft, int dcRight) {
        return uint64_t(uint32_t(dcLeft) * 0x01010101u) | uint64_t(uint32_t(dcRight) * 0x01010101u) << 32;
    };
    const uint64_t upper = row((top0 + left0 + 4) >> 3, (top1 + 2) >> 2);
    const uint64_t lower = row((left1 + 2) >> 2, (top1 + left1 + 4) >> 3);
    for (int y = 0; y < 8; ++y)
        std::memcpy(dst + y * stride, y < 4 ? &upper : &lower, 8);
}

} // namespace

void InitReconstructSimd(DecoderDsp& dsp, SimdLevel level)
{
    if (level < SimdLevel::Sse2)
        return;
    dsp.transform.dequantIdctAdd = DequantIdctAddSse2;
    dsp.transform.dequantIdctAddAc = DequantIdctAddAcSse2;
    dsp.transform.dequantIdctAdd2 = DequantIdctAdd2Sse2;
    dsp.transform.dequantIdctAddAc2 = DequantIdctAddAc2Sse2;
    dsp.transform.addDc4x4 = AddDc4x4Sse2;
    dsp.intra.pred4x4[2] = Pred4x4DcSse2;
    dsp.intra.pred4x4[3] = Pred4x4DiagonalDownLeftSse2;
    dsp.intra.pred4x4[4] = Pred4x4DiagonalDownRightSse2;
    dsp.intra.pred4x4[5] = Pred4x4VerticalRightSse2;
    dsp.intra.pred4x4[6] = Pred4x4HorizontalDownSse2;
    dsp.intra.pred4x4[7] = Pred4x4VerticalLeftSse2;
    dsp.intra.pred4x4[8] = Pred4x4HorizontalUpSse2;
    dsp.intra.pred16x16[2] = Pred16x16DcSse2;
    dsp.intra.pred16x16[3] = Pred16x16PlaneSse2;
    dsp.intra.predChroma[0] = PredChromaDcSse2;
    dsp.intra.predChroma[3] = PredChromaPlaneSse2;
    if (level < SimdLevel::Avx2)
        return;
    dsp.transform.dequantIdctAdd2 = DequantIdctAdd2Avx2;
    dsp.transform.dequantIdctAddAc2 = DequantIdctAddAc2Avx2;
}

} // namespace QLMedia

#endif
