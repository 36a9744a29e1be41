#include "AviWriter.h"

#include "net/Trace.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>

#include <jpeglib.h>

namespace tarnvik {

namespace {

// The header up to the `movi` fourcc: RIFF, LIST hdrl (avih, LIST strl
// with strh and strf), LIST movi.
constexpr uint32_t kAvihSize = 56;
constexpr uint32_t kStrhSize = 56;
constexpr uint32_t kStrfSize = 40;
constexpr uint32_t kStrlListSize = 4 + (8 + kStrhSize) + (8 + kStrfSize);
constexpr uint32_t kHdrlListSize = 4 + (8 + kAvihSize) + (8 + kStrlListSize);
constexpr size_t kMoviFourccAt = 12 + 8 + kHdrlListSize + 8;
constexpr size_t kHeaderBytes = kMoviFourccAt + 4;
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyFrame = 0x10;
// RIFF sizes are 32-bit and many readers take them as signed: a file stays
// below 2 GiB whatever continuation size its owner chose.
constexpr uint64_t kMaxFileBytes = 0x7FFFFFFFu;
constexpr int kMaxFrameRate = 120;

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutFourcc(std::vector<uint8_t>& out, const char* fourcc)
{
    out.insert(out.end(), fourcc, fourcc + 4);
}

uint32_t Fourcc(const char* f)
{
    return uint32_t(uint8_t(f[0])) | uint32_t(uint8_t(f[1])) << 8 | uint32_t(uint8_t(f[2])) << 16 |
           uint32_t(uint8_t(f[3])) << 24;
}

// libjpeg's output into a growing vector.
struct VectorDestination {
    jpeg_destination_mgr base;
    std::vector<uint8_t>* out;
};

void InitDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<VectorDestination*>(info->dest);
    if (dest->out->size() < 65536)
        dest->out->resize(65536);
    dest->base.next_output_byte = dest->out->data();
    dest->base.free_in_buffer = dest->out->size();
}

boolean EmptyOutputBuffer(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<VectorDestination*>(info->dest);
    const size_t used = dest->out->size();
    dest->out->resize(used * 2);
    dest->base.next_output_byte = dest->out->data() + used;
    dest->base.free_in_buffer = used;
    return TRUE;
}

void TermDestination(j_compress_ptr) {}

struct CompressError {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void CompressErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<CompressError*>(info->err)->jump, 1);
}

void SilentOutput(j_common_ptr) {}

// A baseline JPEG of the picture into `out`; its length, or 0 on failure.
size_t CompressJpeg(const uint8_t* bgr, int width, int height, size_t stride, std::vector<uint8_t>& out)
{
    jpeg_compress_struct info;
    CompressError error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = CompressErrorExit;
    error.base.output_message = SilentOutput;
    VectorDestination dest;
    dest.base.init_destination = InitDestination;
    dest.base.empty_output_buffer = EmptyOutputBuffer;
    dest.base.term_destination = TermDestination;
    dest.out = &out;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return 0;
    }
    jpeg_create_compress(&info);
    info.dest = &dest.base;
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kAviJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(bgr + size_t(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    const size_t length = out.size() - dest.base.free_in_buffer;
    jpeg_destroy_compress(&info);
    return length;
}

} // namespace

std::string AviContinuationName(const std::string& baseName, int number)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%04d.avi", number);
    return baseName + suffix;
}

AviWriter::AviWriter(std::string fileName, int frameRate)
    : fileName_(std::move(fileName))
    , frameRate_(frameRate >= 1 && frameRate <= kMaxFrameRate ? frameRate : kAviDefaultFrameRate)
{
}

AviWriter::~AviWriter()
{
    if (!Close())
        Trace("AVI file left incomplete: " + error_);
}

std::vector<uint8_t> AviWriter::Headers(bool withIndex) const
{
    const uint32_t frames = FrameCount();
    const uint64_t moviBytes = bytes_ > kHeaderBytes ? bytes_ - kHeaderBytes : 0;
    const uint64_t indexBytes = withIndex ? 8 + uint64_t(frames) * 16 : 0;
    const uint32_t imageSize = uint32_t(width_ > 0 ? uint64_t(width_) * uint64_t(height_) * 3 : 0);
    const uint32_t w = uint32_t(std::max(width_, 0));
    const uint32_t h = uint32_t(std::max(height_, 0));

    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes);
    PutFourcc(out, "RIFF");
    Put32(out, uint32_t(bytes_ + indexBytes - 8));
    PutFourcc(out, "AVI ");
    PutFourcc(out, "LIST");
    Put32(out, kHdrlListSize);
    PutFourcc(out, "hdrl");

    PutFourcc(out, "avih");
    Put32(out, kAvihSize);
    Put32(out, uint32_t(1000000 / frameRate_)); // microseconds per frame
    Put32(out, largestFrame_ * uint32_t(frameRate_));
    Put32(out, 0);            // padding granularity
    Put32(out, kAvifHasIndex);
    Put32(out, frames);
    Put32(out, 0);            // initial frames
    Put32(out, 1);            // streams
    Put32(out, largestFrame_ + 8);
    Put32(out, w);
    Put32(out, h);
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);

    PutFourcc(out, "LIST");
    Put32(out, kStrlListSize);
    PutFourcc(out, "strl");
    PutFourcc(out, "strh");
    Put32(out, kStrhSize);
    PutFourcc(out, "vids");
    PutFourcc(out, "MJPG");
    Put32(out, 0);            // flags
    Put32(out, 0);            // priority, language
    Put32(out, 0);            // initial frames
    Put32(out, 1);            // scale
    Put32(out, uint32_t(frameRate_));
    Put32(out, 0);            // start
    Put32(out, frames);
    Put32(out, largestFrame_ + 8);
    Put32(out, 0xFFFFFFFFu);  // quality: the codec's default
    Put32(out, 0);            // sample size: varies
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, w & 0xFFFF);
    Put16(out, h & 0xFFFF);

    PutFourcc(out, "strf");
    Put32(out, kStrfSize);
    Put32(out, 40);
    Put32(out, w);
    Put32(out, h);
    Put16(out, 1);            // planes
    Put16(out, 24);           // bits per pixel
    PutFourcc(out, "MJPG");
    Put32(out, imageSize);
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);

    PutFourcc(out, "LIST");
    Put32(out, uint32_t(4 + moviBytes));
    PutFourcc(out, "movi");
    return out;
}

bool AviWriter::Fail(const std::string& what)
{
    usable_ = false;
    failed_ = true;
    if (error_.empty())
        error_ = fileName_ + ": " + what;
    return false;
}

bool AviWriter::Write(const void* data, size_t size)
{
    if (std::fwrite(data, 1, size, file_) != size)
        return Fail(std::strerror(errno));
    bytes_ += size;
    return true;
}

bool AviWriter::WriteAt(long offset, const std::vector<uint8_t>& data)
{
    if (std::fseek(file_, offset, SEEK_SET) != 0 || std::fwrite(data.data(), 1, data.size(), file_) != data.size())
        return Fail(std::strerror(errno));
    return true;
}

bool AviWriter::Create(int width, int height)
{
    // "x": an existing file is never overwritten.
    file_ = std::fopen(fileName_.c_str(), "wbx");
    if (!file_)
        return Fail(std::strerror(errno));
    created_ = true;
    width_ = width;
    height_ = height;
    const std::vector<uint8_t> headers = Headers(false);
    return Write(headers.data(), headers.size());
}

AviWriter::Result AviWriter::AddFrame(const uint8_t* bgr, int width, int height, size_t stride)
{
    if (!usable_ || !bgr || width <= 0 || height <= 0 || stride < size_t(width) * 3)
        return Result::Dropped;
    if (width_ >= 0 && (width != width_ || height != height_))
        return Result::Dropped;
    if (width > 0xFFFF || height > 0xFFFF)
        return Result::Dropped;
    const size_t length = CompressJpeg(bgr, width, height, stride, jpeg_);
    if (length == 0) {
        Fail("the picture could not be compressed");
        return Result::Failed;
    }
    if (!created_ && !Create(width, height))
        return Result::Failed;
    const uint64_t chunk = 8 + length + (length & 1);
    if (bytes_ + chunk + 8 + (uint64_t(FrameCount()) + 1) * 16 > kMaxFileBytes) {
        Fail("the file is too large");
        return Result::Failed;
    }

    const uint64_t offset = bytes_ - kMoviFourccAt;
    std::vector<uint8_t> head;
    PutFourcc(head, "00dc");
    Put32(head, uint32_t(length));
    if (length & 1) {
        if (jpeg_.size() <= length)
            jpeg_.resize(length + 1);
        jpeg_[length] = 0; // chunks start on even offsets
    }
    if (!Write(head.data(), head.size()) || !Write(jpeg_.data(), length + (length & 1)))
        return Result::Failed;
    index_.push_back({uint32_t(offset), uint32_t(length)});
    largestFrame_ = std::max(largestFrame_, uint32_t(length));
    return Result::Written;
}

bool AviWriter::Close()
{
    if (!file_)
        return !failed_;
    // Even after a failed write the index and header are attempted, so the
    // frames before the failure stay readable where the disk allows.
    std::vector<uint8_t> index;
    index.reserve(8 + index_.size() * 16);
    PutFourcc(index, "idx1");
    Put32(index, uint32_t(index_.size() * 16));
    for (const IndexEntry& entry : index_) {
        Put32(index, Fourcc("00dc"));
        Put32(index, kAviifKeyFrame);
        Put32(index, entry.offset);
        Put32(index, entry.size);
    }
    const uint64_t moviEnd = bytes_;
    bool ok = std::fseek(file_, long(moviEnd), SEEK_SET) == 0 &&
              std::fwrite(index.data(), 1, index.size(), file_) == index.size();
    if (!ok)
        Fail(std::strerror(errno));
    if (!WriteAt(0, Headers(ok)))
        ok = false;
    if (std::fclose(file_) != 0) {
        ok = false;
        Fail(std::strerror(errno));
    }
    file_ = nullptr;
    usable_ = false;
    return ok && !failed_;
}

} // namespace tarnvik
