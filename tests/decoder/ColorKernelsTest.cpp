// The vector kernels of the output conversion against the C++ reference:
// random and extreme pictures of many sizes (odd ones included) and pitches,
// outputs surrounded by guard bytes.
#include "ColorConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using qlapi::ColorDsp;
using qlapi::SimdLevel;

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0x5C;

struct Planes {
    Bytes y, cb, cr;
    qlapi::Yuv420Picture picture;
};

enum class Content { Random, Black, White, Extremes };

Planes MakePlanes(std::mt19937& rng, int w, int h, Content content)
{
    Planes p;
    const int yPitch = w + int(rng() % 40);
    const int cPitch = (w + 1) / 2 + int(rng() % 40);
    const int ch = (h + 1) / 2;
    p.y.resize(size_t(yPitch) * h);
    p.cb.resize(size_t(cPitch) * ch);
    p.cr.resize(size_t(cPitch) * ch);
    auto sample = [&]() -> uint8_t {
        switch (content) {
        case Content::Black:
            return 0;
        case Content::White:
            return 255;
        case Content::Extremes: {
            static const uint8_t values[] = {0, 1, 15, 16, 17, 127, 128, 129, 235, 240, 254, 255};
            return values[rng() % sizeof values];
        }
        default:
            return uint8_t(rng());
        }
    };
    for (Bytes* plane : {&p.y, &p.cb, &p.cr})
        for (uint8_t& b : *plane)
            b = sample();
    p.picture.y = p.y.data();
    p.picture.cb = p.cb.data();
    p.picture.cr = p.cr.data();
    p.picture.yPitch = yPitch;
    p.picture.cbPitch = cPitch;
    p.picture.crPitch = cPitch;
    p.picture.width = w;
    p.picture.height = h;
    return p;
}

// Runs a kernel into a buffer with guard bytes on both sides; the output is
// returned with its guards.
Bytes RunKernel(qlapi::RgbKernel kernel, const qlapi::Yuv420Picture& picture, ptrdiff_t pitch)
{
    Bytes out(kGuard + size_t(pitch) * size_t(picture.height) + kGuard, kGuardByte);
    kernel(picture, out.data() + kGuard, pitch);
    return out;
}

bool GuardsIntact(const Bytes& out)
{
    for (size_t i = 0; i < kGuard; ++i)
        if (out[i] != kGuardByte || out[out.size() - 1 - i] != kGuardByte)
            return false;
    return true;
}

std::vector<const ColorDsp*> VectorLevels()
{
    std::vector<const ColorDsp*> levels;
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Ssse3, SimdLevel::Avx2})
        if (const ColorDsp* dsp = qlapi::ColorDspForLevel(level))
            levels.push_back(dsp);
    return levels;
}

TEST(ColorDsp, VectorKernelsMatchTheReference)
{
    const ColorDsp* reference = qlapi::ColorDspForLevel(SimdLevel::C);
    ASSERT_NE(reference, nullptr);
    const auto levels = VectorLevels();
#if defined(__x86_64__)
    ASSERT_FALSE(levels.empty()); // SSE2 is part of x86-64
#endif
    std::mt19937 rng(20240611);
    int cases = 0;
    for (const ColorDsp* dsp : levels) {
        for (int w : {1, 2, 3, 15, 16, 17, 31, 32, 33, 34, 47, 48, 63, 64, 65, 100, 176, 353}) {
            for (int h : {1, 2, 3, 4, 7, 16, 19}) {
                for (Content content : {Content::Random, Content::Random, Content::Black, Content::White,
                                        Content::Extremes}) {
                    const Planes p = MakePlanes(rng, w, h, content);
                    // Output rows as the library writes them, and with extra room.
                    for (ptrdiff_t pitch : {ptrdiff_t(w) * 3, ptrdiff_t(w) * 3 + 5}) {
                        for (bool bgr : {true, false}) {
                            SCOPED_TRACE(std::string(dsp->name) + " " + std::to_string(w) + "x" + std::to_string(h) +
                                         " pitch " + std::to_string(pitch) + (bgr ? " bgr" : " rgb"));
                            const Bytes want = RunKernel(bgr ? reference->toBgrRounded : reference->toRgbTruncated,
                                                   p.picture, pitch);
                            const Bytes got = RunKernel(bgr ? dsp->toBgrRounded : dsp->toRgbTruncated, p.picture, pitch);
                            ASSERT_TRUE(GuardsIntact(got));
                            ASSERT_TRUE(want == got);
                            ++cases;
                        }
                    }
                }
            }
        }
    }
    RecordProperty("cases", cases);
}

// The reference kernel itself leaves the guards and the odd column alone.
TEST(ColorDsp, ReferenceWritesOnlyWholeBlocks)
{
    std::mt19937 rng(7);
    const Planes p = MakePlanes(rng, 5, 3, Content::Random);
    const ptrdiff_t pitch = 15;
    const Bytes out = RunKernel(qlapi::ColorDspForLevel(SimdLevel::C)->toBgrRounded, p.picture, pitch);
    EXPECT_TRUE(GuardsIntact(out));
    const uint8_t* rows = out.data() + kGuard;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c) {
            const bool written = r < 2 && c < 4;
            const uint8_t* px = rows + r * pitch + c * 3;
            if (!written) {
                EXPECT_EQ(px[0], kGuardByte);
                EXPECT_EQ(px[2], kGuardByte);
            }
        }
}

// Run by CTest with QL_H264DEC_SIMD set: the level chosen is the best one
// the processor has, capped by the variable.
TEST(ColorDsp, ActiveLevelFollowsEnvironment)
{
    const char* cap = std::getenv("QL_H264DEC_SIMD");
    SimdLevel limit = SimdLevel::Avx2;
    if (cap && std::strcmp(cap, "c") == 0)
        limit = SimdLevel::C;
    else if (cap && std::strcmp(cap, "sse2") == 0)
        limit = SimdLevel::Sse2;
    else if (cap && std::strcmp(cap, "ssse3") == 0)
        limit = SimdLevel::Ssse3;
    const ColorDsp* expected = qlapi::ColorDspForLevel(SimdLevel::C);
    for (int level = int(SimdLevel::Sse2); level <= int(limit); ++level)
        if (const ColorDsp* dsp = qlapi::ColorDspForLevel(SimdLevel(level)))
            expected = dsp;
    EXPECT_STREQ(qlapi::ActiveColorDsp().name, expected->name);
}

} // namespace
