// Our AVI files as other programs see them: ffprobe's view of the video
// stream, ffmpeg's complaints while decoding every frame, and one frame's
// pixels. Tests skip when ffmpeg is missing (scripts/setup-deps.sh installs it).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tarnvik::test {

inline std::string RunAndRead(const std::string& command)
{
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

inline bool HaveFfmpeg()
{
    return std::system("ffprobe -version >/dev/null 2>&1") == 0 && std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

struct AviStream {
    std::string codec;
    int width = 0;
    int height = 0;
    std::string rate; // "25/1"
    long frames = -1;  // counted by decoding
};

inline std::optional<AviStream> ProbeAvi(const std::string& path)
{
    const std::string out = RunAndRead("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                       "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of "
                                       "default=noprint_wrappers=1 '" + path + "' 2>/dev/null");
    AviStream s;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "codec_name")
            s.codec = value;
        else if (key == "width")
            s.width = std::atoi(value.c_str());
        else if (key == "height")
            s.height = std::atoi(value.c_str());
        else if (key == "r_frame_rate")
            s.rate = value;
        else if (key == "nb_read_frames")
            s.frames = std::atol(value.c_str());
    }
    if (s.codec.empty())
        return std::nullopt;
    return s;
}

// What ffmpeg says (at level "error") while decoding every frame: empty when
// all went well.
inline std::string DecodeErrors(const std::string& path)
{
    return RunAndRead("ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1");
}

// Frame `index` as B,G,R rows (width * height * 3 bytes), empty on failure.
inline std::vector<uint8_t> FrameBgr(const std::string& path, long index)
{
    const std::string out =
        RunAndRead("ffmpeg -nostdin -v error -i '" + path + "' -vf 'select=eq(n\\," + std::to_string(index) +
                   ")' -frames:v 1 -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
    return std::vector<uint8_t>(out.begin(), out.end());
}

} // namespace tarnvik::test
