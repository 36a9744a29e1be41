// AviWriter: one exported channel's pictures as a RIFF AVI 1.0 file that
// other programs open: `hdrl` (`avih`, one `strl` with `strh` and a
// BITMAPINFOHEADER `strf` for "MJPG"), `movi` with one `00dc` chunk per
// picture (a baseline JPEG at quality 90, every frame a key frame) and
// `idx1`. The file is created on the first picture, which also fixes the
// frame size; pictures of another size are dropped and the file goes on.
// The header's counts and the index are written by Close, so a file is
// whole only once it was closed.
//
// Every write is checked. After a failure the writer is unusable: it
// ignores pictures, Error() says what went wrong, and Close still tries to
// leave the frames written so far readable.
//
// Not thread-safe: the owner serialises AddFrame and Close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tarnvik {

// A continuation file is started once a file's frame data passes this.
inline constexpr uint64_t kAviContinuationBytes = 600000000;
// The frame rate written when a channel's own rate is not known.
inline constexpr int kAviDefaultFrameRate = 30;
inline constexpr int kAviJpegQuality = 90;

// Continuation `number` (1, 2, ...) of a file: the first file's name
// followed by "%04d.avi" ("x_ch0_0.avi" -> "x_ch0_0.avi0001.avi").
std::string AviContinuationName(const std::string& baseName, int number);

class AviWriter {
public:
    enum class Result { Written, Dropped, Failed };

    // `frameRate` outside 1..120 is taken as unknown (kAviDefaultFrameRate).
    AviWriter(std::string fileName, int frameRate);
    // Closes the file (errors are then only traced).
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Compresses one top-down B,G,R picture (`stride` bytes a row) and
    // appends it. Dropped: its size differs from the first picture's, or
    // the writer is unusable. Failed: this call failed (see Error()).
    Result AddFrame(const uint8_t* bgr, int width, int height, size_t stride);
    // Writes the index and the final header and closes the file. False when
    // any write of the file failed (also an earlier one); nothing happens
    // when no file was created. Idempotent.
    bool Close();

    bool Usable() const { return usable_; }
    bool FileCreated() const { return created_; }
    const std::string& FileName() const { return fileName_; }
    const std::string& Error() const { return error_; }
    int FrameRate() const { return frameRate_; }
    uint32_t FrameCount() const { return uint32_t(index_.size()); }
    // Bytes of the file written so far (headers and frame chunks).
    uint64_t BytesWritten() const { return bytes_; }

private:
    struct IndexEntry {
        uint32_t offset; // from the `movi` fourcc
        uint32_t size;
    };
    bool Create(int width, int height);
    bool Write(const void* data, size_t size);
    bool WriteAt(long offset, const std::vector<uint8_t>& data);
    bool Fail(const std::string& what);
    // The header up to the `movi` fourcc with the counts so far; the RIFF
    // size counts the index when it is written.
    std::vector<uint8_t> Headers(bool withIndex) const;

    std::string fileName_;
    int frameRate_;
    std::FILE* file_ = nullptr;
    bool created_ = false;
    bool usable_ = true;
    bool failed_ = false;
    int width_ = -1;
    int height_ = -1;
    uint64_t bytes_ = 0;
    uint32_t largestFrame_ = 0;
    std::vector<IndexEntry> index_;
    std::vector<uint8_t> jpeg_; // reused for every picture
    std::string error_;
};

} // namespace tarnvik
