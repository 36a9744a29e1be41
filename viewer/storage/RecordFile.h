// A recording made by the stream recorder (`.avs`): an 8-byte file header,
// then frame records one after the other with no block structure; sound, if
// any, travels inside the records, after each picture. Opening
// scans the records once and cuts them into blocks — a block starts at a key
// picture of the channel that opened the recording (or at any key picture
// once a block spans two seconds) — so that positions, steps, fast motion
// and time search work as they do on a DVR's blocks.
#pragma once

#include "storage/BlockSource.h"

#include <atomic>
#include <string>

namespace tarnvik {

struct RecordScan {
    int codecKind = -1;    // from the file header, else the first record
    int audioChannel = -1; // the first channel whose records carry sound
};

class RecordFileSource final : public BlockSource {
public:
    // Scans the file. False with a reason in `error` when it holds no
    // record at all. `cancel` (may be null) stops a long scan.
    bool Open(std::unique_ptr<SourceFile> file, std::string& error, const std::atomic<bool>* cancel = nullptr);

    const RecordScan& Scan() const { return scan_; }
    const std::vector<BlockInfo>& Blocks() const { return blocks_; }

    uint64_t Size() const override { return file_ ? file_->Size() : 0; }
    BlockInfo First() override;
    BlockInfo Last() override;
    BlockInfo At(uint64_t offset) override;
    BlockInfo FindFrom(uint64_t offset) override;
    BlockInfo After(const BlockInfo& block) override { return At(block.next); }
    BlockInfo Before(const BlockInfo& block) override;
    size_t ReadRecords(const BlockInfo& block, uint8_t* out) override;
    // The sound of the block's records of the audio channel, in order (one
    // channel: mixing several would garble them).
    size_t ReadAudio(const BlockInfo& block, uint8_t* out) override;
    uint32_t MaxAudioBytes() const override { return kAudioBufferBytes; }

private:
    std::unique_ptr<SourceFile> file_;
    RecordScan scan_;
    std::vector<BlockInfo> blocks_; // in file order
    std::vector<uint8_t> audioScratch_; // ReadAudio's thread only
};

// The frame header length of the record whose header starts at p (at least
// 7 readable bytes): 40 bytes for stream variant 3, 32 otherwise.
size_t RecordHeaderLength(const uint8_t* p);

} // namespace tarnvik
