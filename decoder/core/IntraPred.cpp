#include "IntraPred.h"

#include <cstring>

namespace QLMedia {

namespace {

inline uint8_t Clip255(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline int Avg2(int a, int b)
{
    return (a + b + 1) >> 1;
}

inline int Avg3(int a, int b, int c)
{
    return (a + 2 * b + c + 2) >> 2;
}

void Fill(uint8_t* dst, ptrdiff_t stride, int size, int value)
{
    for (int y = 0; y < size; ++y)
        std::memset(dst + y * stride, value, size_t(size));
}

int SumTop(const uint8_t* dst, ptrdiff_t stride, int n)
{
    int sum = 0;
    for (int i = 0; i < n; ++i)
        sum += dst[i - stride];
    return sum;
}

int SumLeft(const uint8_t* dst, ptrdiff_t stride, int n)
{
    int sum = 0;
    for (int i = 0; i < n; ++i)
        sum += dst[i * stride - 1];
    return sum;
}

// The neighbours of a 4x4 block: T(x) = p[x, -1] for x = -1..7 and
// L(y) = p[-1, y] for y = -1..3, both -1 being the sample above left. Only
// the samples a mode reads are loaded from the picture. One spare entry in
// front keeps every index the modes compute inside the arrays.
struct Edge4x4 {
    int t[10] = {}, l[6] = {};
    int T(int x) const { return t[x + 2]; }
    int L(int y) const { return l[y + 2]; }

    Edge4x4(const uint8_t* dst, ptrdiff_t stride, const uint8_t* topRight, bool top, bool left, bool topLeft)
    {
        if (top)
            for (int i = 0; i < 4; ++i) {
                t[2 + i] = dst[i - stride];
                if (topRight)
                    t[6 + i] = topRight[i];
            }
        if (left)
            for (int i = 0; i < 4; ++i)
                l[2 + i] = dst[i * stride - 1];
        if (topLeft)
            t[1] = l[1] = dst[-stride - 1];
    }
};

template <class F>
inline void Put4x4(uint8_t* dst, ptrdiff_t stride, F value)
{
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            dst[y * stride + x] = uint8_t(value(x, y));
}

void Pred4x4Vertical(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    for (int y = 0; y < 4; ++y)
        std::memcpy(dst + y * stride, dst - stride, 4);
}

void Pred4x4Horizontal(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    for (int y = 0; y < 4; ++y)
        std::memset(dst + y * stride, dst[y * stride - 1], 4);
}

void Pred4x4Dc(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    Fill(dst, stride, 4, (SumTop(dst, stride, 4) + SumLeft(dst, stride, 4) + 4) >> 3);
}

void Pred4x4DcLeft(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    Fill(dst, stride, 4, (SumLeft(dst, stride, 4) + 2) >> 2);
}

void Pred4x4DcTop(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    Fill(dst, stride, 4, (SumTop(dst, stride, 4) + 2) >> 2);
}

void Pred4x4Dc128(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    Fill(dst, stride, 4, 128);
}

void Pred4x4DiagonalDownLeft(uint8_t* dst, ptrdiff_t stride, const uint8_t* topRight)
{
    const Edge4x4 e(dst, stride, topRight, true, false, false);
    Put4x4(dst, stride, [&](int x, int y) {
        return x == 3 && y == 3 ? (e.T(6) + 3 * e.T(7) + 2) >> 2 : Avg3(e.T(x + y), e.T(x + y + 1), e.T(x + y + 2));
    });
}

void Pred4x4DiagonalDownRight(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const Edge4x4 e(dst, stride, nullptr, true, true, true);
    Put4x4(dst, stride, [&](int x, int y) {
        if (x > y)
            return Avg3(e.T(x - y - 2), e.T(x - y - 1), e.T(x - y));
        if (x < y)
            return Avg3(e.L(y - x - 2), e.L(y - x - 1), e.L(y - x));
        return Avg3(e.T(0), e.T(-1), e.L(0));
    });
}

void Pred4x4VerticalRight(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const Edge4x4 e(dst, stride, nullptr, true, true, true);
    Put4x4(dst, stride, [&](int x, int y) {
        const int z = 2 * x - y;
        const int i = x - (y >> 1);
        if (z >= 0 && (z & 1) == 0)
            return Avg2(e.T(i - 1), e.T(i));
        if (z >= 0)
            return Avg3(e.T(i - 2), e.T(i - 1), e.T(i));
        if (z == -1)
            return Avg3(e.L(0), e.L(-1), e.T(0));
        return Avg3(e.L(y - 1), e.L(y - 2), e.L(y - 3));
    });
}

void Pred4x4HorizontalDown(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const Edge4x4 e(dst, stride, nullptr, true, true, true);
    Put4x4(dst, stride, [&](int x, int y) {
        const int z = 2 * y - x;
        const int i = y - (x >> 1);
        if (z >= 0 && (z & 1) == 0)
            return Avg2(e.L(i - 1), e.L(i));
        if (z >= 0)
            return Avg3(e.L(i - 2), e.L(i - 1), e.L(i));
        if (z == -1)
            return Avg3(e.L(0), e.L(-1), e.T(0));
        return Avg3(e.T(x - 1), e.T(x - 2), e.T(x - 3));
    });
}

void Pred4x4VerticalLeft(uint8_t* dst, ptrdiff_t stride, const uint8_t* topRight)
{
    const Edge4x4 e(dst, stride, topRight, true, false, false);
    Put4x4(dst, stride, [&](int x, int y) {
        const int i = x + (y >> 1);
        return (y & 1) == 0 ? Avg2(e.T(i), e.T(i + 1)) : Avg3(e.T(i), e.T(i + 1), e.T(i + 2));
    });
}

void Pred4x4HorizontalUp(uint8_t* dst, ptrdiff_t stride, const uint8_t*)
{
    const Edge4x4 e(dst, stride, nullptr, false, true, false);
    Put4x4(dst, stride, [&](int x, int y) {
        const int z = x + 2 * y;
        const int i = y + (x >> 1);
        if (z > 5)
            return e.L(3);
        if (z == 5)
            return (e.L(2) + 3 * e.L(3) + 2) >> 2;
        if ((z & 1) == 0)
            return Avg2(e.L(i), e.L(i + 1));
        return Avg3(e.L(i), e.L(i + 1), e.L(i + 2));
    });
}

template <int N>
void PredVertical(uint8_t* dst, ptrdiff_t stride)
{
    for (int y = 0; y < N; ++y)
        std::memcpy(dst + y * stride, dst - stride, N);
}

template <int N>
void PredHorizontal(uint8_t* dst, ptrdiff_t stride)
{
    for (int y = 0; y < N; ++y)
        std::memset(dst + y * stride, dst[y * stride - 1], N);
}

template <int N>
void PredDc128(uint8_t* dst, ptrdiff_t stride)
{
    Fill(dst, stride, N, 128);
}

void Pred16x16Dc(uint8_t* dst, ptrdiff_t stride)
{
    Fill(dst, stride, 16, (SumTop(dst, stride, 16) + SumLeft(dst, stride, 16) + 16) >> 5);
}

void Pred16x16DcLeft(uint8_t* dst, ptrdiff_t stride)
{
    Fill(dst, stride, 16, (SumLeft(dst, stride, 16) + 8) >> 4);
}

void Pred16x16DcTop(uint8_t* dst, ptrdiff_t stride)
{
    Fill(dst, stride, 16, (SumTop(dst, stride, 16) + 8) >> 4);
}

void Pred16x16Plane(uint8_t* dst, ptrdiff_t stride)
{
    const uint8_t* above = dst - stride;
    int h = 0, v = 0;
    for (int i = 0; i < 8; ++i) {
        h += (i + 1) * (above[8 + i] - above[6 - i]);
        v += (i + 1) * (dst[(8 + i) * stride - 1] - dst[(6 - i) * stride - 1]);
    }
    const int a = 16 * (dst[15 * stride - 1] + above[15]);
    const int b = (5 * h + 32) >> 6;
    const int c = (5 * v + 32) >> 6;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            dst[y * stride + x] = Clip255((a + b * (x - 7) + c * (y - 7) + 16) >> 5);
}

// Chroma DC works per 4x4 quarter: the top left and bottom right quarters
// use both edges, the top right one prefers the samples above it and the
// bottom left one those to its left.
void PredChromaDc(uint8_t* dst, ptrdiff_t stride)
{
    const int top0 = SumTop(dst, stride, 4), top1 = SumTop(dst + 4, stride, 4);
    const int left0 = SumLeft(dst, stride, 4), left1 = SumLeft(dst + 4 * stride, stride, 4);
    Fill(dst, stride, 4, (top0 + left0 + 4) >> 3);
    Fill(dst + 4, stride, 4, (top1 + 2) >> 2);
    Fill(dst + 4 * stride, stride, 4, (left1 + 2) >> 2);
    Fill(dst + 4 * stride + 4, stride, 4, (top1 + left1 + 4) >> 3);
}

void PredChromaDcLeft(uint8_t* dst, ptrdiff_t stride)
{
    for (int by = 0; by < 2; ++by) {
        const int dc = (SumLeft(dst + 4 * by * stride, stride, 4) + 2) >> 2;
        Fill(dst + 4 * by * stride, stride, 4, dc);
        Fill(dst + 4 * by * stride + 4, stride, 4, dc);
    }
}

void PredChromaDcTop(uint8_t* dst, ptrdiff_t stride)
{
    for (int bx = 0; bx < 2; ++bx) {
        const int dc = (SumTop(dst + 4 * bx, stride, 4) + 2) >> 2;
        Fill(dst + 4 * bx, stride, 4, dc);
        Fill(dst + 4 * stride + 4 * bx, stride, 4, dc);
    }
}

void PredChromaPlane(uint8_t* dst, ptrdiff_t stride)
{
    const uint8_t* above = dst - stride;
    int h = 0, v = 0;
    for (int i = 0; i < 4; ++i) {
        h += (i + 1) * (above[4 + i] - above[2 - i]);
        v += (i + 1) * (dst[(4 + i) * stride - 1] - dst[(2 - i) * stride - 1]);
    }
    const int a = 16 * (dst[7 * stride - 1] + above[7]);
    const int b = (34 * h + 32) >> 6;
    const int c = (34 * v + 32) >> 6;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            dst[y * stride + x] = Clip255((a + b * (x - 3) + c * (y - 3) + 16) >> 5);
}

// The DC kernel for the neighbours at hand.
int DcIndex(int dcBoth, int dcLeft, int dcTop, int dc128, unsigned avail)
{
    const bool left = avail & kAvailLeft, top = avail & kAvailTop;
    return left && top ? dcBoth : left ? dcLeft : top ? dcTop : dc128;
}

} // namespace

void InitIntraPredC(IntraPredDsp& dsp)
{
    dsp.pred4x4[0] = Pred4x4Vertical;
    dsp.pred4x4[1] = Pred4x4Horizontal;
    dsp.pred4x4[2] = Pred4x4Dc;
    dsp.pred4x4[3] = Pred4x4DiagonalDownLeft;
    dsp.pred4x4[4] = Pred4x4DiagonalDownRight;
    dsp.pred4x4[5] = Pred4x4VerticalRight;
    dsp.pred4x4[6] = Pred4x4HorizontalDown;
    dsp.pred4x4[7] = Pred4x4VerticalLeft;
    dsp.pred4x4[8] = Pred4x4HorizontalUp;
    dsp.pred4x4[IntraPredDsp::k4x4DcLeft] = Pred4x4DcLeft;
    dsp.pred4x4[IntraPredDsp::k4x4DcTop] = Pred4x4DcTop;
    dsp.pred4x4[IntraPredDsp::k4x4Dc128] = Pred4x4Dc128;

    dsp.pred16x16[0] = PredVertical<16>;
    dsp.pred16x16[1] = PredHorizontal<16>;
    dsp.pred16x16[2] = Pred16x16Dc;
    dsp.pred16x16[3] = Pred16x16Plane;
    dsp.pred16x16[IntraPredDsp::kDcLeft] = Pred16x16DcLeft;
    dsp.pred16x16[IntraPredDsp::kDcTop] = Pred16x16DcTop;
    dsp.pred16x16[IntraPredDsp::kDc128] = PredDc128<16>;

    dsp.predChroma[0] = PredChromaDc;
    dsp.predChroma[1] = PredHorizontal<8>;
    dsp.predChroma[2] = PredVertical<8>;
    dsp.predChroma[3] = PredChromaPlane;
    dsp.predChroma[IntraPredDsp::kDcLeft] = PredChromaDcLeft;
    dsp.predChroma[IntraPredDsp::kDcTop] = PredChromaDcTop;
    dsp.predChroma[IntraPredDsp::kDc128] = PredDc128<8>;
}

bool Intra4x4ModeUsable(int mode, unsigned avail)
{
    // Neighbours each mode needs, as IntraAvail bits.
    static const uint8_t kNeeds[9] = {kAvailTop,
                                      kAvailLeft,
                                      0,
                                      kAvailTop,
                                      kAvailTop | kAvailLeft | kAvailTopLeft,
                                      kAvailTop | kAvailLeft | kAvailTopLeft,
                                      kAvailTop | kAvailLeft | kAvailTopLeft,
                                      kAvailTop,
                                      kAvailLeft};
    return mode >= 0 && mode <= 8 && (avail & kNeeds[mode]) == kNeeds[mode];
}

bool Intra16x16ModeUsable(int mode, unsigned avail)
{
    static const uint8_t kNeeds[4] = {kAvailTop, kAvailLeft, 0, kAvailTop | kAvailLeft | kAvailTopLeft};
    return mode >= 0 && mode <= 3 && (avail & kNeeds[mode]) == kNeeds[mode];
}

bool IntraChromaModeUsable(int mode, unsigned avail)
{
    static const uint8_t kNeeds[4] = {0, kAvailLeft, kAvailTop, kAvailTop | kAvailLeft | kAvailTopLeft};
    return mode >= 0 && mode <= 3 && (avail & kNeeds[mode]) == kNeeds[mode];
}

bool PredictIntra4x4(const IntraPredDsp& dsp, uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail)
{
    if (!Intra4x4ModeUsable(mode, avail))
        return false;
    if (mode == 2) {
        dsp.pred4x4[DcIndex(2, IntraPredDsp::k4x4DcLeft, IntraPredDsp::k4x4DcTop, IntraPredDsp::k4x4Dc128, avail)](
            dst, stride, nullptr);
        return true;
    }
    const uint8_t* topRight = dst - stride + 4;
    uint8_t repeated[4];
    if ((mode == 3 || mode == 7) && !(avail & kAvailTopRight)) {
        std::memset(repeated, dst[3 - stride], 4);
        topRight = repeated;
    }
    dsp.pred4x4[mode](dst, stride, topRight);
    return true;
}

bool PredictIntra16x16(const IntraPredDsp& dsp, uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail)
{
    if (!Intra16x16ModeUsable(mode, avail))
        return false;
    if (mode == 2)
        mode = DcIndex(2, IntraPredDsp::kDcLeft, IntraPredDsp::kDcTop, IntraPredDsp::kDc128, avail);
    dsp.pred16x16[mode](dst, stride);
    return true;
}

bool PredictIntraChroma(const IntraPredDsp& dsp, uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail)
{
    if (!IntraChromaModeUsable(mode, avail))
        return false;
    if (mode == 0)
        mode = DcIndex(0, IntraPredDsp::kDcLeft, IntraPredDsp::kDcTop, IntraPredDsp::kDc128, avail);
    dsp.predChroma[mode](dst, stride);
    return true;
}

} // namespace QLMedia
