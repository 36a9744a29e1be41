// SSSE3 kernels of the 4:2:0 to 24-bit conversion: the SSE2 arithmetic with
// one byte shuffle for packing the pixels.
#if defined(__x86_64__) || defined(__i386__)
#include "ColorConversion.h"

#include <emmintrin.h>
#include <tmmintrin.h>

// Every function from here to the table, the shared vector code included,
// is compiled for SSSE3; the table is only used where the processor has it.
// Clang ignores GCC's target pragma, so it gets its own form.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("ssse3"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("ssse3")
#endif
#include "ColorKernelsSimd.inl"

namespace qlapi {
namespace {

struct CompactSsse3 {
    static __m128i Apply(__m128i p)
    {
        const __m128i order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
        return _mm_shuffle_epi8(p, order);
    }
};

void BgrSsse3(const Yuv420Picture& s, uint8_t* dst, ptrdiff_t pitch)
{
    ConvertSimd<true, true, CompactSsse3>(s, dst, pitch);
}

void RgbSsse3(const Yuv420Picture& s, uint8_t* dst, ptrdiff_t pitch)
{
    ConvertSimd<false, false, CompactSsse3>(s, dst, pitch);
}

} // namespace

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const ColorDsp* Ssse3ColorDsp()
{
    static constexpr ColorDsp dsp = {BgrSsse3, RgbSsse3, "ssse3"};
    return &dsp;
}

} // namespace qlapi
#endif
