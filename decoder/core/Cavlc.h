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
// The level of scanning position k (0..maxNumCoeff-1) goes to
// coeff[scan[k]], so the caller's scan order places the levels in the block
// directly; scan values are below 16. All 16 entries of coeff are written:
// zeros where there is no coefficient. Returns TotalCoeff (0..maxNumCoeff), or
// -1 when the bits do not form a valid block: no coeff_token / total_zeros /
// run_before code matches, TotalCoeff > maxNumCoeff, total_zeros or a
// run_before exceeds the zeros left, level_prefix > 15 (the limit for the
// Baseline, Main and Extended profiles), or the reader ran past its end.
// On -1 coeff is all zeros; if the arguments themselves are invalid (other
// nC / maxNumCoeff combinations) nothing is read or written.
// The reader's position after -1 is unspecified.
int ReadResidualBlockCavlc(BitReader& br, int nC, int maxNumCoeff, const uint8_t* scan, int16_t* coeff);

// Scanning position k to entry k, for blocks whose levels stay in scanning order.
inline constexpr uint8_t kScanInOrder[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

} // namespace QLMedia
