#include "IntraPred.h"

#include <cstring>

namespace QLMedia {

namespace {

inline uint8_t Clip255(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

void Fill(uint8_t* dst, ptrdiff_t stride, int size, int value)
{
    for (int y = 0; y < size; ++y)
        std::memset(dst + y * stride, value, size_t(size));
}

} // namespace

bool PredictIntra4x4(uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail)
{
    const bool left = avail & kAvailLeft, top = avail & kAvailTop, topLeft = avail & kAvailTopLeft;
    // t[1] is the top-left sample, t[2..9] the eight above; l[1] the
    // top-left, l[2..5] the left column. One spare entry in front keeps
    // every index the modes compute inside the arrays.
    int t[10] = {}, l[6] = {};
    if (top) {
        const uint8_t* above = dst - stride;
        for (int i = 0; i < 4; ++i)
            t[2 + i] = above[i];
        for (int i = 4; i < 8; ++i)
            t[2 + i] = (avail & kAvailTopRight) ? above[i] : above[3];
    }
    if (left)
        for (int i = 0; i < 4; ++i)
            l[2 + i] = dst[i * stride - 1];
    if (topLeft)
        t[1] = l[1] = dst[-stride - 1];
    auto T = [&](int x) { return t[x + 2]; }; // p[x, -1], x from -1
    auto L = [&](int y) { return l[y + 2]; }; // p[-1, y], y from -1
    auto put = [&](int x, int y, int v) { dst[y * stride + x] = uint8_t(v); };

    switch (mode) {
    case 0: // vertical
        if (!top)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                put(x, y, T(x));
        return true;
    case 1: // horizontal
        if (!left)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                put(x, y, L(y));
        return true;
    case 2: { // DC
        int dc = 128;
        if (top && left)
            dc = (T(0) + T(1) + T(2) + T(3) + L(0) + L(1) + L(2) + L(3) + 4) >> 3;
        else if (left)
            dc = (L(0) + L(1) + L(2) + L(3) + 2) >> 2;
        else if (top)
            dc = (T(0) + T(1) + T(2) + T(3) + 2) >> 2;
        Fill(dst, stride, 4, dc);
        return true;
    }
    case 3: // diagonal down left
        if (!top)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                put(x, y, (x == 3 && y == 3) ? (T(6) + 3 * T(7) + 2) >> 2
                                             : (T(x + y) + 2 * T(x + y + 1) + T(x + y + 2) + 2) >> 2);
        return true;
    case 4: // diagonal down right
        if (!top || !left || !topLeft)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                if (x > y)
                    put(x, y, (T(x - y - 2) + 2 * T(x - y - 1) + T(x - y) + 2) >> 2);
                else if (x < y)
                    put(x, y, (L(y - x - 2) + 2 * L(y - x - 1) + L(y - x) + 2) >> 2);
                else
                    put(x, y, (T(0) + 2 * T(-1) + L(0) + 2) >> 2);
            }
        return true;
    case 5: // vertical right
        if (!top || !left || !topLeft)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int z = 2 * x - y;
                const int i = x - (y >> 1);
                if (z >= 0 && (z & 1) == 0)
                    put(x, y, (T(i - 1) + T(i) + 1) >> 1);
                else if (z >= 0)
                    put(x, y, (T(i - 2) + 2 * T(i - 1) + T(i) + 2) >> 2);
                else if (z == -1)
                    put(x, y, (L(0) + 2 * L(-1) + T(0) + 2) >> 2);
                else
                    put(x, y, (L(y - 1) + 2 * L(y - 2) + L(y - 3) + 2) >> 2);
            }
        return true;
    case 6: // horizontal down
        if (!top || !left || !topLeft)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int z = 2 * y - x;
                const int i = y - (x >> 1);
                if (z >= 0 && (z & 1) == 0)
                    put(x, y, (L(i - 1) + L(i) + 1) >> 1);
                else if (z >= 0)
                    put(x, y, (L(i - 2) + 2 * L(i - 1) + L(i) + 2) >> 2);
                else if (z == -1)
                    put(x, y, (L(0) + 2 * L(-1) + T(0) + 2) >> 2);
                else
                    put(x, y, (T(x - 1) + 2 * T(x - 2) + T(x - 3) + 2) >> 2);
            }
        return true;
    case 7: // vertical left
        if (!top)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int i = x + (y >> 1);
                if ((y & 1) == 0)
                    put(x, y, (T(i) + T(i + 1) + 1) >> 1);
                else
                    put(x, y, (T(i) + 2 * T(i + 1) + T(i + 2) + 2) >> 2);
            }
        return true;
    case 8: // horizontal up
        if (!left)
            return false;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const int z = x + 2 * y;
                const int i = y + (x >> 1);
                if (z > 5)
                    put(x, y, L(3));
                else if (z == 5)
                    put(x, y, (L(2) + 3 * L(3) + 2) >> 2);
                else if ((z & 1) == 0)
                    put(x, y, (L(i) + L(i + 1) + 1) >> 1);
                else
                    put(x, y, (L(i) + 2 * L(i + 1) + L(i + 2) + 2) >> 2);
            }
        return true;
    default:
        return false;
    }
}

bool PredictIntra16x16(uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail)
{
    const bool left = avail & kAvailLeft, top = avail & kAvailTop;
    const uint8_t* above = dst - stride;
    switch (mode) {
    case 0:
        if (!top)
            return false;
        for (int y = 0; y < 16; ++y)
            std::memcpy(dst + y * stride, above, 16);
        return true;
    case 1:
        if (!left)
            return false;
        for (int y = 0; y < 16; ++y)
            std::memset(dst + y * stride, dst[y * stride - 1], 16);
        return true;
    case 2: {
        int sumTop = 0, sumLeft = 0;
        for (int i = 0; i < 16; ++i) {
            if (top)
                sumTop += above[i];
            if (left)
                sumLeft += dst[i * stride - 1];
        }
        int dc = 128;
        if (top && left)
            dc = (sumTop + sumLeft + 16) >> 5;
        else if (left)
            dc = (sumLeft + 8) >> 4;
        else if (top)
            dc = (sumTop + 8) >> 4;
        Fill(dst, stride, 16, dc);
        return true;
    }
    case 3: {
        if (!top || !left || !(avail & kAvailTopLeft))
            return false;
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
        return true;
    }
    default:
        return false;
    }
}

bool PredictIntraChroma(uint8_t* dst, ptrdiff_t stride, int mode, unsigned avail)
{
    const bool left = avail & kAvailLeft, top = avail & kAvailTop;
    const uint8_t* above = dst - stride;
    switch (mode) {
    case 0: { // DC per 4x4 block
        for (int by = 0; by < 2; ++by)
            for (int bx = 0; bx < 2; ++bx) {
                int sumTop = 0, sumLeft = 0;
                for (int i = 0; i < 4; ++i) {
                    if (top)
                        sumTop += above[4 * bx + i];
                    if (left)
                        sumLeft += dst[(4 * by + i) * stride - 1];
                }
                int dc = 128;
                const bool corner = bx == by; // blocks (0,0) and (1,1) use both edges
                if (corner) {
                    if (top && left)
                        dc = (sumTop + sumLeft + 4) >> 3;
                    else if (left)
                        dc = (sumLeft + 2) >> 2;
                    else if (top)
                        dc = (sumTop + 2) >> 2;
                } else if (bx == 1) { // top right prefers the samples above
                    if (top)
                        dc = (sumTop + 2) >> 2;
                    else if (left)
                        dc = (sumLeft + 2) >> 2;
                } else { // bottom left prefers the samples to the left
                    if (left)
                        dc = (sumLeft + 2) >> 2;
                    else if (top)
                        dc = (sumTop + 2) >> 2;
                }
                Fill(dst + 4 * by * stride + 4 * bx, stride, 4, dc);
            }
        return true;
    }
    case 1:
        if (!left)
            return false;
        for (int y = 0; y < 8; ++y)
            std::memset(dst + y * stride, dst[y * stride - 1], 8);
        return true;
    case 2:
        if (!top)
            return false;
        for (int y = 0; y < 8; ++y)
            std::memcpy(dst + y * stride, above, 8);
        return true;
    case 3: {
        if (!top || !left || !(avail & kAvailTopLeft))
            return false;
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
        return true;
    }
    default:
        return false;
    }
}

} // namespace QLMedia
