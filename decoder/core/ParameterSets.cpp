#include "ParameterSets.h"

#include "Framework.h"

#include <algorithm>

namespace QLMedia {

namespace {

bool IsHighProfile(int profileIdc)
{
    switch (profileIdc) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128: case 138: case 139:
    case 134: case 135:
        return true;
    default:
        return false;
    }
}

void SkipScalingList(BitReader& br, int size)
{
    int lastScale = 8;
    int nextScale = 8;
    for (int j = 0; j < size && !br.Error(); ++j) {
        if (nextScale != 0) {
            const int delta = br.ReadSe();
            nextScale = (lastScale + delta + 256) % 256;
        }
        lastScale = nextScale == 0 ? lastScale : nextScale;
    }
}

void SkipHrd(BitReader& br)
{
    const uint32_t cpbCnt = br.ReadUe() + 1;
    if (cpbCnt > 32) {
        br.SetError();
        return;
    }
    br.ReadBits(8); // bit_rate_scale, cpb_size_scale
    for (uint32_t i = 0; i < cpbCnt && !br.Error(); ++i) {
        br.ReadUe();
        br.ReadUe();
        br.ReadBit();
    }
    br.ReadBits(20); // four 5-bit length fields
}

// VUI fields that do not matter are read past; a damaged VUI only loses the
// values it would have given.
void ParseVui(BitReader& br, SequenceParameterSet& sps)
{
    if (br.ReadBit()) { // aspect_ratio_info_present_flag
        if (br.ReadBits(8) == 255)
            br.ReadBits(32);
    }
    if (br.ReadBit()) // overscan_info_present_flag
        br.ReadBit();
    if (br.ReadBit()) { // video_signal_type_present_flag
        br.ReadBits(4);
        if (br.ReadBit())
            br.ReadBits(24);
    }
    if (br.ReadBit()) { // chroma_loc_info_present_flag
        br.ReadUe();
        br.ReadUe();
    }
    sps.timingInfoPresent = br.ReadBit();
    if (sps.timingInfoPresent) {
        sps.numUnitsInTick = br.ReadBits(32);
        sps.timeScale = br.ReadBits(32);
        br.ReadBit();
    }
    const bool nalHrd = br.ReadBit();
    if (nalHrd)
        SkipHrd(br);
    const bool vclHrd = br.ReadBit();
    if (vclHrd)
        SkipHrd(br);
    if (nalHrd || vclHrd)
        br.ReadBit();
    br.ReadBit(); // pic_struct_present_flag
    const bool restriction = br.ReadBit();
    if (restriction) {
        br.ReadBit();
        br.ReadUe();
        br.ReadUe();
        br.ReadUe();
        br.ReadUe();
        const uint32_t reorder = br.ReadUe();
        const uint32_t buffering = br.ReadUe();
        if (!br.Error() && reorder <= 16 && buffering <= 16) {
            sps.bitstreamRestriction = true;
            sps.maxNumReorderFrames = int(reorder);
            sps.maxDecFrameBuffering = int(buffering);
        }
    }
    if (br.Error()) {
        sps.timingInfoPresent = false;
        sps.bitstreamRestriction = false;
    }
}

int CeilLog2(int n)
{
    int bits = 0;
    while ((1 << bits) < n)
        ++bits;
    return bits;
}

} // namespace

int32_t ParseSps(BitReader& br, SequenceParameterSet& sps)
{
    sps = SequenceParameterSet{};
    sps.profileIdc = int(br.ReadBits(8));
    for (bool& flag : sps.constraintSet)
        flag = br.ReadBit();
    br.ReadBits(4);
    sps.levelIdc = int(br.ReadBits(8));
    const uint32_t id = br.ReadUe();
    if (id >= 32)
        return H264_ERR_SPS_ID;
    sps.id = int(id);
    if (IsHighProfile(sps.profileIdc)) {
        sps.chromaFormatIdc = int(br.ReadUe());
        if (sps.chromaFormatIdc > 3)
            return QL_ERR_FAILED;
        if (sps.chromaFormatIdc == 3)
            br.ReadBit();
        sps.bitDepthLuma = int(br.ReadUe()) + 8;
        sps.bitDepthChroma = int(br.ReadUe()) + 8;
        br.ReadBit(); // qpprime_y_zero_transform_bypass_flag
        if (br.ReadBit()) { // seq_scaling_matrix_present_flag
            const int lists = sps.chromaFormatIdc != 3 ? 8 : 12;
            for (int i = 0; i < lists; ++i)
                if (br.ReadBit())
                    SkipScalingList(br, i < 6 ? 16 : 64);
        }
    }
    const uint32_t log2MaxFrameNum = br.ReadUe() + 4;
    if (log2MaxFrameNum > 16)
        return QL_ERR_FAILED;
    sps.log2MaxFrameNum = int(log2MaxFrameNum);
    const uint32_t pocType = br.ReadUe();
    if (pocType > 2)
        return H264_ERR_POC_TYPE;
    sps.pocType = int(pocType);
    if (pocType == 0) {
        const uint32_t log2MaxPocLsb = br.ReadUe() + 4;
        if (log2MaxPocLsb > 16)
            return QL_ERR_FAILED;
        sps.log2MaxPocLsb = int(log2MaxPocLsb);
    } else if (pocType == 1) {
        sps.deltaPicOrderAlwaysZero = br.ReadBit();
        sps.offsetForNonRefPic = br.ReadSe();
        sps.offsetForTopToBottomField = br.ReadSe();
        const uint32_t cycle = br.ReadUe();
        if (cycle > 255)
            return QL_ERR_FAILED;
        sps.offsetForRefFrame.resize(cycle);
        for (int& offset : sps.offsetForRefFrame)
            offset = br.ReadSe();
    }
    const uint32_t maxRefFrames = br.ReadUe();
    if (maxRefFrames > 16)
        return QL_ERR_FAILED;
    sps.maxNumRefFrames = int(maxRefFrames);
    sps.gapsInFrameNumAllowed = br.ReadBit();
    const uint32_t widthMbs = br.ReadUe() + 1;
    const uint32_t heightMapUnits = br.ReadUe() + 1;
    sps.frameMbsOnly = br.ReadBit();
    if (!sps.frameMbsOnly)
        sps.mbAdaptiveFrameField = br.ReadBit();
    sps.direct8x8Inference = br.ReadBit();
    if (!sps.frameMbsOnly)
        sps.direct8x8Inference = true;
    const uint32_t heightMbs = heightMapUnits * (sps.frameMbsOnly ? 1 : 2);
    if (widthMbs > kMaxDimensionMbs || heightMbs > kMaxDimensionMbs || widthMbs * heightMbs > kMaxPictureMbs)
        return QL_ERR_FAILED;
    sps.widthMbs = int(widthMbs);
    sps.heightMbs = int(heightMbs);
    if (br.ReadBit()) { // frame_cropping_flag
        const uint32_t left = br.ReadUe(), right = br.ReadUe(), top = br.ReadUe(), bottom = br.ReadUe();
        const uint32_t cropUnitY = 2 * (2 - (sps.frameMbsOnly ? 1 : 0));
        if (2 * (uint64_t(left) + right) >= 16 * widthMbs || cropUnitY * (uint64_t(top) + bottom) >= 16 * heightMbs)
            return QL_ERR_FAILED;
        sps.cropLeft = int(left);
        sps.cropRight = int(right);
        sps.cropTop = int(top);
        sps.cropBottom = int(bottom);
    }
    if (br.Error())
        return QL_ERR_FAILED;
    if (br.ReadBit()) // vui_parameters_present_flag
        ParseVui(br, sps);
    return QL_OK;
}

int32_t ParsePps(BitReader& br, const std::array<std::unique_ptr<SequenceParameterSet>, 32>& spsTable,
                 PictureParameterSet& pps)
{
    pps = PictureParameterSet{};
    const uint32_t id = br.ReadUe();
    if (id > 255)
        return H264_ERR_PPS_ID;
    pps.id = int(id);
    const uint32_t spsId = br.ReadUe();
    if (spsId > 31)
        return H264_ERR_PPS_SPS_ID;
    pps.spsId = int(spsId);
    const SequenceParameterSet* sps = spsTable[spsId].get();
    if (!sps)
        return H264_ERR_PPS_SPS_ID;
    pps.entropyCodingCabac = br.ReadBit();
    pps.bottomFieldPicOrderPresent = br.ReadBit();
    const uint32_t groups = br.ReadUe() + 1;
    if (groups > 8)
        return H264_ERR_SLICE_GROUP_COUNT;
    pps.numSliceGroups = int(groups);
    const int mapUnits = sps->widthMbs * (sps->heightMbs / (sps->frameMbsOnly ? 1 : 2));
    if (groups > 1) {
        const uint32_t type = br.ReadUe();
        if (type > 6)
            return H264_ERR_MAP_TYPE;
        pps.sliceGroupMapType = int(type);
        if (type == 0) {
            pps.runLengthMinus1.resize(groups);
            for (int& run : pps.runLengthMinus1) {
                const uint32_t r = br.ReadUe();
                if (r >= uint32_t(mapUnits))
                    return H264_ERR_RUN_LENGTH;
                run = int(r);
            }
        } else if (type == 2) {
            pps.topLeft.resize(groups - 1);
            pps.bottomRight.resize(groups - 1);
            for (uint32_t i = 0; i + 1 < groups; ++i) {
                const uint32_t tl = br.ReadUe();
                const uint32_t br_ = br.ReadUe();
                if (tl > br_ || tl % sps->widthMbs > br_ % sps->widthMbs)
                    return H264_ERR_BOX_ORDER;
                if (tl >= uint32_t(mapUnits))
                    return H264_ERR_BOX_TOP_LEFT;
                if (br_ >= uint32_t(mapUnits))
                    return H264_ERR_BOX_BOTTOM_RIGHT;
                pps.topLeft[i] = int(tl);
                pps.bottomRight[i] = int(br_);
            }
        } else if (type >= 3 && type <= 5) {
            if (groups != 2)
                return H264_ERR_MAP_TYPE_GROUPS;
            pps.sliceGroupChangeDirection = br.ReadBit();
            const uint32_t rate = br.ReadUe() + 1;
            if (rate > uint32_t(mapUnits))
                return H264_ERR_CHANGE_RATE;
            pps.sliceGroupChangeRate = int(rate);
        } else if (type == 6) {
            const uint32_t size = br.ReadUe() + 1;
            if (size != uint32_t(mapUnits))
                return H264_ERR_MAP_SIZE;
            const int bits = CeilLog2(int(groups));
            pps.sliceGroupId.resize(size);
            for (uint8_t& g : pps.sliceGroupId) {
                const uint32_t v = br.ReadBits(bits);
                if (v >= groups)
                    return H264_ERR_SLICE_GROUP_ID;
                g = uint8_t(v);
            }
        }
    }
    const uint32_t l0 = br.ReadUe() + 1;
    const uint32_t l1 = br.ReadUe() + 1;
    if (l0 > 32 || l1 > 32)
        return QL_ERR_FAILED;
    pps.numRefIdxL0DefaultActive = int(l0);
    pps.numRefIdxL1DefaultActive = int(l1);
    pps.weightedPred = br.ReadBit();
    pps.weightedBipredIdc = int(br.ReadBits(2));
    pps.picInitQp = 26 + br.ReadSe();
    pps.picInitQs = 26 + br.ReadSe();
    pps.chromaQpIndexOffset = br.ReadSe();
    if (pps.picInitQp < 0 || pps.picInitQp > 51 || pps.chromaQpIndexOffset < -12 || pps.chromaQpIndexOffset > 12)
        return QL_ERR_FAILED;
    pps.deblockingFilterControlPresent = br.ReadBit();
    pps.constrainedIntraPred = br.ReadBit();
    pps.redundantPicCntPresent = br.ReadBit();
    pps.secondChromaQpIndexOffset = pps.chromaQpIndexOffset;
    if (br.Error())
        return QL_ERR_FAILED;
    if (br.MoreRbspData()) {
        pps.transform8x8Mode = br.ReadBit();
        if (br.ReadBit()) { // pic_scaling_matrix_present_flag
            const int lists = 6 + (sps->chromaFormatIdc != 3 ? 2 : 6) * int(pps.transform8x8Mode);
            for (int i = 0; i < lists; ++i)
                if (br.ReadBit())
                    SkipScalingList(br, i < 6 ? 16 : 64);
        }
        pps.secondChromaQpIndexOffset = br.ReadSe();
        if (br.Error())
            return QL_ERR_FAILED;
    }
    return QL_OK;
}

void BuildSliceGroupMap(const SequenceParameterSet& sps, const PictureParameterSet& pps, int changeCycle,
                        std::vector<uint8_t>& map)
{
    const int w = sps.widthMbs;
    const int h = sps.heightMbs;
    const int size = w * h;
    map.assign(size_t(size), 0);
    const int groups = pps.numSliceGroups;
    if (groups <= 1)
        return;
    const int unitsInGroup0 = std::min(int64_t(changeCycle) * pps.sliceGroupChangeRate, int64_t(size));
    const int dir = pps.sliceGroupChangeDirection ? 1 : 0;
    switch (pps.sliceGroupMapType) {
    case 0: {
        int i = 0;
        do {
            for (int g = 0; g < groups && i < size; i += pps.runLengthMinus1[size_t(g++)] + 1)
                for (int j = 0; j <= pps.runLengthMinus1[size_t(g)] && i + j < size; ++j)
                    map[size_t(i + j)] = uint8_t(g);
        } while (i < size);
        break;
    }
    case 1:
        for (int i = 0; i < size; ++i)
            map[size_t(i)] = uint8_t(((i % w) + (((i / w) * groups) / 2)) % groups);
        break;
    case 2:
        std::fill(map.begin(), map.end(), uint8_t(groups - 1));
        for (int g = groups - 2; g >= 0; --g) {
            const int y0 = pps.topLeft[size_t(g)] / w, x0 = pps.topLeft[size_t(g)] % w;
            const int y1 = pps.bottomRight[size_t(g)] / w, x1 = pps.bottomRight[size_t(g)] % w;
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x)
                    map[size_t(y * w + x)] = uint8_t(g);
        }
        break;
    case 3: {
        std::fill(map.begin(), map.end(), uint8_t(1));
        int x = (w - dir) / 2, y = (h - dir) / 2;
        int left = x, top = y, right = x, bottom = y;
        int xDir = dir - 1, yDir = dir;
        for (int k = 0, vacant = 0; k < unitsInGroup0; k += vacant) {
            vacant = map[size_t(y * w + x)] == 1;
            if (vacant)
                map[size_t(y * w + x)] = 0;
            if (xDir == -1 && x == left) {
                left = std::max(left - 1, 0);
                x = left;
                xDir = 0;
                yDir = 2 * dir - 1;
            } else if (xDir == 1 && x == right) {
                right = std::min(right + 1, w - 1);
                x = right;
                xDir = 0;
                yDir = 1 - 2 * dir;
            } else if (yDir == -1 && y == top) {
                top = std::max(top - 1, 0);
                y = top;
                xDir = 1 - 2 * dir;
                yDir = 0;
            } else if (yDir == 1 && y == bottom) {
                bottom = std::min(bottom + 1, h - 1);
                y = bottom;
                xDir = 2 * dir - 1;
                yDir = 0;
            } else {
                x += xDir;
                y += yDir;
            }
        }
        break;
    }
    case 4: {
        const int upperLeft = dir ? size - unitsInGroup0 : unitsInGroup0;
        for (int i = 0; i < size; ++i)
            map[size_t(i)] = uint8_t(i < upperLeft ? dir : 1 - dir);
        break;
    }
    case 5: {
        const int upperLeft = dir ? size - unitsInGroup0 : unitsInGroup0;
        int k = 0;
        for (int j = 0; j < w; ++j)
            for (int i = 0; i < h; ++i)
                map[size_t(i * w + j)] = uint8_t(k++ < upperLeft ? dir : 1 - dir);
        break;
    }
    case 6:
        for (int i = 0; i < size && i < int(pps.sliceGroupId.size()); ++i)
            map[size_t(i)] = pps.sliceGroupId[size_t(i)];
        break;
    default:
        break;
    }
}

int DpbSizeFor(const SequenceParameterSet& sps)
{
    int maxDpb;
    switch (sps.levelIdc) {
    case 10: maxDpb = 297; break;
    case 11: maxDpb = 675; break;
    case 12: case 13: case 20: maxDpb = 1782; break;
    case 21: maxDpb = 3564; break;
    case 22: case 30: maxDpb = 6075; break;
    case 31: maxDpb = 13500; break;
    case 32: maxDpb = 15360; break;
    case 40: case 41: case 42: maxDpb = 24576; break;
    case 50: maxDpb = 82800; break;
    default: maxDpb = 138240; break;
    }
    const double frameBytes = 1.5 * (16.0 * sps.widthMbs) * (16.0 * sps.heightMbs);
    const int size = int(double(maxDpb) * 512 / frameBytes);
    return std::clamp(size, 1, 16);
}

} // namespace QLMedia
