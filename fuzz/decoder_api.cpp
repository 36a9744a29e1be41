// Untrusted input: H.264 from a DVR or a stored stream, into the decoder
// through its public API the way the viewer drives it: one access unit per
// call, called again for results 1 and 5, a new decoder (Uninit, Init) on
// -5, and no call once the stream's coded size passes the picture size cap.
//
// Input: the first byte chooses the output format (bits 0-1), the decoding
// threads (bits 2-3) and the cap (bit 4: the viewer's, or a CIF-sized one
// that keeps most inputs fast); the rest is access units separated by the
// four bytes "QLAU". The output buffer is exactly the coded size in the
// chosen format, so that a picture written beyond it shows under ASan.
#include "Quorlin_H264_Dec.h"

#include "video/PictureLayout.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr uint8_t kSeparator[4] = {'Q', 'L', 'A', 'U'};
// As the renderer: a decoder that keeps asking to be called again must not
// hold its caller forever.
constexpr int kMaxDecoderCalls = 64;
constexpr size_t kSmallCap = size_t(352) * 288 * 3;

// Bytes of a width x height picture in an output format.
uint64_t PictureBytes(int format, uint32_t width, uint32_t height)
{
    const uint64_t pixels = uint64_t(width) * height;
    switch (format) {
    case 0: return pixels * 3 / 2;
    case 1: return pixels * 2;
    default: return pixels * 3;
    }
}

class Output {
public:
    // A buffer of exactly the handle's coded size in `format` (one byte
    // while the size is unknown), made anew when the size changes.
    uint8_t* For(const DecoderHandle& h, int format)
    {
        uint64_t bytes = PictureBytes(format, uint32_t(h.codedWidth), uint32_t(h.codedHeight));
        if (bytes == 0)
            bytes = 1;
        if (bytes != size_) {
            buffer_.reset(new uint8_t[bytes]);
            size_ = bytes;
        }
        return buffer_.get();
    }

private:
    std::unique_ptr<uint8_t[]> buffer_;
    uint64_t size_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const int32_t kThreads[] = {1, 1, 2, 0};
    const int format = data[0] & 3;
    const size_t cap = (data[0] & 0x10) ? tarnvik::kPictureBufferBytes : kSmallCap;
    DecoderHandle handle = {};
    handle.threads = kThreads[(data[0] >> 2) & 3];
    handle.outputFormat = format;
    if (QL_H264dec_Init(&handle) != 0)
        return 0;
    Output output;

    const uint8_t* p = data + 1;
    const uint8_t* const end = data + size;
    while (p < end) {
        const uint8_t* unitEnd = p;
        while (end - unitEnd >= 4 && std::memcmp(unitEnd, kSeparator, 4) != 0)
            ++unitEnd;
        if (end - unitEnd < 4)
            unitEnd = end;
        const uint32_t length = uint32_t(unitEnd - p);
        for (int call = 0; call < kMaxDecoderCalls; ++call) {
            if (uint64_t(uint32_t(handle.codedWidth)) * uint32_t(handle.codedHeight) * 3 > cap) {
                QL_H264dec_Uninit(&handle);
                QL_H264dec_Init(&handle);
                handle.codedWidth = handle.codedHeight = 0;
                break;
            }
            const int32_t result = QL_H264dec_GetOneFrame(&handle, p, length, output.For(handle, format));
            QL_H264dec_GetLastStatus(&handle);
            if (result == -5) {
                QL_H264dec_Uninit(&handle);
                QL_H264dec_Init(&handle);
                handle.codedWidth = handle.codedHeight = 0;
                continue;
            }
            if (result != 1 && result != 5)
                break;
        }
        p = unitEnd + (unitEnd < end ? 4 : 0);
    }
    QL_H264dec_Uninit(&handle);
    return 0;
}
