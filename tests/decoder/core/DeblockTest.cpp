// Deblocking filter (ITU-T H.264 clause 8.7) on small synthetic pictures.
// Expected samples are worked out by hand from the clause 8.7.2.3/8.7.2.4
// formulas and Tables 8-15..8-17; the arithmetic is written next to each.
#include "core/Deblock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace QLMedia {
namespace {

constexpr int kMarginRows = 4; // guard rows above and below every plane
constexpr uint8_t kGuard = 0;

// One plane inside a guarded, 64-byte aligned buffer: rows of margin above
// and below, and at least 64 bytes of padding right of every row.
struct Plane {
    Plane(int w, int h) : width(w), height(h), pitch((w + 63) / 64 * 64 + 64)
    {
        size = size_t(pitch) * size_t(h + 2 * kMarginRows);
        buf = static_cast<uint8_t*>(std::aligned_alloc(64, size));
        std::memset(buf, kGuard, size);
    }
    ~Plane() { std::free(buf); }
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;

    uint8_t* Origin() const { return buf + kMarginRows * pitch; }
    uint8_t& At(int x, int y) { return buf[(y + kMarginRows) * pitch + x]; }
    template <typename F> void Fill(F f)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                At(x, y) = uint8_t(f(x, y));
    }
    bool GuardIntact() const
    {
        for (ptrdiff_t i = 0; i < ptrdiff_t(size); ++i) {
            const ptrdiff_t row = i / pitch - kMarginRows;
            const ptrdiff_t col = i % pitch;
            const bool inside = row >= 0 && row < height && col < width;
            if (!inside && buf[i] != kGuard)
                return false;
        }
        return true;
    }
    std::vector<uint8_t> Snapshot() const { return std::vector<uint8_t>(buf, buf + size); }

    int width, height;
    ptrdiff_t pitch;
    size_t size = 0;
    uint8_t* buf = nullptr;
};

int gRefA, gRefB; // reference picture identities

MbInfo Intra(int qp, MbKind kind = MbKind::I16x16, int slice = 0)
{
    MbInfo mb;
    mb.kind = kind;
    mb.qp = int8_t(qp);
    mb.sliceNumber = slice;
    return mb;
}

MbInfo Inter(int qp, MotionVector mv = {}, const void* ref = &gRefA, int slice = 0)
{
    MbInfo mb;
    mb.kind = MbKind::P16x16;
    mb.qp = int8_t(qp);
    mb.sliceNumber = slice;
    for (int i = 0; i < 4; ++i) {
        mb.refIdx[i] = 0;
        mb.refPicture[i] = ref;
    }
    for (MotionVector& v : mb.mv)
        v = mv;
    return mb;
}

struct TestPicture {
    TestPicture(int wMbs, int hMbs)
        : widthMbs(wMbs), heightMbs(hMbs), y(wMbs * 16, hMbs * 16), cb(wMbs * 8, hMbs * 8), cr(wMbs * 8, hMbs * 8),
          mbs(size_t(wMbs * hMbs)), slices(1)
    {
        y.Fill([](int, int) { return 100; });
        cb.Fill([](int, int) { return 100; });
        cr.Fill([](int, int) { return 100; });
    }
    MbInfo& Mb(int mx, int my) { return mbs[size_t(my * widthMbs + mx)]; }
    void Run()
    {
        PicturePlanes planes;
        planes.y = y.Origin();
        planes.cb = cb.Origin();
        planes.cr = cr.Origin();
        planes.lumaPitch = y.pitch;
        planes.chromaPitch = cb.pitch;
        planes.width = widthMbs * 16;
        planes.height = heightMbs * 16;
        DeblockPicture(planes, mbs.data(), widthMbs, heightMbs, slices.data());
        EXPECT_TRUE(y.GuardIntact() && cb.GuardIntact() && cr.GuardIntact()) << "wrote outside the picture";
    }
    int widthMbs, heightMbs;
    Plane y, cb, cr;
    std::vector<MbInfo> mbs;
    std::vector<SliceFilterParams> slices;
};

// Every row of luma equals `row` (given from x = first on), so a failure
// names the row and column.
void ExpectLumaRows(TestPicture& pic, int first, const std::vector<int>& row, int y0 = 0, int y1 = -1)
{
    if (y1 < 0)
        y1 = pic.y.height;
    for (int yy = y0; yy < y1; ++yy)
        for (size_t i = 0; i < row.size(); ++i)
            EXPECT_EQ(pic.y.At(first + int(i), yy), row[i]) << "x=" << first + int(i) << " y=" << yy;
}

// ---- Luma, intra macroblock edges (bS 4) and internal edges (bS 3).

TEST(DeblockLumaIntra, SmallStepTakesStrongFilterThenInternalEdge)
{
    // QP 30: alpha 25, beta 8; 100|104 is below (25 >> 2) + 2 = 8, so both
    // sides take the strong form:
    //   p0' = (100 + 200 + 200 + 208 + 104 + 4) >> 3 = 102
    //   p1' = (100 + 100 + 100 + 104 + 2) >> 2 = 101
    //   p2' = (200 + 300 + 100 + 100 + 104 + 4) >> 3 = 101
    //   q0' = (100 + 200 + 208 + 208 + 104 + 4) >> 3 = 103
    //   q1' = (100 + 104 + 104 + 104 + 2) >> 2 = 103
    //   q2' = (208 + 312 + 104 + 104 + 100 + 4) >> 3 = 104
    // Then the internal edge x = 20 (bS 3, tC0 2) sees p = 103 103 104 104:
    //   p1' = 104 + ((103 + 104 - 208) >> 1) = 104 + (-1 >> 1) = 103.
    TestPicture pic(2, 1);
    pic.Mb(0, 0) = Intra(30);
    pic.Mb(1, 0) = Intra(30, MbKind::I4x4);
    pic.y.Fill([](int x, int) { return x < 16 ? 100 : 104; });
    pic.Run();
    ExpectLumaRows(pic, 11, {100, 100, 101, 101, 102, 103, 103, 103, 104, 104});
    ExpectLumaRows(pic, 0, {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100});
    ExpectLumaRows(pic, 21, {104, 104, 104, 104, 104, 104, 104, 104, 104, 104, 104});
}

TEST(DeblockLumaIntra, StepOfAlphaOrMoreIsLeftAlone)
{
    TestPicture pic(2, 1);
    pic.Mb(0, 0) = Intra(30);
    pic.Mb(1, 0) = Intra(30);
    pic.y.Fill([](int x, int) { return x < 16 ? 100 : 125; }); // |p0 - q0| = alpha = 25
    const std::vector<uint8_t> before = pic.y.Snapshot();
    pic.Run();
    EXPECT_EQ(pic.y.Snapshot(), before);
}

TEST(DeblockLumaIntra, StrongFormNeedsStepBelowQuarterAlphaPlusTwo)
{
    // QP 30: the bound is (25 >> 2) + 2 = 8. The right MB is inter without
    // coefficients (one intra side is enough for bS 4), so it has no
    // internal edges to filter afterwards.
    // Step 7, strong: p0' = (100 + 200 + 200 + 214 + 107 + 4) >> 3 = 103,
    //   p1' = (300 + 107 + 2) >> 2 = 102, p2' = (200 + 300 + 200 + 107 + 4) >> 3 = 101,
    //   q0' = (100 + 200 + 214 + 214 + 107 + 4) >> 3 = 104,
    //   q1' = (100 + 321 + 2) >> 2 = 105, q2' = (214 + 321 + 214 + 100 + 4) >> 3 = 106.
    // Step 8, p0 and q0 only: (200 + 100 + 108 + 2) >> 2 = 102, (216 + 108 + 100 + 2) >> 2 = 106.
    // Step 10: (200 + 100 + 110 + 2) >> 2 = 103, (220 + 110 + 100 + 2) >> 2 = 108.
    const struct {
        int step;
        std::vector<int> row; // x = 12..19
    } cases[] = {
        {7, {100, 101, 102, 103, 104, 105, 106, 107}},
        {8, {100, 100, 100, 102, 106, 108, 108, 108}},
        {10, {100, 100, 100, 103, 108, 110, 110, 110}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        TestPicture pic(2, 1);
        pic.Mb(0, 0) = Intra(30);
        pic.Mb(1, 0) = Inter(30);
        pic.y.Fill([&](int x, int) { return x < 16 ? 100 : 100 + c.step; });
        pic.Run();
        ExpectLumaRows(pic, 12, c.row);
    }
}

TEST(DeblockLumaIntra, StrongFormIsDecidedPerSide)
{
    // QP 30, beta 8; left MB intra, right MB inter without coefficients.
    {
        // p flat 100, q = 104 104 120: aq = 16 >= beta, so q takes
        // q0' = (208 + 104 + 100 + 2) >> 2 = 103 while p takes the strong
        // form (102, 101, 101 as with a flat 104).
        TestPicture pic(2, 1);
        pic.Mb(0, 0) = Intra(30);
        pic.Mb(1, 0) = Inter(30);
        pic.y.Fill([](int x, int) { return x < 16 ? 100 : (x < 18 ? 104 : 120); });
        pic.Run();
        ExpectLumaRows(pic, 12, {100, 101, 101, 102, 103, 104, 120, 120});
    }
    {
        // p = 80 100 100 (x = 13..15), q flat 104: ap = 20 >= beta, so
        // p0' = (200 + 100 + 104 + 2) >> 2 = 101 while q is strong:
        // q0' = (100 + 200 + 208 + 208 + 104 + 4) >> 3 = 103,
        // q1' = (100 + 312 + 2) >> 2 = 103, q2' = (208 + 312 + 208 + 100 + 4) >> 3 = 104.
        TestPicture pic(2, 1);
        pic.Mb(0, 0) = Intra(30);
        pic.Mb(1, 0) = Inter(30);
        pic.y.Fill([](int x, int) { return x < 14 ? 80 : (x < 16 ? 100 : 104); });
        pic.Run();
        ExpectLumaRows(pic, 12, {80, 80, 100, 101, 103, 103, 104, 104});
    }
}

TEST(DeblockLumaIntra, IpcmQpZeroIsAveraged)
{
    // IPCM qp 0 and QP 50: qPav 25, alpha 13, beta 4. 100|110 passes alpha
    // but not (13 >> 2) + 2 = 5: p0' = 103, q0' = 108 as above. With QP 50
    // alone alpha would be 255 and the strong form would run.
    TestPicture pic(2, 1);
    pic.Mb(0, 0) = Intra(0, MbKind::IPCM);
    pic.Mb(1, 0) = Intra(50);
    pic.y.Fill([](int x, int) { return x < 16 ? 100 : 110; });
    pic.Run();
    ExpectLumaRows(pic, 12, {100, 100, 100, 103, 108, 110, 110, 110});
}

TEST(DeblockLumaIntra, IndexAIsClippedTo51)
{
    // QP 51 + FilterOffsetA 12 -> indexA 51: alpha 255, (255 >> 2) + 2 = 65.
    // 100|200: p0' = (200 + 100 + 200 + 2) >> 2 = 125, q0' = (400 + 200 + 100 + 2) >> 2 = 175.
    TestPicture pic(2, 1);
    pic.slices[0].filterOffsetA = 12;
    pic.slices[0].filterOffsetB = 12;
    pic.Mb(0, 0) = Intra(51);
    pic.Mb(1, 0) = Intra(51);
    pic.y.Fill([](int x, int) { return x < 16 ? 100 : 200; });
    pic.Run();
    ExpectLumaRows(pic, 12, {100, 100, 100, 125, 175, 200, 200, 200});

    // QP 0 with offset -12 clips to 0: alpha 0 filters nothing.
    TestPicture low(2, 1);
    low.slices[0].filterOffsetA = -12;
    low.Mb(0, 0) = Intra(0);
    low.Mb(1, 0) = Intra(0);
    low.y.Fill([](int x, int) { return x < 16 ? 100 : 101; });
    low.Run();
    ExpectLumaRows(low, 14, {100, 100, 101, 101});
}

// ---- Luma, inter boundary strengths on a vertical macroblock edge.

// x = 12..17 around a 100|120 edge at QP 36 (alpha 50, beta 11; tC0 2 for
// bS 1, 3 for bS 2); ap = aq = 0 so tC = tC0 + 2 and
// delta = (80 - 20 + 4) >> 3 = 8 clipped to tC; p1 moves by
// Clip3(-tC0, tC0, (100 + 110 - 200) >> 1 = 5), q1 by Clip3(.., -5).
std::vector<int> Expected100To120(int bS)
{
    switch (bS) {
    case 0: return {100, 100, 100, 100, 120, 120};
    case 1: return {100, 100, 102, 104, 116, 118};
    case 2: return {100, 100, 103, 105, 115, 117};
    default: return {100, 100, 100, 105, 115, 120}; // bS 4: (200 + 100 + 120 + 2) >> 2 etc.
    }
}

struct StrengthCase {
    const char* name;
    void (*setup)(MbInfo& p, MbInfo& q);
    int bS[4]; // per 4-row segment
};

const StrengthCase kStrengthCases[] = {
    {"same refs and mvs", [](MbInfo&, MbInfo&) {}, {0, 0, 0, 0}},
    {"both skipped", [](MbInfo& p, MbInfo& q) { p.kind = q.kind = MbKind::PSkip; }, {0, 0, 0, 0}},
    {"mv x differs by 4", [](MbInfo&, MbInfo& q) { q = Inter(36, {4, 0}); }, {1, 1, 1, 1}},
    {"mv y differs by -4", [](MbInfo&, MbInfo& q) { q = Inter(36, {0, -4}); }, {1, 1, 1, 1}},
    {"mv differs by 3 each way", [](MbInfo&, MbInfo& q) { q = Inter(36, {3, -3}); }, {0, 0, 0, 0}},
    {"mv 5,2 against 1,2", [](MbInfo& p, MbInfo& q) { p = Inter(36, {5, 2}); q = Inter(36, {1, 2}); }, {1, 1, 1, 1}},
    {"other reference picture", [](MbInfo&, MbInfo& q) { q = Inter(36, {}, &gRefB); }, {1, 1, 1, 1}},
    {"same refIdx, other picture", [](MbInfo&, MbInfo& q) { q.refPicture[0] = q.refPicture[2] = &gRefB; },
     {1, 1, 1, 1}},
    {"q's far partition differs only", [](MbInfo&, MbInfo& q) { q.refPicture[1] = q.refPicture[3] = &gRefB; },
     {0, 0, 0, 0}},
    {"p's top-right partition differs", [](MbInfo& p, MbInfo&) { p.kind = MbKind::P8x8; p.refPicture[1] = &gRefB; },
     {1, 1, 0, 0}},
    {"p block 7 mv differs", [](MbInfo& p, MbInfo&) { p.kind = MbKind::P8x8; p.mv[7] = {8, 0}; }, {0, 1, 0, 0}},
    {"p block 3 coefficients", [](MbInfo& p, MbInfo&) { p.totalCoeff[3] = 1; }, {2, 0, 0, 0}},
    // The whole column: a single q block would also raise q's horizontal
    // edges at x = 16..19 and move samples checked here.
    {"q column 0 coefficients",
     [](MbInfo&, MbInfo& q) {
         for (int blk : {0, 4, 8, 12})
             q.totalCoeff[blk] = 5;
     },
     {2, 2, 2, 2}},
    {"coefficients beat mv", [](MbInfo& p, MbInfo& q) { p.totalCoeff[7] = 2; q = Inter(36, {0, 4}); }, {1, 2, 1, 1}},
    {"qPav of 30 and 42 is 36", [](MbInfo& p, MbInfo& q) { p.qp = 30; q = Inter(42, {4, 0}); }, {1, 1, 1, 1}},
    // qPav 33 (rounded up) has alpha 36, beta 9 and tC0 2, like QP 36 here;
    // 32 would have tC0 1.
    {"qPav of 32 and 33 is 33", [](MbInfo& p, MbInfo& q) { p.qp = 32; q = Inter(33, {4, 0}); }, {1, 1, 1, 1}},
    {"q intra", [](MbInfo&, MbInfo& q) { q = Intra(36, MbKind::I4x4); }, {4, 4, 4, 4}},
    {"p intra", [](MbInfo& p, MbInfo&) { p = Intra(36); }, {4, 4, 4, 4}},
};

TEST(DeblockLumaInter, BoundaryStrengthPerSegment)
{
    for (const StrengthCase& c : kStrengthCases) {
        SCOPED_TRACE(c.name);
        TestPicture pic(2, 1);
        pic.Mb(0, 0) = Inter(36);
        pic.Mb(1, 0) = Inter(36);
        c.setup(pic.Mb(0, 0), pic.Mb(1, 0));
        pic.y.Fill([](int x, int) { return x < 16 ? 100 : 120; });
        pic.Run();
        // x = 12..17 only: later internal edges of q may move x = 18, 19.
        for (int seg = 0; seg < 4; ++seg)
            ExpectLumaRows(pic, 12, Expected100To120(c.bS[seg]), seg * 4, seg * 4 + 4);
    }
}

TEST(DeblockLumaInter, HorizontalEdgeUsesColumnsOfBlocks)
{
    // Vertical mv difference: bS 1 on the whole top edge of the lower MB;
    // coefficients in block 13 (column 1, bottom row) of the upper MB raise
    // columns 4..7 to bS 2.
    TestPicture pic(1, 2);
    pic.Mb(0, 0) = Inter(36);
    pic.Mb(0, 0).totalCoeff[13] = 1;
    pic.Mb(0, 1) = Inter(36, {0, 4});
    pic.y.Fill([](int, int y) { return y < 16 ? 100 : 120; });
    pic.Run();
    for (int x = 0; x < 16; ++x) {
        const std::vector<int> col = Expected100To120(x >= 4 && x < 8 ? 2 : 1);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(pic.y.At(x, 12 + i), col[size_t(i)]) << "x=" << x << " y=" << 12 + i;
    }
}

TEST(DeblockLumaInter, InternalEdgesFollowPartitionMotion)
{
    // One P8x8 MB whose top-right partition moves by (4, 0): internal edge
    // x = 8 has bS 1 on rows 0..7 (blocks 1|2, 5|6) and 0 below; the p side
    // x = 4..7 is not reached by the horizontal edge y = 8 (bS 1 only in
    // columns 8..15). Values as in Expected100To120(1).
    TestPicture pic(1, 1);
    pic.Mb(0, 0) = Inter(36);
    pic.Mb(0, 0).kind = MbKind::P8x8;
    for (int blk : {2, 3, 6, 7})
        pic.Mb(0, 0).mv[blk] = {4, 0};
    pic.y.Fill([](int x, int) { return x < 8 ? 100 : 120; });
    pic.Run();
    ExpectLumaRows(pic, 4, {100, 100, 102, 104}, 0, 8);
    ExpectLumaRows(pic, 4, {100, 100, 100, 100}, 8, 16);
}

// One line of the bS < 4 luma filter, clause 8.7.2.3, written separately to
// check the order in which edges are visited.
void ReferenceNormalLine(std::vector<int>& img, int w, int x, int y, int dx, int dy, int alpha, int beta, int tc0)
{
    auto s = [&](int k) -> int& { return img[size_t((y + k * dy) * w + x + k * dx)]; };
    const int p0 = s(-1), p1 = s(-2), p2 = s(-3), q0 = s(0), q1 = s(1), q2 = s(2);
    if (std::abs(p0 - q0) >= alpha || std::abs(p1 - p0) >= beta || std::abs(q1 - q0) >= beta)
        return;
    const bool ap = std::abs(p2 - p0) < beta, aq = std::abs(q2 - q0) < beta;
    const int tc = tc0 + ap + aq;
    const int d = std::clamp(((q0 - p0) * 4 + (p1 - q1) + 4) >> 3, -tc, tc);
    s(-1) = std::clamp(p0 + d, 0, 255);
    s(0) = std::clamp(q0 - d, 0, 255);
    if (ap)
        s(-2) = p1 + std::clamp((p2 + ((p0 + q0 + 1) >> 1) - 2 * p1) >> 1, -tc0, tc0);
    if (aq)
        s(1) = q1 + std::clamp((q2 + ((p0 + q0 + 1) >> 1) - 2 * q1) >> 1, -tc0, tc0);
}

TEST(DeblockLumaInter, MacroblocksInRasterOrderVerticalEdgesFirst)
{
    // Four P macroblocks whose mvs differ by 4 across each MB edge (bS 1,
    // QP 36: alpha 50, beta 11, tC0 2) and are uniform inside (bS 0). The
    // four edge halves meet at (16, 16), so the visiting order shows there.
    TestPicture pic(2, 2);
    pic.Mb(0, 0) = Inter(36, {0, 0});
    pic.Mb(1, 0) = Inter(36, {4, 0});
    pic.Mb(0, 1) = Inter(36, {0, 4});
    pic.Mb(1, 1) = Inter(36, {4, 4});
    auto quadrant = [](int x, int y) { return (x < 16 ? 0 : 8) + (y < 16 ? 100 : 106) + (x + 2 * y) % 3; };
    pic.y.Fill(quadrant);
    const int w = 32;
    std::vector<int> ref(size_t(w * 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < w; ++x)
            ref[size_t(y * w + x)] = quadrant(x, y);
    for (int y = 0; y < 16; ++y) // MB 1: left edge
        ReferenceNormalLine(ref, w, 16, y, 1, 0, 50, 11, 2);
    for (int x = 0; x < 16; ++x) // MB 2: top edge
        ReferenceNormalLine(ref, w, x, 16, 0, 1, 50, 11, 2);
    for (int y = 16; y < 32; ++y) // MB 3: left edge, then top edge
        ReferenceNormalLine(ref, w, 16, y, 1, 0, 50, 11, 2);
    for (int x = 16; x < 32; ++x)
        ReferenceNormalLine(ref, w, x, 16, 0, 1, 50, 11, 2);
    pic.Run();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(pic.y.At(x, y), ref[size_t(y * w + x)]) << "x=" << x << " y=" << y;
}

TEST(DeblockLumaInter, InternalEdgesFromCoefficientsUseTheSliceOffsets)
{
    // One inter MB, coefficients only in block 6 (column 2, row 1): bS 2 on
    // vertical edges x = 8 and 12 in rows 4..7 and on horizontal edges
    // y = 4 and 8 in columns 8..11; every other edge has bS 0. QP 36 with
    // both offsets 6: indexA = indexB = 42, alpha 101, beta 14, tC0 6.
    for (MbKind kind : {MbKind::P16x16, MbKind::P8x8}) {
        SCOPED_TRACE(int(kind));
        TestPicture pic(1, 1);
        pic.slices[0].filterOffsetA = pic.slices[0].filterOffsetB = 6;
        pic.Mb(0, 0) = Inter(36);
        pic.Mb(0, 0).kind = kind;
        pic.Mb(0, 0).totalCoeff[6] = 2;
        auto texture = [](int x, int y) { return 95 + (x * 7 + y * 13) % 11 + (x >= 10 ? 8 : 0); };
        pic.y.Fill(texture);
        std::vector<int> ref(16 * 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ref[size_t(y * 16 + x)] = texture(x, y);
        for (int edgeX : {8, 12})
            for (int y = 4; y < 8; ++y)
                ReferenceNormalLine(ref, 16, edgeX, y, 1, 0, 101, 14, 6);
        for (int edgeY : {4, 8})
            for (int x = 8; x < 12; ++x)
                ReferenceNormalLine(ref, 16, x, edgeY, 0, 1, 101, 14, 6);
        ASSERT_NE(ref[size_t(5 * 16 + 7)], texture(7, 5)) << "the texture should reach the filter";
        pic.Run();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(pic.y.At(x, y), ref[size_t(y * 16 + x)]) << "x=" << x << " y=" << y;
    }
}

// ---- Chroma.

TEST(DeblockChroma, QpcIsAveragedAfterTable815)
{
    // QP 30 -> QPc 29, QP 50 -> QPc 39: qPav 34, alpha 40 (beta 10). The
    // luma qPav 40 would give QPc 36 and alpha 50 instead.
    // p1 p0 | q0 q1 = 94 100 | 100 + step, 104 + step. Step 35 passes (bS 4,
    // three-tap chroma form): p0' = (188 + 100 + 139 + 2) >> 2 = 107,
    // q0' = (278 + 135 + 94 + 2) >> 2 = 127. Step 45 does not.
    auto fill = [](int step) {
        return [step](int x, int) { return x < 8 ? (x == 6 ? 94 : 100) : (x == 8 ? 100 + step : 104 + step); };
    };
    for (int step : {35, 45}) {
        SCOPED_TRACE(step);
        TestPicture pic(2, 1);
        pic.Mb(0, 0) = Intra(30);
        pic.Mb(1, 0) = Intra(50);
        pic.cb.Fill(fill(step));
        pic.cr.Fill(fill(step));
        pic.Run();
        const bool filtered = step == 35;
        for (Plane* plane : {&pic.cb, &pic.cr}) {
            for (int y = 0; y < 8; ++y) {
                EXPECT_EQ(plane->At(6, y), 94);
                EXPECT_EQ(plane->At(7, y), filtered ? 107 : 100) << "y=" << y;
                EXPECT_EQ(plane->At(8, y), filtered ? 127 : 100 + step) << "y=" << y;
                EXPECT_EQ(plane->At(9, y), 104 + step);
            }
        }
    }
}

TEST(DeblockChroma, EachMacroblockUsesItsOwnSlicesOffset)
{
    // QP 40 in both; slice 0 offset 0 -> QPc 36, slice 1 offset 11 ->
    // qPI 51 -> QPc 39; qPav 38: alpha 63. (Offset 0 for both: alpha 50;
    // offset 11 for both: alpha 71.) Step 60 passes:
    // p0' = (200 + 100 + 160 + 2) >> 2 = 115, q0' = (320 + 160 + 100 + 2) >> 2 = 145. Step 65 does not.
    for (int step : {60, 65}) {
        SCOPED_TRACE(step);
        TestPicture pic(2, 1);
        pic.slices.resize(2);
        pic.slices[1].chromaQpIndexOffset = 11;
        pic.Mb(0, 0) = Intra(40, MbKind::I16x16, 0);
        pic.Mb(1, 0) = Intra(40, MbKind::I16x16, 1);
        pic.cb.Fill([&](int x, int) { return x < 8 ? 100 : 100 + step; });
        pic.Run();
        for (int y = 0; y < 8; ++y) {
            EXPECT_EQ(pic.cb.At(7, y), step == 60 ? 115 : 100) << "y=" << y;
            EXPECT_EQ(pic.cb.At(8, y), step == 60 ? 145 : 100 + step) << "y=" << y;
        }
    }
}

// Inter chroma at QP 36 -> QPc 34: alpha 40, beta 10, tC0 2 for bS 2, so
// tC = 3 and a 100|120 step becomes 103|117 (delta = 8 clipped to 3).
TEST(DeblockChroma, MacroblockEdgeTakesLumaSegmentOfItsRows)
{
    // Coefficients in luma block 3 (top row) of the left MB: bS 2 on luma
    // rows 0..3 only, hence chroma rows 0..1.
    TestPicture pic(2, 1);
    pic.Mb(0, 0) = Inter(36);
    pic.Mb(0, 0).totalCoeff[3] = 1;
    pic.Mb(1, 0) = Inter(36);
    pic.cb.Fill([](int x, int) { return x < 8 ? 100 : 120; });
    pic.cr.Fill([](int x, int) { return x < 8 ? 50 : 70; });
    pic.Run();
    for (int y = 0; y < 8; ++y) {
        const bool filtered = y < 2;
        EXPECT_EQ(pic.cb.At(6, y), 100);
        EXPECT_EQ(pic.cb.At(7, y), filtered ? 103 : 100) << "y=" << y;
        EXPECT_EQ(pic.cb.At(8, y), filtered ? 117 : 120) << "y=" << y;
        EXPECT_EQ(pic.cb.At(9, y), 120);
        EXPECT_EQ(pic.cr.At(7, y), filtered ? 53 : 50) << "y=" << y;
        EXPECT_EQ(pic.cr.At(8, y), filtered ? 67 : 70) << "y=" << y;
    }
}

TEST(DeblockChroma, InternalEdgesTakeLumaEdgeTwo)
{
    // Coefficients in luma block 10 (column 2, row 2) of the right MB give
    // bS 2 on luma edges x = 8 and y = 8 at segment 2, i.e. on chroma edge
    // 4, lines 4..5. Luma edges 1 and 3 (also bS 2 there) have no chroma edge.
    auto setup = [](TestPicture& pic) {
        pic.Mb(0, 0) = Inter(36);
        pic.Mb(1, 0) = Inter(36);
        pic.Mb(1, 0).totalCoeff[10] = 3;
    };
    {
        SCOPED_TRACE("vertical");
        TestPicture pic(2, 1);
        setup(pic);
        pic.cb.Fill([](int x, int) { return x >= 12 ? 120 : 100; }); // chroma x = 4 of the right MB
        pic.Run();
        // Rows 4, 5: 100|120 -> 103|117. Then the horizontal edge y = 4 at
        // x = 12 sees p1 p0 q0 q1 = 120 120 117 117:
        // delta = (-12 + 3 + 4) >> 3 = -1, so rows 3, 4 become 119, 118.
        const int p0[8] = {100, 100, 100, 100, 103, 103, 100, 100};
        const int q0[8] = {120, 120, 120, 119, 118, 117, 120, 120};
        for (int y = 0; y < 8; ++y) {
            EXPECT_EQ(pic.cb.At(10, y), 100) << "y=" << y;
            EXPECT_EQ(pic.cb.At(11, y), p0[y]) << "y=" << y;
            EXPECT_EQ(pic.cb.At(12, y), q0[y]) << "y=" << y;
            EXPECT_EQ(pic.cb.At(13, y), 120) << "y=" << y;
        }
    }
    {
        SCOPED_TRACE("horizontal");
        TestPicture pic(2, 1);
        setup(pic);
        pic.cb.Fill([](int, int y) { return y >= 4 ? 120 : 100; }); // vertical edges see flat rows
        pic.Run();
        for (int x = 0; x < 16; ++x) {
            const bool filtered = x == 12 || x == 13;
            EXPECT_EQ(pic.cb.At(x, 2), 100) << "x=" << x;
            EXPECT_EQ(pic.cb.At(x, 3), filtered ? 103 : 100) << "x=" << x;
            EXPECT_EQ(pic.cb.At(x, 4), filtered ? 117 : 120) << "x=" << x;
            EXPECT_EQ(pic.cb.At(x, 5), 120) << "x=" << x;
        }
    }
}

// ---- Slices and disable_deblocking_filter_idc.

TEST(DeblockSlices, IdcOneSkipsOnlyItsOwnMacroblocks)
{
    // All MBs idc 1: nothing changes.
    TestPicture off(2, 1);
    off.slices[0].disableDeblockingFilterIdc = 1;
    off.Mb(0, 0) = Intra(30);
    off.Mb(1, 0) = Intra(30);
    off.y.Fill([](int x, int) { return x < 16 ? 100 : 110; });
    off.cb.Fill([](int x, int) { return x < 8 ? 100 : 110; });
    const std::vector<uint8_t> before = off.y.Snapshot(), beforeCb = off.cb.Snapshot();
    off.Run();
    EXPECT_EQ(off.y.Snapshot(), before);
    EXPECT_EQ(off.cb.Snapshot(), beforeCb);

    // The left MB's slice has idc 1 but the right MB's slice does not: the
    // edge belongs to the right MB and is filtered (p0' 103, q0' 108, QP 30).
    TestPicture mixed(2, 1);
    mixed.slices.resize(2);
    mixed.slices[0].disableDeblockingFilterIdc = 1;
    mixed.Mb(0, 0) = Intra(30, MbKind::I16x16, 0);
    mixed.Mb(1, 0) = Intra(30, MbKind::I16x16, 1);
    mixed.y.Fill([](int x, int) { return x < 16 ? 100 : 110; });
    mixed.Run();
    ExpectLumaRows(mixed, 14, {100, 103, 108, 110});
}

TEST(DeblockSlices, IdcTwoStopsAtSliceBoundariesOnly)
{
    // Three intra MBs at QP 30 valued 100 | 110 | 120; the last is a second
    // slice. Each edge alone: 100|110 -> 103|108, 110|120 -> 113|118.
    for (int idc : {0, 2}) {
        SCOPED_TRACE(idc);
        TestPicture pic(3, 1);
        pic.slices.resize(2);
        pic.slices[0].disableDeblockingFilterIdc = pic.slices[1].disableDeblockingFilterIdc = idc;
        pic.Mb(0, 0) = Intra(30, MbKind::I16x16, 0);
        pic.Mb(1, 0) = Intra(30, MbKind::I16x16, 0);
        pic.Mb(2, 0) = Intra(30, MbKind::I16x16, 1);
        pic.y.Fill([](int x, int) { return 100 + x / 16 * 10; });
        pic.Run();
        ExpectLumaRows(pic, 14, {100, 103, 108, 110});
        if (idc == 2)
            ExpectLumaRows(pic, 30, {110, 110, 120, 120});
        else
            ExpectLumaRows(pic, 30, {110, 113, 118, 120});
    }

    // Top edge: slice 0 is the upper row of MBs, slice 1 the lower.
    for (int idc : {0, 2}) {
        SCOPED_TRACE(idc);
        TestPicture pic(2, 2);
        pic.slices.resize(2);
        pic.slices[0].disableDeblockingFilterIdc = pic.slices[1].disableDeblockingFilterIdc = idc;
        for (int mx = 0; mx < 2; ++mx) {
            pic.Mb(mx, 0) = Intra(30, MbKind::I16x16, 0);
            pic.Mb(mx, 1) = Intra(30, MbKind::I16x16, 1);
        }
        pic.y.Fill([](int, int y) { return y < 16 ? 100 : 110; });
        pic.Run();
        // idc 0: the lower-left MB's top edge gives 103|108 (x = 0..15).
        // The lower-right MB's left edge then sees 108|110 in row 16, a
        // strong-filter step: p0' = (108 + 216 + 216 + 220 + 110 + 4) >> 3 = 109,
        // p1' = (324 + 110 + 2) >> 2 = 109, q0' = (108 + 216 + 220 + 220 + 110 + 4) >> 3 = 109,
        // q1' = (108 + 330 + 2) >> 2 = 110. Its top edge at x = 16 then has
        // q0 = 109: q0' = (220 + 109 + 100 + 2) >> 2 = 107.
        for (int x = 0; x < 32; ++x) {
            const int row16 = x == 14 || x == 15 ? 109 : (x == 16 ? 107 : 108);
            EXPECT_EQ(pic.y.At(x, 14), 100) << "x=" << x;
            EXPECT_EQ(pic.y.At(x, 15), idc == 2 ? 100 : 103) << "x=" << x;
            EXPECT_EQ(pic.y.At(x, 16), idc == 2 ? 110 : row16) << "x=" << x;
            EXPECT_EQ(pic.y.At(x, 17), 110) << "x=" << x;
        }
    }
}

TEST(DeblockSlices, FilterOffsetsComeFromTheSliceOfQ)
{
    // Intra QP 30, 100|140. FilterOffsetA 12 in q's slice: indexA 42,
    // alpha 101; 40 >= (101 >> 2) + 2, so p0' = (200 + 100 + 140 + 2) >> 2 = 110,
    // q0' = (280 + 140 + 100 + 2) >> 2 = 130. The same offset in p's slice
    // only leaves alpha 25 and the step alone.
    for (int offsetSlice : {1, 0}) {
        SCOPED_TRACE(offsetSlice);
        TestPicture pic(2, 1);
        pic.slices.resize(2);
        pic.slices[size_t(offsetSlice)].filterOffsetA = 12;
        pic.Mb(0, 0) = Intra(30, MbKind::I16x16, 0);
        pic.Mb(1, 0) = Intra(30, MbKind::I16x16, 1);
        pic.y.Fill([](int x, int) { return x < 16 ? 100 : 140; });
        pic.Run();
        if (offsetSlice == 1)
            ExpectLumaRows(pic, 13, {100, 100, 110, 130, 140, 140});
        else
            ExpectLumaRows(pic, 13, {100, 100, 100, 140, 140, 140});
    }

    // FilterOffsetB 6 in q's slice: beta 8 -> 11 lets |p1 - p0| = 10 pass.
    // p = 100 100 100 110 (x = 12..15), q = 112: ap = 10 < 11 and
    // |p0 - q0| = 2 < 8, so both sides take the strong form:
    //   p0' = (100 + 200 + 220 + 224 + 112 + 4) >> 3 = 107
    //   p1' = (100 + 100 + 110 + 112 + 2) >> 2 = 106
    //   p2' = (200 + 300 + 100 + 110 + 112 + 4) >> 3 = 103
    //   q0' = (100 + 220 + 224 + 224 + 112 + 4) >> 3 = 110
    //   q1' = (110 + 112 + 112 + 112 + 2) >> 2 = 112
    //   q2' = (224 + 336 + 112 + 112 + 110 + 4) >> 3 = 112
    for (int offsetB : {6, 0}) {
        SCOPED_TRACE(offsetB);
        TestPicture pic(2, 1);
        pic.slices.resize(2);
        pic.slices[1].filterOffsetB = offsetB;
        pic.Mb(0, 0) = Intra(30, MbKind::I16x16, 0);
        pic.Mb(1, 0) = Intra(30, MbKind::I16x16, 1);
        pic.y.Fill([](int x, int) { return x < 15 ? 100 : (x == 15 ? 110 : 112); });
        pic.Run();
        if (offsetB == 6)
            ExpectLumaRows(pic, 11, {100, 100, 103, 106, 107, 110, 112, 112, 112});
        else
            ExpectLumaRows(pic, 11, {100, 100, 100, 100, 110, 112, 112, 112, 112});
    }
}

// ---- Borders and missing macroblocks.

TEST(DeblockBorders, PictureBordersAreNeverFiltered)
{
    // QP 51 with offset 12: alpha 255, beta 18. The guard around the planes
    // is 0 and the picture 10, so a filtered border would pull x = 0 or
    // y = 0 down (and write into the guard).
    TestPicture pic(2, 2);
    pic.slices[0].filterOffsetA = pic.slices[0].filterOffsetB = 12;
    for (MbInfo& mb : pic.mbs)
        mb = Intra(51);
    pic.y.Fill([](int, int) { return 10; });
    pic.cb.Fill([](int, int) { return 10; });
    pic.cr.Fill([](int, int) { return 10; });
    pic.Run();
    for (Plane* plane : {&pic.y, &pic.cb, &pic.cr})
        for (int y = 0; y < plane->height; ++y)
            for (int x = 0; x < plane->width; ++x)
                ASSERT_EQ(plane->At(x, y), 10) << "x=" << x << " y=" << y;
}

TEST(DeblockBorders, UnavailableMacroblockIsNeitherFilteredNorANeighbour)
{
    // Were the never-decoded MB (qp 0) a neighbour, qPav (0 + 51 + 1) >> 1 = 26
    // would give alpha 15 and filter the 100|110 step.
    TestPicture pic(2, 1);
    pic.Mb(0, 0) = MbInfo{};
    pic.Mb(1, 0) = Intra(51);
    pic.y.Fill([](int x, int) { return x < 16 ? 100 : 110; });
    pic.cb.Fill([](int x, int) { return x < 8 ? 100 : 110; });
    pic.Run();
    ExpectLumaRows(pic, 13, {100, 100, 100, 110, 110, 110});
    for (int y = 0; y < 8; ++y)
        EXPECT_TRUE(pic.cb.At(7, y) == 100 && pic.cb.At(8, y) == 110) << "y=" << y;
}

TEST(DeblockBorders, RandomPicturesStayInsideTheirPlanesAndChromaCentres)
{
    // Random modes, slices and smooth-ish samples (so that edges do get
    // filtered). Run() checks the guard bytes; ASan/UBSan builds check the
    // arithmetic. Chroma edges move only p0 and q0 and lie on multiples of
    // 4, so samples with x % 4 and y % 4 both in {1, 2} never change.
    std::mt19937 rng(12345);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const void* refs[3] = {&gRefA, &gRefB, nullptr};
    const MbKind kinds[] = {MbKind::Unavailable, MbKind::I4x4, MbKind::I16x16, MbKind::IPCM, MbKind::P16x16,
                            MbKind::P16x8,       MbKind::P8x16, MbKind::P8x8,   MbKind::PSkip};
    for (int round = 0; round < 20; ++round) {
        TestPicture pic(pick(1, 4), pick(1, 3));
        pic.slices.resize(3);
        for (SliceFilterParams& sp : pic.slices) {
            sp.disableDeblockingFilterIdc = pick(0, 2);
            sp.filterOffsetA = 2 * pick(-6, 6);
            sp.filterOffsetB = 2 * pick(-6, 6);
            sp.chromaQpIndexOffset = pick(-12, 12);
        }
        for (MbInfo& mb : pic.mbs) {
            mb.kind = kinds[pick(0, 8)];
            mb.qp = int8_t(mb.kind == MbKind::IPCM ? 0 : pick(20, 51));
            mb.sliceNumber = mb.kind == MbKind::Unavailable ? -1 : pick(0, 2);
            for (uint8_t& n : mb.totalCoeff)
                n = uint8_t(pick(0, 3) == 0 ? pick(1, 16) : 0);
            for (const void*& r : mb.refPicture)
                r = IsIntra(mb.kind) ? nullptr : refs[pick(0, 1)];
            for (MotionVector& v : mb.mv)
                v = {int16_t(pick(-6, 6)), int16_t(pick(-6, 6))};
        }
        const int base = pick(0, 255);
        auto sample = [&](int, int) { return std::clamp(base + pick(-12, 12), 0, 255); };
        pic.y.Fill(sample);
        pic.cb.Fill(sample);
        pic.cr.Fill(sample);
        const std::vector<uint8_t> cb = pic.cb.Snapshot(), cr = pic.cr.Snapshot();
        pic.Run();
        for (int y = 0; y < pic.cb.height; ++y) {
            for (int x = 0; x < pic.cb.width; ++x) {
                if ((x % 4 == 1 || x % 4 == 2) && (y % 4 == 1 || y % 4 == 2)) {
                    const size_t at = size_t((y + kMarginRows) * pic.cb.pitch + x);
                    ASSERT_EQ(pic.cb.buf[at], cb[at]) << "round " << round << " x=" << x << " y=" << y;
                    ASSERT_EQ(pic.cr.buf[at], cr[at]) << "round " << round << " x=" << x << " y=" << y;
                }
            }
        }
    }
}

} // namespace
} // namespace QLMedia
