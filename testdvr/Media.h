// The test DVR's pictures: H.264 clips split into access units, and JPEG
// pictures split out of a concatenated MJPEG file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testdvr {

struct Picture {
    std::vector<uint8_t> bytes;
    bool key = false;
};

struct Clip {
    std::string name;
    int width = 0;
    int height = 0;
    bool h264 = true; // false: JPEG pictures
    std::vector<Picture> pictures;
};

// Splits an Annex B Baseline stream into access units, one per picture: each
// unit runs up to and including its slice NAL unit (one slice per picture).
// The picture size comes from the first sequence parameter set. Returns
// false with a reason when the file is unreadable or holds no pictures.
bool LoadH264Clip(const std::string& path, Clip& clip, std::string& error);

// Splits concatenated JPEG pictures (SOI ... EOI) and reads the size from the
// first frame header.
bool LoadJpegClip(const std::string& path, Clip& clip, std::string& error);

// Resolution code of the frame header for a picture size (PAL or NTSC).
int ResolutionCodeFor(int width, int height);
bool IsPalSize(int width, int height);

} // namespace testdvr
