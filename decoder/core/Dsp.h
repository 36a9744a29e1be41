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
    // Scales the levels of a 4x4 block (raster order) for `qp` (0..51, flat
    // scaling), inverse transforms them and adds the residual to the
    // prediction at dst, clipped to 0..255. Each scaled coefficient is held
    // to 16 bits (conforming streams never need more), the transform runs
    // in 32 bits.
    void (*dequantIdctAdd)(const int16_t levels[16], int qp, uint8_t* dst, ptrdiff_t stride);
    // The same for the blocks of Intra16x16 luma and of chroma, whose DC
    // comes from its own transform: `dc` is that DC, already scaled (16
    // bits), and levels[0] is not read. (Passed apart so that the caller
    // does not store it just before the kernel loads the block.)
    void (*dequantIdctAddAc)(const int16_t levels[16], int32_t dc, int qp, uint8_t* dst, ptrdiff_t stride);
    // Two side by side blocks at dst and dst + 4, with levels[0..15] and
    // levels[16..31] (and dc[0], dc[1]): the same as the kernels above on
    // each, in one go where the level allows.
    void (*dequantIdctAdd2)(const int16_t levels[32], int qp, uint8_t* dst, ptrdiff_t stride);
    void (*dequantIdctAddAc2)(const int16_t levels[32], const int32_t dc[2], int qp, uint8_t* dst, ptrdiff_t stride);
    // Block whose only coefficient is the scaled DC (16 bits): adds
    // (dc + 32) >> 6 to the 4x4 prediction, the same as the full transform
    // of such a block.
    void (*addDc4x4)(int32_t dc, uint8_t* dst, ptrdiff_t stride);
};

// Intra prediction kernels write the predicted block at dst from the
// reconstructed samples around it in the picture: the column left of the
// block, the row above it and the sample above left. Each kernel reads only
// the neighbours its mode needs; the caller has checked they exist. The DC
// variants for missing neighbours follow the coded modes in each array.
struct IntraPredDsp {
    // 4x4 luma by prediction mode (0 vertical .. 8 horizontal up), then DC
    // from the left only, from the top only, and 128. topRight points to
    // the four samples above right: the picture's own, or the last sample
    // above repeated when they are not available (only modes 3 and 7 read
    // them).
    using Pred4x4 = void (*)(uint8_t* dst, ptrdiff_t stride, const uint8_t* topRight);
    static constexpr int k4x4DcLeft = 9, k4x4DcTop = 10, k4x4Dc128 = 11;
    Pred4x4 pred4x4[12];
    // 16x16 luma (0 vertical, 1 horizontal, 2 DC, 3 plane) and 8x8 chroma
    // of 4:2:0 (0 DC, 1 horizontal, 2 vertical, 3 plane), each followed by
    // the DC variants.
    using PredBlock = void (*)(uint8_t* dst, ptrdiff_t stride);
    static constexpr int kDcLeft = 4, kDcTop = 5, kDc128 = 6;
    PredBlock pred16x16[7];
    PredBlock predChroma[7];
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
    // Strong (bS 4) edge kernels, likewise.
    using StrongKernel = void (*)(uint8_t* pix, ptrdiff_t stride, int alpha, int beta);
    StrongKernel lumaStrong[2];
    // Chroma kernels filter the same edge of both planes at once: in 4:2:0
    // Baseline streams Cb and Cr share strengths and thresholds, and one
    // vector holds the lines of both.
    using ChromaNormalKernel = void (*)(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta,
                                        const int8_t tc0[4]);
    ChromaNormalKernel chromaNormal[2];
    using ChromaStrongKernel = void (*)(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta);
    ChromaStrongKernel chromaStrong[2];
};

struct DecoderDsp {
    SimdLevel level = SimdLevel::C;
    TransformDsp transform;
    IntraPredDsp intra;
    InterPredDsp inter;
    DeblockDsp deblock;
};

// The processor's best level, capped by QL_H264DEC_SIMD.
SimdLevel DetectSimdLevel();
// Fills `dsp` for `level`: the C++ kernels first, then every faster kernel
// up to that level.
void InitDsp(DecoderDsp& dsp, SimdLevel level);
// A table for the processor's best level, capped by QL_H264DEC_SIMD.
DecoderDsp MakeDsp();
// The table the decoder uses, filled on first use. Inline: kernels are
// looked up per block, and a call each time shows in profiles.
inline const DecoderDsp& Dsp()
{
    static const DecoderDsp table = MakeDsp();
    return table;
}

// Reference kernels (also the fallback of the table).
void InitTransformC(TransformDsp& dsp);
void InitIntraPredC(IntraPredDsp& dsp);
void ChromaMcC(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h, int xFrac,
               int yFrac);
void InitLumaMcC(InterPredDsp& dsp);
void InitDeblockC(DeblockDsp& dsp);
// SSE2 kernels (x86-64 only).
void InitDeblockSse2(DeblockDsp& dsp);
// Motion compensation kernels for every level up to `level`.
void InitInterPredSimd(InterPredDsp& dsp, SimdLevel level);
// Reconstruction kernels (intra prediction, scaling with the inverse
// transform) for every level up to `level`.
void InitReconstructSimd(DecoderDsp& dsp, SimdLevel level);

} // namespace QLMedia
