// Seeded random corruption of conformance streams, decoded through the
// library as the viewer drives it. A copy is a short run of access units
// from one stream with bit flips, truncations, spliced, dropped or repeated
// access units, or garbage; the run must end without a crash, a hang or a
// write past the picture (the address sanitizer build checks the rest), and
// every fifth copy must give the same pictures with 1, 2 and 4 threads.
//
//   decoder_corruption CONFORMANCE_DIR [--copies N] [--seed S]
//
// Copy k uses the generator seeded with S + k, so a failing copy is replayed
// alone with --seed S+k --copies 1.
#include "AnnexB.h"
#include "Md5.h"
#include "StreamDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Stream {
    std::string name;
    std::vector<Bytes> accessUnits; // 4-byte start codes
    bool large = false;             // pictures above CIF
};

// Streams with pictures above CIF cost most of the run time: they get every
// twentieth copy and short runs.
constexpr int64_t kLargeSamples = 352 * 288;
constexpr size_t kMaxRun = 12;
constexpr size_t kMaxLargeRun = 3;

std::vector<Stream> LoadStreams(const std::string& dir)
{
    std::vector<Stream> streams;
    for (const char* sub : {"baseline", "damaged", "refused"}) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir + "/" + sub)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".264" || ext == ".jsv" || ext == ".h264")
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end()); // the same order on every machine
        for (const auto& path : files) {
            std::ifstream file(path, std::ios::binary);
            const Bytes data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
            const auto units = qldec::SplitNalUnits(data.data(), data.size());
            Stream s;
            for (const auto& u : units) {
                qldec::SpsPictureSize size;
                if (u.type == 7 && qldec::ReadSpsPictureSize(data.data() + u.offset, u.size, &size))
                    s.large = s.large || int64_t(size.codedWidth) * size.codedHeight > kLargeSamples;
            }
            s.name = std::string(sub) + "/" + path.filename().string();
            for (const auto& g : qldec::GroupAccessUnits(data.data(), units)) {
                s.accessUnits.emplace_back();
                qldec::BuildAccessUnit(data.data(), &units[g.first], g.count, s.accessUnits.back());
            }
            if (!s.accessUnits.empty())
                streams.push_back(std::move(s));
        }
    }
    return streams;
}

size_t Below(std::mt19937& rng, size_t n)
{
    return n ? size_t(rng() % n) : 0;
}

void FlipBits(std::mt19937& rng, std::vector<Bytes>& run)
{
    const int flips = 1 + int(rng() % 8);
    // Half the copies keep their first access unit (the parameter sets and
    // the IDR picture) whole, so that damage meets a running decoder.
    const size_t from = run.size() > 1 && rng() % 2 ? 1 : 0;
    for (int i = 0; i < flips; ++i) {
        Bytes& au = run[from + Below(rng, run.size() - from)];
        if (!au.empty())
            au[Below(rng, au.size())] ^= uint8_t(1u << (rng() % 8));
    }
}

void Truncate(std::mt19937& rng, std::vector<Bytes>& run)
{
    const size_t i = Below(rng, run.size());
    run[i].resize(Below(rng, run[i].size() + 1));
    if (rng() % 2)
        run.resize(i + 1); // the stream ends there
}

void Splice(std::mt19937& rng, std::vector<Bytes>& run, const std::vector<Stream>& streams)
{
    switch (rng() % 4) {
    case 0: { // an access unit of another stream
        const Stream& other = streams[Below(rng, streams.size())];
        run.insert(run.begin() + std::ptrdiff_t(Below(rng, run.size() + 1)),
                   other.accessUnits[Below(rng, other.accessUnits.size())]);
        break;
    }
    case 1: // a lost access unit
        if (run.size() > 1)
            run.erase(run.begin() + std::ptrdiff_t(Below(rng, run.size())));
        break;
    case 2: { // a repeated one
        const Bytes copy = run[Below(rng, run.size())];
        run.insert(run.begin() + std::ptrdiff_t(Below(rng, run.size() + 1)), copy);
        break;
    }
    default: { // two access units glued into one input, or one cut in two
        const size_t i = Below(rng, run.size());
        if (i + 1 < run.size() && rng() % 2) {
            run[i].insert(run[i].end(), run[i + 1].begin(), run[i + 1].end());
            run.erase(run.begin() + std::ptrdiff_t(i + 1));
        } else if (run[i].size() > 8) {
            const size_t cut = 4 + Below(rng, run[i].size() - 4);
            Bytes tail(run[i].begin() + std::ptrdiff_t(cut), run[i].end());
            run[i].resize(cut);
            run.insert(run.begin() + std::ptrdiff_t(i + 1), tail);
        }
        break;
    }
    }
}

void Garble(std::mt19937& rng, std::vector<Bytes>& run)
{
    Bytes& au = run[Below(rng, run.size())];
    if (au.empty())
        return;
    const size_t at = Below(rng, au.size());
    const size_t n = std::min(au.size() - at, size_t(1 + rng() % 64));
    const int kind = int(rng() % 3);
    for (size_t i = at; i < at + n; ++i)
        au[i] = kind == 0 ? 0 : kind == 1 ? 0xFF : uint8_t(rng());
    if (rng() % 4 == 0) { // a start code in the middle of a unit
        static const uint8_t kStartCode[] = {0, 0, 0, 1};
        au.insert(au.begin() + std::ptrdiff_t(at), kStartCode, kStartCode + 4);
    }
}

// Statuses seen over the run (0..21, and -1 for a caught fault), to show
// which paths of the library the copies reached.
long g_statusCount[23];
long g_pictures;

// Decodes the copy; false when it broke a rule that the library must keep.
// The MD5 of every picture goes to pictures.
bool DecodeCopy(const std::vector<Bytes>& run, int threads, int format, std::vector<std::string>& pictures)
{
    qldec::StreamDecoder decoder(threads, format, false);
    if (!decoder.Open())
        return false;
    const auto sink = [&](const uint8_t* picture, size_t bytes) { pictures.push_back(qldec::Md5Hex(picture, bytes)); };
    for (const Bytes& au : run) {
        for (const qldec::NalUnit& u : qldec::SplitNalUnits(au.data(), au.size()))
            if (u.type == 7)
                decoder.NoteSps(au.data() + u.offset, u.size);
        const qldec::DecodeOutcome outcome = decoder.Decode(au.data(), au.size(), sink);
        if (outcome.lastStatus >= -1 && outcome.lastStatus <= 21)
            ++g_statusCount[outcome.lastStatus + 1];
        if (outcome.guardBroken || outcome.initFailed)
            return false;
    }
    return !decoder.Flush(sink).guardBroken;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: decoder_corruption CONFORMANCE_DIR [--copies N] [--seed S]\n");
        return 2;
    }
    long copies = 3000;
    unsigned long seed = 1;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--copies") == 0)
            copies = std::strtol(argv[i + 1], nullptr, 10);
        else if (std::strcmp(argv[i], "--seed") == 0)
            seed = std::strtoul(argv[i + 1], nullptr, 10);
    }
    const std::vector<Stream> streams = LoadStreams(argv[1]);
    std::vector<const Stream*> small;
    std::vector<const Stream*> large;
    for (const Stream& s : streams)
        (s.large ? large : small).push_back(&s);
    if (small.empty()) {
        std::fprintf(stderr, "decoder_corruption: no streams in %s\n", argv[1]);
        return 2;
    }
    long failures = 0;
    for (long k = 0; k < copies; ++k) {
        // Everything about a copy follows from its seed alone.
        const uint64_t copySeed = seed + uint64_t(k);
        std::mt19937 rng{uint32_t(copySeed)};
        const bool pickLarge = copySeed % 20 == 19 && !large.empty();
        const Stream& s = pickLarge ? *large[Below(rng, large.size())] : *small[Below(rng, small.size())];
        // Mostly from the start (with the parameter sets), sometimes from the middle.
        const size_t first = rng() % 4 == 0 ? Below(rng, s.accessUnits.size()) : 0;
        const size_t longest = pickLarge ? kMaxLargeRun : kMaxRun;
        const size_t count = std::min(s.accessUnits.size() - first, 1 + Below(rng, longest));
        std::vector<Bytes> run(s.accessUnits.begin() + std::ptrdiff_t(first),
                               s.accessUnits.begin() + std::ptrdiff_t(first + count));
        const int kind = int(copySeed % 4);
        if (kind == 0)
            FlipBits(rng, run);
        else if (kind == 1)
            Truncate(rng, run);
        else if (kind == 2)
            Splice(rng, run, streams);
        else
            Garble(rng, run);
        if (rng() % 3 == 0)
            FlipBits(rng, run);
        const bool compareThreads = rng() % 5 == 0;
        const int format = rng() % 2 ? 3 : 0;
        std::vector<std::string> pictures;
        bool kept = DecodeCopy(run, 1, format, pictures);
        g_pictures += long(pictures.size());
        bool same = true;
        for (int threads : {2, 4}) {
            if (!compareThreads || !kept)
                break;
            std::vector<std::string> others;
            kept = DecodeCopy(run, threads, format, others);
            // One input holding two pictures (glued access units) gives
            // one picture per call up to two threads, the next one a call
            // later (the end of the stream hands out what is still held);
            // from three threads the stager hands each out in the same
            // call, which may give such a run more pictures than one thread.
            const bool prefix = others.size() >= pictures.size() &&
                                std::equal(pictures.begin(), pictures.end(), others.begin());
            same = same && (threads == 2 ? others == pictures : prefix);
        }
        if (!kept || !same) {
            std::fprintf(stderr, "copy %ld (seed %lu, %s): %s\n", k, seed + uint64_t(k), s.name.c_str(),
                         kept ? "the pictures depend on the thread count"
                              : "the library wrote past the picture or failed to start");
            ++failures;
        }
        if ((k + 1) % 500 == 0)
            std::printf("%ld copies done (seeds %lu..%lu)\n", k + 1, seed, seed + uint64_t(k));
    }
    std::printf("%ld copies of %zu streams, %ld pictures, %ld failures\nlast status of each access unit:", copies,
                streams.size(), g_pictures, failures);
    for (int s = -1; s <= 21; ++s)
        if (g_statusCount[s + 1])
            std::printf(" %d:%ld", s, g_statusCount[s + 1]);
    std::printf("\n");
    return failures ? 1 : 0;
}
