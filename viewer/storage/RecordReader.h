// Reads a stored stream record by record for the player: a FIFO holding the
// records of the current block, the fast-motion bursts in both directions,
// the key-picture gate per channel, and the hand-over of each record to the
// decode path (ParseFrameHeader, then DecodeAndShow).
//
// Fast motion: at speed s in 2..6 the reader shows a burst of 16 records,
// then jumps forward to the block s blocks after the burst's first block
// (skipping s - 1 blocks whole); at -2..-6 it jumps back |s| - 1 blocks.
// Each jump step is one call that returns NoFrame, so the caller's loop
// stays responsive on long jumps.
//
// Thread: one caller at a time (the player thread).
#pragma once

#include "storage/BlockSource.h"

#include "net/FrameSink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tarnvik {

inline constexpr int kBurstRecords = 16;

// What the reader did, for the player's status line and for tests.
struct ReaderEvent {
    enum class Kind { Record, Jump, Refill } kind = Kind::Record;
    uint64_t blockOffset = 0;  // the block of the record, or the block jumped to
    uint64_t recordOffset = 0; // Record: where the record starts in the source
    int channel = -1;
    bool decoded = false;      // Record: a picture reached a pane
};

class RecordReader {
public:
    enum class Result { Frame, NoFrame, End };

    // `decodeLock` (may be null) is held around parsing and decoding, which
    // share the renderer with the user-interface thread.
    RecordReader(BlockSource& source, FrameSink& sink, std::mutex* decodeLock);

    // The next record read is the first of `block`; the key-picture gate and
    // the burst start afresh. An invalid block means the end of data.
    void StartAt(const BlockInfo& block);
    // The block whose records are being read (invalid before StartAt).
    const BlockInfo& Current() const { return block_; }

    // Reads one record at `speed` (-6..6), or makes one jump step.
    Result ReadOne(int speed);

    // The last record's time (DvrTime) and milliseconds, and whether it
    // produced a picture.
    uint32_t LastTime() const { return lastTime_; }
    int LastMilliseconds() const { return lastMilliseconds_; }
    bool LastDecoded() const { return lastDecoded_; }
    // "ID:%02d [%c/%c/%c] Size:%d" of the last decoded picture.
    const std::string& StatusLine() const { return status_; }

    // Every record read and every jump (tests, diagnosis); may be empty.
    std::function<void(const ReaderEvent&)> onEvent;

private:
    bool Refill();
    // Steps the burst logic at a burst boundary. True when a record may be
    // read now; false when this call was a jump step (or the data ended,
    // then `ended` is set).
    bool Jump(int speed, bool& ended);
    bool NextRecord(const uint8_t*& record, size_t& length);
    void Emit(const ReaderEvent& event)
    {
        if (onEvent)
            onEvent(event);
    }

    BlockSource& source_;
    FrameSink& sink_;
    std::mutex* decodeLock_;

    std::unique_ptr<uint8_t[]> fifo_; // the current block's records, kMaxBlockBytes
    size_t fifoSize_ = 0;
    size_t cursor_ = 0;
    BlockInfo block_;
    BlockInfo burstBlock_; // the block the current burst started in
    bool loaded_ = false;  // fifo_ holds block_'s records

    int burst_ = 0;
    int steps_ = 0;
    bool started_[16] = {};

    uint32_t lastTime_ = 0;
    int lastMilliseconds_ = 0;
    bool lastDecoded_ = false;
    std::string status_;
};

} // namespace tarnvik
