// Test recordings in the DVR's own stored format, made from the bundled H.264
// clips: a raw backup (`.DVR` with its `.inx`) or the image of a DVR disk
// (index partition folder, video partition file, mount table) that
// DvrDiskLocator finds without root.
//
// What is written:
// - one GopBlock per recorded second (or one per channel group when a second
//   of all channels would not fit a block); a block holds, for picture
//   i = 0..24, the 40-byte-header record of every channel of the block in
//   channel order, then one second of block audio (22,050 Hz mono s16le,
//   44,100 bytes: a tone of 300 + 100 x the block's first channel Hz);
// - records of kind 3, type word 0x22F0, H.264, 25 pictures per second,
//   full height, a per-channel sequence 0..254 that wraps to 0, the second's
//   time and 40 x i milliseconds; key pictures every 25 pictures, so each
//   block opens with a key picture of its first channel;
// - blocks on 512-byte boundaries, zero padded; the opening record carries
//   block length, audio length and the previous block's length (the first
//   block its own);
// - an index entry at the first second, after every gap and every
//   `entrySeconds` recorded seconds, pointing at its first block.
#pragma once

#include "dvrformat/StreamFile.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarnvik::mkdvr {

// 2026-01-05 08:00:00 as a DvrTime (seconds since 1970, no time zone).
inline constexpr uint32_t kDefaultStartTime = 1767600000;

struct MkdvrOptions {
    std::string mediaDir;   // the bundled clips (testdvr/media)
    int channels = 4;       // 1..16; channel c plays clip c % n of the n *.264 clips sorted by name
    int seconds = 40;       // recorded seconds, 1..86,400
    uint32_t startTime = kDefaultStartTime; // DvrTime of the first second (after 1970)
    // (N, S): after the N-th recorded second (1 <= N < seconds), S >= 1
    // seconds of time pass unrecorded; a new index entry starts there.
    std::vector<std::pair<int, int>> gaps;
    int entrySeconds = 10;  // recorded seconds per index entry (>= 1)
    bool audio = true;      // block audio; without it the audio length is 0
};

// The layout of a disk image's `timeindex` ring and its `CARID`.
struct DiskLayout {
    // Slots of the ring (0: exactly the entry count; otherwise at least it).
    int ringSlots = 0;
    // Slot number (1-based, 1..slots) of the oldest entry; entries follow it
    // and wrap past the last slot. The slots outside the valid run hold
    // stale entries older than the oldest, pointing at real blocks.
    int ringOldest = 1;
    std::string carId = "TEST-CAR";
    // False: no zero byte; the 100 bytes are the id padded with blanks (an id
    // longer than 100 characters is cut in either case, to 99 when
    // zero-terminated).
    bool carIdZeroTerminated = true;
    // The video partition as a ring that has wrapped: the blocks of the
    // newest `wrapEntries` index entries lie at the partition's start, the
    // older ones after them up to its end (0: recorded straight through).
    int wrapEntries = 0;
};

// What a writer produced, for printing and for tests.
struct MkdvrSummary {
    std::vector<dvrformat::TimeIndexEntry> entries; // recording order
    uint64_t videoBytes = 0; // bytes of the .DVR file or video partition
    int blocks = 0;
    int groups = 1;          // blocks per second (channel groups)
    std::vector<std::string> files;
};

// Writes the `.DVR` file (blocks from offset 0) and its `.inx` (IndexPathFor)
// with a header {0, 1, count, 0}. False with a reason on bad options, clips
// that do not load, or a write error.
bool WriteBackup(const MkdvrOptions& options, const std::string& dvrPath, std::string& error,
                 MkdvrSummary* summary = nullptr);

// Creates (or overwrites in) `folder`: index/timeindex, index/CARID,
// dev/sdz1 (empty), dev/sdz2 (StreamFileHeader for kind 3, model 0x480F, in
// sector 0, blocks from byte 512), sys/ (empty) and mounts (one line
// "/dev/sdz1 FOLDER/index vfat rw 0 0", FOLDER absolute and escaped), so that
// DvrDiskLocator({FOLDER/mounts, FOLDER/dev, FOLDER/sys}).Find() finds it.
bool WriteDiskImage(const MkdvrOptions& options, const DiskLayout& layout, const std::string& folder,
                    std::string& error, MkdvrSummary* summary = nullptr);

} // namespace tarnvik::mkdvr
