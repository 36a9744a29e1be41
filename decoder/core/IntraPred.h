// Intra prediction (ITU-T H.264 clause 8.3) into picture memory. The
// neighbouring samples are read from the picture around dst (they are the
// reconstructed, not yet deblocked, samples), as far as `avail` allows. The
// kernels themselves are in the Dsp() table (IntraPredDsp); these choose
// the kernel for the mode and the neighbours at hand.
#pragma once

#include "Dsp.h"

#include <cstddef>
#include <cstdint>

namespace QLMedia {

enum IntraAvail : unsigned {
    kAvailLeft = 1,
    kAvailTop = 2,
    kAvailTopRight = 4,
    kAvailTopLeft = 8,
};

// Whether the mode can predict from these neighbours; when it cannot (a
// bitstream error) the Predict functions leave dst alone and return false.
bool Intra4x4ModeUsable(int mode, unsigned avail);
bool Intra16x16ModeUsable(int mode, unsigned avail);
bool IntraChromaModeUsable(int mode, unsigned avail);

bool PredictIntra4x4(const IntraPredDsp& dsp, uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail);
bool PredictIntra16x16(const IntraPredDsp& dsp, uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail);
// One 8x8 chroma block (4:2:0).
bool PredictIntraChroma(const IntraPredDsp& dsp, uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail);

} // namespace QLMedia
