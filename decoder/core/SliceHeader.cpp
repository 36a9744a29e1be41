#include "SliceHeader.h"

#include "Framework.h"

namespace QLMedia {

int32_t ParseSliceHeader(BitReader& br, int nalUnitType, int nalRefIdc, const SpsTable& spsTable,
                         const PpsTable& ppsTable, SliceHeader& sh, const SequenceParameterSet*& sps,
                         const PictureParameterSet*& pps)
{
    sh = SliceHeader{};
    sh.nalUnitType = nalUnitType;
    sh.nalRefIdc = nalRefIdc;
    sh.idr = nalUnitType == 5;
    sh.firstMbInSlice = br.ReadUe();
    uint32_t type = br.ReadUe();
    if (type > 9)
        return H264_ERR_SLICE_TYPE;
    sh.sliceType = int(type % 5);
    const uint32_t ppsId = br.ReadUe();
    if (ppsId > 255)
        return H264_ERR_SLICE_PPS_ID;
    sh.ppsId = int(ppsId);
    pps = ppsTable[ppsId].get();
    if (!pps)
        return H264_ERR_SLICE_PPS_ID;
    sps = spsTable[size_t(pps->spsId)].get();
    if (!sps)
        return H264_ERR_SLICE_PPS_ID;
    if (br.Error())
        return QL_ERR_FAILED;
    // The engine decodes 4:2:0 8-bit progressive CAVLC pictures with P and I
    // slices only; anything else is refused here rather than misdecoded.
    if (sps->chromaFormatIdc != 1 || sps->bitDepthLuma != 8 || sps->bitDepthChroma != 8 || !sps->frameMbsOnly ||
        pps->entropyCodingCabac || sh.sliceType == kSliceB || sh.sliceType == kSliceSP || sh.sliceType == kSliceSI)
        return QL_ERR_NOT_IMPLEMENTED;
    if (sh.firstMbInSlice >= uint32_t(sps->widthMbs * sps->heightMbs))
        return H264_ERR_MB_ADDRESS;
    sh.frameNum = br.ReadBits(sps->log2MaxFrameNum);
    if (sh.idr)
        sh.idrPicId = br.ReadUe();
    if (sps->pocType == 0) {
        sh.pocLsb = br.ReadBits(sps->log2MaxPocLsb);
        if (pps->bottomFieldPicOrderPresent)
            sh.deltaPocBottom = br.ReadSe();
    } else if (sps->pocType == 1 && !sps->deltaPicOrderAlwaysZero) {
        sh.deltaPoc[0] = br.ReadSe();
        if (pps->bottomFieldPicOrderPresent)
            sh.deltaPoc[1] = br.ReadSe();
    }
    if (pps->redundantPicCntPresent)
        sh.redundantPicCnt = br.ReadUe();
    sh.numRefIdxActive = pps->numRefIdxL0DefaultActive;
    if (sh.sliceType == kSliceP) {
        if (br.ReadBit()) { // num_ref_idx_active_override_flag
            const uint32_t n = br.ReadUe() + 1;
            if (n > 32)
                return H264_ERR_REF_INDEX;
            sh.numRefIdxActive = int(n);
        }
        if (br.ReadBit()) { // ref_pic_list_modification_flag_l0
            for (int count = 0;; ++count) {
                if (count > kMaxRefListModifications)
                    return H264_ERR_REORDERING;
                RefListModification m;
                m.idc = int(br.ReadUe());
                if (m.idc == 3)
                    break;
                if (m.idc > 3 || br.Error())
                    return H264_ERR_REORDERING;
                m.value = br.ReadUe();
                sh.refListModifications.push_back(m);
            }
        }
    }
    if (pps->weightedPred && sh.sliceType == kSliceP)
        return QL_ERR_NOT_IMPLEMENTED; // weighted prediction is outside Baseline
    if (nalRefIdc != 0) {
        if (sh.idr) {
            sh.noOutputOfPriorPics = br.ReadBit();
            sh.longTermReference = br.ReadBit();
        } else {
            sh.adaptiveRefPicMarking = br.ReadBit();
            if (sh.adaptiveRefPicMarking) {
                for (int count = 0;; ++count) {
                    MemoryManagementOperation m;
                    const uint32_t op = br.ReadUe();
                    if (op > 6 || br.Error() || count > kMaxMemoryOperations)
                        return H264_ERR_MMCO;
                    if (op == 0)
                        break;
                    m.op = int(op);
                    if (op == 1 || op == 3)
                        m.differenceOfPicNumsMinus1 = br.ReadUe();
                    if (op == 2)
                        m.longTermPicNum = br.ReadUe();
                    if (op == 3 || op == 6) {
                        m.longTermFrameIdx = br.ReadUe();
                        if (m.longTermFrameIdx > 31)
                            return H264_ERR_LONG_TERM_INDEX;
                    }
                    if (op == 4)
                        m.maxLongTermFrameIdxPlus1 = br.ReadUe();
                    sh.memoryOperations.push_back(m);
                }
            }
        }
    }
    const int qp = pps->picInitQp + br.ReadSe();
    if (qp < 0 || qp > 51)
        return H264_ERR_QP_DELTA;
    sh.sliceQp = qp;
    if (pps->deblockingFilterControlPresent) {
        const uint32_t idc = br.ReadUe();
        if (idc > 2)
            return QL_ERR_FAILED;
        sh.disableDeblockingFilterIdc = int(idc);
        if (idc != 1) {
            sh.filterOffsetA = br.ReadSe() * 2;
            sh.filterOffsetB = br.ReadSe() * 2;
            if (sh.filterOffsetA < -12 || sh.filterOffsetA > 12)
                return H264_ERR_FILTER_OFFSET_A;
            if (sh.filterOffsetB < -12 || sh.filterOffsetB > 12)
                return H264_ERR_FILTER_OFFSET_B;
        }
    }
    if (pps->numSliceGroups > 1 && pps->sliceGroupMapType >= 3 && pps->sliceGroupMapType <= 5) {
        // Ceil(Log2(PicSizeInMapUnits / SliceGroupChangeRate + 1)) with an
        // exact division: the smallest bits with (2^bits - 1) * rate >= units.
        const int64_t units = int64_t(sps->widthMbs) * sps->heightMbs;
        int bits = 0;
        while (((int64_t(1) << bits) - 1) * pps->sliceGroupChangeRate < units)
            ++bits;
        sh.sliceGroupChangeCycle = int(br.ReadBits(bits));
    }
    return br.Error() ? QL_ERR_FAILED : QL_OK;
}

} // namespace QLMedia
