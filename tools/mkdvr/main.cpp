// tarnvik-mkdvr: writes a test recording as a raw backup (.DVR + .inx) or as
// the image of a DVR disk that the viewer's disk locator finds.
#include "DvrWriter.h"

#include "storage/TimeIndex.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

using namespace tarnvik;

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: tarnvik-mkdvr --backup FILE.DVR | --disk FOLDER\n"
                 "         [--channels N] [--seconds S] [--start \"YYYY-MM-DD HH:MM:SS\"]\n"
                 "         [--gap N:S]... [--entry-seconds S] [--no-audio]\n"
                 "         [--ring-slots N --ring-oldest K] [--wrap-entries N] [--car-id TEXT] [--media DIR]\n"
                 "  --gap N:S  after the N-th recorded second, S seconds pass unrecorded\n"
                 "  times are taken as UTC, as the DVR shows them\n");
}

bool ParseInt(const char* text, int& out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < -1000000000L || v > 1000000000L)
        return false;
    out = int(v);
    return true;
}

bool ParseTime(const char* text, uint32_t& out)
{
    std::tm tm{};
    char rest = 0;
    if (std::sscanf(text, "%d-%d-%d %d:%d:%d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                    &tm.tm_sec, &rest) != 6)
        return false;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    const long long t = timegm(&tm);
    if (t <= 0 || t > 0xFFFFFFFFLL)
        return false;
    out = uint32_t(t);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    mkdvr::MkdvrOptions options;
    options.mediaDir = TARNVIK_MKDVR_MEDIA;
    mkdvr::DiskLayout layout;
    std::string backup, disk;
    bool ok = argc > 1;
    for (int i = 1; ok && i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto takes = [&](auto&& parse) {
            ok = value != nullptr && parse(value);
            ++i;
        };
        if (arg == "--no-audio")
            options.audio = false;
        else if (arg == "--backup")
            takes([&](const char* v) { backup = v; return true; });
        else if (arg == "--disk")
            takes([&](const char* v) { disk = v; return true; });
        else if (arg == "--channels")
            takes([&](const char* v) { return ParseInt(v, options.channels); });
        else if (arg == "--seconds")
            takes([&](const char* v) { return ParseInt(v, options.seconds); });
        else if (arg == "--entry-seconds")
            takes([&](const char* v) { return ParseInt(v, options.entrySeconds); });
        else if (arg == "--ring-slots")
            takes([&](const char* v) { return ParseInt(v, layout.ringSlots); });
        else if (arg == "--wrap-entries")
            takes([&](const char* v) { return ParseInt(v, layout.wrapEntries); });
        else if (arg == "--ring-oldest")
            takes([&](const char* v) { return ParseInt(v, layout.ringOldest); });
        else if (arg == "--start")
            takes([&](const char* v) { return ParseTime(v, options.startTime); });
        else if (arg == "--car-id")
            takes([&](const char* v) { layout.carId = v; return true; });
        else if (arg == "--media")
            takes([&](const char* v) { options.mediaDir = v; return true; });
        else if (arg == "--gap")
            takes([&](const char* v) {
                int after = 0, skip = 0;
                char rest = 0;
                if (std::sscanf(v, "%d:%d%c", &after, &skip, &rest) != 2)
                    return false;
                options.gaps.emplace_back(after, skip);
                return true;
            });
        else
            ok = false;
    }
    if (!ok || backup.empty() == disk.empty()) {
        Usage();
        return 2;
    }

    std::string error;
    mkdvr::MkdvrSummary summary;
    const bool written = backup.empty() ? mkdvr::WriteDiskImage(options, layout, disk, error, &summary)
                                        : mkdvr::WriteBackup(options, backup, error, &summary);
    if (!written) {
        std::fprintf(stderr, "tarnvik-mkdvr: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& file : summary.files)
        std::printf("wrote %s\n", file.c_str());
    std::printf("%d channels, %d seconds, %d blocks (%d per second), %llu bytes of video\n", options.channels,
                options.seconds, summary.blocks, summary.groups, static_cast<unsigned long long>(summary.videoBytes));
    for (const auto& e : summary.entries)
        std::printf("entry %s at byte %llu\n", FormatIndexTime(e.time).c_str(),
                    static_cast<unsigned long long>(e.position));
    if (!disk.empty())
        std::printf("find it with mount table %s/mounts, dev %s/dev, sys %s/sys\n", disk.c_str(), disk.c_str(),
                    disk.c_str());
    return 0;
}
