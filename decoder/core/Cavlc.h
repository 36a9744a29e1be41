// CAVLC residual block parsing, ITU-T H.264 clause 9.2 (residual_block_cavlc()
// of clause 7.3.5.3.2 with startIdx 0 and endIdx maxNumCoeff - 1).
#pragma once

#include "BitReader.h"

#include <cstdint>

namespace QLMedia {

// Reads one residual_block_cavlc().
//
// nC: the value of clause 9.2.1 computed by the caller (0..16; any value >= 8
// selects the 6-bit fixed-length coeff_token), or -1 for 4:2:0 chroma DC.
// maxNumCoeff: 4 (chroma DC, requires nC == -1), 15 (Intra16x16 AC and chroma
// AC) or 16 (luma 4x4 and Intra16x16 DC).
//
// coeffLevel[0..maxNumCoeff-1] receives the levels in scanning order, zeros
// where there is no coefficient. Returns TotalCoeff (0..maxNumCoeff), or -1
// when the bits do not form a valid block: no coeff_token / total_zeros /
// run_before code matches, TotalCoeff > maxNumCoeff, total_zeros or a
// run_before exceeds the zeros left, level_prefix > 15 (the limit for the
// Baseline, Main and Extended profiles), or the reader ran past its end.
// On -1 coeffLevel[0..maxNumCoeff-1] is all zeros; if the arguments themselves
// are invalid (other nC / maxNumCoeff combinations) nothing is read or written.
// The reader's position after -1 is unspecified.
int ReadResidualBlockCavlc(BitReader& br, int nC, int maxNumCoeff, int16_t* coeffLevel);

} // namespace QLMedia
