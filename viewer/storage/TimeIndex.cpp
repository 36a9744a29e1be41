#include "TimeIndex.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace tarnvik {

using dvrformat::kTimeIndexEntrySize;
using dvrformat::kTimeIndexHeaderSize;
using dvrformat::TimeIndexEntry;
using dvrformat::TimeIndexHeader;

namespace {

bool InYear1970OrEarlier(uint32_t time) { return time < kEndOf1970; }

std::string NumberRefused(const char* which, uint32_t number, size_t entries)
{
    return "The time index names entry " + std::to_string(number) + " as its " + which + ", but it holds " +
           std::to_string(entries) + (entries == 1 ? " entry." : " entries.");
}

} // namespace

bool ParseTimeIndex(const uint8_t* data, size_t size, bool disk, uint64_t sourceLength, TimeIndex& out,
                    std::string& error)
{
    out = TimeIndex{};
    out.disk = disk;
    size = size_t(std::min<uint64_t>(size, kTimeIndexMaxBytes));
    if (data == nullptr || size < kTimeIndexHeaderSize) {
        error = "The time index is shorter than its 16-byte header.";
        return false;
    }
    const TimeIndexHeader header = TimeIndexHeader::Read(data);
    const size_t entries = (size - kTimeIndexHeaderSize) / kTimeIndexEntrySize;
    if (entries == 0) {
        error = "The time index holds no entries.";
        return false;
    }
    if (header.oldest == 0 || header.oldest > entries) {
        error = NumberRefused("oldest", header.oldest, entries);
        return false;
    }
    if (header.newest == 0 || header.newest > entries) {
        error = NumberRefused("newest", header.newest, entries);
        return false;
    }
    const uint8_t* first = data + kTimeIndexHeaderSize;
    auto entryAt = [&](size_t i) { return TimeIndexEntry::Read(first + i * kTimeIndexEntrySize); };

    const size_t newestSlot = header.newest - 1;
    std::vector<TimeIndexEntry> copied;
    copied.reserve(entries);
    for (size_t i = 0; i < entries; ++i) {
        TimeIndexEntry e = entryAt(i);
        if (InYear1970OrEarlier(e.time))
            break;
        // A backup's last interval may be cut short by the end of the file.
        if (!disk && i == newestSlot && sourceLength != 0 && e.position > sourceLength)
            e.position = sourceLength;
        if (sourceLength != 0 && e.position > sourceLength)
            continue; // points past the recording: never followed
        if (e.position != 0)
            out.lastNonzeroPosition = e.position;
        copied.push_back(e);
    }

    out.startTime = entryAt(header.oldest - 1).time;
    out.endTime = entryAt(newestSlot).time;

    out.count = copied.size();
    if (disk) {
        const size_t ring = header.newest >= header.oldest ? size_t(header.newest - header.oldest) + 1
                                                           : entries - header.oldest + header.newest + 1;
        out.count = std::min(ring, copied.size());
    }
    std::stable_sort(copied.begin(), copied.end(),
                     [](const TimeIndexEntry& a, const TimeIndexEntry& b) { return a.time > b.time; });
    out.sorted = std::move(copied);
    out.sorted.resize(entries); // the slots not copied stay zero, last
    return true;
}

bool LoadTimeIndex(const std::string& path, bool disk, uint64_t sourceLength, TimeIndex& out, std::string& error)
{
    out = TimeIndex{};
    out.disk = disk;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "The time index \"" + path + "\" cannot be opened.";
        return false;
    }
    std::vector<uint8_t> bytes;
    constexpr size_t kChunk = 64 * 1024;
    while (in && bytes.size() < kTimeIndexMaxBytes) {
        const size_t old = bytes.size();
        const size_t want = size_t(std::min<uint64_t>(kChunk, kTimeIndexMaxBytes - old));
        bytes.resize(old + want);
        in.read(reinterpret_cast<char*>(bytes.data() + old), std::streamsize(want));
        bytes.resize(old + size_t(in.gcount()));
    }
    if (in.bad()) {
        error = "The time index \"" + path + "\" cannot be read.";
        return false;
    }
    return ParseTimeIndex(bytes.data(), bytes.size(), disk, sourceLength, out, error);
}

int FindTime(const TimeIndex& index, uint32_t time)
{
    const size_t valid = std::min(index.count, index.sorted.size());
    for (size_t i = 0; i < valid; ++i) {
        const uint32_t start = index.sorted[i].time;
        if (InYear1970OrEarlier(start))
            continue;
        // Whole minutes truncated toward zero: a start up to 59 s later matches.
        if ((int64_t(time) - int64_t(start)) / 60 >= 0)
            return int(i);
    }
    return -1;
}

uint64_t NextSegment(const TimeIndex& index, uint64_t position)
{
    const size_t valid = std::min(index.count, index.sorted.size());
    // `sorted` is newest first: walk it backwards for recording order.
    for (size_t i = valid; i-- > 0;) {
        if (index.sorted[i].position > position)
            return index.sorted[i].position;
    }
    return 0;
}

std::string ReadCarId(const std::string& path)
{
    constexpr size_t kCarIdBytes = 100;
    char buffer[kCarIdBytes] = {};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    in.read(buffer, kCarIdBytes);
    std::string id(buffer, size_t(in.gcount()));
    id.resize(std::min(id.size(), id.find('\0')));
    while (!id.empty() && std::string_view(" \t\r\n\v\f").find(id.back()) != std::string_view::npos)
        id.pop_back();
    return id;
}

std::string IndexPathFor(const std::string& backupPath)
{
    std::filesystem::path path(backupPath);
    path.replace_extension(".inx");
    return path.string();
}

std::string FormatIndexTime(uint32_t time)
{
    const std::time_t t = std::time_t(time);
    std::tm tm{};
    if (!gmtime_r(&t, &tm))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%d/%02d/%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

} // namespace tarnvik
