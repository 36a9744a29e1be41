#include "RecordReader.h"

#include "storage/RecordFile.h"

#include "dvrformat/FrameHeader.h"
#include "net/ReceptionStatus.h"

#include <algorithm>
#include <cstring>

namespace tarnvik {

using namespace dvrformat;

RecordReader::RecordReader(BlockSource& source, FrameSink& sink, std::mutex* decodeLock)
    : source_(source), sink_(sink), decodeLock_(decodeLock), fifo_(new uint8_t[kMaxBlockBytes])
{
}

void RecordReader::StartAt(const BlockInfo& block)
{
    block_ = block;
    burstBlock_ = block;
    loaded_ = false;
    fifoSize_ = cursor_ = 0;
    burst_ = steps_ = 0;
    std::fill(std::begin(started_), std::end(started_), false);
}

bool RecordReader::Refill()
{
    if (loaded_) {
        // The current block is used up: on to the one after it.
        block_ = source_.After(block_);
    }
    loaded_ = false;
    fifoSize_ = cursor_ = 0;
    if (!block_.Valid())
        return false;
    fifoSize_ = source_.ReadRecords(block_, fifo_.get());
    loaded_ = true;
    Emit({ReaderEvent::Kind::Refill, block_.offset});
    return true;
}

bool RecordReader::Jump(int speed, bool& ended)
{
    ended = false;
    if (burst_ > 0) {
        --burst_;
        return true;
    }
    if (speed >= -1 && speed <= 1) {
        // Fast motion that starts now counts its jumps from here.
        burstBlock_ = block_;
        return true;
    }
    // One step back or one block skipped forward, counted from the block
    // the last burst started in.
    if (!burstBlock_.Valid())
        burstBlock_ = block_;
    BlockInfo target;
    if (speed <= -2) {
        target = source_.Before(burstBlock_);
    } else {
        target = source_.After(burstBlock_);
    }
    if (!target.Valid()) {
        ended = true;
        return false;
    }
    burstBlock_ = target;
    ++steps_;
    Emit({ReaderEvent::Kind::Jump, target.offset});
    const int needed = speed <= -2 ? -speed - 1 : speed;
    if (steps_ < needed)
        return false;
    // The burst starts at the block reached; the gate starts afresh, as the
    // pictures before the jump are no references for those after it.
    const BlockInfo reached = burstBlock_;
    StartAt(reached);
    burst_ = kBurstRecords - 1;
    return true;
}

bool RecordReader::NextRecord(const uint8_t*& record, size_t& length)
{
    // Bounded: a block is read at most once per call, and a source of
    // nothing but empty blocks ends through Refill.
    for (int refills = 0; refills < 64;) {
        if (!loaded_ || cursor_ + kFrameHeaderShort > fifoSize_) {
            if (!Refill())
                return false;
            ++refills;
            continue;
        }
        const uint8_t* begin = fifo_.get() + cursor_;
        const uint8_t* end = fifo_.get() + fifoSize_;
        const uint8_t* magic = std::search(begin, end, kFrameMagic, kFrameMagic + 4);
        if (magic == end || size_t(end - magic) < kFrameHeaderShort) {
            cursor_ = fifoSize_;
            continue;
        }
        const size_t at = size_t(magic - fifo_.get());
        const size_t headerLength = RecordHeaderLength(magic);
        const FrameHeader h = FrameHeader::Read(magic, size_t(end - magic));
        // A record no longer than its header, or one its block cannot hold,
        // is skipped: the search goes on after its magic.
        if (h.recordLength <= headerLength || h.recordLength > size_t(end - magic)) {
            cursor_ = at + 4;
            continue;
        }
        record = magic;
        length = h.recordLength;
        cursor_ = at + length;
        return true;
    }
    return false;
}

RecordReader::Result RecordReader::ReadOne(int speed)
{
    bool ended = false;
    if (!Jump(speed, ended))
        return ended ? Result::End : Result::NoFrame;

    const uint8_t* record = nullptr;
    size_t length = 0;
    if (!NextRecord(record, length))
        return Result::End;

    const uint64_t recordOffset = block_.offset + uint64_t(record - fifo_.get());
    const size_t headerLength = RecordHeaderLength(record);
    ReaderEvent event{ReaderEvent::Kind::Record, block_.offset, recordOffset};
    lastDecoded_ = false;
    {
        std::unique_lock<std::mutex> guard;
        if (decodeLock_)
            guard = std::unique_lock<std::mutex>(*decodeLock_);
        int frameKind = 0;
        if (sink_.ParseFrameHeader(record, length, frameKind, true)) {
            const FrameInfo& frame = sink_.Frame();
            const int channel = frame.channel & 15;
            event.channel = channel;
            lastTime_ = frame.time;
            lastMilliseconds_ = frame.milliseconds;
            // A channel starts with its first key picture: predicted
            // pictures before it have no reference here.
            if (frame.pictureType != 0 || frame.codec == 0)
                started_[channel] = true;
            const size_t dataLength = length - headerLength;
            if (started_[channel] && frame.videoLength > 0 && frame.videoLength <= dataLength) {
                sink_.SetDecodable(channel);
                lastDecoded_ = sink_.DecodeAndShow(record + headerLength, frame.videoLength, 0);
                if (lastDecoded_) {
                    status_ = FormatFrameLine(frame);
                    sink_.CommitTimeText();
                }
            }
        }
    }
    event.decoded = lastDecoded_;
    Emit(event);
    return Result::Frame;
}

} // namespace tarnvik
