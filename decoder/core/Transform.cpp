#include "Transform.h"

#include "Dsp.h"

namespace QLMedia {

const uint8_t kZigzag4x4[16] = {0, 1, 4, 8, 5, 2, 3, 6, 9, 12, 13, 10, 7, 11, 14, 15};

const uint8_t kChromaQp[52] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                               18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 29, 30, 31, 32, 32, 33,
                               34, 34, 35, 35, 36, 36, 37, 37, 37, 38, 38, 38, 39, 39, 39, 39};

namespace {

// normAdjust4x4 of clause 8.5.9: v[m][0] at positions with both indices
// even, v[m][1] with both odd, v[m][2] otherwise.
constexpr int kNormAdjust[6][3] = {{10, 16, 13}, {11, 18, 14}, {13, 20, 16},
                                   {14, 23, 18}, {16, 25, 20}, {18, 29, 23}};

constexpr int PositionClass(int i)
{
    const int x = i & 3, y = i >> 2;
    if ((x & 1) == 0 && (y & 1) == 0)
        return 0;
    if ((x & 1) && (y & 1))
        return 1;
    return 2;
}

struct alignas(16) LevelScaleTable {
    int16_t v[52][16];
};

constexpr LevelScaleTable MakeLevelScaleTable()
{
    LevelScaleTable t{};
    for (int qp = 0; qp < 52; ++qp)
        for (int i = 0; i < 16; ++i)
            t.v[qp][i] = int16_t(kNormAdjust[qp % 6][PositionClass(i)] << (qp / 6));
    return t;
}

inline uint8_t Clip255(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Conforming streams keep scaled coefficients within 16 bits; damaged ones
// are held there too, so the transforms can never overflow.
inline int32_t Clamp16(int64_t v)
{
    return int32_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

constexpr LevelScaleTable kLevelScaleTable = MakeLevelScaleTable();

} // namespace

const int16_t (&kLevelScale4x4)[52][16] = kLevelScaleTable.v;

int32_t DequantiseDc4x4(int32_t level, int qp)
{
    return Clamp16(Clamp16(level) * (kNormAdjust[qp % 6][0] << (qp / 6)));
}

namespace {

// A level held to 16 bits times at most 29 << 8 stays within 32 bits.
inline void Dequantise4x4(const int16_t levels[16], int qp, int32_t block[16])
{
    for (int i = 0; i < 16; ++i)
        block[i] = Clamp16(levels[i] * kLevelScaleTable.v[qp][i]);
}

// Inverse 4x4 transform of a dequantised raster-order block added to dst.
void Idct4x4AddC(const int32_t block[16], uint8_t* dst, ptrdiff_t stride)
{
    int32_t tmp[16];
    for (int r = 0; r < 4; ++r) {
        const int32_t* d = block + 4 * r;
        const int32_t e0 = d[0] + d[2];
        const int32_t e1 = d[0] - d[2];
        const int32_t e2 = (d[1] >> 1) - d[3];
        const int32_t e3 = d[1] + (d[3] >> 1);
        tmp[4 * r + 0] = e0 + e3;
        tmp[4 * r + 1] = e1 + e2;
        tmp[4 * r + 2] = e1 - e2;
        tmp[4 * r + 3] = e0 - e3;
    }
    for (int c = 0; c < 4; ++c) {
        const int32_t f0 = tmp[c], f1 = tmp[4 + c], f2 = tmp[8 + c], f3 = tmp[12 + c];
        const int32_t g0 = f0 + f2;
        const int32_t g1 = f0 - f2;
        const int32_t g2 = (f1 >> 1) - f3;
        const int32_t g3 = f1 + (f3 >> 1);
        dst[c] = Clip255(dst[c] + ((g0 + g3 + 32) >> 6));
        dst[stride + c] = Clip255(dst[stride + c] + ((g1 + g2 + 32) >> 6));
        dst[2 * stride + c] = Clip255(dst[2 * stride + c] + ((g1 - g2 + 32) >> 6));
        dst[3 * stride + c] = Clip255(dst[3 * stride + c] + ((g0 - g3 + 32) >> 6));
    }
}

void DequantIdctAddC(const int16_t levels[16], int qp, uint8_t* dst, ptrdiff_t stride)
{
    int32_t block[16];
    Dequantise4x4(levels, qp, block);
    Idct4x4AddC(block, dst, stride);
}

void DequantIdctAddAcC(const int16_t levels[16], int32_t dc, int qp, uint8_t* dst, ptrdiff_t stride)
{
    int32_t block[16];
    Dequantise4x4(levels, qp, block);
    block[0] = dc;
    Idct4x4AddC(block, dst, stride);
}

void DequantIdctAdd2C(const int16_t levels[32], int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAddC(levels, qp, dst, stride);
    DequantIdctAddC(levels + 16, qp, dst + 4, stride);
}

void DequantIdctAddAc2C(const int16_t levels[32], const int32_t dc[2], int qp, uint8_t* dst, ptrdiff_t stride)
{
    DequantIdctAddAcC(levels, dc[0], qp, dst, stride);
    DequantIdctAddAcC(levels + 16, dc[1], qp, dst + 4, stride);
}

void AddDc4x4C(int32_t dc, uint8_t* dst, ptrdiff_t stride)
{
    const int add = (dc + 32) >> 6;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            dst[y * stride + x] = Clip255(dst[y * stride + x] + add);
}

} // namespace

void InitTransformC(TransformDsp& dsp)
{
    dsp.dequantIdctAdd = DequantIdctAddC;
    dsp.dequantIdctAddAc = DequantIdctAddAcC;
    dsp.dequantIdctAdd2 = DequantIdctAdd2C;
    dsp.dequantIdctAddAc2 = DequantIdctAddAc2C;
    dsp.addDc4x4 = AddDc4x4C;
}

void InverseLumaDc(int32_t c[16], int qp)
{
    int32_t t[16];
    for (int r = 0; r < 4; ++r) {
        const int32_t* d = c + 4 * r;
        const int32_t a = d[0] + d[1], b = d[0] - d[1], e = d[2] + d[3], f = d[2] - d[3];
        // Rows of the Hadamard matrix: ++++, ++--, +--+, +-+-.
        t[4 * r + 0] = a + e;
        t[4 * r + 1] = a - e;
        t[4 * r + 2] = b - f;
        t[4 * r + 3] = b + f;
    }
    const int scale = 16 * kNormAdjust[qp % 6][0];
    const int shift = qp / 6;
    for (int col = 0; col < 4; ++col) {
        const int32_t a = t[col] + t[4 + col], b = t[col] - t[4 + col];
        const int32_t e = t[8 + col] + t[12 + col], f = t[8 + col] - t[12 + col];
        const int32_t out[4] = {a + e, a - e, b - f, b + f};
        for (int row = 0; row < 4; ++row) {
            const int64_t v = int64_t(out[row]) * scale;
            c[4 * row + col] = Clamp16(qp >= 36 ? v << (shift - 6) : (v + (1 << (5 - shift))) >> (6 - shift));
        }
    }
}

void InverseChromaDc(int32_t c[4], int qpc)
{
    const int32_t a = c[0] + c[1], b = c[0] - c[1], e = c[2] + c[3], f = c[2] - c[3];
    const int32_t f00 = a + e, f01 = b + f, f10 = a - e, f11 = b - f;
    const int scale = 16 * kNormAdjust[qpc % 6][0];
    const int shift = qpc / 6;
    c[0] = Clamp16(((int64_t(f00) * scale) << shift) >> 5);
    c[1] = Clamp16(((int64_t(f01) * scale) << shift) >> 5);
    c[2] = Clamp16(((int64_t(f10) * scale) << shift) >> 5);
    c[3] = Clamp16(((int64_t(f11) * scale) << shift) >> 5);
}

} // namespace QLMedia
