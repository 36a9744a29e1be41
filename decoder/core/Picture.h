// A decoded picture and the per-macroblock state that later stages of the
// same picture read (neighbour prediction, deblocking).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace QLMedia {

// Plane memory of one 4:2:0 8-bit picture. Pitches are multiples of 64 and
// plane addresses 64-byte aligned. There is no border: motion compensation
// clamps its reference coordinates instead.
struct PicturePlanes {
    uint8_t* y = nullptr;
    uint8_t* cb = nullptr;
    uint8_t* cr = nullptr;
    ptrdiff_t lumaPitch = 0;
    ptrdiff_t chromaPitch = 0;
    int width = 0;  // luma samples, whole macroblocks
    int height = 0;
};

struct MotionVector {
    int16_t x = 0;
    int16_t y = 0;
    bool operator==(const MotionVector& o) const { return x == o.x && y == o.y; }
};

enum class MbKind : uint8_t {
    Unavailable, // not yet decoded in this picture, or outside it
    I4x4,
    I16x16,
    IPCM,
    P16x16,
    P16x8,
    P8x16,
    P8x8,
    PSkip,
};

inline bool IsIntra(MbKind k) { return k == MbKind::I4x4 || k == MbKind::I16x16 || k == MbKind::IPCM; }

// State of one macroblock of the picture being decoded. Blocks are indexed
// in raster order within the macroblock: 4x4 block (bx, by) is by * 4 + bx;
// 8x8 partition (px, py) is py * 2 + px; chroma 4x4 block (bx, by) of a
// component is by * 2 + bx.
struct MbInfo {
    MbKind kind = MbKind::Unavailable;
    int8_t qp = 0;            // QP_Y
    int sliceNumber = -1;     // index into the picture's slice table
    uint8_t cbp = 0;          // coded_block_pattern (luma bits 0..3, chroma << 4)
    uint8_t totalCoeff[16] = {};      // luma 4x4 blocks (Intra16x16: AC block counts)
    uint8_t chromaTotalCoeff[2][4] = {}; // Cb, Cr AC blocks
    int8_t intra4x4Mode[16] = {};     // 2 (DC) where not Intra4x4, for neighbour prediction
    int8_t refIdx[4] = {-1, -1, -1, -1}; // per 8x8 partition, -1 for intra
    // Identity of the reference picture per 8x8 partition (for deblocking's
    // "same reference pictures" test); null for intra.
    const void* refPicture[4] = {};
    MotionVector mv[16];              // per 4x4 block
};

// Parameters of one slice that the deblocking filter needs.
struct SliceFilterParams {
    int disableDeblockingFilterIdc = 0; // 0, 1 or 2
    int filterOffsetA = 0;              // slice_alpha_c0_offset_div2 * 2
    int filterOffsetB = 0;
    int chromaQpIndexOffset = 0;
};

} // namespace QLMedia
