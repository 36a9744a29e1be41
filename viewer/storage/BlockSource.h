// Stored streams as the player walks them: a run of blocks, each a run of
// frame records (and, on a DVR disk or in a raw backup, the block's audio
// after its records). Two kinds of source:
// - GopBlockSource: a DVR video partition or a `.DVR` backup cut from one,
//   whose blocks open with a key picture on a 512-byte boundary and name
//   their own and their predecessor's length;
// - RecordFileSource (RecordFile.h): a `.avs` recording, plain records one
//   after the other, whose blocks are built by an index at open.
// The player knows every record's block, and so the key picture it can be
// decoded from, whichever the source.
#pragma once

#include "storage/SourceFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace tarnvik {

inline constexpr uint64_t kNoBlock = ~uint64_t(0);
// Largest block the readers accept: GopBlocks stay below 512,000 bytes;
// a recording's blocks are cut at this size whatever their content.
inline constexpr uint32_t kMaxBlockBytes = 4u << 20;
// Block audio longer than 1.5 s of sound is not a DVR block's.
inline constexpr uint32_t kMaxBlockAudioBytes = 66150;
// The block audio buffer: a recording's block gathers the sound of its
// records, which may run to several seconds.
inline constexpr uint32_t kAudioBufferBytes = 1u << 20;

struct BlockInfo {
    uint64_t offset = kNoBlock; // where the block starts in the source
    uint64_t next = kNoBlock;   // where the following block starts
    uint32_t recordBytes = 0;   // frame records from `offset`
    uint32_t audioBytes = 0;    // block audio right after the records
    uint32_t time = 0;          // DvrTime of the block's first record
    bool Valid() const { return offset != kNoBlock; }
};

class BlockSource {
public:
    virtual ~BlockSource() = default;

    virtual uint64_t Size() const = 0;
    // The first block (the oldest recording on a disk); invalid when the
    // source holds none.
    virtual BlockInfo First() = 0;
    // The last block (the newest recording on a disk); invalid when there
    // is none.
    virtual BlockInfo Last() = 0;
    // The block after `block` in recording order; invalid at the end.
    virtual BlockInfo After(const BlockInfo& block)
    {
        const BlockInfo next = At(block.next);
        return next.Valid() ? next : FindFrom(block.next);
    }
    // The block that starts exactly at `offset`; invalid when none does.
    virtual BlockInfo At(uint64_t offset) = 0;
    // The first block starting at or after `offset`; invalid at the end.
    virtual BlockInfo FindFrom(uint64_t offset) = 0;
    // The block before `block` in recording order; invalid when `block` is
    // the first.
    virtual BlockInfo Before(const BlockInfo& block) = 0;
    // Reads the block's records (recordBytes bytes) into `out`, which holds
    // at least kMaxBlockBytes. Returns the bytes read.
    virtual size_t ReadRecords(const BlockInfo& block, uint8_t* out) = 0;
    // Reads the block's audio into `out` (kAudioBufferBytes). At and
    // ReadAudio may be called from a second thread (the audio output's)
    // while another reads the records.
    virtual size_t ReadAudio(const BlockInfo& block, uint8_t* out) = 0;
    // The longest block audio that is a block's own sound.
    virtual uint32_t MaxAudioBytes() const { return kMaxBlockAudioBytes; }
};

// Where recording continues after a position that has no blocks behind it
// (0: nowhere).
using NextSegmentFn = std::function<uint64_t(uint64_t position)>;

// A DVR video partition or a raw backup. `start` is where the search for
// the first block begins (0, or the oldest index entry's position on a
// disk); `nextSegment` (may be empty) tells where recording continues after
// a stretch without blocks.
//
// A DVR's video partition is a ring (`ring`): once full, the DVR records on
// from the partition's start over its oldest blocks. Then the oldest block
// is mid-partition, recording order runs from it to the partition's end
// and on from its start, and ends where the oldest block begins.
class GopBlockSource final : public BlockSource {
public:
    GopBlockSource(std::unique_ptr<SourceFile> file, uint64_t start, NextSegmentFn nextSegment, bool ring = false);

    uint64_t Size() const override { return file_->Size(); }
    BlockInfo First() override;
    BlockInfo Last() override;
    BlockInfo At(uint64_t offset) override;
    BlockInfo FindFrom(uint64_t offset) override;
    BlockInfo After(const BlockInfo& block) override;
    BlockInfo Before(const BlockInfo& block) override;
    size_t ReadRecords(const BlockInfo& block, uint8_t* out) override;
    size_t ReadAudio(const BlockInfo& block, uint8_t* out) override;


private:
    // The block at `offset` read from its opening sector, without the check
    // of its successor; invalid when the sector opens no block.
    BlockInfo ReadOpening(uint64_t offset, uint32_t* previousLength = nullptr);
    // A block whose successor names it as its predecessor (or that ends the
    // source): the acceptance test of a search hit.
    bool Confirmed(const BlockInfo& block);
    // The neighbours in the partition, whatever the recording order.
    BlockInfo PhysicalAfter(const BlockInfo& block);
    BlockInfo PhysicalBefore(const BlockInfo& block);
    BlockInfo PhysicalLast();
    // Where the oldest block starts when the ring has wrapped (blocks lie
    // before it), else nothing.
    uint64_t WrapStart();

    std::unique_ptr<SourceFile> file_;
    uint64_t start_;
    NextSegmentFn nextSegment_;
    bool ring_;
    bool wrapKnown_ = false;
    uint64_t wrap_ = kNoBlock; // the oldest block of a wrapped ring, found once
    std::vector<uint8_t> window_; // the search window, allocated once
};

} // namespace tarnvik
