// SSE2 versions of the deblocking edge kernels. A luma edge is filtered as
// 16 lanes at once, and so is a chroma edge of both planes; vertical edges
// are transposed in and out. Each matches its C++ reference bit for bit
// (tests/decoder/core/DspTest.cpp runs both on random inputs).
#include "Deblock.h"
#include "Dsp.h"

#if defined(__x86_64__)

#include <cstring>
#include <emmintrin.h>

namespace QLMedia {

namespace {

inline __m128i Abs16(__m128i x)
{
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

inline __m128i Clamp16(__m128i x, __m128i limit)
{
    return _mm_max_epi16(_mm_min_epi16(x, limit), _mm_sub_epi16(_mm_setzero_si128(), limit));
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// The lines of an edge as 16-bit lanes: p2..q2, and tC0 per lane (negative
// where the line is left alone).
struct Lines {
    __m128i p2, p1, p0, q0, q1, q2, tc0;
};

// The normal filter on eight lines (clause 8.7.2.3) in 16-bit lanes; p1 and
// q1 change only for luma.
template <bool kChroma>
inline void FilterLines(Lines& l, __m128i alpha, __m128i beta)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i active = _mm_cmpgt_epi16(l.tc0, _mm_set1_epi16(-1));
    active = _mm_and_si128(active, _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.p0, l.q0)), alpha));
    active = _mm_and_si128(active, _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.p1, l.p0)), beta));
    active = _mm_and_si128(active, _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.q1, l.q0)), beta));
    if (_mm_movemask_epi8(active) == 0)
        return;
    __m128i tc;
    __m128i apSmall = zero, aqSmall = zero;
    if constexpr (kChroma) {
        tc = _mm_add_epi16(l.tc0, _mm_set1_epi16(1));
    } else {
        apSmall = _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.p2, l.p0)), beta);
        aqSmall = _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.q2, l.q0)), beta);
        tc = _mm_sub_epi16(_mm_sub_epi16(l.tc0, apSmall), aqSmall); // masks are -1
    }
    __m128i delta = _mm_add_epi16(_mm_slli_epi16(_mm_sub_epi16(l.q0, l.p0), 2), _mm_sub_epi16(l.p1, l.q1));
    delta = Clamp16(_mm_srai_epi16(_mm_add_epi16(delta, _mm_set1_epi16(4)), 3), tc);
    const __m128i newP0 = _mm_add_epi16(l.p0, delta);
    const __m128i newQ0 = _mm_sub_epi16(l.q0, delta);
    if constexpr (!kChroma) {
        const __m128i mid = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(l.p0, l.q0), _mm_set1_epi16(1)), 1);
        const __m128i stepP = _mm_srai_epi16(_mm_sub_epi16(_mm_add_epi16(l.p2, mid), _mm_slli_epi16(l.p1, 1)), 1);
        const __m128i stepQ = _mm_srai_epi16(_mm_sub_epi16(_mm_add_epi16(l.q2, mid), _mm_slli_epi16(l.q1, 1)), 1);
        l.p1 = Select(_mm_and_si128(active, apSmall), _mm_add_epi16(l.p1, Clamp16(stepP, l.tc0)), l.p1);
        l.q1 = Select(_mm_and_si128(active, aqSmall), _mm_add_epi16(l.q1, Clamp16(stepQ, l.tc0)), l.q1);
    }
    // Clip1 comes with the pack back to bytes.
    l.p0 = Select(active, newP0, l.p0);
    l.q0 = Select(active, newQ0, l.q0);
}

// tC0 of each lane: luma segments are 4 lines, chroma segments 2.
inline void SpreadTc0(const int8_t tc0[4], int linesPerSegment, int16_t out[16])
{
    for (int i = 0; i < 16; ++i)
        out[i] = tc0[(i / linesPerSegment) & 3];
}

// 16 lanes of bytes (p2..q2) filtered as two halves of eight lines.
template <bool kChroma>
inline void Filter16(__m128i& p2, __m128i& p1, __m128i& p0, __m128i& q0, __m128i& q1, __m128i& q2,
                     const int16_t tc0[16], int alpha, int beta)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_set1_epi16(int16_t(alpha));
    const __m128i b = _mm_set1_epi16(int16_t(beta));
    Lines lo{_mm_unpacklo_epi8(p2, zero), _mm_unpacklo_epi8(p1, zero), _mm_unpacklo_epi8(p0, zero),
             _mm_unpacklo_epi8(q0, zero), _mm_unpacklo_epi8(q1, zero), _mm_unpacklo_epi8(q2, zero),
             _mm_loadu_si128(reinterpret_cast<const __m128i*>(tc0))};
    Lines hi{_mm_unpackhi_epi8(p2, zero), _mm_unpackhi_epi8(p1, zero), _mm_unpackhi_epi8(p0, zero),
             _mm_unpackhi_epi8(q0, zero), _mm_unpackhi_epi8(q1, zero), _mm_unpackhi_epi8(q2, zero),
             _mm_loadu_si128(reinterpret_cast<const __m128i*>(tc0 + 8))};
    FilterLines<kChroma>(lo, a, b);
    FilterLines<kChroma>(hi, a, b);
    p1 = _mm_packus_epi16(lo.p1, hi.p1);
    p0 = _mm_packus_epi16(lo.p0, hi.p0);
    q0 = _mm_packus_epi16(lo.q0, hi.q0);
    q1 = _mm_packus_epi16(lo.q1, hi.q1);
}

inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

inline void Store4(uint8_t* p, __m128i v)
{
    const int32_t word = _mm_cvtsi128_si32(v);
    std::memcpy(p, &word, 4);
}

// Sixteen lines of eight bytes (p3..q3 of a vertical edge) into eight
// columns of sixteen lanes, and back.
inline void LinesToColumns(const uint8_t* first, ptrdiff_t stride, __m128i col[8])
{
    __m128i a[8];
    for (int i = 0; i < 8; ++i)
        a[i] = _mm_unpacklo_epi8(Load8(first + 2 * i * stride), Load8(first + (2 * i + 1) * stride));
    __m128i b[8];
    for (int i = 0; i < 4; ++i) {
        b[2 * i] = _mm_unpacklo_epi16(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi16(a[2 * i], a[2 * i + 1]);
    }
    for (int half = 0; half < 2; ++half) {
        // Columns 4 * half .. 4 * half + 3 of lines 0..7 (c) and 8..15 (d).
        const __m128i c0 = _mm_unpacklo_epi32(b[half], b[2 + half]), c1 = _mm_unpackhi_epi32(b[half], b[2 + half]);
        const __m128i d0 = _mm_unpacklo_epi32(b[4 + half], b[6 + half]);
        const __m128i d1 = _mm_unpackhi_epi32(b[4 + half], b[6 + half]);
        col[4 * half] = _mm_unpacklo_epi64(c0, d0);
        col[4 * half + 1] = _mm_unpackhi_epi64(c0, d0);
        col[4 * half + 2] = _mm_unpacklo_epi64(c1, d1);
        col[4 * half + 3] = _mm_unpackhi_epi64(c1, d1);
    }
}

inline void ColumnsToLines(const __m128i col[8], uint8_t* first, ptrdiff_t stride)
{
    __m128i s[8];
    for (int i = 0; i < 4; ++i) {
        s[2 * i] = _mm_unpacklo_epi8(col[2 * i], col[2 * i + 1]);     // lines 0..7
        s[2 * i + 1] = _mm_unpackhi_epi8(col[2 * i], col[2 * i + 1]); // lines 8..15
    }
    for (int half = 0; half < 2; ++half) {
        const __m128i t0 = _mm_unpacklo_epi16(s[half], s[2 + half]), t1 = _mm_unpackhi_epi16(s[half], s[2 + half]);
        const __m128i u0 = _mm_unpacklo_epi16(s[4 + half], s[6 + half]);
        const __m128i u1 = _mm_unpackhi_epi16(s[4 + half], s[6 + half]);
        const __m128i rows[4] = {_mm_unpacklo_epi32(t0, u0), _mm_unpackhi_epi32(t0, u0), _mm_unpacklo_epi32(t1, u1),
                                 _mm_unpackhi_epi32(t1, u1)};
        for (int k = 0; k < 4; ++k) {
            uint8_t* line = first + (8 * half + 2 * k) * stride;
            Store8(line, rows[k]);
            Store8(line + stride, _mm_srli_si128(rows[k], 8));
        }
    }
}

void LumaHorizontalSse2(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    int16_t tc[16];
    SpreadTc0(tc0, 4, tc);
    __m128i p2 = Load16(pix - 3 * stride), p1 = Load16(pix - 2 * stride), p0 = Load16(pix - stride);
    __m128i q0 = Load16(pix), q1 = Load16(pix + stride), q2 = Load16(pix + 2 * stride);
    Filter16<false>(p2, p1, p0, q0, q1, q2, tc, alpha, beta);
    Store16(pix - 2 * stride, p1);
    Store16(pix - stride, p0);
    Store16(pix, q0);
    Store16(pix + stride, q1);
}

void LumaVerticalSse2(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    int16_t tc[16];
    SpreadTc0(tc0, 4, tc);
    __m128i v[8];
    LinesToColumns(pix - 4, stride, v);
    __m128i p2 = v[1], p1 = v[2], p0 = v[3], q0 = v[4], q1 = v[5], q2 = v[6];
    Filter16<false>(p2, p1, p0, q0, q1, q2, tc, alpha, beta);
    // p1, p0, q0, q1 back: four bytes a line.
    const __m128i e0 = _mm_unpacklo_epi8(p1, p0), e1 = _mm_unpackhi_epi8(p1, p0);
    const __m128i f0 = _mm_unpacklo_epi8(q0, q1), f1 = _mm_unpackhi_epi8(q0, q1);
    __m128i g[4] = {_mm_unpacklo_epi16(e0, f0), _mm_unpackhi_epi16(e0, f0), _mm_unpacklo_epi16(e1, f1),
                    _mm_unpackhi_epi16(e1, f1)};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            Store4(pix - 2 + (4 * i + j) * stride, g[i]);
            g[i] = _mm_srli_si128(g[i], 4);
        }
    }
}

// Both planes' lines in one vector: Cb in the low eight lanes, Cr in the
// high ones. Chroma segments are two lines, so the tC0 spread of sixteen
// lanes serves both halves.
inline __m128i BothRows(const uint8_t* cb, const uint8_t* cr, ptrdiff_t offset)
{
    return _mm_unpacklo_epi64(Load8(cb + offset), Load8(cr + offset));
}

inline void StoreBothRows(uint8_t* cb, uint8_t* cr, ptrdiff_t offset, __m128i v)
{
    Store8(cb + offset, v);
    Store8(cr + offset, _mm_unpackhi_epi64(v, v));
}

void ChromaHorizontalSse2(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    int16_t tc[16];
    SpreadTc0(tc0, 2, tc);
    __m128i p1 = BothRows(cb, cr, -2 * stride), p0 = BothRows(cb, cr, -stride), q0 = BothRows(cb, cr, 0);
    __m128i q1 = BothRows(cb, cr, stride);
    __m128i unused = _mm_setzero_si128();
    Filter16<true>(unused, p1, p0, q0, q1, unused, tc, alpha, beta);
    StoreBothRows(cb, cr, -stride, p0);
    StoreBothRows(cb, cr, 0, q0);
}

// Eight lines of p1, p0, q0, q1 (four bytes each, at `first`) into four
// columns in the low eight lanes, and p0 and q0 back.
inline void ChromaLinesToColumns(const uint8_t* first, ptrdiff_t stride, __m128i& p1, __m128i& p0, __m128i& q0,
                                 __m128i& q1)
{
    int32_t words[8];
    for (int i = 0; i < 8; ++i)
        std::memcpy(&words[i], first + i * stride, 4);
    const __m128i x0 = _mm_setr_epi32(words[0], words[1], words[2], words[3]);
    const __m128i x1 = _mm_setr_epi32(words[4], words[5], words[6], words[7]);
    const __m128i t0 = _mm_unpacklo_epi8(x0, x1), t1 = _mm_unpackhi_epi8(x0, x1);
    const __m128i u0 = _mm_unpacklo_epi8(t0, t1), u1 = _mm_unpackhi_epi8(t0, t1);
    const __m128i v0 = _mm_unpacklo_epi8(u0, u1), v1 = _mm_unpackhi_epi8(u0, u1);
    p1 = _mm_move_epi64(v0);
    p0 = _mm_srli_si128(v0, 8);
    q0 = _mm_move_epi64(v1);
    q1 = _mm_srli_si128(v1, 8);
}

inline void StoreChromaP0Q0(uint8_t* first, ptrdiff_t stride, __m128i p0, __m128i q0)
{
    alignas(16) uint16_t pairs[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(pairs), _mm_unpacklo_epi8(p0, q0));
    for (int i = 0; i < 8; ++i)
        std::memcpy(first + i * stride, &pairs[i], 2);
}

// p1, p0, q0, q1 of the eight lines of a vertical edge in both planes, Cb
// in the low lanes; and p0, q0 back.
inline void BothColumns(const uint8_t* cb, const uint8_t* cr, ptrdiff_t stride, __m128i& p1, __m128i& p0,
                        __m128i& q0, __m128i& q1)
{
    __m128i b[4], r[4];
    ChromaLinesToColumns(cb - 2, stride, b[0], b[1], b[2], b[3]);
    ChromaLinesToColumns(cr - 2, stride, r[0], r[1], r[2], r[3]);
    p1 = _mm_unpacklo_epi64(b[0], r[0]);
    p0 = _mm_unpacklo_epi64(b[1], r[1]);
    q0 = _mm_unpacklo_epi64(b[2], r[2]);
    q1 = _mm_unpacklo_epi64(b[3], r[3]);
}

inline void StoreBothColumns(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, __m128i p0, __m128i q0)
{
    StoreChromaP0Q0(cb - 1, stride, p0, q0);
    StoreChromaP0Q0(cr - 1, stride, _mm_unpackhi_epi64(p0, p0), _mm_unpackhi_epi64(q0, q0));
}

void ChromaVerticalSse2(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    int16_t tc[16];
    SpreadTc0(tc0, 2, tc);
    __m128i p1, p0, q0, q1;
    BothColumns(cb, cr, stride, p1, p0, q0, q1);
    __m128i unused = _mm_setzero_si128();
    Filter16<true>(unused, p1, p0, q0, q1, unused, tc, alpha, beta);
    StoreBothColumns(cb, cr, stride, p0, q0);
}

// The strong filter (bS 4, clause 8.7.2.4) on eight lines in 16-bit lanes,
// p3..q3 in and p2..q2 out (chroma: p0 and q0 only).
struct StrongLines {
    __m128i p3, p2, p1, p0, q0, q1, q2, q3;
};

inline __m128i Avg4(__m128i a, __m128i b, __m128i c, __m128i d, __m128i e, int shift, int round)
{
    // (a + b + c + d + e + round) >> shift
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, d)), e);
    return _mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(int16_t(round))), shift);
}

template <bool kChroma>
inline void StrongFilterLines(StrongLines& l, __m128i alpha, __m128i beta)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i step = Abs16(_mm_sub_epi16(l.p0, l.q0));
    __m128i active = _mm_cmplt_epi16(step, alpha);
    active = _mm_and_si128(active, _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.p1, l.p0)), beta));
    active = _mm_and_si128(active, _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.q1, l.q0)), beta));
    if (_mm_movemask_epi8(active) == 0)
        return;
    // (2 * p1 + p0 + q1 + 2) >> 2 and its mirror: chroma, and luma where
    // the strong form does not apply.
    const __m128i weakP0 = Avg4(l.p1, l.p1, l.p0, l.q1, zero, 2, 2);
    const __m128i weakQ0 = Avg4(l.q1, l.q1, l.q0, l.p1, zero, 2, 2);
    if constexpr (kChroma) {
        l.p0 = Select(active, weakP0, l.p0);
        l.q0 = Select(active, weakQ0, l.q0);
    } else {
        const __m128i smallStep =
            _mm_cmplt_epi16(step, _mm_add_epi16(_mm_srai_epi16(alpha, 2), _mm_set1_epi16(2)));
        const __m128i strongP = _mm_and_si128(
            active, _mm_and_si128(smallStep, _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.p2, l.p0)), beta)));
        const __m128i strongQ = _mm_and_si128(
            active, _mm_and_si128(smallStep, _mm_cmplt_epi16(Abs16(_mm_sub_epi16(l.q2, l.q0)), beta)));
        const __m128i p0q0 = _mm_add_epi16(l.p0, l.q0);
        // (p2 + 2p1 + 2p0 + 2q0 + q1 + 4) >> 3, (p2 + p1 + p0 + q0 + 2) >> 2,
        // (2p3 + 3p2 + p1 + p0 + q0 + 4) >> 3, and their mirrors.
        const __m128i strongP0 = Avg4(l.p2, _mm_slli_epi16(l.p1, 1), _mm_slli_epi16(p0q0, 1), l.q1, zero, 3, 4);
        const __m128i strongP1 = Avg4(l.p2, l.p1, p0q0, zero, zero, 2, 2);
        const __m128i strongP2 = Avg4(_mm_slli_epi16(l.p3, 1), _mm_add_epi16(_mm_slli_epi16(l.p2, 1), l.p2), l.p1,
                                      p0q0, zero, 3, 4);
        const __m128i strongQ0 = Avg4(l.q2, _mm_slli_epi16(l.q1, 1), _mm_slli_epi16(p0q0, 1), l.p1, zero, 3, 4);
        const __m128i strongQ1 = Avg4(l.q2, l.q1, p0q0, zero, zero, 2, 2);
        const __m128i strongQ2 = Avg4(_mm_slli_epi16(l.q3, 1), _mm_add_epi16(_mm_slli_epi16(l.q2, 1), l.q2), l.q1,
                                      p0q0, zero, 3, 4);
        l.p2 = Select(strongP, strongP2, l.p2);
        l.p1 = Select(strongP, strongP1, l.p1);
        l.q1 = Select(strongQ, strongQ1, l.q1);
        l.q2 = Select(strongQ, strongQ2, l.q2);
        l.p0 = Select(active, Select(strongP, strongP0, weakP0), l.p0);
        l.q0 = Select(active, Select(strongQ, strongQ0, weakQ0), l.q0);
    }
}

// 16 lanes of bytes p3..q3, filtered as two halves of eight lines.
template <bool kChroma>
inline void StrongFilter16(__m128i v[8], int alpha, int beta)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_set1_epi16(int16_t(alpha));
    const __m128i b = _mm_set1_epi16(int16_t(beta));
    StrongLines lo{}, hi{};
    __m128i* lanesLo[8] = {&lo.p3, &lo.p2, &lo.p1, &lo.p0, &lo.q0, &lo.q1, &lo.q2, &lo.q3};
    __m128i* lanesHi[8] = {&hi.p3, &hi.p2, &hi.p1, &hi.p0, &hi.q0, &hi.q1, &hi.q2, &hi.q3};
    for (int i = 0; i < 8; ++i) {
        *lanesLo[i] = _mm_unpacklo_epi8(v[i], zero);
        *lanesHi[i] = _mm_unpackhi_epi8(v[i], zero);
    }
    StrongFilterLines<kChroma>(lo, a, b);
    StrongFilterLines<kChroma>(hi, a, b);
    for (int i = 1; i < 7; ++i)
        v[i] = _mm_packus_epi16(*lanesLo[i], *lanesHi[i]);
}

void LumaVerticalStrongSse2(uint8_t* pix, ptrdiff_t stride, int alpha, int beta)
{
    __m128i v[8];
    LinesToColumns(pix - 4, stride, v);
    StrongFilter16<false>(v, alpha, beta);
    ColumnsToLines(v, pix - 4, stride);
}

void LumaHorizontalStrongSse2(uint8_t* pix, ptrdiff_t stride, int alpha, int beta)
{
    __m128i v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = Load16(pix + (i - 4) * stride);
    StrongFilter16<false>(v, alpha, beta);
    for (int i = 1; i < 7; ++i)
        Store16(pix + (i - 4) * stride, v[i]);
}

void ChromaHorizontalStrongSse2(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta)
{
    __m128i v[8] = {};
    for (int i = 2; i < 6; ++i)
        v[i] = BothRows(cb, cr, (i - 4) * stride);
    StrongFilter16<true>(v, alpha, beta);
    StoreBothRows(cb, cr, -stride, v[3]);
    StoreBothRows(cb, cr, 0, v[4]);
}

void ChromaVerticalStrongSse2(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta)
{
    __m128i v[8] = {};
    BothColumns(cb, cr, stride, v[2], v[3], v[4], v[5]);
    StrongFilter16<true>(v, alpha, beta);
    StoreBothColumns(cb, cr, stride, v[3], v[4]);
}

} // namespace

void InitDeblockSse2(DeblockDsp& dsp)
{
    dsp.chromaStrong[0] = ChromaVerticalStrongSse2;
    dsp.lumaStrong[0] = LumaVerticalStrongSse2;
    dsp.lumaStrong[1] = LumaHorizontalStrongSse2;
    dsp.chromaStrong[1] = ChromaHorizontalStrongSse2;
    dsp.lumaNormal[0] = LumaVerticalSse2;
    dsp.lumaNormal[1] = LumaHorizontalSse2;
    dsp.chromaNormal[0] = ChromaVerticalSse2;
    dsp.chromaNormal[1] = ChromaHorizontalSse2;
}

} // namespace QLMedia

#endif
