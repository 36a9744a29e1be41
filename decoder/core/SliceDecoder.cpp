#include "SliceDecoder.h"

#include "Cavlc.h"
#include "Dsp.h"
#include "Framework.h"
#include "InterPred.h"
#include "IntraPred.h"
#include "Transform.h"

#include <algorithm>
#include <cstring>

namespace QLMedia {

namespace {

// coded_block_pattern from me(v) (Table 9-4, 4:2:0): [codeNum][intra, inter].
const uint8_t kCbpTable[48][2] = {
    {47, 0},  {31, 16}, {15, 1},  {0, 2},   {23, 4},  {27, 8},  {29, 32}, {30, 3},  {7, 5},   {11, 10},
    {13, 12}, {14, 15}, {39, 47}, {43, 7},  {45, 11}, {46, 13}, {16, 14}, {3, 6},   {5, 9},   {10, 31},
    {12, 35}, {19, 37}, {21, 42}, {26, 44}, {28, 33}, {35, 34}, {37, 36}, {42, 40}, {44, 39}, {1, 43},
    {2, 45},  {4, 46},  {8, 17},  {17, 18}, {18, 20}, {20, 24}, {24, 19}, {6, 21},  {9, 26},  {22, 28},
    {25, 23}, {32, 27}, {33, 29}, {34, 30}, {36, 22}, {40, 25}, {38, 38}, {41, 41}};

// z-order 4x4 block index -> raster block index (by * 4 + bx).
const uint8_t kZToRaster[16] = {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15};
// raster block index -> z-order index.
const uint8_t kRasterToZ[16] = {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15};

// Motion of a neighbouring block: ref -1 for an intra block, kNotAvailable
// where there is none. Eight bytes, so that it comes back in one register
// (a separate flag byte made every call stall on reassembling it).
struct Neighbour {
    static constexpr int kNotAvailable = -2;
    int ref = kNotAvailable;
    MotionVector mv;
    bool Available() const { return ref != kNotAvailable; }
};

int Median(int a, int b, int c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Availability of the neighbouring samples of 4x4 block (bx, by) for intra
// prediction, from the macroblock's usable neighbours.
unsigned Intra4x4Avail(unsigned neighbours, int bx, int by)
{
    unsigned avail = 0;
    if (bx > 0 || (neighbours & kNeighbourLeft))
        avail |= kAvailLeft;
    if (by > 0 || (neighbours & kNeighbourTop))
        avail |= kAvailTop;
    if (bx > 0 && by > 0)
        avail |= kAvailTopLeft;
    else if ((bx == 0 && by > 0 && (neighbours & kNeighbourLeft)) || (bx > 0 && by == 0 && (neighbours & kNeighbourTop)) ||
             (bx == 0 && by == 0 && (neighbours & kNeighbourTopLeft)))
        avail |= kAvailTopLeft;
    if (by == 0) {
        if ((bx < 3 && (neighbours & kNeighbourTop)) || (bx == 3 && (neighbours & kNeighbourTopRight)))
            avail |= kAvailTopRight;
    } else if (bx < 3 && kRasterToZ[(by - 1) * 4 + bx + 1] < kRasterToZ[by * 4 + bx]) {
        avail |= kAvailTopRight;
    }
    return avail;
}

// The same for a whole macroblock (16x16 luma and chroma prediction).
unsigned MbIntraAvail(unsigned neighbours)
{
    unsigned avail = 0;
    if (neighbours & kNeighbourLeft)
        avail |= kAvailLeft;
    if (neighbours & kNeighbourTop)
        avail |= kAvailTop;
    if (neighbours & kNeighbourTopLeft)
        avail |= kAvailTopLeft;
    return avail;
}

class MacroblockParser {
public:
    MacroblockParser(BitReader& br, const SliceContext& ctx)
        : br_(br), ctx_(ctx), sps_(*ctx.sps), pps_(*ctx.pps), sh_(*ctx.header), widthMbs_(ctx.sps->widthMbs)
    {
        qp_ = sh_.sliceQp;
    }

    int32_t Decode(int& decodedMbs);

private:
    int32_t DecodeMacroblock(int addr, bool skipped);
    int32_t DecodeIntra(int mbType);
    int32_t DecodeInter(int mbType);
    int32_t ReadResidual(bool intra16x16, int cbpLuma, int cbpChroma);
    int32_t PredictPartition(int x, int y, int w, int h, int refIdx, MotionVector mvd, int shape);
    void PredictSkip();
    MotionVector PredictMv(int x, int y, int w, int h, int refIdx, int shape);
    Neighbour NeighbourAt(int x, int y) const;
    const MbInfo* MbAt(int mbx, int mby) const;
    bool IntraAvailable(const MbInfo* n) const
    {
        return n && !(pps_.constrainedIntraPred && !IsIntra(n->kind));
    }
    int TotalCoeffNc(int bx, int by) const;
    int ChromaNc(int c, int bx, int by) const;
    int32_t MotionCompensate(int x, int y, int w, int h, int refIdx, MotionVector mv);

    BitReader& br_;
    const SliceContext& ctx_;
    const SequenceParameterSet& sps_;
    const PictureParameterSet& pps_;
    const SliceHeader& sh_;
    const int widthMbs_;
    int qp_;

    // Current macroblock.
    int mbx_ = 0, mby_ = 0;
    MbInfo* mb_ = nullptr;
    MacroblockWork* work_ = nullptr;
    const MbInfo* nbA_ = nullptr; // left, above, above right, above left (null: unavailable)
    const MbInfo* nbB_ = nullptr;
    const MbInfo* nbC_ = nullptr;
    const MbInfo* nbD_ = nullptr;
    uint16_t mvAssigned_ = 0; // 4x4 blocks (raster) whose motion is known
};

const MbInfo* MacroblockParser::MbAt(int mbx, int mby) const
{
    if (mbx < 0 || mby < 0 || mbx >= widthMbs_ || mby >= sps_.heightMbs)
        return nullptr;
    const MbInfo* m = &ctx_.mbs[mby * widthMbs_ + mbx];
    return m->sliceNumber == ctx_.sliceNumber ? m : nullptr;
}

int32_t MacroblockParser::Decode(int& decodedMbs)
{
    const int total = widthMbs_ * sps_.heightMbs;
    const std::vector<uint8_t>* map = ctx_.sliceGroupMap;
    auto next = [&](int n) {
        if (!map || map->empty())
            return n + 1;
        int i = n + 1;
        while (i < total && (*map)[size_t(i)] != (*map)[size_t(n)])
            ++i;
        return i;
    };
    int addr = int(sh_.firstMbInSlice);
    bool moreData = true;
    while (moreData) {
        if (sh_.sliceType != kSliceI) {
            const uint32_t run = br_.ReadUe();
            if (br_.Error() || run > uint32_t(total))
                return H264_ERR_SKIP_RUN;
            for (uint32_t i = 0; i < run; ++i) {
                if (addr >= total)
                    return H264_ERR_SKIP_RUN;
                const int32_t status = DecodeMacroblock(addr, true);
                if (status)
                    return status;
                ++decodedMbs;
                ctx_.sink->Commit();
                addr = next(addr);
            }
            if (run > 0)
                moreData = br_.MoreRbspData();
        }
        if (moreData) {
            if (addr >= total)
                return H264_ERR_MB_ADDRESS;
            const int32_t status = DecodeMacroblock(addr, false);
            if (status)
                return status;
            ++decodedMbs;
            ctx_.sink->Commit();
            moreData = br_.MoreRbspData();
            addr = next(addr);
        }
    }
    return br_.Error() ? H264_ERR_SLICE_DATA : QL_OK;
}

int32_t MacroblockParser::DecodeMacroblock(int addr, bool skipped)
{
    mbx_ = addr % widthMbs_;
    mby_ = addr / widthMbs_;
    mb_ = &ctx_.mbs[addr];
    if (mb_->sliceNumber >= 0)
        return H264_ERR_MB_ADDRESS; // decoded twice in one picture
    // A copy of a prepared record: wide moves, where clearing the record
    // and then setting its modes took a slow string store.
    static const MbInfo kFresh = [] {
        MbInfo m;
        std::fill(std::begin(m.intra4x4Mode), std::end(m.intra4x4Mode), int8_t(2));
        return m;
    }();
    std::memcpy(static_cast<void*>(mb_), &kFresh, sizeof kFresh);
    nbA_ = MbAt(mbx_ - 1, mby_);
    nbB_ = MbAt(mbx_, mby_ - 1);
    nbC_ = MbAt(mbx_ + 1, mby_ - 1);
    nbD_ = MbAt(mbx_ - 1, mby_ - 1);
    mvAssigned_ = 0;
    mb_->sliceNumber = ctx_.sliceNumber;

    MacroblockWork& w = ctx_.sink->Slot();
    work_ = &w;
    w.addr = addr;
    w.partitionCount = 0;
    w.refList = ctx_.refList;
    w.chromaQpOffset[0] = pps_.chromaQpIndexOffset;
    w.chromaQpOffset[1] = pps_.secondChromaQpIndexOffset;
    w.neighbours = uint8_t((IntraAvailable(nbA_) ? kNeighbourLeft : 0) | (IntraAvailable(nbB_) ? kNeighbourTop : 0) |
                           (IntraAvailable(nbC_) ? kNeighbourTopRight : 0) |
                           (IntraAvailable(nbD_) ? kNeighbourTopLeft : 0));

    if (skipped) {
        mb_->kind = MbKind::PSkip;
        mb_->qp = int8_t(qp_);
        std::memset(w.lumaCoded, 0, sizeof w.lumaCoded);
        std::memset(w.chromaCoded, 0, sizeof w.chromaCoded);
        w.qp = qp_;
        PredictSkip();
        return MotionCompensate(0, 0, 16, 16, 0, mb_->mv[0]);
    }
    const uint32_t mbType = br_.ReadUe();
    if (br_.Error())
        return H264_ERR_MB_TYPE;
    if (sh_.sliceType == kSliceI) {
        if (mbType > 25)
            return H264_ERR_MB_TYPE;
        return DecodeIntra(int(mbType));
    }
    if (mbType > 30)
        return H264_ERR_MB_TYPE;
    if (mbType >= 5)
        return DecodeIntra(int(mbType) - 5);
    return DecodeInter(int(mbType));
}

int32_t MacroblockParser::DecodeIntra(int mbType)
{
    MacroblockWork& w = *work_;
    if (mbType == 25) { // I_PCM
        mb_->kind = MbKind::IPCM;
        while (!br_.ByteAligned())
            br_.ReadBit();
        uint8_t* samples = w.Pcm();
        for (int i = 0; i < 384; ++i)
            samples[i] = uint8_t(br_.ReadBits(8));
        std::fill(std::begin(mb_->totalCoeff), std::end(mb_->totalCoeff), uint8_t(16));
        for (auto& c : mb_->chromaTotalCoeff)
            std::fill(std::begin(c), std::end(c), uint8_t(16));
        mb_->qp = 0; // the deblocking filter treats PCM samples as QP 0
        mb_->cbp = 0x2F;
        return br_.Error() ? H264_ERR_SLICE_DATA : QL_OK;
    }
    int cbpLuma = 0, cbpChroma = 0;
    const bool i16 = mbType != 0;
    if (!i16) {
        mb_->kind = MbKind::I4x4;
        for (int z = 0; z < 16; ++z) {
            const int raster = kZToRaster[z];
            const int bx = raster & 3, by = raster >> 2;
            // Modes of the neighbouring blocks; 2 (DC) where a neighbour is not
            // an Intra4x4 block, and DC prediction when one is unavailable.
            const MbInfo* left = bx > 0 ? mb_ : nbA_;
            const MbInfo* up = by > 0 ? mb_ : nbB_;
            int predMode = 2;
            if (IntraAvailable(left) && IntraAvailable(up)) {
                const int modeA = left->intra4x4Mode[by * 4 + ((bx + 3) & 3)];
                const int modeB = up->intra4x4Mode[((by + 3) & 3) * 4 + bx];
                predMode = std::min(modeA, modeB);
            }
            if (!br_.ReadBit()) {
                const int rem = int(br_.ReadBits(3));
                predMode = rem < predMode ? rem : rem + 1;
            }
            mb_->intra4x4Mode[raster] = int8_t(predMode);
            if (!Intra4x4ModeUsable(predMode, Intra4x4Avail(w.neighbours, bx, by)))
                return H264_ERR_INTRA_MODE;
        }
    } else {
        mb_->kind = MbKind::I16x16;
        w.intra16x16Mode = uint8_t((mbType - 1) % 4);
        if (!Intra16x16ModeUsable(w.intra16x16Mode, MbIntraAvail(w.neighbours)))
            return H264_ERR_INTRA_MODE;
        cbpChroma = ((mbType - 1) / 4) % 3;
        cbpLuma = mbType >= 13 ? 15 : 0;
    }
    const uint32_t chromaMode = br_.ReadUe();
    if (chromaMode > 3 || br_.Error() || !IntraChromaModeUsable(int(chromaMode), MbIntraAvail(w.neighbours)))
        return H264_ERR_INTRA_MODE;
    w.intraChromaMode = uint8_t(chromaMode);
    if (!i16) {
        const uint32_t code = br_.ReadUe();
        if (code > 47)
            return H264_ERR_CBP;
        cbpLuma = kCbpTable[code][0] & 15;
        cbpChroma = kCbpTable[code][0] >> 4;
    }
    mb_->cbp = uint8_t(cbpLuma | (cbpChroma << 4));
    const int32_t status = ReadResidual(i16, cbpLuma, cbpChroma);
    if (status)
        return status;
    mb_->qp = int8_t(qp_);
    w.qp = qp_;
    return QL_OK;
}

int32_t MacroblockParser::DecodeInter(int mbType)
{
    static const MbKind kKinds[5] = {MbKind::P16x16, MbKind::P16x8, MbKind::P8x16, MbKind::P8x8, MbKind::P8x8};
    mb_->kind = kKinds[mbType];
    const int numRef = sh_.numRefIdxActive;
    auto readRef = [&](int& ref) -> bool {
        if (numRef <= 1) {
            ref = 0;
            return true;
        }
        uint32_t v = numRef == 2 ? 1 - br_.ReadBit() : br_.ReadUe(); // te(v)
        if (v >= uint32_t(numRef) || br_.Error())
            return false;
        ref = int(v);
        return true;
    };
    auto readMvd = [&](MotionVector& mvd) {
        const int x = br_.ReadSe(), y = br_.ReadSe();
        mvd.x = int16_t(std::clamp(x, -32768, 32767));
        mvd.y = int16_t(std::clamp(y, -32768, 32767));
    };

    if (mbType <= 2) {
        const int parts = mbType == 0 ? 1 : 2;
        int refs[2] = {};
        MotionVector mvds[2];
        for (int p = 0; p < parts; ++p)
            if (!readRef(refs[p]))
                return H264_ERR_REF_INDEX;
        for (int p = 0; p < parts; ++p)
            readMvd(mvds[p]);
        if (br_.Error())
            return H264_ERR_MVD;
        for (int p = 0; p < parts; ++p) {
            int x = 0, y = 0, w = 16, h = 16;
            if (mbType == 1) {
                h = 8;
                y = 8 * p;
            } else if (mbType == 2) {
                w = 8;
                x = 8 * p;
            }
            const int32_t status = PredictPartition(x, y, w, h, refs[p], mvds[p], mbType);
            if (status)
                return status;
        }
    } else {
        int subType[4];
        for (int& t : subType) {
            const uint32_t v = br_.ReadUe();
            if (v > 3 || br_.Error())
                return H264_ERR_SUB_MB_TYPE;
            t = int(v);
        }
        int refs[4] = {};
        if (mbType == 3)
            for (int& r : refs)
                if (!readRef(r))
                    return H264_ERR_REF_INDEX;
        MotionVector mvds[4][4];
        for (int s = 0; s < 4; ++s) {
            const int count = subType[s] == 0 ? 1 : subType[s] == 3 ? 4 : 2;
            for (int i = 0; i < count; ++i)
                readMvd(mvds[s][i]);
        }
        if (br_.Error())
            return H264_ERR_MVD;
        for (int s = 0; s < 4; ++s) {
            const int sx = (s & 1) * 8, sy = (s >> 1) * 8;
            const int count = subType[s] == 0 ? 1 : subType[s] == 3 ? 4 : 2;
            for (int i = 0; i < count; ++i) {
                int x = sx, y = sy, w = 8, h = 8;
                if (subType[s] == 1) {
                    h = 4;
                    y += 4 * i;
                } else if (subType[s] == 2) {
                    w = 4;
                    x += 4 * i;
                } else if (subType[s] == 3) {
                    w = h = 4;
                    x += 4 * (i & 1);
                    y += 4 * (i >> 1);
                }
                const int32_t status = PredictPartition(x, y, w, h, refs[s], mvds[s][i], -1);
                if (status)
                    return status;
            }
        }
    }
    const uint32_t code = br_.ReadUe();
    if (code > 47 || br_.Error())
        return H264_ERR_CBP;
    const int cbpLuma = kCbpTable[code][1] & 15;
    const int cbpChroma = kCbpTable[code][1] >> 4;
    mb_->cbp = uint8_t(cbpLuma | (cbpChroma << 4));
    const int32_t status = ReadResidual(false, cbpLuma, cbpChroma);
    if (status)
        return status;
    mb_->qp = int8_t(qp_);
    work_->qp = qp_;
    return QL_OK;
}

Neighbour MacroblockParser::NeighbourAt(int x, int y) const
{
    Neighbour n;
    const MbInfo* m;
    if (x >= 0 && x < 16 && y >= 0 && y < 16) {
        const int blk = (y >> 2) * 4 + (x >> 2);
        if (!(mvAssigned_ & (1u << blk)))
            return n;
        n.ref = mb_->refIdx[(y >> 3) * 2 + (x >> 3)];
        n.mv = mb_->mv[blk];
        return n;
    }
    if (y < 0)
        m = x < 0 ? nbD_ : x < 16 ? nbB_ : nbC_;
    else if (x < 0)
        m = nbA_;
    else
        return n; // right of the macroblock: not yet decoded
    if (!m)
        return n;
    n.ref = -1;
    if (IsIntra(m->kind))
        return n;
    const int xl = x & 15, yl = y & 15;
    n.ref = m->refIdx[(yl >> 3) * 2 + (xl >> 3)];
    n.mv = m->mv[(yl >> 2) * 4 + (xl >> 2)];
    return n;
}

MotionVector MacroblockParser::PredictMv(int x, int y, int w, int h, int refIdx, int shape)
{
    const Neighbour a = NeighbourAt(x - 1, y);
    const Neighbour b = NeighbourAt(x, y - 1);
    Neighbour c = NeighbourAt(x + w, y - 1);
    if (!c.Available())
        c = NeighbourAt(x - 1, y - 1);
    if (shape == 1) { // 16x8
        if (y == 0 && b.ref == refIdx)
            return b.mv;
        if (y == 8 && a.ref == refIdx)
            return a.mv;
    } else if (shape == 2) { // 8x16
        if (x == 0 && a.ref == refIdx)
            return a.mv;
        if (x == 8 && c.ref == refIdx)
            return c.mv;
    }
    if (!b.Available() && !c.Available() && a.Available())
        return a.mv;
    const int matches = (a.ref == refIdx) + (b.ref == refIdx) + (c.ref == refIdx);
    if (matches == 1) {
        if (a.ref == refIdx)
            return a.mv;
        if (b.ref == refIdx)
            return b.mv;
        return c.mv;
    }
    MotionVector mv;
    mv.x = int16_t(Median(a.mv.x, b.mv.x, c.mv.x));
    mv.y = int16_t(Median(a.mv.y, b.mv.y, c.mv.y));
    return mv;
}

void MacroblockParser::PredictSkip()
{
    const Neighbour a = NeighbourAt(-1, 0);
    const Neighbour b = NeighbourAt(0, -1);
    MotionVector mv;
    const MotionVector zero;
    if (a.Available() && b.Available() && !(a.ref == 0 && a.mv == zero) && !(b.ref == 0 && b.mv == zero))
        mv = PredictMv(0, 0, 16, 16, 0, 0);
    std::fill(std::begin(mb_->mv), std::end(mb_->mv), mv);
    std::fill(std::begin(mb_->refIdx), std::end(mb_->refIdx), int8_t(0));
    mvAssigned_ = 0xFFFF;
}

int32_t MacroblockParser::PredictPartition(int x, int y, int w, int h, int refIdx, MotionVector mvd, int shape)
{
    MotionVector mv = PredictMv(x, y, w, h, refIdx, shape);
    mv.x = int16_t(mv.x + mvd.x);
    mv.y = int16_t(mv.y + mvd.y);
    for (int by = y >> 2; by < (y + h) >> 2; ++by)
        for (int bx = x >> 2; bx < (x + w) >> 2; ++bx) {
            mb_->mv[by * 4 + bx] = mv;
            mvAssigned_ |= uint16_t(1u << (by * 4 + bx));
        }
    return MotionCompensate(x, y, w, h, refIdx, mv);
}

int32_t MacroblockParser::MotionCompensate(int x, int y, int w, int h, int refIdx, MotionVector mv)
{
    const std::vector<RefPicture>& refList = *ctx_.refList;
    if (refIdx < 0 || refIdx >= int(refList.size()) || !refList[size_t(refIdx)].identity)
        return H264_ERR_MISSING_REFERENCE;
    const RefPicture& ref = refList[size_t(refIdx)];
    // Every 8x8 partition the block touches uses this reference (blocks
    // smaller than 8x8 lie inside one partition).
    for (int py = (y >> 3) & 1; py <= ((y + h - 1) >> 3 & 1); ++py)
        for (int px = (x >> 3) & 1; px <= ((x + w - 1) >> 3 & 1); ++px) {
            mb_->refIdx[py * 2 + px] = int8_t(refIdx);
            mb_->refPicture[py * 2 + px] = ref.identity;
        }
    MacroblockWork::Partition& part = work_->partitions[work_->partitionCount++];
    part.x = uint8_t(x);
    part.y = uint8_t(y);
    part.w = uint8_t(w);
    part.h = uint8_t(h);
    part.ref = uint8_t(refIdx);
    part.mv = mv;
    return QL_OK;
}

int MacroblockParser::TotalCoeffNc(int bx, int by) const
{
    const MbInfo* left = bx > 0 ? mb_ : nbA_;
    const MbInfo* up = by > 0 ? mb_ : nbB_;
    const int nA = left ? left->totalCoeff[by * 4 + ((bx + 3) & 3)] : 0;
    const int nB = up ? up->totalCoeff[((by + 3) & 3) * 4 + bx] : 0;
    if (left && up)
        return (nA + nB + 1) >> 1;
    return left ? nA : up ? nB : 0;
}

int MacroblockParser::ChromaNc(int c, int bx, int by) const
{
    const MbInfo* left = bx > 0 ? mb_ : nbA_;
    const MbInfo* up = by > 0 ? mb_ : nbB_;
    const int nA = left ? left->chromaTotalCoeff[c][by * 2 + (bx ^ 1)] : 0;
    const int nB = up ? up->chromaTotalCoeff[c][(by ^ 1) * 2 + bx] : 0;
    if (left && up)
        return (nA + nB + 1) >> 1;
    return left ? nA : up ? nB : 0;
}

int32_t MacroblockParser::ReadResidual(bool intra16x16, int cbpLuma, int cbpChroma)
{
    MacroblockWork& w = *work_;
    std::memset(w.lumaCoded, 0, sizeof w.lumaCoded);
    std::memset(w.chromaCoded, 0, sizeof w.chromaCoded);
    if (cbpLuma || cbpChroma || intra16x16) {
        const int delta = br_.ReadSe();
        if (delta < -26 || delta > 25)
            return H264_ERR_QP_DELTA;
        qp_ = (qp_ + delta + 52) % 52;
    }
    int16_t levels[16];
    if (intra16x16) {
        const int n = ReadResidualBlockCavlc(br_, TotalCoeffNc(0, 0), 16, kZigzag4x4, levels);
        if (n < 0)
            return H264_ERR_RESIDUAL;
        std::copy(levels, levels + 16, w.lumaDc);
    }
    for (int z = 0; z < 16; ++z) {
        const int raster = kZToRaster[z];
        const int bx = raster & 3, by = raster >> 2;
        if (!(cbpLuma & (1 << (z >> 2)))) {
            mb_->totalCoeff[raster] = 0;
            continue;
        }
        const int maxCoeff = intra16x16 ? 15 : 16;
        const uint8_t* scan = intra16x16 ? kZigzag4x4 + 1 : kZigzag4x4;
        const int n = ReadResidualBlockCavlc(br_, TotalCoeffNc(bx, by), maxCoeff, scan, w.luma[raster]);
        if (n < 0)
            return H264_ERR_RESIDUAL;
        mb_->totalCoeff[raster] = uint8_t(n);
        w.lumaCoded[raster] = n > 0;
    }
    if (cbpChroma) {
        for (int c = 0; c < 2; ++c) {
            const int n = ReadResidualBlockCavlc(br_, -1, 4, kScanInOrder, levels);
            if (n < 0)
                return H264_ERR_CHROMA_DC;
            for (int i = 0; i < 4; ++i)
                w.chromaDc[c][i] = levels[i];
        }
    }
    for (int c = 0; c < 2; ++c)
        for (int b = 0; b < 4; ++b) {
            if (cbpChroma != 2) {
                mb_->chromaTotalCoeff[c][b] = 0;
                continue;
            }
            const int n = ReadResidualBlockCavlc(br_, ChromaNc(c, b & 1, b >> 1), 15, kZigzag4x4 + 1, w.chroma[c][b]);
            if (n < 0)
                return H264_ERR_RESIDUAL;
            mb_->chromaTotalCoeff[c][b] = uint8_t(n);
            w.chromaCoded[c][b] = n > 0;
        }
    return br_.Error() ? H264_ERR_RESIDUAL : QL_OK;
}

// Reconstruction of one macroblock from its record.
class MacroblockBuilder {
public:
    MacroblockBuilder(const MacroblockWork& work, const MbInfo& mb, const PicturePlanes& picture, int widthMbs)
        : w_(work), mb_(mb), pic_(picture), dsp_(Dsp())
    {
        mbx_ = work.addr % widthMbs;
        mby_ = work.addr / widthMbs;
        lumaDst_ = pic_.y + ptrdiff_t(mby_) * 16 * pic_.lumaPitch + mbx_ * 16;
        cbDst_ = pic_.cb + ptrdiff_t(mby_) * 8 * pic_.chromaPitch + mbx_ * 8;
        crDst_ = pic_.cr + ptrdiff_t(mby_) * 8 * pic_.chromaPitch + mbx_ * 8;
    }

    void Build();

private:
    void ReconstructLumaBlock(int raster); // a block with its own DC
    void ReconstructLumaPair(int raster);  // the block and the one right of it
    void ReconstructLuma16x16();
    void ReconstructChroma();

    const MacroblockWork& w_;
    const MbInfo& mb_;
    const PicturePlanes& pic_;
    const DecoderDsp& dsp_;
    int mbx_ = 0, mby_ = 0;
    uint8_t* lumaDst_ = nullptr;
    uint8_t* cbDst_ = nullptr;
    uint8_t* crDst_ = nullptr;
};

void MacroblockBuilder::Build()
{
    if (mb_.kind == MbKind::IPCM) {
        const uint8_t* sample = w_.Pcm();
        for (int y = 0; y < 16; ++y, sample += 16)
            std::memcpy(lumaDst_ + y * pic_.lumaPitch, sample, 16);
        for (uint8_t* dst : {cbDst_, crDst_})
            for (int y = 0; y < 8; ++y, sample += 8)
                std::memcpy(dst + y * pic_.chromaPitch, sample, 8);
        return;
    }
    if (IsIntra(mb_.kind)) {
        // The modes were checked against the neighbours while parsing.
        const unsigned avail = MbIntraAvail(w_.neighbours);
        if (mb_.kind == MbKind::I16x16) {
            PredictIntra16x16(dsp_.intra, lumaDst_, pic_.lumaPitch, w_.intra16x16Mode, avail);
            ReconstructLuma16x16();
        } else {
            for (int z = 0; z < 16; ++z) {
                const int raster = kZToRaster[z];
                const int bx = raster & 3, by = raster >> 2;
                uint8_t* dst = lumaDst_ + by * 4 * pic_.lumaPitch + bx * 4;
                PredictIntra4x4(dsp_.intra, dst, pic_.lumaPitch, mb_.intra4x4Mode[raster],
                                Intra4x4Avail(w_.neighbours, bx, by));
                ReconstructLumaBlock(raster);
            }
        }
        PredictIntraChroma(dsp_.intra, cbDst_, pic_.chromaPitch, w_.intraChromaMode, avail);
        PredictIntraChroma(dsp_.intra, crDst_, pic_.chromaPitch, w_.intraChromaMode, avail);
        if (mb_.cbp >> 4)
            ReconstructChroma();
        return;
    }
    for (int i = 0; i < w_.partitionCount; ++i) {
        const MacroblockWork::Partition& p = w_.partitions[i];
        const PicturePlanes& ref = (*w_.refList)[p.ref].planes;
        const int px = mbx_ * 16 + p.x, py = mby_ * 16 + p.y;
        PredictLumaBlock(lumaDst_ + p.y * pic_.lumaPitch + p.x, pic_.lumaPitch, ref, px, py, p.w, p.h, p.mv);
        PredictChromaBlock(cbDst_ + (p.y / 2) * pic_.chromaPitch + p.x / 2,
                           crDst_ + (p.y / 2) * pic_.chromaPitch + p.x / 2, pic_.chromaPitch, ref, px, py, p.w, p.h,
                           p.mv);
    }
    if (mb_.cbp & 15)
        for (int raster = 0; raster < 16; raster += 2)
            ReconstructLumaPair(raster);
    if (mb_.cbp >> 4)
        ReconstructChroma();
}

void MacroblockBuilder::ReconstructLumaBlock(int raster)
{
    if (!w_.lumaCoded[raster])
        return;
    const ptrdiff_t pitch = pic_.lumaPitch;
    uint8_t* dst = lumaDst_ + (raster >> 2) * 4 * pitch + (raster & 3) * 4;
    if (mb_.totalCoeff[raster] == 1 && w_.luma[raster][0])
        dsp_.transform.addDc4x4(DequantiseDc4x4(w_.luma[raster][0], w_.qp), dst, pitch);
    else
        dsp_.transform.dequantIdctAdd(w_.luma[raster], w_.qp, dst, pitch);
}

void MacroblockBuilder::ReconstructLumaPair(int raster)
{
    auto full = [&](int r) { return w_.lumaCoded[r] && !(mb_.totalCoeff[r] == 1 && w_.luma[r][0]); };
    if (!full(raster) || !full(raster + 1)) {
        ReconstructLumaBlock(raster);
        ReconstructLumaBlock(raster + 1);
        return;
    }
    const ptrdiff_t pitch = pic_.lumaPitch;
    dsp_.transform.dequantIdctAdd2(w_.luma[raster], w_.qp, lumaDst_ + (raster >> 2) * 4 * pitch + (raster & 3) * 4, pitch);
}

// Two side by side blocks whose DC comes from the DC transform.
void ReconstructAcPair(const TransformDsp& t, const int16_t (*levels)[16], const bool* coded, const int32_t* dc, int qp,
                       uint8_t* dst, ptrdiff_t pitch)
{
    if (coded[0] && coded[1]) {
        t.dequantIdctAddAc2(levels[0], dc, qp, dst, pitch);
        return;
    }
    for (int i = 0; i < 2; ++i) {
        if (coded[i])
            t.dequantIdctAddAc(levels[i], dc[i], qp, dst + 4 * i, pitch);
        else if (dc[i])
            t.addDc4x4(dc[i], dst + 4 * i, pitch);
    }
}

void MacroblockBuilder::ReconstructLuma16x16()
{
    int32_t lumaDc_[16]; // the DC transform works in place
    std::memcpy(lumaDc_, w_.lumaDc, sizeof lumaDc_);
    bool anyDc = false;
    for (int32_t v : lumaDc_)
        anyDc |= v != 0;
    if (anyDc)
        InverseLumaDc(lumaDc_, w_.qp);
    else if (!(mb_.cbp & 15))
        return;
    const ptrdiff_t pitch = pic_.lumaPitch;
    for (int raster = 0; raster < 16; raster += 2)
        ReconstructAcPair(dsp_.transform, w_.luma + raster, w_.lumaCoded + raster, lumaDc_ + raster, w_.qp,
                          lumaDst_ + (raster >> 2) * 4 * pitch + (raster & 3) * 4, pitch);
}

void MacroblockBuilder::ReconstructChroma()
{
    uint8_t* dsts[2] = {cbDst_, crDst_};
    const ptrdiff_t pitch = pic_.chromaPitch;
    int32_t chromaDc_[2][4]; // the DC transform works in place
    std::memcpy(chromaDc_, w_.chromaDc, sizeof chromaDc_);
    for (int c = 0; c < 2; ++c) {
        const int qpc = kChromaQp[std::clamp(w_.qp + w_.chromaQpOffset[c], 0, 51)];
        bool anyDc = false;
        for (int32_t v : chromaDc_[c])
            anyDc |= v != 0;
        if (anyDc)
            InverseChromaDc(chromaDc_[c], qpc);
        for (int b = 0; b < 4; b += 2)
            ReconstructAcPair(dsp_.transform, w_.chroma[c] + b, w_.chromaCoded[c] + b, chromaDc_[c] + b, qpc,
                              dsts[c] + (b >> 1) * 4 * pitch, pitch);
    }
}

} // namespace

int32_t DecodeSliceData(BitReader& br, const SliceContext& ctx, int& decodedMbs)
{
    MacroblockParser parser(br, ctx);
    return parser.Decode(decodedMbs);
}

void ReconstructMacroblock(const MacroblockWork& work, const MbInfo& mb, const PicturePlanes& picture, int widthMbs)
{
    MacroblockBuilder(work, mb, picture, widthMbs).Build();
}

} // namespace QLMedia
