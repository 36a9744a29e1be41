// Deblocking filter, ITU-T H.264 clause 8.7, for progressive 4:2:0 8-bit
// frames without the 8x8 transform.
#include "Deblock.h"
#include "Dsp.h"

#include <thread>

#include <bit>
#include <cstring>

namespace QLMedia {
namespace {

// Table 8-16, indexed by indexA and indexB.
constexpr uint8_t kAlpha[52] = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   0,   0,   0,   4,   4,   5,   6,   7,   8,   9,   10,  12,  13,
    15, 17, 20, 22, 25, 28, 32, 36, 40, 45, 50, 56, 63, 71, 80, 90, 101, 113, 127, 144, 162, 182, 203, 226, 255, 255,
};
constexpr uint8_t kBeta[52] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0,  0,  0,  0,  0,  0,  0,  0,  2,  2,  2,  3,  3,  3,  3,  4,  4,  4,
    6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18,
};
// Table 8-17: tC0 for bS 1, 2, 3, indexed by indexA.
constexpr uint8_t kTc0[52][3] = {
    {0, 0, 0},   {0, 0, 0},   {0, 0, 0},   {0, 0, 0},   {0, 0, 0},    {0, 0, 0},    {0, 0, 0},    {0, 0, 0},
    {0, 0, 0},   {0, 0, 0},   {0, 0, 0},   {0, 0, 0},   {0, 0, 0},    {0, 0, 0},    {0, 0, 0},    {0, 0, 0},
    {0, 0, 0},   {0, 0, 1},   {0, 0, 1},   {0, 0, 1},   {0, 0, 1},    {0, 1, 1},    {0, 1, 1},    {1, 1, 1},
    {1, 1, 1},   {1, 1, 1},   {1, 1, 1},   {1, 1, 2},   {1, 1, 2},    {1, 1, 2},    {1, 1, 2},    {1, 2, 3},
    {1, 2, 3},   {2, 2, 3},   {2, 2, 4},   {2, 3, 4},   {2, 3, 4},    {3, 3, 5},    {3, 4, 6},    {3, 4, 6},
    {4, 5, 7},   {4, 5, 8},   {4, 6, 9},   {5, 7, 10},  {6, 8, 11},   {6, 8, 13},   {7, 10, 14},  {8, 11, 16},
    {9, 12, 18}, {10, 13, 20}, {11, 15, 23}, {13, 17, 25},
};
// Table 8-15: QPc for qPI 30..51 (below 30 QPc equals qPI).
constexpr uint8_t kChromaQpHigh[22] = {29, 30, 31, 32, 32, 33, 34, 34, 35, 35, 36,
                                       36, 37, 37, 37, 38, 38, 38, 39, 39, 39, 39};

inline int Abs(int v) { return v < 0 ? -v : v; }
inline int Clip3(int lo, int hi, int v) { return v < lo ? lo : (v > hi ? hi : v); }
inline uint8_t Clip1(int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

int ChromaQp(int qpY, int chromaQpIndexOffset)
{
    const int qPI = Clip3(0, 51, qpY + chromaQpIndexOffset);
    return qPI < 30 ? qPI : kChromaQpHigh[qPI - 30];
}

// ---- Per-line sample filters. `q0p` points at q0; `across` steps from q0
// to q1 (and, negated, from p0 to p1).

template <bool kChroma>
inline void NormalLine(uint8_t* q0p, ptrdiff_t across, int alpha, int beta, int tc0)
{
    const int p0 = q0p[-across];
    const int q0 = q0p[0];
    const int p1 = q0p[-2 * across];
    const int q1 = q0p[across];
    if (Abs(p0 - q0) >= alpha || Abs(p1 - p0) >= beta || Abs(q1 - q0) >= beta)
        return;
    if constexpr (kChroma) {
        const int tc = tc0 + 1;
        const int delta = Clip3(-tc, tc, ((q0 - p0) * 4 + (p1 - q1) + 4) >> 3);
        q0p[-across] = Clip1(p0 + delta);
        q0p[0] = Clip1(q0 - delta);
    } else {
        const int p2 = q0p[-3 * across];
        const int q2 = q0p[2 * across];
        const bool apSmall = Abs(p2 - p0) < beta;
        const bool aqSmall = Abs(q2 - q0) < beta;
        const int tc = tc0 + int(apSmall) + int(aqSmall);
        const int delta = Clip3(-tc, tc, ((q0 - p0) * 4 + (p1 - q1) + 4) >> 3);
        const int mid = (p0 + q0 + 1) >> 1;
        // p1 + a clipped step towards (p2 + mid) / 2 stays within 0..255.
        if (apSmall)
            q0p[-2 * across] = uint8_t(p1 + Clip3(-tc0, tc0, (p2 + mid - 2 * p1) >> 1));
        if (aqSmall)
            q0p[across] = uint8_t(q1 + Clip3(-tc0, tc0, (q2 + mid - 2 * q1) >> 1));
        q0p[-across] = Clip1(p0 + delta);
        q0p[0] = Clip1(q0 - delta);
    }
}

template <bool kChroma>
inline void StrongLine(uint8_t* q0p, ptrdiff_t across, int alpha, int beta)
{
    const int p0 = q0p[-across];
    const int q0 = q0p[0];
    const int p1 = q0p[-2 * across];
    const int q1 = q0p[across];
    if (Abs(p0 - q0) >= alpha || Abs(p1 - p0) >= beta || Abs(q1 - q0) >= beta)
        return;
    if constexpr (kChroma) {
        q0p[-across] = uint8_t((2 * p1 + p0 + q1 + 2) >> 2);
        q0p[0] = uint8_t((2 * q1 + q0 + p1 + 2) >> 2);
    } else {
        const int p2 = q0p[-3 * across];
        const int q2 = q0p[2 * across];
        const bool smallStep = Abs(p0 - q0) < (alpha >> 2) + 2;
        if (smallStep && Abs(p2 - p0) < beta) {
            const int p3 = q0p[-4 * across];
            q0p[-across] = uint8_t((p2 + 2 * p1 + 2 * p0 + 2 * q0 + q1 + 4) >> 3);
            q0p[-2 * across] = uint8_t((p2 + p1 + p0 + q0 + 2) >> 2);
            q0p[-3 * across] = uint8_t((2 * p3 + 3 * p2 + p1 + p0 + q0 + 4) >> 3);
        } else {
            q0p[-across] = uint8_t((2 * p1 + p0 + q1 + 2) >> 2);
        }
        if (smallStep && Abs(q2 - q0) < beta) {
            const int q3 = q0p[3 * across];
            q0p[0] = uint8_t((p1 + 2 * p0 + 2 * q0 + 2 * q1 + q2 + 4) >> 3);
            q0p[across] = uint8_t((p0 + q0 + q1 + q2 + 2) >> 2);
            q0p[2 * across] = uint8_t((2 * q3 + 3 * q2 + q1 + q0 + p0 + 4) >> 3);
        } else {
            q0p[0] = uint8_t((2 * q1 + q0 + p1 + 2) >> 2);
        }
    }
}

// Whole edges: `along` steps from one line to the next, `across` from q0 to q1.
template <bool kChroma>
inline void NormalEdge(uint8_t* pix, ptrdiff_t along, ptrdiff_t across, int alpha, int beta, const int8_t tc0[4])
{
    constexpr int kLinesPerSegment = kChroma ? 2 : 4;
    for (int seg = 0; seg < 4; ++seg) {
        if (tc0[seg] < 0)
            continue;
        uint8_t* line = pix + seg * kLinesPerSegment * along;
        for (int i = 0; i < kLinesPerSegment; ++i)
            NormalLine<kChroma>(line + i * along, across, alpha, beta, tc0[seg]);
    }
}

template <bool kChroma>
inline void StrongEdge(uint8_t* pix, ptrdiff_t along, ptrdiff_t across, int alpha, int beta)
{
    constexpr int kLines = kChroma ? 8 : 16;
    for (int i = 0; i < kLines; ++i)
        StrongLine<kChroma>(pix + i * along, across, alpha, beta);
}

// ---- Boundary strength, clause 8.7.2.1 (frames, one prediction list).

// Bit i set when luma 4x4 block i has coefficients.
inline uint32_t CoeffMask(const MbInfo& mb)
{
    if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes at a time: set the top bit of every non-zero byte, then
        // gather those bits (byte i -> bit i) with one multiplication.
        constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
        uint32_t mask = 0;
        for (int half = 0; half < 2; ++half) {
            uint64_t v;
            std::memcpy(&v, mb.totalCoeff + half * 8, 8);
            const uint64_t top = (((v & kLow7) + kLow7) | v) & ~kLow7;
            mask |= uint32_t(((top >> 7) * 0x0102040810204080ULL) >> 56) << (half * 8);
        }
        return mask;
    } else {
        uint32_t mask = 0;
        for (int i = 0; i < 16; ++i)
            mask |= uint32_t(mb.totalCoeff[i] != 0) << i;
        return mask;
    }
}

inline int PartitionOf(int blk) { return ((blk >> 3) << 1) | ((blk & 3) >> 1); }

// Both macroblocks inter. Every Baseline inter partition carries exactly one
// motion vector, so "different number of motion vectors" cannot arise here.
inline uint8_t InterStrength(const MbInfo& p, int bp, uint32_t pMask, const MbInfo& q, int bq, uint32_t qMask)
{
    if (((pMask >> bp) | (qMask >> bq)) & 1)
        return 2;
    if (p.refPicture[PartitionOf(bp)] != q.refPicture[PartitionOf(bq)])
        return 1;
    const MotionVector& a = p.mv[bp];
    const MotionVector& b = q.mv[bq];
    return (Abs(a.x - b.x) >= 4 || Abs(a.y - b.y) >= 4) ? 1 : 0;
}

// bs[dir][edge][segment]: dir 0 vertical edges (segment = block row), dir 1
// horizontal edges (segment = block column). Null neighbours get bS 0.
void ComputeStrengths(const MbInfo& q, const MbInfo* left, const MbInfo* top, uint8_t bs[2][4][4])
{
    const MbInfo* const neighbour[2] = {left, top};
    if (IsIntra(q.kind)) {
        for (int dir = 0; dir < 2; ++dir) {
            for (int i = 0; i < 4; ++i) {
                bs[dir][0][i] = neighbour[dir] ? 4 : 0;
                bs[dir][1][i] = bs[dir][2][i] = bs[dir][3][i] = 3;
            }
        }
        return;
    }
    const uint32_t qMask = CoeffMask(q);
    for (int dir = 0; dir < 2; ++dir) {
        const MbInfo* p = neighbour[dir];
        if (!p) {
            for (int i = 0; i < 4; ++i)
                bs[dir][0][i] = 0;
        } else if (IsIntra(p->kind)) {
            for (int i = 0; i < 4; ++i)
                bs[dir][0][i] = 4;
        } else {
            const uint32_t pMask = CoeffMask(*p);
            for (int i = 0; i < 4; ++i) {
                // Vertical: p block (3, i) of the left MB, q block (0, i).
                // Horizontal: p block (i, 3) of the top MB, q block (i, 0).
                const int bq = dir == 0 ? i * 4 : i;
                const int bp = dir == 0 ? i * 4 + 3 : 12 + i;
                bs[dir][0][i] = InterStrength(*p, bp, pMask, q, bq, qMask);
            }
        }
    }
    // A single partition has one reference and one motion vector, so only
    // coefficients can make its internal edges non-zero.
    if (q.kind == MbKind::P16x16 || q.kind == MbKind::PSkip) {
        for (int e = 1; e < 4; ++e) {
            for (int i = 0; i < 4; ++i) {
                bs[0][e][i] = ((qMask >> (i * 4 + e - 1)) | (qMask >> (i * 4 + e))) & 1 ? 2 : 0;
                bs[1][e][i] = ((qMask >> (e * 4 + i - 4)) | (qMask >> (e * 4 + i))) & 1 ? 2 : 0;
            }
        }
        return;
    }
    for (int e = 1; e < 4; ++e) {
        for (int i = 0; i < 4; ++i) {
            const int bqV = i * 4 + e;
            bs[0][e][i] = InterStrength(q, bqV - 1, qMask, q, bqV, qMask);
            const int bqH = e * 4 + i;
            bs[1][e][i] = InterStrength(q, bqH - 4, qMask, q, bqH, qMask);
        }
    }
}

inline bool AllZero(const uint8_t s[4]) { return (s[0] | s[1] | s[2] | s[3]) == 0; }

// Thresholds of clause 8.7.2.2 for one qPav. alpha or beta 0 means that no
// sample can pass the filterSamplesFlag test.
struct Thresholds {
    int alpha;
    int beta;
    const uint8_t* tc0; // Table 8-17 row, indexed by bS - 1
    bool Active() const { return alpha != 0 && beta != 0; }
};

inline Thresholds DeriveThresholds(int qPav, const SliceFilterParams& qSlice)
{
    const int indexA = Clip3(0, 51, qPav + qSlice.filterOffsetA);
    const int indexB = Clip3(0, 51, qPav + qSlice.filterOffsetB);
    return {kAlpha[indexA], kBeta[indexB], kTc0[indexA]};
}

void FilterLumaEdge(const DeblockDsp& dsp, uint8_t* pix, ptrdiff_t stride, bool vertical, const uint8_t s[4],
                    const Thresholds& t)
{
    if (!t.Active())
        return;
    if (s[0] == 4) {
        dsp.lumaStrong[vertical ? 0 : 1](pix, stride, t.alpha, t.beta);
        return;
    }
    int8_t tc0[4];
    for (int i = 0; i < 4; ++i)
        tc0[i] = s[i] ? int8_t(t.tc0[s[i] - 1]) : int8_t(-1);
    dsp.lumaNormal[vertical ? 0 : 1](pix, stride, t.alpha, t.beta, tc0);
}

void FilterChromaEdges(const DeblockDsp& dsp, uint8_t* cb, uint8_t* cr, ptrdiff_t stride, bool vertical,
                       const uint8_t s[4], const Thresholds& t)
{
    if (!t.Active())
        return;
    if (s[0] == 4) {
        dsp.chromaStrong[vertical ? 0 : 1](cb, cr, stride, t.alpha, t.beta);
        return;
    }
    int8_t tc0[4];
    for (int i = 0; i < 4; ++i)
        tc0[i] = s[i] ? int8_t(t.tc0[s[i] - 1]) : int8_t(-1);
    dsp.chromaNormal[vertical ? 0 : 1](cb, cr, stride, t.alpha, t.beta, tc0);
}

} // namespace

void DeblockMacroblock(const PicturePlanes& pic, const MbInfo* mbs, int widthMbs, int mbX, int mbY,
                       const SliceFilterParams* slices)
{
    const MbInfo& q = mbs[mbY * widthMbs + mbX];
    if (q.kind == MbKind::Unavailable || q.sliceNumber < 0)
        return;
    const SliceFilterParams& qSlice = slices[q.sliceNumber];
    if (qSlice.disableDeblockingFilterIdc == 1)
        return;
    // With idc 2 a neighbour in another slice counts as unavailable.
    auto usable = [&](const MbInfo& n) {
        if (n.kind == MbKind::Unavailable || n.sliceNumber < 0)
            return false;
        return qSlice.disableDeblockingFilterIdc != 2 || n.sliceNumber == q.sliceNumber;
    };
    const MbInfo* left = mbX > 0 ? &mbs[mbY * widthMbs + mbX - 1] : nullptr;
    const MbInfo* top = mbY > 0 ? &mbs[(mbY - 1) * widthMbs + mbX] : nullptr;
    if (left && !usable(*left))
        left = nullptr;
    if (top && !usable(*top))
        top = nullptr;
    const MbInfo* const neighbour[2] = {left, top};

    uint8_t bs[2][4][4];
    ComputeStrengths(q, left, top, bs);
    const DeblockDsp& dsp = Dsp().deblock;

    // Luma: qPav averages the two macroblocks' QP_Y on macroblock edges.
    uint8_t* const lumaMb = pic.y + ptrdiff_t(mbY) * 16 * pic.lumaPitch + mbX * 16;
    const Thresholds lumaInternal = DeriveThresholds(q.qp, qSlice);
    for (int dir = 0; dir < 2; ++dir) {
        const bool vertical = dir == 0;
        for (int e = 0; e < 4; ++e) {
            if (AllZero(bs[dir][e]))
                continue;
            const Thresholds t =
                e == 0 ? DeriveThresholds((neighbour[dir]->qp + q.qp + 1) >> 1, qSlice) : lumaInternal;
            uint8_t* pix = vertical ? lumaMb + e * 4 : lumaMb + ptrdiff_t(e) * 4 * pic.lumaPitch;
            FilterLumaEdge(dsp, pix, pic.lumaPitch, vertical, bs[dir][e], t);
        }
    }

    // Chroma: 4:2:0 edges at chroma 0 and 4 take the bS of luma edges 0 and
    // 2; chroma line k maps to luma line 2k, i.e. segment k / 2. QPc is
    // derived per macroblock with its own slice's offset, then averaged.
    const int qQpc = ChromaQp(q.qp, qSlice.chromaQpIndexOffset);
    const ptrdiff_t chromaOffset = ptrdiff_t(mbY) * 8 * pic.chromaPitch + mbX * 8;
    uint8_t* const planes[2] = {pic.cb + chromaOffset, pic.cr + chromaOffset};
    for (int dir = 0; dir < 2; ++dir) {
        const bool vertical = dir == 0;
        for (int ce = 0; ce < 2; ++ce) {
            const uint8_t* s = bs[dir][ce * 2];
            if (AllZero(s))
                continue;
            int qPav = qQpc;
            if (ce == 0) {
                const MbInfo& p = *neighbour[dir];
                qPav = (ChromaQp(p.qp, slices[p.sliceNumber].chromaQpIndexOffset) + qQpc + 1) >> 1;
            }
            const Thresholds t = DeriveThresholds(qPav, qSlice);
            const ptrdiff_t at = vertical ? ce * 4 : ptrdiff_t(ce) * 4 * pic.chromaPitch;
            FilterChromaEdges(dsp, planes[0] + at, planes[1] + at, pic.chromaPitch, vertical, s, t);
        }
    }
}

namespace {

// The chroma kernels of the table, one plane after the other.
template <DeblockNormalKernel Kernel>
void BothPlanes(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    Kernel(cb, stride, alpha, beta, tc0);
    Kernel(cr, stride, alpha, beta, tc0);
}

template <DeblockStrongKernel Kernel>
void BothPlanesStrong(uint8_t* cb, uint8_t* cr, ptrdiff_t stride, int alpha, int beta)
{
    Kernel(cb, stride, alpha, beta);
    Kernel(cr, stride, alpha, beta);
}

} // namespace

void InitDeblockC(DeblockDsp& dsp)
{
    dsp.lumaNormal[0] = FilterLumaEdgeVertical;
    dsp.lumaNormal[1] = FilterLumaEdgeHorizontal;
    dsp.chromaNormal[0] = BothPlanes<FilterChromaEdgeVertical>;
    dsp.chromaNormal[1] = BothPlanes<FilterChromaEdgeHorizontal>;
    dsp.lumaStrong[0] = FilterLumaEdgeVerticalStrong;
    dsp.lumaStrong[1] = FilterLumaEdgeHorizontalStrong;
    dsp.chromaStrong[0] = BothPlanesStrong<FilterChromaEdgeVerticalStrong>;
    dsp.chromaStrong[1] = BothPlanesStrong<FilterChromaEdgeHorizontalStrong>;
}

void FilterLumaEdgeVertical(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    NormalEdge<false>(pix, stride, 1, alpha, beta, tc0);
}

void FilterLumaEdgeHorizontal(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    NormalEdge<false>(pix, 1, stride, alpha, beta, tc0);
}

void FilterLumaEdgeVerticalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta)
{
    StrongEdge<false>(pix, stride, 1, alpha, beta);
}

void FilterLumaEdgeHorizontalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta)
{
    StrongEdge<false>(pix, 1, stride, alpha, beta);
}

void FilterChromaEdgeVertical(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    NormalEdge<true>(pix, stride, 1, alpha, beta, tc0);
}

void FilterChromaEdgeHorizontal(uint8_t* pix, ptrdiff_t stride, int alpha, int beta, const int8_t tc0[4])
{
    NormalEdge<true>(pix, 1, stride, alpha, beta, tc0);
}

void FilterChromaEdgeVerticalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta)
{
    StrongEdge<true>(pix, stride, 1, alpha, beta);
}

void FilterChromaEdgeHorizontalStrong(uint8_t* pix, ptrdiff_t stride, int alpha, int beta)
{
    StrongEdge<true>(pix, 1, stride, alpha, beta);
}

bool DeblockGeometryFits(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
                         const SliceFilterParams* slices)
{
    return picture.y && picture.cb && picture.cr && mbs && slices && widthMbs > 0 && heightMbs > 0 &&
           picture.width >= widthMbs * 16 && picture.height >= heightMbs * 16 && picture.lumaPitch >= widthMbs * 16 &&
           picture.chromaPitch >= widthMbs * 8;
}

void DeblockPicture(const PicturePlanes& picture, const MbInfo* mbs, int widthMbs, int heightMbs,
                    const SliceFilterParams* slices)
{
    // Refuse geometry the planes cannot hold rather than write outside them.
    if (!DeblockGeometryFits(picture, mbs, widthMbs, heightMbs, slices))
        return;
    for (int mbY = 0; mbY < heightMbs; ++mbY)
        for (int mbX = 0; mbX < widthMbs; ++mbX)
            DeblockMacroblock(picture, mbs, widthMbs, mbX, mbY, slices);
}

} // namespace QLMedia
