// The time index of a DVR disk (`timeindex` on its index partition) and of a
// raw backup (`.inx` beside the `.DVR` file): loading, the newest-first
// sorted copy, the recorded period, search by time and the next recorded
// segment after a position. Also the disk's car identifier (`CARID`).
//
// Index files come from outside: every count and number in them is checked
// against the file's own size, and nothing is read beyond it.
#pragma once

#include "dvrformat/StreamFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnvik {

// The first second of 1971: index entries before it are zero or unset slots.
inline constexpr uint32_t kEndOf1970 = 365u * 86400u;

// No index file larger than this is read (a million entries; a DVR's ring
// holds a few thousand).
inline constexpr uint64_t kTimeIndexMaxBytes = 16u << 20;

struct TimeIndex {
    bool disk = false; // the disk's ring, not a backup's `.inx`
    // Every entry slot of the file sorted by time (unsigned), newest first.
    // Entries are copied in file order up to the first entry of 1970; an
    // entry whose position lies beyond the source's length is left out (a
    // backup's newest entry is first clamped to the file's length). Slots
    // not copied hold zeros and sort last.
    std::vector<dvrformat::TimeIndexEntry> sorted;
    // Valid entries, sorted[0 .. count): a backup's copied entries, or the
    // disk ring's count (newest - oldest + 1, wrapping past the end of the
    // file; 1 when newest == oldest), never more than the entries copied.
    size_t count = 0;
    uint32_t startTime = 0; // the oldest entry's time
    uint32_t endTime = 0;   // the newest entry's time
    uint64_t lastNonzeroPosition = 0; // the last copied entry with a nonzero position

    bool Empty() const { return count == 0 || sorted.empty(); }
};

// Parses an index file's bytes. `sourceLength` is the length of the `.DVR`
// file or video partition the positions point into (0: unknown, no check).
// False with a reason in `error` when the file cannot be an index (shorter
// than its header, oldest or newest number 0 or beyond the entries the file
// holds, or no entry at all); `out` is then empty. Bytes beyond
// kTimeIndexMaxBytes and a trailing partial entry are ignored.
bool ParseTimeIndex(const uint8_t* data, size_t size, bool disk, uint64_t sourceLength, TimeIndex& out,
                    std::string& error);
// Reads and parses an index file (at most kTimeIndexMaxBytes).
bool LoadTimeIndex(const std::string& path, bool disk, uint64_t sourceLength, TimeIndex& out, std::string& error);

// The entry that a search for `time` finds: walking the valid entries from
// the newest, the first (skipping entries of 1970 or earlier) whose start
// lies at most 59 seconds after `time` ((time - entry) in whole minutes,
// truncated toward zero, is 0 or more). Returns its index in `sorted`, or -1
// when none.
int FindTime(const TimeIndex& index, uint32_t time);

// Where recording continues after `position`: the position of the first
// entry (in recording order) that starts beyond `position`; 0 when there is
// none or the index is empty.
uint64_t NextSegment(const TimeIndex& index, uint64_t position);

// The car identifier: the first 100 bytes of the file up to the first zero
// byte, trailing white space removed; empty when unreadable.
std::string ReadCarId(const std::string& path);

// The `.inx` beside a `.DVR`: the file name's extension replaced (a dot in
// a folder name is not an extension).
std::string IndexPathFor(const std::string& backupPath);

// "%d/%02d/%02d %02d:%02d:%02d" of a DvrTime, taken as UTC.
std::string FormatIndexTime(uint32_t time);

} // namespace tarnvik
