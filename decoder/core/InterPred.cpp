#include "InterPred.h"

#include "Dsp.h"

#include <algorithm>

namespace QLMedia {

namespace {

inline uint8_t Clip255(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline int Tap(int a, int b, int c, int d, int e, int f)
{
    return a - 5 * b + 20 * c + 20 * d - 5 * e + f;
}

// The reference kernel of one fractional position (clause 8.4.2.2.1): G is
// the integer sample, b/h the horizontal/vertical half samples, j the centre
// half sample, and the quarter positions average two of them.
template <int XFrac, int YFrac>
void LumaMcC(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h)
{
    auto G = [&](int i, int j) { return int(src[j * srcStride + i]); };
    auto b1 = [&](int i, int j) { return Tap(G(i - 2, j), G(i - 1, j), G(i, j), G(i + 1, j), G(i + 2, j), G(i + 3, j)); };
    auto h1 = [&](int i, int j) { return Tap(G(i, j - 2), G(i, j - 1), G(i, j), G(i, j + 1), G(i, j + 2), G(i, j + 3)); };
    auto B = [&](int i, int j) { return int(Clip255((b1(i, j) + 16) >> 5)); };
    auto H = [&](int i, int j) { return int(Clip255((h1(i, j) + 16) >> 5)); };
    auto J = [&](int i, int j) {
        const int j1 = Tap(b1(i, j - 2), b1(i, j - 1), b1(i, j), b1(i, j + 1), b1(i, j + 2), b1(i, j + 3));
        return int(Clip255((j1 + 512) >> 10));
    };
    for (int j = 0; j < h; ++j) {
        uint8_t* out = dst + j * dstStride;
        for (int i = 0; i < w; ++i) {
            int v;
            switch (YFrac * 4 + XFrac) {
            case 0: v = G(i, j); break;
            case 1: v = (G(i, j) + B(i, j) + 1) >> 1; break;
            case 2: v = B(i, j); break;
            case 3: v = (B(i, j) + G(i + 1, j) + 1) >> 1; break;
            case 4: v = (G(i, j) + H(i, j) + 1) >> 1; break;
            case 5: v = (B(i, j) + H(i, j) + 1) >> 1; break;
            case 6: v = (B(i, j) + J(i, j) + 1) >> 1; break;
            case 7: v = (B(i, j) + H(i + 1, j) + 1) >> 1; break;
            case 8: v = H(i, j); break;
            case 9: v = (H(i, j) + J(i, j) + 1) >> 1; break;
            case 10: v = J(i, j); break;
            case 11: v = (J(i, j) + H(i + 1, j) + 1) >> 1; break;
            case 12: v = (H(i, j) + G(i, j + 1) + 1) >> 1; break;
            case 13: v = (H(i, j) + B(i, j + 1) + 1) >> 1; break;
            case 14: v = (J(i, j) + B(i, j + 1) + 1) >> 1; break;
            default: v = (B(i, j + 1) + H(i + 1, j) + 1) >> 1; break;
            }
            out[i] = uint8_t(v);
        }
    }
}

// A window of the reference around the block, clamped at the picture edges,
// for blocks whose filter taps reach outside the picture.
constexpr int kMargin = 2;
constexpr int kWindow = 16 + 2 * kMargin + 2;

void FetchWindow(uint8_t (&win)[kWindow][kWindow], const uint8_t* plane, ptrdiff_t pitch, int planeW, int planeH,
                 int x0, int y0, int w, int h)
{
    for (int y = 0; y < h; ++y) {
        const int sy = std::clamp(y0 + y, 0, planeH - 1);
        const uint8_t* row = plane + sy * pitch;
        if (x0 >= 0 && x0 + w <= planeW) {
            std::copy(row + x0, row + x0 + w, win[y]);
        } else {
            for (int x = 0; x < w; ++x)
                win[y][x] = row[std::clamp(x0 + x, 0, planeW - 1)];
        }
    }
}

} // namespace

void InitLumaMcC(InterPredDsp& dsp)
{
    dsp.lumaMc[0] = LumaMcC<0, 0>;
    dsp.lumaMc[1] = LumaMcC<1, 0>;
    dsp.lumaMc[2] = LumaMcC<2, 0>;
    dsp.lumaMc[3] = LumaMcC<3, 0>;
    dsp.lumaMc[4] = LumaMcC<0, 1>;
    dsp.lumaMc[5] = LumaMcC<1, 1>;
    dsp.lumaMc[6] = LumaMcC<2, 1>;
    dsp.lumaMc[7] = LumaMcC<3, 1>;
    dsp.lumaMc[8] = LumaMcC<0, 2>;
    dsp.lumaMc[9] = LumaMcC<1, 2>;
    dsp.lumaMc[10] = LumaMcC<2, 2>;
    dsp.lumaMc[11] = LumaMcC<3, 2>;
    dsp.lumaMc[12] = LumaMcC<0, 3>;
    dsp.lumaMc[13] = LumaMcC<1, 3>;
    dsp.lumaMc[14] = LumaMcC<2, 3>;
    dsp.lumaMc[15] = LumaMcC<3, 3>;
}

void ChromaMcC(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int w, int h, int xFrac,
               int yFrac)
{
    const int wA = (8 - xFrac) * (8 - yFrac), wB = xFrac * (8 - yFrac), wC = (8 - xFrac) * yFrac, wD = xFrac * yFrac;
    for (int j = 0; j < h; ++j) {
        const uint8_t* s0 = src + j * srcStride;
        const uint8_t* s1 = s0 + srcStride;
        for (int i = 0; i < w; ++i)
            dst[j * dstStride + i] = uint8_t((wA * s0[i] + wB * s0[i + 1] + wC * s1[i] + wD * s1[i + 1] + 32) >> 6);
    }
}

void PredictLumaBlock(uint8_t* dst, ptrdiff_t dstStride, const PicturePlanes& ref, int x, int y, int w, int h,
                      MotionVector mv)
{
    const int xInt = x + (mv.x >> 2), yInt = y + (mv.y >> 2);
    const int frac = (mv.y & 3) * 4 + (mv.x & 3);
    const auto mc = Dsp().inter.lumaMc[frac];
    if (xInt - kMargin >= 0 && yInt - kMargin >= 0 && xInt + w + kMargin + 1 <= ref.width &&
        yInt + h + kMargin + 1 <= ref.height) {
        mc(dst, dstStride, ref.y + yInt * ref.lumaPitch + xInt, ref.lumaPitch, w, h);
        return;
    }
    uint8_t win[kWindow][kWindow];
    FetchWindow(win, ref.y, ref.lumaPitch, ref.width, ref.height, xInt - kMargin, yInt - kMargin, w + 2 * kMargin + 1,
                h + 2 * kMargin + 1);
    mc(dst, dstStride, &win[kMargin][kMargin], kWindow, w, h);
}

void PredictChromaBlock(uint8_t* dstCb, uint8_t* dstCr, ptrdiff_t dstStride, const PicturePlanes& ref, int x,
                        int y, int w, int h, MotionVector mv)
{
    const int cw = w / 2, ch = h / 2;
    const int xInt = x / 2 + (mv.x >> 3), yInt = y / 2 + (mv.y >> 3);
    const int xFrac = mv.x & 7, yFrac = mv.y & 7;
    const int planeW = ref.width / 2, planeH = ref.height / 2;
    const auto mc = Dsp().inter.chromaMc;
    const bool inside = xInt >= 0 && yInt >= 0 && xInt + cw + 1 <= planeW && yInt + ch + 1 <= planeH;
    for (int c = 0; c < 2; ++c) {
        const uint8_t* plane = c == 0 ? ref.cb : ref.cr;
        uint8_t* dst = c == 0 ? dstCb : dstCr;
        if (inside) {
            mc(dst, dstStride, plane + yInt * ref.chromaPitch + xInt, ref.chromaPitch, cw, ch, xFrac, yFrac);
            continue;
        }
        uint8_t win[kWindow][kWindow];
        FetchWindow(win, plane, ref.chromaPitch, planeW, planeH, xInt, yInt, cw + 1, ch + 1);
        mc(dst, dstStride, &win[0][0], kWindow, cw, ch, xFrac, yFrac);
    }
}

} // namespace QLMedia
