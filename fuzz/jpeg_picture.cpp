// Untrusted input: a JPEG frame (codec 0) from a DVR or a stored stream,
// decoded into B,G,R as the renderer does. The input's length chooses the
// capacity: the renderer's working buffer or a QCIF-sized one, each ending
// exactly at its capacity so that a row written beyond it shows under ASan.
#include "video/JpegPicture.h"
#include "video/PictureLayout.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kSmall = size_t(176) * 144 * 3;
    static const std::unique_ptr<uint8_t[]> large(new uint8_t[tarnvik::kPictureBufferBytes]);
    static const std::unique_ptr<uint8_t[]> small(new uint8_t[kSmall]);
    const bool useSmall = size % 2 != 0;
    int width = 0;
    int height = 0;
    tarnvik::DecodeJpegToBgr(data, size, useSmall ? small.get() : large.get(),
                             useSmall ? kSmall : tarnvik::kPictureBufferBytes, &width, &height);
    return 0;
}
