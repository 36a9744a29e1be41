// Pixel kernels behind one table, chosen once at start: the plain C++
// versions are the reference, and faster versions for the instruction sets
// the processor has replace them entry by entry. The environment variable
// QL_H264DEC_SIMD=c|sse2|ssse3|avx2 caps the level chosen, so the
// conformance suite can run at every level.
#pragma once

#include <cstddef>
#include <cstdint>

namespace QLMedia {

enum class SimdLevel { C = 0, Sse2 = 1, Ssse3 = 2, Avx2 = 3 };

struct TransformDsp {
    // Inverse 4x4 transform of a dequantised raster-order block added to dst.
    void (*idct4x4Add)(const int32_t block[16], uint8_t* dst, ptrdiff_t stride);
};

struct InterPredDsp {
    // Luma quarter-sample prediction of a w x h block (w, h in {4, 8, 16}):
    // src is the integer-sample position in a reference with at least 2
    // readable samples before and 3 after the block in both directions.
    // Index yFrac * 4 + xFrac.
    using LumaMc = void (*)(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h);
    LumaMc lumaMc[16];
    // Chroma eighth-sample prediction of a w x h block (w, h in {2, 4, 8})
    // from src with one readable sample after the block in both directions.
    void (*chromaMc)(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h,
                     int xFrac, int yFrac);
};

struct DeblockDsp {
    // Normal (bS 1..3) edge kernels, [0] vertical edges, [1] horizontal
    // ones: `pix` at q0 of the edge's first line, tc0[i] per segment
    // (negative: leave that segment alone). See Deblock.h.
    using NormalKernel = void (*)(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4]);
    NormalKernel lumaNormal[2];
    NormalKernel chromaNormal[2];
    // Strong (bS 4) edge kernels, likewise.
    using StrongKernel = void (*)(uint8_t* pix, ptrdiff_t stride, int alpha, int beta);
    StrongKernel lumaStrong[2];
    StrongKernel chromaStrong[2];
};

struct DecoderDsp {
    SimdLevel level = SimdLevel::C;
    TransformDsp transform;
    InterPredDsp inter;
    DeblockDsp deblock;
};

// The processor's best level, capped by QL_H264DEC_SIMD.
SimdLevel DetectSimdLevel();
// Fills `dsp` for `level`: the C++ kernels first, then every faster kernel
// up to that level.
void InitDsp(DecoderDsp& dsp, SimdLevel level);
// The table the decoder uses, filled on first use.
const DecoderDsp& Dsp();

// Reference kernels (also the fallback of the table).
void Idct4x4AddC(const int32_t block[16], uint8_t* dst, ptrdiff_t stride);
void ChromaMcC(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h, int xFrac,
               int yFrac);
void InitLumaMcC(InterPredDsp& dsp);
void InitDeblockC(DeblockDsp& dsp);
// SSE2 kernels (x86-64 only).
void InitDspSse2(DecoderDsp& dsp);
void InitDeblockSse2(DeblockDsp& dsp);
// Motion compensation kernels for every level up to `level`.
void InitInterPredSimd(InterPredDsp& dsp, SimdLevel level);

} // namespace QLMedia
