#include "ColorConversion.h"

#include "ApiTrace.h"
#include "core/Framework.h"

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

// Planar 4:2:0: Y, then Cb, then Cr, each without row padding.
int ToYuv420(const Yuv420Picture& s, uint8_t* dst)
{
    if (!s.y || !s.cb || !s.cr || s.width < 1 || s.height < 1)
        return -1;
    const size_t lumaSize = size_t(s.width) * size_t(s.height);
    const int cw = s.width / 2;
    const int ch = s.height / 2;
    CopyPlane(s.y, s.yPitch, s.width, s.height, dst);
    CopyPlane(s.cb, s.cbPitch, cw, ch, dst + lumaSize);
    CopyPlane(s.cr, s.crPitch, cw, ch, dst + lumaSize + size_t(cw) * size_t(ch));
    return 0;
}

// Planar 4:2:2 from 4:2:0: every chroma row is written twice.
int ToYuv422(const Yuv420Picture& s, uint8_t* dst)
{
    const int w = s.width & ~1;
    const int h = s.height & ~1;
    if (!s.y || !s.cb || !s.cr || w < 2 || h < 2)
        return -1;
    const size_t lumaSize = size_t(w) * size_t(h);
    const int cw = w / 2;
    CopyPlane(s.y, s.yPitch, w, h, dst);
    uint8_t* cbOut = dst + lumaSize;
    uint8_t* crOut = cbOut + size_t(cw) * size_t(h);
    for (int row = 0; row < h; ++row) {
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

int _color_conversion(int format, const QLMedia::VideoData& picture, uint8_t* dst)
{
    QL_TRACE("    _color_conversion()");
    int result = -1;
    const Yuv420Picture s = SourceOf(picture);
    if (dst) {
        switch (format) {
        case 0:
            result = ToYuv420(s, dst);
            break;
        case 1:
            result = ToYuv422(s, dst);
            break;
        case 2:
        case 3:
            if (s.y && s.cb && s.cr && s.width >= 1 && s.height >= 1) {
                const ptrdiff_t pitch = ptrdiff_t(s.width) * 3;
                const ColorDsp& dsp = ActiveColorDsp();
                (format == 3 ? dsp.toBgrRounded : dsp.toRgbTruncated)(s, dst, pitch);
                result = 0;
            }
            break;
        default:
            break;
        }
    }
    QL_TRACE(" - End\n");
    return result;
}

} // namespace qlapi
