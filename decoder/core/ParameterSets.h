// Sequence and picture parameter sets (ITU-T H.264 clauses 7.3.2.1 and
// 7.3.2.2) and the slice group map they define (clause 8.2.2).
#pragma once

#include "BitReader.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace QLMedia {

struct SequenceParameterSet {
    int profileIdc = 0;
    int levelIdc = 0;
    bool constraintSet[4] = {};
    int id = 0;
    int chromaFormatIdc = 1;
    int bitDepthLuma = 8;
    int bitDepthChroma = 8;
    int log2MaxFrameNum = 4;
    int pocType = 0;
    int log2MaxPocLsb = 4;
    bool deltaPicOrderAlwaysZero = false;
    int offsetForNonRefPic = 0;
    int offsetForTopToBottomField = 0;
    std::vector<int> offsetForRefFrame; // the type-1 cycle
    int maxNumRefFrames = 0;
    bool gapsInFrameNumAllowed = false;
    int widthMbs = 0;
    int heightMbs = 0; // FrameHeightInMbs
    bool frameMbsOnly = true;
    bool mbAdaptiveFrameField = false;
    bool direct8x8Inference = true;
    int cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0; // in crop units
    // VUI values the decoder uses.
    bool timingInfoPresent = false;
    uint32_t numUnitsInTick = 0;
    uint32_t timeScale = 0;
    bool bitstreamRestriction = false;
    int maxDecFrameBuffering = 0;
    int maxNumReorderFrames = 0;

    int DisplayWidth() const { return 16 * widthMbs - 2 * (cropLeft + cropRight); }
    int DisplayHeight() const { return 16 * heightMbs - 2 * (2 - int(frameMbsOnly)) * (cropTop + cropBottom); }
};

enum class SliceGroupMapType { Interleaved = 0, Dispersed, Foreground, BoxOut, RasterScan, Wipe, Explicit };

struct PictureParameterSet {
    int id = 0;
    int spsId = 0;
    bool entropyCodingCabac = false;
    bool bottomFieldPicOrderPresent = false;
    int numSliceGroups = 1;
    int sliceGroupMapType = 0;
    std::vector<int> runLengthMinus1;
    std::vector<int> topLeft, bottomRight;
    bool sliceGroupChangeDirection = false;
    int sliceGroupChangeRate = 1;
    std::vector<uint8_t> sliceGroupId; // map type 6
    int numRefIdxL0DefaultActive = 1;
    int numRefIdxL1DefaultActive = 1;
    bool weightedPred = false;
    int weightedBipredIdc = 0;
    int picInitQp = 26;
    int picInitQs = 26;
    int chromaQpIndexOffset = 0;
    bool deblockingFilterControlPresent = false;
    bool constrainedIntraPred = false;
    bool redundantPicCntPresent = false;
    bool transform8x8Mode = false;
    int secondChromaQpIndexOffset = 0;
};

// Largest picture accepted, in macroblocks (level 6.2's frame size).
constexpr int kMaxPictureMbs = 139264;
constexpr int kMaxDimensionMbs = 1024;

// Parse an SPS / PPS RBSP (after the NAL header byte). 0 or a status code.
int32_t ParseSps(BitReader& br, SequenceParameterSet& sps);
int32_t ParsePps(BitReader& br, const std::array<std::unique_ptr<SequenceParameterSet>, 32>& spsTable,
                 PictureParameterSet& pps);

// The macroblock-to-slice-group map of a picture (frames only), with the
// slice_group_change_cycle of the slice for map types 3 to 5.
void BuildSliceGroupMap(const SequenceParameterSet& sps, const PictureParameterSet& pps, int changeCycle,
                        std::vector<uint8_t>& map);

// DPB size in frames for the SPS's level and picture size (at most 16).
int DpbSizeFor(const SequenceParameterSet& sps);

} // namespace QLMedia
