#include "Dsp.h"

#include <cstdlib>
#include <cstring>

namespace QLMedia {

SimdLevel DetectSimdLevel()
{
    SimdLevel level = SimdLevel::C;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2"))
        level = SimdLevel::Sse2;
    if (level == SimdLevel::Sse2 && __builtin_cpu_supports("ssse3"))
        level = SimdLevel::Ssse3;
    if (level == SimdLevel::Ssse3 && __builtin_cpu_supports("avx2"))
        level = SimdLevel::Avx2;
#endif
    if (const char* cap = std::getenv("QL_H264DEC_SIMD")) {
        SimdLevel limit = level;
        if (std::strcmp(cap, "c") == 0)
            limit = SimdLevel::C;
        else if (std::strcmp(cap, "sse2") == 0)
            limit = SimdLevel::Sse2;
        else if (std::strcmp(cap, "ssse3") == 0)
            limit = SimdLevel::Ssse3;
        else if (std::strcmp(cap, "avx2") == 0)
            limit = SimdLevel::Avx2;
        if (limit < level)
            level = limit;
    }
    return level;
}

void InitDsp(DecoderDsp& dsp, SimdLevel level)
{
    dsp.level = level;
    InitTransformC(dsp.transform);
    InitIntraPredC(dsp.intra);
    InitLumaMcC(dsp.inter);
    dsp.inter.chromaMc = ChromaMcC;
    InitDeblockC(dsp.deblock);
    if (level < SimdLevel::Sse2)
        return;
#if defined(__x86_64__)
    InitDeblockSse2(dsp.deblock);
    InitInterPredSimd(dsp.inter, level);
    InitReconstructSimd(dsp, level);
#endif
}

DecoderDsp MakeDsp()
{
    DecoderDsp dsp;
    InitDsp(dsp, DetectSimdLevel());
    return dsp;
}

} // namespace QLMedia
