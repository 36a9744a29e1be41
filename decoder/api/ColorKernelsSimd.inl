// The vector form of the 4:2:0 to 24-bit conversion, shared by the SSE2 and
// SSSE3 translation units (each compiles it for its own instruction set; the
// anonymous namespace keeps the two copies apart at link time). It computes
// exactly the reference arithmetic: 32-bit products assembled from 16-bit
// multiplies, the same rounding term, an arithmetic shift by 16 and a clamp
// to 0..255. Sixteen pixels of two rows share eight chroma samples per pass;
// the remaining columns go through the reference code.
#include "ColorConversion.h"

#include <emmintrin.h>

namespace qlapi {
namespace {

// Coefficients that exceed 16 bits are split into a 16-bit part for
// _mm_madd_epi16 and a power of two applied by a shift:
//   104595 v = -26477 v + (v << 17)
//   -25690 u - 53281 v = -25690 u + 12255 v - (v << 16)
//   132186 u = 1114 u + (u << 17)
//   76284 y = (19071 y) << 2
// madd pairs are (u, v) with u in the even 16-bit lane.
inline __m128i PairCoefficient(int16_t forU, int16_t forV)
{
    return _mm_set1_epi32(int32_t((uint32_t(uint16_t(forV)) << 16) | uint16_t(forU)));
}

struct ChromaTerms {
    __m128i r, g, b; // one 32-bit term per chroma sample, rounding included
};

inline ChromaTerms ChromaOf(__m128i uv, __m128i rounding)
{
    const __m128i v32 = _mm_srai_epi32(uv, 16);
    const __m128i u32 = _mm_srai_epi32(_mm_slli_epi32(uv, 16), 16);
    ChromaTerms t;
    t.r = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(uv, PairCoefficient(0, -26477)), _mm_slli_epi32(v32, 17)),
                        rounding);
    t.g = _mm_add_epi32(_mm_sub_epi32(_mm_madd_epi16(uv, PairCoefficient(-25690, 12255)), _mm_slli_epi32(v32, 16)),
                        rounding);
    t.b = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(uv, PairCoefficient(1114, 0)), _mm_slli_epi32(u32, 17)),
                        rounding);
    return t;
}

// 76284 * (Y - 16) for 8 pixels, as two vectors of four 32-bit values.
inline void LumaOf(__m128i y16, __m128i* lo, __m128i* hi)
{
    const __m128i k = _mm_set1_epi16(19071);
    const __m128i pl = _mm_mullo_epi16(y16, k);
    const __m128i ph = _mm_mulhi_epi16(y16, k);
    *lo = _mm_slli_epi32(_mm_unpacklo_epi16(pl, ph), 2);
    *hi = _mm_slli_epi32(_mm_unpackhi_epi16(pl, ph), 2);
}

// 16 clamped 8-bit values of one colour from 16 luma terms and the chroma
// terms of pixels 0-7 (c0) and 8-15 (c1), each chroma term serving 2 pixels.
inline __m128i ChannelOf(const __m128i luma[4], __m128i c0, __m128i c1)
{
    const __m128i a = _mm_srai_epi32(_mm_add_epi32(luma[0], _mm_unpacklo_epi32(c0, c0)), 16);
    const __m128i b = _mm_srai_epi32(_mm_add_epi32(luma[1], _mm_unpackhi_epi32(c0, c0)), 16);
    const __m128i c = _mm_srai_epi32(_mm_add_epi32(luma[2], _mm_unpacklo_epi32(c1, c1)), 16);
    const __m128i d = _mm_srai_epi32(_mm_add_epi32(luma[3], _mm_unpackhi_epi32(c1, c1)), 16);
    // The shifted values lie within -300..600, so the signed pack keeps them
    // and the unsigned pack is the clamp.
    return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
}

// Writes 16 pixels of 3 bytes (first, second, third) to dst: four groups of
// four [x x x 0] pixels, each compacted to 12 bytes by Compact, then
// assembled into three 16-byte stores.
template <typename Compact>
inline void Store48(uint8_t* dst, __m128i first, __m128i second, __m128i third)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i fsLo = _mm_unpacklo_epi8(first, second);
    const __m128i fsHi = _mm_unpackhi_epi8(first, second);
    const __m128i tLo = _mm_unpacklo_epi8(third, zero);
    const __m128i tHi = _mm_unpackhi_epi8(third, zero);
    const __m128i q0 = Compact::Apply(_mm_unpacklo_epi16(fsLo, tLo));
    const __m128i q1 = Compact::Apply(_mm_unpackhi_epi16(fsLo, tLo));
    const __m128i q2 = Compact::Apply(_mm_unpacklo_epi16(fsHi, tHi));
    const __m128i q3 = Compact::Apply(_mm_unpackhi_epi16(fsHi, tHi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_or_si128(q0, _mm_slli_si128(q1, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16),
                     _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32),
                     _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4)));
}

template <bool Bgr, typename Compact>
inline void StoreRow(uint8_t* dst, const __m128i luma[4], const ChromaTerms& lo, const ChromaTerms& hi)
{
    const __m128i r = ChannelOf(luma, lo.r, hi.r);
    const __m128i g = ChannelOf(luma, lo.g, hi.g);
    const __m128i b = ChannelOf(luma, lo.b, hi.b);
    if (Bgr)
        Store48<Compact>(dst, b, g, r);
    else
        Store48<Compact>(dst, r, g, b);
}

inline void RowLuma(const uint8_t* y, __m128i luma[4])
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i sixteen = _mm_set1_epi16(16);
    const __m128i y8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    LumaOf(_mm_sub_epi16(_mm_unpacklo_epi8(y8, zero), sixteen), &luma[0], &luma[1]);
    LumaOf(_mm_sub_epi16(_mm_unpackhi_epi8(y8, zero), sixteen), &luma[2], &luma[3]);
}

template <bool Bgr, bool Round, typename Compact>
inline void ConvertSimd(const Yuv420Picture& s, uint8_t* dst, ptrdiff_t dstPitch)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i c128 = _mm_set1_epi16(128);
    const __m128i rounding = _mm_set1_epi32(Round ? kRoundHalf : 0);
    const int blocks = (s.width / 2) / 8;
    for (int row = 0; row + 1 < s.height; row += 2) {
        const uint8_t* y0 = s.y + row * s.yPitch;
        const uint8_t* y1 = y0 + s.yPitch;
        const uint8_t* cb = s.cb + (row / 2) * s.cbPitch;
        const uint8_t* cr = s.cr + (row / 2) * s.crPitch;
        uint8_t* d0 = dst + row * dstPitch;
        uint8_t* d1 = d0 + dstPitch;
        for (int i = 0; i < blocks; ++i) {
            const __m128i u = _mm_sub_epi16(
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + 8 * i)), zero), c128);
            const __m128i v = _mm_sub_epi16(
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + 8 * i)), zero), c128);
            const ChromaTerms lo = ChromaOf(_mm_unpacklo_epi16(u, v), rounding);
            const ChromaTerms hi = ChromaOf(_mm_unpackhi_epi16(u, v), rounding);
            __m128i luma[4];
            RowLuma(y0 + 16 * i, luma);
            StoreRow<Bgr, Compact>(d0 + 48 * i, luma, lo, hi);
            RowLuma(y1 + 16 * i, luma);
            StoreRow<Bgr, Compact>(d1 + 48 * i, luma, lo, hi);
        }
        ConvertRowPairTail<Bgr, Round>(s, row, blocks * 8, dst, dstPitch);
    }
}

} // namespace
} // namespace qlapi
