// Vector versions of the motion compensation kernels, each bit-exact with
// its C++ reference in InterPred.cpp (tests/decoder/core/DspTest.cpp runs
// both on random inputs).
#include "Dsp.h"

#if defined(__x86_64__)

#include <cstring>
#include <emmintrin.h>

namespace QLMedia {

namespace {

inline __m128i Load8(const uint8_t* p)
{
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

// Six-tap half-sample filter of eight samples spaced `step` apart, clipped.
inline __m128i HalfSample8(const uint8_t* p, ptrdiff_t step)
{
    const __m128i a = Load8(p - 2 * step), b = Load8(p - step), c = Load8(p), d = Load8(p + step);
    const __m128i e = Load8(p + 2 * step), f = Load8(p + 3 * step);
    const __m128i twenty = _mm_set1_epi16(20), five = _mm_set1_epi16(5);
    __m128i sum = _mm_add_epi16(a, f);
    sum = _mm_add_epi16(sum, _mm_mullo_epi16(_mm_add_epi16(c, d), twenty));
    sum = _mm_sub_epi16(sum, _mm_mullo_epi16(_mm_add_epi16(b, e), five));
    sum = _mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(16)), 5);
    return _mm_packus_epi16(sum, sum);
}

inline void Store(uint8_t* dst, __m128i v, int w)
{
    if (w == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), v);
    } else {
        const int32_t x = _mm_cvtsi128_si32(v);
        std::memcpy(dst, &x, 4);
    }
}

template <bool Vertical>
void LumaHalfSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h)
{
    const ptrdiff_t step = Vertical ? srcStride : 1;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; i += 8)
            Store(dst + j * dstStride + i, HalfSample8(src + j * srcStride + i, step), w < 8 ? w : 8);
}

void LumaCopySse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h)
{
    for (int j = 0; j < h; ++j)
        std::memcpy(dst + j * dstStride, src + j * srcStride, size_t(w));
}

void ChromaMcSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h, int xFrac,
                  int yFrac)
{
    if (w < 8) {
        ChromaMcC(dst, dstStride, src, srcStride, w, h, xFrac, yFrac);
        return;
    }
    const __m128i wA = _mm_set1_epi16(int16_t((8 - xFrac) * (8 - yFrac)));
    const __m128i wB = _mm_set1_epi16(int16_t(xFrac * (8 - yFrac)));
    const __m128i wC = _mm_set1_epi16(int16_t((8 - xFrac) * yFrac));
    const __m128i wD = _mm_set1_epi16(int16_t(xFrac * yFrac));
    const __m128i round = _mm_set1_epi16(32);
    for (int j = 0; j < h; ++j) {
        const uint8_t* s0 = src + j * srcStride;
        const uint8_t* s1 = s0 + srcStride;
        __m128i sum = _mm_add_epi16(_mm_mullo_epi16(Load8(s0), wA), _mm_mullo_epi16(Load8(s0 + 1), wB));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(Load8(s1), wC));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(Load8(s1 + 1), wD));
        sum = _mm_srli_epi16(_mm_add_epi16(sum, round), 6);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + j * dstStride), _mm_packus_epi16(sum, sum));
    }
}

} // namespace

void InitInterPredSimd(InterPredDsp& dsp, SimdLevel level)
{
    if (level < SimdLevel::Sse2)
        return;
    dsp.lumaMc[0] = LumaCopySse2;
    dsp.lumaMc[2] = LumaHalfSse2<false>;
    dsp.lumaMc[8] = LumaHalfSse2<true>;
    dsp.chromaMc = ChromaMcSse2;
}

} // namespace QLMedia

#else

namespace QLMedia {

void InitInterPredSimd(InterPredDsp&, SimdLevel) {}

} // namespace QLMedia

#endif
