// Sixteen decoders in one process, as the viewer's sixteen-pane division has
// them: each opened through the library's four exports, each fed the whole
// stream one access unit per call, the decoders taking turns so that all of
// them hold their pictures at once. Prints the peak resident memory of the
// process (VmHWM), what it was before the decoders opened, and the growth
// per decoder. With --rounds N the decoders are closed and opened again
// before each of N passes over the stream, as the viewer re-creates them
// when the streams change.
//   tarnvik-memorybench STREAM [--decoders N] [--threads N] [--format 0|3] [--rounds N]
// The viewer's settings are the defaults: one thread per decoder, B,G,R
// output into one buffer that all decoders share.
#include "AnnexB.h"
#include "Quorlin_H264_Dec.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string stream;
    int decoders = 16;
    int threads = 1;
    int format = 3;
    int rounds = 1;
};

bool ParseOptions(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        int* value = a == "--decoders" ? &o->decoders : a == "--threads" ? &o->threads : a == "--format" ? &o->format
                     : a == "--rounds" ? &o->rounds : nullptr;
        if (value && i + 1 < argc)
            *value = std::atoi(argv[++i]);
        else if (!a.empty() && a[0] != '-' && o->stream.empty())
            o->stream = a;
        else
            return false;
    }
    return !o->stream.empty() && o->decoders > 0 && o->decoders <= 64 && o->format >= 0 && o->format <= 3 &&
           o->rounds > 0;
}

// A field of /proc/self/status in KiB (VmHWM, VmRSS), or -1.
long StatusKib(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    return -1;
}

// One access unit into one decoder, calling again as the results ask.
// Returns the pictures delivered.
int Decode(DecoderHandle& h, const std::vector<uint8_t>& accessUnit, uint8_t* output)
{
    int pictures = 0;
    for (int call = 0; call < 16; ++call) {
        const int32_t r = QL_H264dec_GetOneFrame(&h, accessUnit.data(), uint32_t(accessUnit.size()), output);
        if (r == -5) {
            QL_H264dec_Uninit(&h);
            QL_H264dec_Init(&h);
            continue;
        }
        pictures += r == 0 || r == 5;
        if (r != 1 && r != 5)
            break;
    }
    return pictures;
}

double Mib(long kib)
{
    return double(kib) / 1024.0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: tarnvik-memorybench STREAM [--decoders N] [--threads N] [--format 0|3] [--rounds N]\n");
        return 2;
    }
    std::ifstream file(options.stream, std::ios::binary);
    const std::vector<uint8_t> stream{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file || stream.empty()) {
        std::fprintf(stderr, "tarnvik-memorybench: cannot read %s\n", options.stream.c_str());
        return 1;
    }
    const std::vector<qldec::NalUnit> units = qldec::SplitNalUnits(stream.data(), stream.size());
    const std::vector<qldec::AccessUnitRange> accessUnits = qldec::GroupAccessUnits(stream.data(), units);
    int maxWidth = 16, maxHeight = 16;
    for (const qldec::NalUnit& u : units) {
        qldec::SpsPictureSize size;
        if (u.type == 7 && qldec::ReadSpsPictureSize(stream.data() + u.offset, u.size, &size)) {
            maxWidth = std::max(maxWidth, size.codedWidth);
            maxHeight = std::max(maxHeight, size.codedHeight);
        }
    }
    // Everything the decoders do not own is in place before the first
    // measure: the stream, the access unit buffer and the output buffer.
    std::vector<uint8_t> accessUnit;
    size_t largest = 0;
    for (const qldec::AccessUnitRange& au : accessUnits) {
        size_t bytes = 0;
        for (size_t i = 0; i < au.count; ++i)
            bytes += units[au.first + i].size + 4;
        largest = std::max(largest, bytes);
    }
    accessUnit.reserve(largest);
    std::vector<uint8_t> output(size_t(maxWidth) * size_t(maxHeight) * 3, 0);
    std::vector<DecoderHandle> handles(size_t(options.decoders), DecoderHandle{});
    std::vector<long> pictures(handles.size(), 0);
    const long before = StatusKib("VmHWM");

    // Each round opens every decoder afresh and decodes the whole stream in
    // all of them.
    for (int round = 0; round < options.rounds; ++round) {
        for (DecoderHandle& h : handles) {
            QL_H264dec_Uninit(&h);
            h = DecoderHandle{};
            h.threads = options.threads;
            h.outputFormat = options.format;
            if (QL_H264dec_Init(&h) != 0) {
                std::fprintf(stderr, "tarnvik-memorybench: QL_H264dec_Init failed\n");
                return 1;
            }
        }
        for (const qldec::AccessUnitRange& au : accessUnits) {
            qldec::BuildAccessUnit(stream.data(), &units[au.first], au.count, accessUnit);
            for (size_t d = 0; d < handles.size(); ++d)
                pictures[d] += Decode(handles[d], accessUnit, output.data());
        }
    }
    const long peak = StatusKib("VmHWM");
    const long resident = StatusKib("VmRSS");
    for (DecoderHandle& h : handles)
        QL_H264dec_Uninit(&h);

    const auto fewest = std::min_element(pictures.begin(), pictures.end());
    const auto most = std::max_element(pictures.begin(), pictures.end());
    std::printf("decoders=%d threads=%d rounds=%d access_units=%zu pictures_per_decoder=%ld%s peak_mb=%.1f before_mb=%.1f "
                "resident_mb=%.1f per_decoder_mb=%.2f\n",
                options.decoders, options.threads, options.rounds, accessUnits.size(), *fewest, *fewest == *most ? "" : "(uneven)",
                Mib(peak), Mib(before), Mib(resident), Mib(peak - before) / options.decoders);
    return *fewest == *most && *fewest > 0 ? 0 : 1;
}
