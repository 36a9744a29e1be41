// qldec: decodes an H.264 Annex B file through the four exports of
// Quorlin_H264_Dec, one access unit per call, as the viewer does.
//
//   qldec INPUT [-o OUT] [--format 0|3] [--md5] [--threads N] [--bench]
//
// -o writes every picture (I420 for format 0, B,G,R rows for format 3);
// --md5 prints one MD5 per picture on standard output and nothing else;
// --bench decodes without writing and prints pictures=N seconds=S pps=P.
#include "AnnexB.h"
#include "Md5.h"
#include "StreamDecoder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string input;
    std::string output;
    int format = 0;
    int threads = 1;
    bool md5 = false;
    bool bench = false;
};

int Usage()
{
    std::fprintf(stderr, "usage: qldec INPUT [-o OUT] [--format 0|3] [--md5] [--threads N] [--bench]\n");
    return 2;
}

bool ParseInt(const char* text, int* value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end != '\0' || end == text || v < -1000 || v > 1000)
        return false;
    *value = int(v);
    return true;
}

bool ParseOptions(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "-o" && hasValue) {
            o->output = argv[++i];
        } else if (a == "--format" && hasValue) {
            if (!ParseInt(argv[++i], &o->format) || (o->format != 0 && o->format != 3))
                return false;
        } else if (a == "--threads" && hasValue) {
            if (!ParseInt(argv[++i], &o->threads))
                return false;
        } else if (a == "--md5") {
            o->md5 = true;
        } else if (a == "--bench") {
            o->bench = true;
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else if (o->input.empty()) {
            o->input = a;
        } else {
            return false;
        }
    }
    return !o->input.empty();
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* data)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    // In blocks: a byte at a time took longer than decoding a CIF stream.
    data->clear();
    char block[1 << 16];
    while (file.read(block, sizeof block) || file.gcount() > 0)
        data->insert(data->end(), block, block + file.gcount());
    return !file.bad();
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options))
        return Usage();

    std::vector<uint8_t> stream;
    if (!ReadFile(options.input, &stream)) {
        std::fprintf(stderr, "qldec: cannot read %s: %s\n", options.input.c_str(), std::strerror(errno));
        return 1;
    }
    std::FILE* out = nullptr;
    if (!options.output.empty() && !options.bench) {
        out = std::fopen(options.output.c_str(), "wb");
        if (!out) {
            std::fprintf(stderr, "qldec: cannot write %s: %s\n", options.output.c_str(), std::strerror(errno));
            return 1;
        }
    }

    const std::vector<qldec::NalUnit> units = qldec::SplitNalUnits(stream.data(), stream.size());
    const std::vector<qldec::AccessUnitRange> accessUnits = qldec::GroupAccessUnits(stream.data(), units);

    qldec::StreamDecoder decoder(options.threads, options.format);
    if (!decoder.Open()) {
        std::fprintf(stderr, "qldec: QL_H264dec_Init returned -1\n");
        return 1;
    }

    long long pictures = 0;
    bool writeFailed = false;
    const bool quiet = options.bench;
    auto sink = [&](const uint8_t* picture, size_t bytes) {
        ++pictures;
        if (quiet)
            return;
        if (options.md5)
            std::printf("%s\n", qldec::Md5Hex(picture, bytes).c_str());
        if (out && std::fwrite(picture, 1, bytes, out) != bytes)
            writeFailed = true;
    };

    std::vector<uint8_t> buffer;
    const auto start = std::chrono::steady_clock::now();
    for (size_t n = 0; n < accessUnits.size(); ++n) {
        const qldec::AccessUnitRange& au = accessUnits[n];
        for (size_t i = 0; i < au.count; ++i) {
            const qldec::NalUnit& u = units[au.first + i];
            if (u.type == 7)
                decoder.NoteSps(stream.data() + u.offset, u.size);
        }
        qldec::BuildAccessUnit(stream.data(), &units[au.first], au.count, buffer);
        const qldec::DecodeOutcome outcome = decoder.Decode(buffer.data(), buffer.size(), sink);
        if (outcome.refused) {
            std::fprintf(stderr, "qldec: stream refused: parameter setup returned %d (profile_idc %d)\n",
                         outcome.lastResult, decoder.Handle().profile);
            return 3;
        }
        if (outcome.guardBroken) {
            std::fprintf(stderr, "qldec: access unit %zu: the library wrote past the %dx%d picture\n", n,
                         decoder.Width(), decoder.Height());
            return 4;
        }
        if (outcome.initFailed) {
            std::fprintf(stderr, "qldec: QL_H264dec_Init returned -1 after the stream changed\n");
            return 1;
        }
        if (outcome.gaveUp)
            std::fprintf(stderr, "qldec: access unit %zu: skipped after %d calls (last result %d, status %d)\n", n,
                         qldec::StreamDecoder::kMaxCallsPerAccessUnit, outcome.lastResult, outcome.lastStatus);
    }
    if (decoder.Flush(sink).guardBroken) {
        std::fprintf(stderr, "qldec: the end of the stream: the library wrote past the %dx%d picture\n",
                     decoder.Width(), decoder.Height());
        return 4;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (out && std::fclose(out) != 0)
        writeFailed = true;
    if (writeFailed) {
        std::fprintf(stderr, "qldec: writing %s failed\n", options.output.c_str());
        return 1;
    }
    if (options.bench)
        std::printf("pictures=%lld seconds=%.3f pps=%.1f\n", pictures, seconds,
                    seconds > 0 ? double(pictures) / seconds : 0.0);
    return 0;
}
