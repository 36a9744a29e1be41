#include "Media.h"

#include <fstream>
#include <iterator>

namespace testdvr {

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>& data, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Offsets of every start code (00 00 01, counting a zero before it as part
// of a 4-byte code) and where each NAL unit's header byte sits.
struct Nal {
    size_t start;  // first byte of the start code
    size_t header; // the NAL header byte
};

std::vector<Nal> FindNals(const std::vector<uint8_t>& d)
{
    std::vector<Nal> nals;
    for (size_t i = 0; i + 3 < d.size(); ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            const size_t start = (i > 0 && d[i - 1] == 0) ? i - 1 : i;
            nals.push_back({start, i + 3});
            i += 2;
        }
    }
    return nals;
}

class BitReader {
public:
    explicit BitReader(std::vector<uint8_t> rbsp) : data_(std::move(rbsp)) {}
    uint32_t Bit()
    {
        if (pos_ >= data_.size() * 8) {
            failed_ = true;
            return 0;
        }
        const uint32_t b = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
        ++pos_;
        return b;
    }
    uint32_t Bits(int n)
    {
        uint32_t v = 0;
        while (n-- > 0)
            v = (v << 1) | Bit();
        return v;
    }
    uint32_t Ue()
    {
        int zeros = 0;
        while (Bit() == 0 && !failed_ && zeros < 32)
            ++zeros;
        return zeros >= 32 ? 0 : ((1u << zeros) - 1 + Bits(zeros));
    }
    int32_t Se()
    {
        const uint32_t k = Ue();
        return (k & 1) ? int32_t((k + 1) / 2) : -int32_t(k / 2);
    }
    bool Failed() const { return failed_; }

private:
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
    bool failed_ = false;
};

bool ParseSpsSize(const uint8_t* p, size_t n, int& width, int& height)
{
    std::vector<uint8_t> rbsp;
    for (size_t i = 0; i < n; ++i) {
        if (i >= 2 && p[i] == 3 && p[i - 1] == 0 && p[i - 2] == 0)
            continue; // emulation prevention byte
        rbsp.push_back(p[i]);
    }
    BitReader r(std::move(rbsp));
    const uint32_t profile = r.Bits(8);
    r.Bits(16); // constraint flags, level
    r.Ue();     // seq_parameter_set_id
    if (profile == 100 || profile == 110 || profile == 122 || profile == 244)
        return false; // the DVR's clips are Baseline
    r.Ue(); // log2_max_frame_num_minus4
    const uint32_t pocType = r.Ue();
    if (pocType == 0) {
        r.Ue();
    } else if (pocType == 1) {
        r.Bit();
        r.Se();
        r.Se();
        const uint32_t cycle = r.Ue();
        for (uint32_t i = 0; i < cycle && i < 256; ++i)
            r.Se();
    }
    r.Ue();  // max_num_ref_frames
    r.Bit(); // gaps_in_frame_num_value_allowed_flag
    const uint32_t widthMbs = r.Ue() + 1;
    const uint32_t heightUnits = r.Ue() + 1;
    const uint32_t frameMbsOnly = r.Bit();
    if (!frameMbsOnly)
        r.Bit();
    r.Bit(); // direct_8x8_inference_flag
    uint32_t crop[4] = {};
    if (r.Bit())
        for (auto& c : crop)
            c = r.Ue();
    if (r.Failed() || widthMbs > 512 || heightUnits > 512)
        return false;
    width = int(widthMbs * 16 - 2 * (crop[0] + crop[1]));
    height = int(heightUnits * 16 * (2 - frameMbsOnly) - 2 * (2 - frameMbsOnly) * (crop[2] + crop[3]));
    return width > 0 && height > 0;
}

} // namespace

bool LoadH264Clip(const std::string& path, Clip& clip, std::string& error)
{
    std::vector<uint8_t> data;
    if (!ReadFile(path, data, error))
        return false;
    clip = Clip{};
    clip.name = path;
    const std::vector<Nal> nals = FindNals(data);
    // A picture is an access unit: everything from its first NAL unit
    // (delimiter, parameter sets, SEI or its first slice) up to the next
    // picture's, so that pictures of several slices travel whole.
    size_t unitStart = nals.empty() ? 0 : nals.front().start;
    bool key = false;
    bool haveSlice = false;
    auto endUnit = [&](size_t end) {
        clip.pictures.push_back({std::vector<uint8_t>(data.begin() + long(unitStart), data.begin() + long(end)), key});
        unitStart = end;
        key = false;
        haveSlice = false;
    };
    for (size_t i = 0; i < nals.size(); ++i) {
        const size_t end = i + 1 < nals.size() ? nals[i + 1].start : data.size();
        const size_t header = nals[i].header;
        const int type = data[header] & 0x1F;
        if (type == 7 && clip.width == 0)
            ParseSpsSize(&data[header + 1], end - header - 1, clip.width, clip.height);
        const bool slice = type == 1 || type == 5;
        // first_mb_in_slice is ue(v): 0 is the single bit 1.
        const bool firstSlice = slice && header + 1 < end && (data[header + 1] & 0x80) != 0;
        const bool opensUnit = firstSlice || type == 6 || type == 7 || type == 8 || type == 9;
        if (haveSlice && opensUnit)
            endUnit(nals[i].start);
        if (slice) {
            haveSlice = true;
            key = key || type == 5;
        }
    }
    if (haveSlice)
        endUnit(data.size());
    if (clip.pictures.empty() || clip.width == 0) {
        error = path + ": no pictures or no sequence parameter set";
        return false;
    }
    return true;
}

bool LoadJpegClip(const std::string& path, Clip& clip, std::string& error)
{
    std::vector<uint8_t> data;
    if (!ReadFile(path, data, error))
        return false;
    clip = Clip{};
    clip.name = path;
    clip.h264 = false;
    size_t i = 0;
    while (i + 4 <= data.size()) {
        if (!(data[i] == 0xFF && data[i + 1] == 0xD8)) {
            ++i;
            continue;
        }
        // Walk the marker segments to the scan, then to EOI, so that bytes
        // inside segments are never mistaken for markers.
        size_t p = i + 2;
        bool done = false;
        while (p + 4 <= data.size() && !done) {
            if (data[p] != 0xFF)
                break;
            const uint8_t marker = data[p + 1];
            const size_t len = (size_t(data[p + 2]) << 8) | data[p + 3];
            if ((marker == 0xC0 || marker == 0xC1) && p + 9 <= data.size() && clip.width == 0) {
                clip.height = (data[p + 5] << 8) | data[p + 6];
                clip.width = (data[p + 7] << 8) | data[p + 8];
            }
            if (marker == 0xDA) {
                size_t q = p + 2 + len;
                while (q + 1 < data.size() && !(data[q] == 0xFF && data[q + 1] == 0xD9))
                    ++q;
                if (q + 1 >= data.size())
                    break;
                clip.pictures.push_back({std::vector<uint8_t>(data.begin() + long(i), data.begin() + long(q + 2)), true});
                i = q + 2;
                done = true;
            } else {
                p += 2 + len;
            }
        }
        if (!done)
            break;
    }
    if (clip.pictures.empty() || clip.width == 0) {
        error = path + ": no JPEG pictures";
        return false;
    }
    return true;
}

bool IsPalSize(int width, int height)
{
    return height == 576 || height == 288;
}

int ResolutionCodeFor(int width, int height)
{
    if (width == 1920 && height == 1080) return 1;
    if (width == 1280 && height == 1024) return 2;
    if (width == 720 && (height == 480 || height == 576)) return 4;
    if (width == 720 && (height == 240 || height == 288)) return 5;
    if (width == 352 && (height == 240 || height == 288)) return 6;
    if (width == 176 && height == 144) return 7;
    if (width == 640 && height == 480) return 8;
    if (width == 320 && height == 240) return 9;
    if (width == 160 && height == 120) return 10;
    return 3; // "unchanged": the viewer keeps the size it had
}

} // namespace testdvr
