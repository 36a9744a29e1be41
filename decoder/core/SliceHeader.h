// Slice headers (ITU-T H.264 clause 7.3.3) with reference picture list
// modification and decoded reference picture marking syntax.
#pragma once

#include "BitReader.h"
#include "ParameterSets.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace QLMedia {

enum SliceType { kSliceP = 0, kSliceB = 1, kSliceI = 2, kSliceSP = 3, kSliceSI = 4 };

struct RefListModification {
    int idc = 3; // modification_of_pic_nums_idc
    uint32_t value = 0; // abs_diff_pic_num_minus1 or long_term_pic_num
};

struct MemoryManagementOperation {
    int op = 0;
    uint32_t differenceOfPicNumsMinus1 = 0;
    uint32_t longTermPicNum = 0;
    uint32_t longTermFrameIdx = 0;
    uint32_t maxLongTermFrameIdxPlus1 = 0;
};

constexpr int kMaxRefListModifications = 32;
constexpr int kMaxMemoryOperations = 66;

struct SliceHeader {
    int nalRefIdc = 0;
    int nalUnitType = 0;
    bool idr = false;
    uint32_t firstMbInSlice = 0;
    int sliceType = kSliceI;
    int ppsId = 0;
    uint32_t frameNum = 0;
    bool fieldPic = false;
    bool bottomField = false;
    uint32_t idrPicId = 0;
    uint32_t pocLsb = 0;
    int deltaPocBottom = 0;
    int deltaPoc[2] = {};
    uint32_t redundantPicCnt = 0;
    int numRefIdxActive = 0; // list 0
    std::vector<RefListModification> refListModifications;
    bool noOutputOfPriorPics = false;
    bool longTermReference = false;
    bool adaptiveRefPicMarking = false;
    std::vector<MemoryManagementOperation> memoryOperations;
    int sliceQp = 26;
    int disableDeblockingFilterIdc = 0;
    int filterOffsetA = 0;
    int filterOffsetB = 0;
    int sliceGroupChangeCycle = 0;

    bool HasMmco5() const
    {
        for (const auto& m : memoryOperations)
            if (m.op == 5)
                return true;
        return false;
    }
};

using SpsTable = std::array<std::unique_ptr<SequenceParameterSet>, 32>;
using PpsTable = std::array<std::unique_ptr<PictureParameterSet>, 256>;

// Parses the slice header of a slice NAL unit whose RBSP `br` is positioned
// after the NAL header byte. 0 or a status code; on success sps/pps point at
// the sets it uses.
int32_t ParseSliceHeader(BitReader& br, int nalUnitType, int nalRefIdc, const SpsTable& spsTable,
                         const PpsTable& ppsTable, SliceHeader& sh, const SequenceParameterSet*& sps,
                         const PictureParameterSet*& pps);

} // namespace QLMedia
