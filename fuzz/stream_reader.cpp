// Untrusted input: a stored stream (a `.avs` recording, a `.DVR` backup or a
// DVR video partition). The bytes are opened both as a recording and as a
// run of GopBlocks, and each source that opens is read record by record at
// normal speed and in fast motion both ways, with block searches at a few
// positions, into a stub decode path (FuzzSupport.h).
//
// The input lives in a memory file (memfd) reopened through /proc, so no
// disk file is written per input.
#include "FuzzSupport.h"

#include "storage/BlockSource.h"
#include "storage/RecordFile.h"
#include "storage/RecordReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace tarnvik;

namespace {

// The memory file holding the current input, made once.
int InputFile()
{
    static const int fd = [] {
        const int made = ::memfd_create("stream_reader", MFD_CLOEXEC);
        if (made < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return made;
    }();
    return fd;
}

std::unique_ptr<SourceFile> OpenInput()
{
    auto file = std::make_unique<SourceFile>();
    std::string error;
    if (!file->Open("/proc/self/fd/" + std::to_string(InputFile()), error)) {
        std::fprintf(stderr, "reopen: %s\n", error.c_str());
        std::abort();
    }
    return file;
}

void Drive(BlockSource& source)
{
    fuzz::StubSink sink;
    RecordReader reader(source, sink, nullptr);
    for (const int speed : {1, 2, -2, 6}) {
        // Fast backward starts from the end, as the player's does after
        // a jump to the last block.
        reader.StartAt(speed < 0 ? source.Last() : source.First());
        for (int i = 0; i < 200; ++i)
            if (reader.ReadOne(speed) == RecordReader::Result::End)
                break;
    }
    // Block audio, as the audio output reads it.
    static std::vector<uint8_t> audio(kAudioBufferBytes);
    int blocks = 0;
    for (BlockInfo b = source.First(); b.Valid() && blocks < 64; b = source.After(b), ++blocks)
        source.ReadAudio(b, audio.data());
    const uint64_t size = source.Size();
    for (const uint64_t offset : {uint64_t(0), uint64_t(512), size / 2, size > 0 ? size - 1 : 0, size, ~uint64_t(0) - 1}) {
        const BlockInfo found = source.FindFrom(offset);
        if (found.Valid()) {
            source.Before(found);
            source.At(found.next);
        }
    }
    const BlockInfo last = source.Last();
    if (last.Valid())
        source.Before(last);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = InputFile();
    if (::ftruncate(fd, 0) != 0 || (size > 0 && ::pwrite(fd, data, size, 0) != ssize_t(size)))
        std::abort();

    RecordFileSource recording;
    std::string error;
    if (recording.Open(OpenInput(), error))
        Drive(recording);

    GopBlockSource blocks(OpenInput(), 0, {});
    if (blocks.First().Valid())
        Drive(blocks);
    // A disk's ring whose oldest recording lies mid-partition.
    GopBlockSource ring(OpenInput(), size / 2, {}, true);
    if (ring.First().Valid())
        Drive(ring);
    return 0;
}
