// SSE2 kernels of the 4:2:0 to 24-bit conversion.
#if defined(__x86_64__) || defined(__i386__)
#pragma GCC target("sse2")
#include "ColorKernelsSimd.inl"

namespace qlapi {
namespace {

// [x x x 0] x 4 to 12 packed bytes: odd pixels move down one byte within
// each 64-bit half, then the upper half moves down next to the lower.
struct CompactSse2 {
    static __m128i Apply(__m128i p)
    {
        const __m128i even = _mm_and_si128(p, _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF));
        const __m128i odd = _mm_and_si128(_mm_srli_epi64(p, 8), _mm_set_epi32(0x0000FFFF, int32_t(0xFF000000),
                                                                              0x0000FFFF, int32_t(0xFF000000)));
        const __m128i halves = _mm_or_si128(even, odd);
        return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
    }
};

void BgrSse2(const Yuv420Picture& s, uint8_t* dst, ptrdiff_t pitch)
{
    ConvertSimd<true, true, CompactSse2>(s, dst, pitch);
}

void RgbSse2(const Yuv420Picture& s, uint8_t* dst, ptrdiff_t pitch)
{
    ConvertSimd<false, false, CompactSse2>(s, dst, pitch);
}

} // namespace

const ColorDsp* Sse2ColorDsp()
{
    static constexpr ColorDsp dsp = {BgrSse2, RgbSse2, "sse2"};
    return &dsp;
}

} // namespace qlapi
#endif
