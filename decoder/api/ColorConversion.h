// _color_conversion: the decoded picture (planar 4:2:0, 8-bit) into the
// caller's buffer in one of four layouts. The conversion to 24-bit RGB uses
// ITU-R BT.601 limited-range coefficients in 16.16 fixed point; each chroma
// sample serves a 2 x 2 block of pixels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace QLMedia {
class VideoData;
}

namespace qlapi {

// Fixed-point coefficients (x 65536): 1.164, 1.596, 0.813, 0.392, 2.017.
constexpr int32_t kYScale = 76284;
constexpr int32_t kCrToR = 104595;
constexpr int32_t kCrToG = 53281;
constexpr int32_t kCbToG = 25690;
constexpr int32_t kCbToB = 132186;
constexpr int32_t kRoundHalf = 32768;

struct Yuv420Picture {
    const uint8_t* y = nullptr;
    const uint8_t* cb = nullptr;
    const uint8_t* cr = nullptr;
    ptrdiff_t yPitch = 0;
    ptrdiff_t cbPitch = 0;
    ptrdiff_t crPitch = 0;
    int width = 0;
    int height = 0;
};

// Converts the whole 2 x 2 blocks of the picture (an odd last column or row
// is left alone) to 3-byte pixels; dst rows are dstPitch bytes apart.
using RgbKernel = void (*)(const Yuv420Picture& src, uint8_t* dst, ptrdiff_t dstPitch);

struct ColorDsp {
    RgbKernel toBgrRounded;   // format 3: B, G, R; adds one half before the shift
    RgbKernel toRgbTruncated; // format 2: R, G, B; truncates
    const char* name;
};

enum class SimdLevel { C = 0, Sse2 = 1, Ssse3 = 2, Avx2 = 3 };

// The kernels of one level; null when this build or this processor lacks it.
const ColorDsp* ColorDspForLevel(SimdLevel level);
// The kernels in use: the best level that the processor has and that
// QL_H264DEC_SIMD (c, sse2, ssse3, avx2) allows; chosen once.
const ColorDsp& ActiveColorDsp();

// The vector kernels (x86 builds only); the caller checks the processor.
const ColorDsp* Sse2ColorDsp();
const ColorDsp* Ssse3ColorDsp();

// One 2 x 2 block, shared by the reference kernel and the vector kernels'
// remainder columns so that both compute bit-identical values. Static: each
// translation unit keeps its own copy, compiled for its own instruction set.
template <bool Bgr, bool Round>
static inline void ConvertBlock(const uint8_t* y0, const uint8_t* y1, int cbSample, int crSample, uint8_t* d0,
                         uint8_t* d1)
{
    const int32_t rounding = Round ? kRoundHalf : 0;
    const int32_t u = cbSample - 128;
    const int32_t v = crSample - 128;
    const int32_t r = kCrToR * v + rounding;
    const int32_t g = -kCbToG * u - kCrToG * v + rounding;
    const int32_t b = kCbToB * u + rounding;
    auto clamp = [](int32_t x) -> uint8_t { return uint8_t(x < 0 ? 0 : x > 255 ? 255 : x); };
    auto pixel = [&](int ySample, uint8_t* d) {
        const int32_t luma = kYScale * (ySample - 16);
        const uint8_t rr = clamp((luma + r) >> 16);
        const uint8_t gg = clamp((luma + g) >> 16);
        const uint8_t bb = clamp((luma + b) >> 16);
        d[0] = Bgr ? bb : rr;
        d[1] = gg;
        d[2] = Bgr ? rr : bb;
    };
    pixel(y0[0], d0);
    pixel(y0[1], d0 + 3);
    pixel(y1[0], d1);
    pixel(y1[1], d1 + 3);
}

// Converts columns [firstPair * 2, width & ~1) of the row pair starting at
// luma row `row` with the reference arithmetic.
template <bool Bgr, bool Round>
static inline void ConvertRowPairTail(const Yuv420Picture& s, int row, int firstPair, uint8_t* dst, ptrdiff_t dstPitch)
{
    const uint8_t* y0 = s.y + row * s.yPitch;
    const uint8_t* y1 = y0 + s.yPitch;
    const uint8_t* cb = s.cb + (row / 2) * s.cbPitch;
    const uint8_t* cr = s.cr + (row / 2) * s.crPitch;
    uint8_t* d0 = dst + row * dstPitch;
    uint8_t* d1 = d0 + dstPitch;
    for (int i = firstPair; i < s.width / 2; ++i)
        ConvertBlock<Bgr, Round>(y0 + 2 * i, y1 + 2 * i, cb[i], cr[i], d0 + 6 * i, d1 + 6 * i);
}

// The picture that the output VideoData describes, for the given format, into
// dst. Returns 0, or -1 when the arguments are unusable (nothing written).
int _color_conversion(int format, const QLMedia::VideoData& picture, uint8_t* dst);
// Band `part` of `parts` of the same conversion (bands of whole row pairs,
// top first), so that bands may be converted on different threads; 0 or
// -1 as _color_conversion.
int ConvertPart(int format, const QLMedia::VideoData& picture, uint8_t* dst, int part, int parts);

} // namespace qlapi
