// _color_conversion on synthetic pictures: the four layouts, the BT.601
// fixed-point formulas with rounding (format 3) and truncation (format 2),
// odd sizes, and arguments it refuses.
#include "ColorConversion.h"
#include "core/Framework.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A 4:2:0 picture with padded rows, filled with ramps that cover the whole
// sample range, including values outside the limited range.
struct Picture {
    Picture(int w, int h, int pad = 13) : width(w), height(h)
    {
        yPitch = w + pad;
        cPitch = (w + 1) / 2 + pad;
        const int ch = (h + 1) / 2;
        y.resize(size_t(yPitch) * h);
        cb.resize(size_t(cPitch) * ch);
        cr.resize(size_t(cPitch) * ch);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < yPitch; ++c)
                y[size_t(r) * yPitch + c] = uint8_t((c * 7 + r * 13) & 255);
        for (int r = 0; r < ch; ++r)
            for (int c = 0; c < cPitch; ++c) {
                cb[size_t(r) * cPitch + c] = uint8_t((c * 29 + r * 3 + 5) & 255);
                cr[size_t(r) * cPitch + c] = uint8_t((255 - c * 11 + r * 17) & 255);
            }
        video.SetPlane(0, y.data(), yPitch);
        video.SetPlane(1, cb.data(), cPitch);
        video.SetPlane(2, cr.data(), cPitch);
        video.SetSize(w, h);
    }
    int Y(int c, int r) const { return y[size_t(r) * yPitch + c]; }
    int Cb(int c, int r) const { return cb[size_t(r / 2) * cPitch + c / 2]; }
    int Cr(int c, int r) const { return cr[size_t(r / 2) * cPitch + c / 2]; }

    int width, height, yPitch, cPitch;
    Bytes y, cb, cr;
    QLMedia::VideoData video;
};

int Clamp(int v)
{
    return std::min(255, std::max(0, v));
}

struct Rgb {
    int r, g, b;
};

Rgb FixedPoint(int y, int cb, int cr, bool round)
{
    const int luma = 76284 * (y - 16);
    const int u = cb - 128;
    const int v = cr - 128;
    const int half = round ? 32768 : 0;
    return {Clamp((luma + 104595 * v + half) >> 16), Clamp((luma - 25690 * u - 53281 * v + half) >> 16),
            Clamp((luma + 132186 * u + half) >> 16)};
}

constexpr uint8_t kFill = 0xC3;

TEST(ColorConversion, Format0IsPlanar420WithoutPadding)
{
    for (auto [w, h] : {std::pair{32, 16}, std::pair{37, 21}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Picture p(w, h);
        const size_t size = size_t(w) * h + 2 * size_t(w / 2) * (h / 2);
        Bytes out(size + 32, kFill);
        ASSERT_EQ(qlapi::_color_conversion(0, p.video, out.data()), 0);
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                ASSERT_EQ(out[size_t(r) * w + c], p.Y(c, r));
        const uint8_t* cb = out.data() + size_t(w) * h;
        const uint8_t* cr = cb + size_t(w / 2) * (h / 2);
        for (int r = 0; r < h / 2; ++r)
            for (int c = 0; c < w / 2; ++c) {
                ASSERT_EQ(cb[r * (w / 2) + c], p.Cb(2 * c, 2 * r));
                ASSERT_EQ(cr[r * (w / 2) + c], p.Cr(2 * c, 2 * r));
            }
        EXPECT_TRUE(std::all_of(out.begin() + size, out.end(), [](uint8_t b) { return b == kFill; }));
    }
}

TEST(ColorConversion, Format1RepeatsChromaRowsAndRoundsSizesDown)
{
    Picture p(37, 21);
    const int w = 36, h = 20;
    const size_t size = size_t(w) * h * 2;
    Bytes out(size + 32, kFill);
    ASSERT_EQ(qlapi::_color_conversion(1, p.video, out.data()), 0);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            ASSERT_EQ(out[size_t(r) * w + c], p.Y(c, r));
    const uint8_t* cb = out.data() + size_t(w) * h;
    const uint8_t* cr = cb + size_t(w / 2) * h;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w / 2; ++c) {
            ASSERT_EQ(cb[r * (w / 2) + c], p.Cb(2 * c, r)) << c << "," << r;
            ASSERT_EQ(cr[r * (w / 2) + c], p.Cr(2 * c, r)) << c << "," << r;
        }
    EXPECT_TRUE(std::all_of(out.begin() + size, out.end(), [](uint8_t b) { return b == kFill; }));
}

// Formats 2 and 3 on even and odd sizes: every pixel of the whole 2 x 2
// blocks by the formula, and an odd last column or row left alone.
TEST(ColorConversion, Formats2And3FollowTheFixedPointFormulas)
{
    for (int format : {2, 3}) {
        for (auto [w, h] : {std::pair{64, 32}, std::pair{37, 21}, std::pair{2, 2}, std::pair{1, 1}}) {
            SCOPED_TRACE("format " + std::to_string(format) + " " + std::to_string(w) + "x" + std::to_string(h));
            Picture p(w, h);
            const size_t size = size_t(w) * h * 3;
            Bytes out(size + 32, kFill);
            ASSERT_EQ(qlapi::_color_conversion(format, p.video, out.data()), 0);
            for (int r = 0; r < h; ++r) {
                for (int c = 0; c < w; ++c) {
                    const uint8_t* px = &out[(size_t(r) * w + c) * 3];
                    if (c >= (w & ~1) || r >= (h & ~1)) {
                        ASSERT_TRUE(px[0] == kFill && px[1] == kFill && px[2] == kFill) << c << "," << r;
                        continue;
                    }
                    const Rgb want = FixedPoint(p.Y(c, r), p.Cb(c, r), p.Cr(c, r), format == 3);
                    const int first = format == 3 ? want.b : want.r;
                    const int third = format == 3 ? want.r : want.b;
                    ASSERT_EQ(px[0], first) << c << "," << r;
                    ASSERT_EQ(px[1], want.g) << c << "," << r;
                    ASSERT_EQ(px[2], third) << c << "," << r;
                }
            }
            EXPECT_TRUE(std::all_of(out.begin() + size, out.end(), [](uint8_t b) { return b == kFill; }));
        }
    }
}

// The fixed-point constants stand for the BT.601 coefficients: no result is
// more than one step away from the real-valued formula.
TEST(ColorConversion, FixedPointStaysWithinOneOfTheRealFormula)
{
    for (int y = 0; y < 256; y += 3)
        for (int cb = 0; cb < 256; cb += 5)
            for (int cr = 0; cr < 256; cr += 7) {
                const double yy = 1.164 * (y - 16);
                const double r = yy + 1.596 * (cr - 128);
                const double g = yy - 0.392 * (cb - 128) - 0.813 * (cr - 128);
                const double b = yy + 2.017 * (cb - 128);
                const Rgb fixed = FixedPoint(y, cb, cr, true);
                auto real = [](double v) { return Clamp(int(std::lround(v))); };
                ASSERT_LE(std::abs(fixed.r - real(r)), 1) << y << " " << cb << " " << cr;
                ASSERT_LE(std::abs(fixed.g - real(g)), 1) << y << " " << cb << " " << cr;
                ASSERT_LE(std::abs(fixed.b - real(b)), 1) << y << " " << cb << " " << cr;
            }
}

TEST(ColorConversion, UnusableArgumentsWriteNothing)
{
    struct Case {
        const char* name;
        int format;
        int width, height;
        int nullPlane; // -1: none
    };
    const Case cases[] = {
        {"format 4", 4, 16, 16, -1},   {"format -1", -1, 16, 16, -1}, {"format 1, width 1", 1, 1, 16, -1},
        {"format 1, height 1", 1, 16, 1, -1}, {"format 2, width 0", 2, 0, 16, -1}, {"format 3, height 0", 3, 16, 0, -1},
        {"format 3, no Cr", 3, 16, 16, 2}, {"format 2, no Y", 2, 16, 16, 0}, {"format 1, no Cb", 1, 16, 16, 1},
        {"format 0, no Cb", 0, 16, 16, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p(16, 16);
        p.video.SetSize(c.width, c.height);
        if (c.nullPlane >= 0)
            p.video.SetPlane(c.nullPlane, nullptr, 0);
        Bytes out(16 * 16 * 3, kFill);
        EXPECT_EQ(qlapi::_color_conversion(c.format, p.video, out.data()), -1);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == kFill; }));
    }
}

// The picture converted in bands, as two threads do it, is the picture
// converted whole, byte for byte, in every format, with even and odd sizes.
TEST(ColorConversion, BandsTogetherAreTheWholeConversion)
{
    for (int format : {0, 1, 2, 3}) {
        for (auto [w, h] : {std::pair{64, 36}, std::pair{37, 23}, std::pair{6, 2}, std::pair{5, 3}}) {
            Picture p(w, h);
            Bytes whole(size_t(w) * h * 3 + 32, kFill);
            ASSERT_EQ(qlapi::_color_conversion(format, p.video, whole.data()), 0);
            for (int parts : {2, 3}) {
                SCOPED_TRACE("format " + std::to_string(format) + " " + std::to_string(w) + "x" + std::to_string(h) +
                             " in " + std::to_string(parts));
                Bytes banded(whole.size(), kFill);
                for (int part = parts - 1; part >= 0; --part)
                    ASSERT_EQ(qlapi::ConvertPart(format, p.video, banded.data(), part, parts), 0);
                EXPECT_TRUE(banded == whole);
            }
        }
    }
}

} // namespace
