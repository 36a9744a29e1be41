// Untrusted input: a DVR disk's `timeindex` or a backup's `.inx`, its
// `CARID`, and the mount table naming the disk's partitions (whose mount
// points carry names from the disk). The bytes are parsed as both index
// files, against several recording lengths, and the result is searched by
// time and by position; they are also read as a CARID file and as the mount
// table that the disk locator scans.
//
// The input lives in a memory file (memfd) reached through /proc, so no
// disk file is written per input.
#include "storage/DvrDiskLocator.h"
#include "storage/TimeIndex.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The memory file holding the current input, made once.
struct InputFile {
    InputFile() : fd(::memfd_create("time_index", MFD_CLOEXEC))
    {
        if (fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    void Write(const uint8_t* data, size_t size) const
    {
        if (::ftruncate(fd, 0) != 0 || (size > 0 && ::pwrite(fd, data, size, 0) != ssize_t(size)))
            std::abort();
    }
    int fd;
    std::string path;
};

} // namespace

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

    static const InputFile input;
    input.Write(data, size);
    tarnvik::ReadCarId(input.path);
    tarnvik::DiskSystemPaths paths;
    paths.mountTable = input.path;
    paths.dev = "/nonexistent-dev";
    tarnvik::DvrDiskLocator(paths).Find();
    return 0;
}
