// Untrusted input: a DVR disk's `timeindex` or a backup's `.inx`. The bytes
// are parsed as both, against several recording lengths, and the result is
// searched by time and by position.
#include "storage/TimeIndex.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint64_t lengths[] = {0, 512, uint64_t(size) * 4096, UINT64_MAX};
    for (const bool disk : {true, false}) {
        for (const uint64_t length : lengths) {
            tarnvik::TimeIndex index;
            std::string error;
            if (!tarnvik::ParseTimeIndex(data, size, disk, length, index, error))
                continue;
            for (const uint32_t time : {0u, index.startTime, index.endTime, index.endTime + 30, 0xFFFFFFFFu}) {
                const int found = tarnvik::FindTime(index, time);
                if (found >= 0)
                    tarnvik::NextSegment(index, index.sorted.at(size_t(found)).position);
            }
            tarnvik::NextSegment(index, 0);
            tarnvik::NextSegment(index, index.lastNonzeroPosition);
            tarnvik::FormatIndexTime(index.startTime);
        }
    }
    return 0;
}
