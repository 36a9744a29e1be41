// Scaling and inverse transforms (ITU-T H.264 clause 8.5) for flat scaling
// matrices: 4x4 residual blocks, the Intra16x16 luma DC Hadamard and the
// 4:2:0 chroma DC transform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace QLMedia {

// Zig-zag scan: scan index -> raster position in a 4x4 block.
extern const uint8_t kZigzag4x4[16];
// Chroma QP (Table 8-15) for qPI 0..51.
extern const uint8_t kChromaQp[52];
// The factor that scales each level of a 4x4 block (raster order, flat
// scaling) for qp 0..51: the scaled coefficient is level * factor. Rows
// are 16-byte aligned.
extern const int16_t (&kLevelScale4x4)[52][16];

// The scaling of a 4x4 block with its inverse transform, and the DC-only
// shortcut, are kernels of the Dsp() table.

// The scaled DC of a 4x4 block with its own DC level (not Intra16x16 luma
// or chroma), as the transform kernels scale it: held to 16 bits.
int32_t DequantiseDc4x4(int32_t level, int qp);

// Intra16x16 luma DC: c holds the 16 DC levels in raster order of the 4x4
// blocks; replaced by the scaled DC of each block.
void InverseLumaDc(int32_t c[16], int qp);

// Chroma DC of one component: c[4] in raster order of the 2x2 blocks.
void InverseChromaDc(int32_t c[4], int qpc);

} // namespace QLMedia
