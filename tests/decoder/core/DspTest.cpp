// Every optimised kernel against its C++ reference, on random and extreme
// inputs, with guard bytes around the output.
#include "core/Dsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

using namespace QLMedia;

namespace {

constexpr uint8_t kGuard = 0xA5;

struct Tables {
    DecoderDsp reference;
    std::vector<std::pair<const char*, DecoderDsp>> optimised;
};

Tables MakeTables()
{
    Tables t;
    InitDsp(t.reference, SimdLevel::C);
    for (SimdLevel level : {SimdLevel::Sse2, SimdLevel::Ssse3, SimdLevel::Avx2}) {
        if (level > DetectSimdLevel())
            break;
        DecoderDsp dsp;
        InitDsp(dsp, level);
        static const char* names[] = {"c", "sse2", "ssse3", "avx2"};
        t.optimised.emplace_back(names[int(level)], dsp);
    }
    return t;
}

// A destination block inside a guarded buffer.
struct Guarded {
    static constexpr int kStride = 48;
    static constexpr int kPad = 16;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kStride * (16 + 2 * kPad), kGuard);
    uint8_t* Block() { return bytes.data() + kPad * kStride + kPad; }
};

// Exactly the reference samples a motion compensation kernel may read, so a
// sanitizer build catches any read past them: random (kind 0), random 0 or
// 255 (kind 1), or 255 where a random row pattern meets a random column
// pattern (kind 2), which drives the 6-tap sums and the centre's sums of
// sums to both extremes and saturates the clipping.
std::vector<uint8_t> MakeSource(int stride, int rows, std::mt19937& rng, int kind)
{
    std::vector<uint8_t> src(size_t(stride) * size_t(rows));
    const uint32_t rowBits = rng(), colBits = rng(); // rows and stride are at most 21
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < stride; ++x)
            src[size_t(y * stride + x)] = kind == 0   ? uint8_t(rng())
                                          : kind == 1 ? uint8_t((rng() & 1) * 255)
                                                      : uint8_t(((rowBits >> y) ^ (colBits >> x)) & 1 ? 0 : 255);
    return src;
}

} // namespace

TEST(Dsp, LevelCapFromEnvironment)
{
    setenv("QL_H264DEC_SIMD", "c", 1);
    EXPECT_EQ(DetectSimdLevel(), SimdLevel::C);
    unsetenv("QL_H264DEC_SIMD");
}

TEST(Dsp, LumaMcMatchesReferenceAtEveryPosition)
{
    const Tables t = MakeTables();
    std::mt19937 rng(2);
    for (const auto& [name, dsp] : t.optimised) {
        for (int trial = 0; trial < 150; ++trial) {
            for (int w : {4, 8, 16})
                for (int h : {4, 8, 16}) {
                    const int stride = w + 5;
                    const std::vector<uint8_t> src = MakeSource(stride, h + 5, rng, trial % 3);
                    const uint8_t* origin = src.data() + 2 * stride + 2;
                    for (int frac = 0; frac < 16; ++frac) {
                        Guarded a, b;
                        t.reference.inter.lumaMc[frac](a.Block(), Guarded::kStride, origin, stride, w, h);
                        dsp.inter.lumaMc[frac](b.Block(), Guarded::kStride, origin, stride, w, h);
                        ASSERT_EQ(a.bytes, b.bytes) << name << " trial " << trial << " frac " << frac << " " << w << "x"
                                                    << h;
                    }
                }
        }
    }
}

TEST(Dsp, ChromaMcMatchesReferenceAtEveryPosition)
{
    const Tables t = MakeTables();
    std::mt19937 rng(3);
    for (const auto& [name, dsp] : t.optimised) {
        for (int trial = 0; trial < 60; ++trial) {
            for (int w : {2, 4, 8})
                for (int h : {2, 4, 8}) {
                    const int stride = w + 1;
                    const std::vector<uint8_t> src = MakeSource(stride, h + 1, rng, trial % 2);
                    for (int xFrac = 0; xFrac < 8; ++xFrac)
                        for (int yFrac = 0; yFrac < 8; ++yFrac) {
                            Guarded a, b;
                            t.reference.inter.chromaMc(a.Block(), Guarded::kStride, src.data(), stride, w, h, xFrac,
                                                       yFrac);
                            dsp.inter.chromaMc(b.Block(), Guarded::kStride, src.data(), stride, w, h, xFrac, yFrac);
                            ASSERT_EQ(a.bytes, b.bytes) << name << " " << xFrac << "," << yFrac << " " << w << "x" << h;
                        }
                }
        }
    }
}

TEST(Dsp, DeblockEdgesMatchReference)
{
    const Tables t = MakeTables();
    std::mt19937 rng(4);
    for (const auto& [name, dsp] : t.optimised) {
        for (int trial = 0; trial < 6000; ++trial) {
            // Smooth areas with a step at the edge (where the filter works),
            // noise, and the extremes 0 and 255.
            Guarded a;
            const int base = int(rng() % 256);
            const int step = int(rng() % 64) - 32;
            const int noise = trial % 7 == 0 ? 256 : int(rng() % 12) + 1;
            for (int y = -4; y < 20; ++y)
                for (int x = -4; x < 20; ++x) {
                    int v = base + (trial % 2 ? (y >= 0 ? step : 0) : (x >= 0 ? step : 0)) + int(rng() % noise);
                    if (trial % 11 == 0)
                        v = (rng() & 1) * 255;
                    a.Block()[y * Guarded::kStride + x] = uint8_t(std::clamp(v, 0, 255));
                }
            Guarded b = a;
            // The second chroma plane: the same kind of content, moved.
            Guarded crA;
            for (size_t i = 0; i < crA.bytes.size(); ++i)
                crA.bytes[i] = a.bytes[(i + 7 * Guarded::kStride + 3) % a.bytes.size()];
            Guarded crB = crA;
            const int alpha = int(rng() % 256);
            const int beta = int(rng() % 19);
            int8_t tc0[4];
            for (int8_t& c : tc0)
                c = int8_t(int(rng() % 27) - 1); // -1: segment left alone; tC0 is 0..25
            const int dir = trial % 2; // 0 vertical, 1 horizontal edges
            const int plane = (trial / 2) % 2;
            const bool strong = (trial / 4) % 2;
            const DeblockDsp& r = t.reference.deblock;
            const DeblockDsp& f = dsp.deblock;
            constexpr ptrdiff_t kStride = Guarded::kStride;
            if (plane && strong) {
                r.chromaStrong[dir](a.Block(), crA.Block(), kStride, alpha, beta);
                f.chromaStrong[dir](b.Block(), crB.Block(), kStride, alpha, beta);
            } else if (plane) {
                r.chromaNormal[dir](a.Block(), crA.Block(), kStride, alpha, beta, tc0);
                f.chromaNormal[dir](b.Block(), crB.Block(), kStride, alpha, beta, tc0);
            } else if (strong) {
                r.lumaStrong[dir](a.Block(), kStride, alpha, beta);
                f.lumaStrong[dir](b.Block(), kStride, alpha, beta);
            } else {
                r.lumaNormal[dir](a.Block(), kStride, alpha, beta, tc0);
                f.lumaNormal[dir](b.Block(), kStride, alpha, beta, tc0);
            }
            ASSERT_TRUE(a.bytes == b.bytes && crA.bytes == crB.bytes)
                << name << " trial " << trial << (plane ? " chroma" : " luma") << (dir ? " horizontal" : " vertical")
                << (strong ? " strong" : "");
        }
    }
}
