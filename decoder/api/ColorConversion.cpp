#include "ColorConversion.h"

#include "ApiTrace.h"
#include "core/Framework.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qlapi {
namespace {

template <bool Bgr, bool Round>
void ConvertC(const Yuv420Picture& s, uint8_t* dst, ptrdiff_t dstPitch)
{
    for (int row = 0; row + 1 < s.height; row += 2)
        ConvertRowPairTail<Bgr, Round>(s, row, 0, dst, dstPitch);
}

constexpr ColorDsp kColorDspC = {ConvertC<true, true>, ConvertC<false, false>, "c"};

SimdLevel LevelCap()
{
    const char* value = std::getenv("QL_H264DEC_SIMD");
    if (!value)
        return SimdLevel::Avx2;
    if (std::strcmp(value, "c") == 0)
        return SimdLevel::C;
    if (std::strcmp(value, "sse2") == 0)
        return SimdLevel::Sse2;
    if (std::strcmp(value, "ssse3") == 0)
        return SimdLevel::Ssse3;
    return SimdLevel::Avx2;
}

Yuv420Picture SourceOf(const QLMedia::VideoData& picture)
{
    const QLMedia::Plane y = picture.GetPlane(0);
    const QLMedia::Plane cb = picture.GetPlane(1);
    const QLMedia::Plane cr = picture.GetPlane(2);
    Yuv420Picture s;
    s.y = y.data;
    s.cb = cb.data;
    s.cr = cr.data;
    s.yPitch = y.pitch;
    s.cbPitch = cb.pitch;
    s.crPitch = cr.pitch;
    s.width = picture.Width();
    s.height = picture.Height();
    return s;
}

void CopyPlane(const uint8_t* src, ptrdiff_t pitch, int width, int height, uint8_t* dst)
{
    for (int row = 0; row < height; ++row)
        std::memcpy(dst + size_t(row) * size_t(width), src + row * pitch, size_t(width));
}

// Planar 4:2:0: Y, then Cb, then Cr, each without row padding; luma rows
// first .. last - 1 (even bounds, or the picture's end) and their chroma.
int ToYuv420(const Yuv420Picture& s, uint8_t* dst, int first, int last)
{
    if (!s.y || !s.cb || !s.cr || s.width < 1 || s.height < 1)
        return -1;
    const size_t lumaSize = size_t(s.width) * size_t(s.height);
    const int cw = s.width / 2;
    const int ch = s.height / 2;
    const int chromaFirst = first / 2;
    const int chromaLast = last == s.height ? ch : last / 2;
    const size_t chromaSize = size_t(cw) * size_t(ch);
    const size_t chromaOffset = size_t(chromaFirst) * size_t(cw);
    CopyPlane(s.y + first * s.yPitch, s.yPitch, s.width, last - first, dst + size_t(first) * size_t(s.width));
    CopyPlane(s.cb + chromaFirst * s.cbPitch, s.cbPitch, cw, chromaLast - chromaFirst,
              dst + lumaSize + chromaOffset);
    CopyPlane(s.cr + chromaFirst * s.crPitch, s.crPitch, cw, chromaLast - chromaFirst,
              dst + lumaSize + chromaSize + chromaOffset);
    return 0;
}

// Planar 4:2:2 from 4:2:0: every chroma row is written twice.
int ToYuv422(const Yuv420Picture& s, uint8_t* dst, int first, int last)
{
    const int w = s.width & ~1;
    const int h = s.height & ~1;
    if (!s.y || !s.cb || !s.cr || w < 2 || h < 2)
        return -1;
    last = std::min(last, h);
    const size_t lumaSize = size_t(w) * size_t(h);
    const int cw = w / 2;
    CopyPlane(s.y + first * s.yPitch, s.yPitch, w, last - first, dst + size_t(first) * size_t(w));
    uint8_t* cbOut = dst + lumaSize;
    uint8_t* crOut = cbOut + size_t(cw) * size_t(h);
    for (int row = first; row < last; ++row) {
        std::memcpy(cbOut + size_t(row) * size_t(cw), s.cb + (row / 2) * s.cbPitch, size_t(cw));
        std::memcpy(crOut + size_t(row) * size_t(cw), s.cr + (row / 2) * s.crPitch, size_t(cw));
    }
    return 0;
}

} // namespace

const ColorDsp* ColorDspForLevel(SimdLevel level)
{
    if (level == SimdLevel::C)
        return &kColorDspC;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (level == SimdLevel::Sse2 && __builtin_cpu_supports("sse2"))
        return Sse2ColorDsp();
    if (level == SimdLevel::Ssse3 && __builtin_cpu_supports("ssse3"))
        return Ssse3ColorDsp();
#endif
    return nullptr;
}

const ColorDsp& ActiveColorDsp()
{
    static const ColorDsp* active = [] {
        const SimdLevel cap = LevelCap();
        for (int level = int(cap); level > int(SimdLevel::C); --level) {
            if (const ColorDsp* dsp = ColorDspForLevel(SimdLevel(level)))
                return dsp;
        }
        return &kColorDspC;
    }();
    return *active;
}

int ConvertPart(int format, const QLMedia::VideoData& picture, uint8_t* dst, int part, int parts)
{
    const Yuv420Picture s = SourceOf(picture);
    if (!dst || parts < 1 || part < 0 || part >= parts || s.height < 1)
        return -1;
    // Bands of whole row pairs, the last one to the picture's end.
    const int pairs = s.height / 2;
    const int first = pairs * part / parts * 2;
    const int last = part + 1 == parts ? s.height : pairs * (part + 1) / parts * 2;
    switch (format) {
    case 0:
        return ToYuv420(s, dst, first, last);
    case 1:
        return ToYuv422(s, dst, first, last);
    case 2:
    case 3:
        if (s.y && s.cb && s.cr && s.width >= 1) {
            const ptrdiff_t pitch = ptrdiff_t(s.width) * 3;
            Yuv420Picture band = s;
            band.y += first * s.yPitch;
            band.cb += first / 2 * s.cbPitch;
            band.cr += first / 2 * s.crPitch;
            band.height = last - first;
            const ColorDsp& dsp = ActiveColorDsp();
            (format == 3 ? dsp.toBgrRounded : dsp.toRgbTruncated)(band, dst + first * pitch, pitch);
            return 0;
        }
        return -1;
    default:
        return -1;
    }
}

int _color_conversion(int format, const QLMedia::VideoData& picture, uint8_t* dst)
{
    QL_TRACE("    _color_conversion()");
    const int result = ConvertPart(format, picture, dst, 0, 1);
    QL_TRACE(" - End\n");
    return result;
}

} // namespace qlapi
