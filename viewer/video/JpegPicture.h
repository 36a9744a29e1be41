// JPEG frames (codec 0) decoded with libjpeg-turbo straight into B,G,R.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnvik {

// Decodes a baseline JPEG of `length` bytes into `out` (capacity bytes) as
// width x height packed B,G,R rows, top-down. False, with nothing promised
// about `out`, when the data is not a decodable JPEG or the picture would
// not fit the capacity. Never reads outside data or writes outside out.
bool DecodeJpegToBgr(const uint8_t* data, size_t length, uint8_t* out, size_t capacity, int* width, int* height);

} // namespace tarnvik
