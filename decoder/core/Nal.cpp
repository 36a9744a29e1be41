#include "Nal.h"

namespace QLMedia {

void SplitNalUnits(const uint8_t* data, size_t size, std::vector<NalUnit>& units)
{
    units.clear();
    size_t i = 0;
    size_t start = size; // first byte of the current unit
    auto close = [&](size_t end) {
        while (end > start && data[end - 1] == 0)
            --end;
        if (end > start) {
            NalUnit nal;
            nal.data = data + start;
            nal.size = end - start;
            nal.type = data[start] & 0x1F;
            nal.refIdc = (data[start] >> 5) & 3;
            units.push_back(nal);
        }
    };
    while (i + 3 <= size) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (start < size)
                close(i);
            i += 3;
            start = i;
            continue;
        }
        // Skip ahead quickly: a start code needs a zero at i + 2 or i + 1.
        if (data[i + 2] > 1)
            i += 3;
        else
            ++i;
    }
    if (start < size)
        close(size);
}

void ExtractRbsp(const NalUnit& nal, std::vector<uint8_t>& rbsp)
{
    rbsp.resize(nal.size > 0 ? nal.size - 1 : 0);
    size_t out = 0;
    int zeros = 0;
    for (size_t i = 1; i < nal.size; ++i) {
        const uint8_t b = nal.data[i];
        if (zeros >= 2 && b == 3) {
            zeros = 0;
            continue;
        }
        rbsp[out++] = b;
        zeros = b == 0 ? zeros + 1 : 0;
    }
    rbsp.resize(out);
}

} // namespace QLMedia
