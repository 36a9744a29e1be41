// A stored stream opened for reading: a `.DVR` or `.avs` file, a disk image
// or a block device. Reads are positional (pread), so two readers (video
// and audio) may use one object from different threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnvik {

class SourceFile {
public:
    SourceFile() = default;
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Opens for reading; false with the system's reason in `error`.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    // Bytes in the file or device, taken at Open.
    uint64_t Size() const { return size_; }

    // Reads up to `size` bytes at `offset`; fewer at the end; 0 past the end
    // or on a read error.
    size_t ReadAt(uint64_t offset, uint8_t* out, size_t size) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    std::string path_;
};

} // namespace tarnvik
