// The deblocking filter of ITU-T H.264 clause 8.7 for progressive 4:2:0
// 8-bit frames with 4x4 transforms only (Baseline profile).
//
// DeblockPicture walks the macroblocks and derives boundary strengths and
// thresholds; the sample work happens in the edge kernels below, whose
// signatures are shared so that a table of SIMD kernels can later replace
// them one by one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Picture.h"

namespace QLMedia {

// Filters a whole decoded picture in place, macroblocks in raster order,
// each macroblock's vertical edges (left to right) then horizontal edges
// (top to bottom), luma then chroma, as clause 8.7 orders it.
// mbs: widthMbs*heightMbs entries in raster order; slices: indexed by
// MbInfo::sliceNumber. A macroblock of kind Unavailable is not filtered, and
// an edge to an Unavailable neighbour is treated like a picture border.
void DeblockPicture(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
                    const SliceFilterParams* slices);

// Whether the planes hold widthMbs x heightMbs macroblocks (and the tables
// exist); DeblockPicture filters nothing otherwise.
bool DeblockGeometryFits(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
                         const SliceFilterParams* slices);

// Filters one macroblock's edges (its left and top edges and the inner
// ones); DeblockPicture is this in raster order. The geometry must fit.
void DeblockMacroblock(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int mbX, int mbY,
                       const SliceFilterParams* slices);

// Edge kernels. `pix` points at sample q0 of the first line of the edge:
// for a vertical edge the p samples are pix[-1], pix[-2], ... and lines
// follow each other `stride` bytes apart; for a horizontal edge the p
// samples are pix[-stride], pix[-2 * stride], ... and lines are adjacent
// bytes. A luma edge is 16 lines, a chroma edge 8 lines.
//
// Normal kernels (bS 1..3, clause 8.7.2.3): tc0[i] is tC0 from Table 8-17
// for segment i (luma lines 4i..4i+3, chroma lines 2i..2i+1), or negative
// where that segment's bS is 0 and it must be left alone.
using DeblockNormalKernel = void (*)(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4]);
// Strong kernels (bS 4, clause 8.7.2.4): in frames bS 4 only occurs on whole
// macroblock edges, so it applies to every line of the edge.
using DeblockStrongKernel = void (*)(uint8_t* pix, ptrdiff_t stride, int alpha, int beta);

void FilterLumaEdgeVertical(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4]);
void FilterLumaEdgeHorizontal(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4]);
void FilterLumaEdgeVerticalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta);
void FilterLumaEdgeHorizontalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta);
void FilterChromaEdgeVertical(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4]);
void FilterChromaEdgeHorizontal(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4]);
void FilterChromaEdgeVerticalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta);
void FilterChromaEdgeHorizontalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta);

} // namespace QLMedia
