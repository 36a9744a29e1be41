// SSE2 and SSSE3 versions of the reconstruction kernels: intra prediction,
// and the scaling of a 4x4 block with its inverse transform and the add to
// the prediction. Each matches its C++ reference bit for bit
// (tests/decoder/core/ReconstructDspTest.cpp runs both on random inputs).
#include "Dsp.h"

#if defined(__x86_64__)

#include "Transform.h"

#include <cstring>
#include <emmintrin.h>
#include <tmmintrin.h>

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

template <bool kScaledDc>
inline void DequantIdctAdd(const int16_t levels[16], int qp, uint8_t* dst, ptrdiff_t stride)
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
    if (kScaledDc)
        d01 = _mm_insert_epi16(d01, levels[0], 0);
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
    DequantIdctAdd<false>(levels, qp, dst, stride);
}

void DequantIdctAddAcSse2(const int16_t levels[16], int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAdd<true>(levels, qp, dst, stride);
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

} // namespace

void InitReconstructSimd(DecoderDsp& dsp, SimdLevel level)
{
    if (level < SimdLevel::Sse2)
        return;
    dsp.transform.dequantIdctAdd = DequantIdctAddSse2;
    dsp.transform.dequantIdctAddAc = DequantIdctAddAcSse2;
    dsp.transform.addDc4x4 = AddDc4x4Sse2;
}

} // namespace QLMedia

#endif
