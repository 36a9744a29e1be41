// Inter prediction sample interpolation (ITU-T H.264 clause 8.4.2.2):
// quarter-sample luma with the 6-tap filter and eighth-sample chroma, with
// reference coordinates clamped to the picture (there is no border).
#pragma once

#include "Picture.h"

#include <cstddef>
#include <cstdint>

namespace QLMedia {

// Predicts a w x h luma block (w, h in 4..16) whose top-left sample is at
// (x, y) of the current picture, displaced by mv (quarter samples), from ref.
void PredictLumaBlock(uint8_t* dst, ptrdiff_t dstStride, const PicturePlanes& ref, int x, int y, int w, int h,
                      MotionVector mv);

// Predicts the matching w/2 x h/2 blocks of both chroma components; (x, y)
// and mv are in luma units as above.
void PredictChromaBlock(uint8_t* dstCb, uint8_t* dstCr, ptrdiff_t dstStride, const PicturePlanes& ref, int x,
                        int y, int w, int h, MotionVector mv);

} // namespace QLMedia
