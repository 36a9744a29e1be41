// The reconstruction kernels (intra prediction, scaling with the inverse
// transform, the DC-only shortcut) at every level the processor has against
// their C++ references, on random and extreme inputs, in guarded buffers.
#include "core/Dsp.h"
#include "core/IntraPred.h"
#include "core/Transform.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace QLMedia;

namespace {

struct Level {
    std::string name;
    DecoderDsp dsp;
};

// The C table first, then every faster level the processor has.
std::vector<Level> Levels()
{
    static const char* names[] = {"c", "sse2", "ssse3", "avx2"};
    std::vector<Level> levels;
    for (SimdLevel level : {SimdLevel::C, SimdLevel::Sse2, SimdLevel::Ssse3, SimdLevel::Avx2}) {
        if (level > DetectSimdLevel())
            break;
        Level l{names[int(level)], {}};
        InitDsp(l.dsp, level);
        levels.push_back(l);
    }
    return levels;
}

// A block of up to 16x16 at (kPad, kPad) in a picture of random samples;
// kernels may read around it but write only inside it.
struct Picture {
    static constexpr int kStride = 64, kPad = 24;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kStride * 64);
    uint8_t* Block() { return bytes.data() + kPad * kStride + kPad; }

    // Mostly random samples; some pictures are flat 0 or 255, or alternate
    // between them, to reach the clipping and rounding limits.
    void Fill(std::mt19937& rng)
    {
        const int kind = int(rng() % 6);
        for (uint8_t& b : bytes)
            b = kind == 0 ? 0 : kind == 1 ? 255 : kind == 2 ? uint8_t((rng() & 1) * 255) : uint8_t(rng());
    }

    // Only the w x h block at Block() differs from `before`.
    bool OnlyBlockChanged(const Picture& before, int w, int h) const
    {
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < kStride; ++x) {
                const bool inside = y >= kPad && y < kPad + h && x >= kPad && x < kPad + w;
                if (!inside && bytes[y * kStride + x] != before.bytes[y * kStride + x])
                    return false;
            }
        return true;
    }
};

int16_t RandomLevel(std::mt19937& rng)
{
    switch (rng() % 8) {
    case 0:
    case 1:
    case 2:
        return 0;
    case 3:
        return 32767;
    case 4:
        return -32768;
    case 5:
        return int16_t(int(rng() % 4001) - 2000);
    default:
        return int16_t(int(rng() % 41) - 20);
    }
}

} // namespace

TEST(ReconstructDsp, ScalingWithTransformMatchesReference)
{
    const std::vector<Level> levels = Levels();
    const TransformDsp& c = levels[0].dsp.transform;
    std::mt19937 rng(11);
    for (int trial = 0; trial < 3000; ++trial) {
        // Two blocks side by side for the kernels that take a pair.
        int16_t coeffs[32];
        for (int16_t& v : coeffs)
            v = RandomLevel(rng);
        const int qp = trial % 10 == 0 ? 51 : int(rng() % 52);
        // The scaled DC of an Intra16x16 or chroma block may be any 16-bit value.
        const int32_t dc[2] = {RandomLevel(rng), RandomLevel(rng)};
        Picture start;
        start.Fill(rng);
        const ptrdiff_t s = Picture::kStride;
        for (int ac = 0; ac < 2; ++ac) {
            const std::string what = std::string(ac ? "AC" : "") + " qp " + std::to_string(qp);
            Picture expected = start;
            if (ac)
                c.dequantIdctAddAc(coeffs, dc[0], qp, expected.Block(), s);
            else
                c.dequantIdctAdd(coeffs, qp, expected.Block(), s);
            ASSERT_TRUE(expected.OnlyBlockChanged(start, 4, 4));
            Picture single = expected;
            if (ac)
                c.dequantIdctAddAc(coeffs + 16, dc[1], qp, expected.Block() + 4, s);
            else
                c.dequantIdctAdd(coeffs + 16, qp, expected.Block() + 4, s);
            for (const Level& level : levels) {
                const TransformDsp& t = level.dsp.transform;
                Picture got = start;
                if (ac)
                    t.dequantIdctAddAc(coeffs, dc[0], qp, got.Block(), s);
                else
                    t.dequantIdctAdd(coeffs, qp, got.Block(), s);
                ASSERT_EQ(single.bytes, got.bytes) << level.name << " " << what;
                got = start;
                if (ac)
                    t.dequantIdctAddAc2(coeffs, dc, qp, got.Block(), s);
                else
                    t.dequantIdctAdd2(coeffs, qp, got.Block(), s);
                ASSERT_EQ(expected.bytes, got.bytes) << level.name << " pair " << what;
            }
        }
    }
}

TEST(ReconstructDsp, DcShortcutEqualsTheFullTransform)
{
    const std::vector<Level> levels = Levels();
    std::mt19937 rng(12);
    for (int trial = 0; trial < 3000; ++trial) {
        int16_t coeffs[16] = {};
        const int16_t level = RandomLevel(rng);
        coeffs[0] = level;
        const int qp = int(rng() % 52);
        Picture start;
        start.Fill(rng);
        Picture full = start;
        levels[0].dsp.transform.dequantIdctAdd(coeffs, qp, full.Block(), Picture::kStride);
        const int16_t scaledDc = trial % 2 ? RandomLevel(rng) : int16_t(DequantiseDc4x4(level, qp));
        Picture ac = start;
        coeffs[0] = int16_t(rng()); // not read
        levels[0].dsp.transform.dequantIdctAddAc(coeffs, scaledDc, qp, ac.Block(), Picture::kStride);
        for (const Level& l : levels) {
            Picture shortcut = start;
            l.dsp.transform.addDc4x4(scaledDc, shortcut.Block(), Picture::kStride);
            if (trial % 2 == 0) {
                ASSERT_EQ(full.bytes, shortcut.bytes) << l.name << " level " << level << " qp " << qp;
            }
            ASSERT_EQ(ac.bytes, shortcut.bytes) << l.name << " dc " << scaledDc;
        }
    }
}

namespace {

// One intra prediction call through the availability wrapper, size 4, 16
// or 8 (chroma).
bool Predict(const DecoderDsp& dsp, int size, uint8_t* dst, int mode, unsigned avail)
{
    const ptrdiff_t stride = Picture::kStride;
    if (size == 4)
        return PredictIntra4x4(dsp.intra, dst, stride, mode, avail);
    if (size == 16)
        return PredictIntra16x16(dsp.intra, dst, stride, mode, avail);
    return PredictIntraChroma(dsp.intra, dst, stride, mode, avail);
}

// Overwrites the neighbours `avail` leaves out with noise: no prediction
// may depend on them.
void ScrambleUnavailable(Picture& pic, int size, unsigned avail, std::mt19937& rng)
{
    uint8_t* b = pic.Block();
    const ptrdiff_t s = Picture::kStride;
    for (int i = 0; i < size; ++i) {
        if (!(avail & kAvailLeft))
            b[i * s - 1] = uint8_t(rng());
        if (!(avail & kAvailTop))
            b[i - s] = uint8_t(rng());
        if (size == 4 && !(avail & kAvailTopRight))
            b[4 + i - s] = uint8_t(rng());
    }
    if (!(avail & kAvailTopLeft))
        b[-s - 1] = uint8_t(rng());
}

} // namespace

TEST(ReconstructDsp, IntraPredictionMatchesReferenceForEveryModeAndNeighbourhood)
{
    const std::vector<Level> levels = Levels();
    std::mt19937 rng(13);
    struct Kind {
        int size, modes;
    };
    for (const Kind kind : {Kind{4, 9}, Kind{16, 4}, Kind{8, 4}}) {
        for (int trial = 0; trial < 50; ++trial) {
            Picture start;
            start.Fill(rng);
            for (int mode = 0; mode < kind.modes; ++mode)
                for (unsigned avail = 0; avail < 16; ++avail) {
                    const std::string where = "size " + std::to_string(kind.size) + " mode " +
                                              std::to_string(mode) + " avail " + std::to_string(avail);
                    Picture expected = start;
                    const bool ok = Predict(levels[0].dsp, kind.size, expected.Block(), mode, avail);
                    ASSERT_TRUE(expected.OnlyBlockChanged(start, kind.size, kind.size)) << where;
                    if (!ok) {
                        ASSERT_EQ(expected.bytes, start.bytes) << where;
                        continue;
                    }
                    for (const Level& level : levels) {
                        Picture got = start;
                        ScrambleUnavailable(got, kind.size, avail, rng);
                        const Picture scrambled = got;
                        ASSERT_TRUE(Predict(level.dsp, kind.size, got.Block(), mode, avail)) << where;
                        ASSERT_TRUE(got.OnlyBlockChanged(scrambled, kind.size, kind.size)) << level.name << " " << where;
                        for (int y = 0; y < kind.size; ++y)
                            for (int x = 0; x < kind.size; ++x)
                                ASSERT_EQ(expected.Block()[y * Picture::kStride + x],
                                          got.Block()[y * Picture::kStride + x])
                                    << level.name << " " << where << " at " << x << "," << y;
                    }
                }
        }
    }
}

TEST(ReconstructDsp, IntraModesNeedingMissingNeighboursAreRefused)
{
    DecoderDsp dsp;
    InitDsp(dsp, SimdLevel::C);
    Picture pic;
    uint8_t* b = pic.Block();
    // Vertical and the diagonals down left and vertical left need the top
    // row; horizontal and horizontal up the left column; the others all
    // three edges. DC works with any.
    EXPECT_FALSE(Predict(dsp, 4, b, 0, kAvailLeft | kAvailTopLeft));
    EXPECT_FALSE(Predict(dsp, 4, b, 1, kAvailTop | kAvailTopRight));
    EXPECT_FALSE(Predict(dsp, 4, b, 3, kAvailLeft | kAvailTopLeft));
    EXPECT_FALSE(Predict(dsp, 4, b, 4, kAvailLeft | kAvailTop));
    EXPECT_FALSE(Predict(dsp, 4, b, 8, kAvailTop | kAvailTopLeft));
    EXPECT_FALSE(Predict(dsp, 4, b, 9, 15));
    EXPECT_TRUE(Predict(dsp, 4, b, 2, 0));
    EXPECT_FALSE(Predict(dsp, 16, b, 3, kAvailLeft | kAvailTop));
    EXPECT_FALSE(Predict(dsp, 16, b, 4, 15));
    EXPECT_TRUE(Predict(dsp, 16, b, 2, 0));
    EXPECT_FALSE(Predict(dsp, 8, b, 2, kAvailLeft));
    EXPECT_FALSE(Predict(dsp, 8, b, 1, kAvailTop));
    EXPECT_TRUE(Predict(dsp, 8, b, 0, 0));
}
