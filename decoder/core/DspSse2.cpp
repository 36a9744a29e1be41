// SSE2 versions of the hottest kernels. Each matches its C++ reference bit
// for bit (tests/decoder/core/DspTest.cpp runs both on random inputs).
#include "Dsp.h"

#if defined(__x86_64__)

#include <cstring>
#include <emmintrin.h>

namespace QLMedia {

namespace {

inline void Transpose4(__m128i& a, __m128i& b, __m128i& c, __m128i& d)
{
    const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
    const __m128i t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
    a = _mm_unpacklo_epi64(t0, t1);
    b = _mm_unpackhi_epi64(t0, t1);
    c = _mm_unpacklo_epi64(t2, t3);
    d = _mm_unpackhi_epi64(t2, t3);
}

// One pass of the 4-point transform across four registers.
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

inline void AddRow(uint8_t* dst, __m128i residual)
{
    int32_t pixels;
    std::memcpy(&pixels, dst, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i p = _mm_unpacklo_epi8(_mm_cvtsi32_si128(pixels), zero);
    const __m128i r = _mm_packs_epi32(residual, residual);
    const __m128i sum = _mm_packus_epi16(_mm_adds_epi16(p, r), zero);
    pixels = _mm_cvtsi128_si32(sum);
    std::memcpy(dst, &pixels, 4);
}

void Idct4x4AddSse2(const int32_t block[16], uint8_t* dst, ptrdiff_t stride)
{
    __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 4));
    __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8));
    __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 12));
    // Rows first: with the block transposed, lane-wise work combines the
    // samples of each row.
    Transpose4(r0, r1, r2, r3);
    Butterfly(r0, r1, r2, r3);
    Transpose4(r0, r1, r2, r3);
    Butterfly(r0, r1, r2, r3);
    const __m128i round = _mm_set1_epi32(32);
    AddRow(dst, _mm_srai_epi32(_mm_add_epi32(r0, round), 6));
    AddRow(dst + stride, _mm_srai_epi32(_mm_add_epi32(r1, round), 6));
    AddRow(dst + 2 * stride, _mm_srai_epi32(_mm_add_epi32(r2, round), 6));
    AddRow(dst + 3 * stride, _mm_srai_epi32(_mm_add_epi32(r3, round), 6));
}

} // namespace

void InitDspSse2(DecoderDsp& dsp)
{
    dsp.transform.idct4x4Add = Idct4x4AddSse2;
}

} // namespace QLMedia

#endif
