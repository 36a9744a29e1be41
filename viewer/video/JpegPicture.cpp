#include "JpegPicture.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace tarnvik {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// jump back to the decode call. No C++ object with a destructor lives in the
// frames between setjmp and longjmp.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool ranOutOfData;
};

void ErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void SilentMessage(j_common_ptr) {}

// A truncated JPEG is filled with grey by libjpeg and only warned about;
// such a frame is damaged and is dropped. Other warnings are benign.
void NoteWarning(j_common_ptr info, int level)
{
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        reinterpret_cast<ErrorManager*>(info->err)->ranOutOfData = true;
}

} // namespace

bool DecodeJpegToBgr(const uint8_t* data, size_t length, uint8_t* out, size_t capacity, int* width, int* height)
{
    if (!data || length < 4 || length > 0xFFFFFFFFu || !out)
        return false;

    jpeg_decompress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = ErrorExit;
    error.base.output_message = SilentMessage;
    error.base.emit_message = NoteWarning;
    error.ranOutOfData = false;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_EXT_BGR;
    // Refused before decompression starts: a picture of a few bytes may
    // claim up to 65535 x 65535 pixels, and starting a progressive one
    // allocates buffers for the whole of it (hundreds of megabytes).
    if (info.image_width == 0 || info.image_height == 0 ||
        uint64_t(info.image_width) * info.image_height * 3 > capacity) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);

    const size_t rowBytes = size_t(info.output_width) * 3;
    if (info.output_components != 3 || info.output_width == 0 || info.output_height == 0 ||
        info.output_height > capacity / rowBytes) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out + size_t(info.output_scanline) * rowBytes;
        jpeg_read_scanlines(&info, &row, 1);
    }
    const bool complete = !error.ranOutOfData;
    jpeg_finish_decompress(&info);
    *width = int(info.output_width);
    *height = int(info.output_height);
    jpeg_destroy_decompress(&info);
    return complete;
}

} // namespace tarnvik
