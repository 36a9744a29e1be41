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

// Dequantises a 4x4 block given in raster order. With hasDc false the DC
// coefficient (already scaled, from a DC transform) is kept as it is.
void Dequantise4x4(int32_t block[16], int qp, bool hasDc);

// The inverse 4x4 transform itself is a kernel of the Dsp() table.

// DC-only shortcut: adds (dc + 32) >> 6 to the 4x4 prediction.
void AddDc4x4(int32_t dc, uint8_t* dst, ptrdiff_t stride);

// Intra16x16 luma DC: c holds the 16 DC levels in raster order of the 4x4
// blocks; replaced by the scaled DC of each block.
void InverseLumaDc(int32_t c[16], int qp);

// Chroma DC of one component: c[4] in raster order of the 2x2 blocks.
void InverseChromaDc(int32_t c[4], int qpc);

} // namespace QLMedia
