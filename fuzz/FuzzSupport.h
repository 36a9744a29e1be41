// What the fuzz targets share: a notifier and a user-interface bridge that
// show nothing, and a stub decode path for the readers' targets.
#pragma once

#include "net/FrameSink.h"
#include "net/Notifier.h"
#include "net/UiBridge.h"

#include "dvrformat/FrameHeader.h"

#include <cstddef>
#include <cstdint>

namespace tarnvik::fuzz {

class SilentNotifier : public Notifier {
public:
    MessageAnswer ShowMessage(const std::string&, MessageIcon, MessageButtons) override { return MessageAnswer::Ok; }
};

class SilentBridge : public UiBridge {
public:
    void PaneChanged(int) override {}
    void RecordingIndicator(bool) override {}
    void FrameLine(const std::string&) override {}
    void ControlsEnabled(bool) override {}
    void SessionChanged(bool, const std::string&) override {}
    void CommandTaskEnded(int) override {}
};

// A decode path that parses the frame header as the renderer does and
// touches every byte of the picture data it is handed, so that a reader
// handing over more than it holds shows under ASan here. The real decode
// path has a target of its own (frame_path).
class StubSink : public FrameSink {
public:
    bool ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool) override
    {
        const int at = dvrformat::FindFrameMagic(block, available);
        if (at < 0)
            return false;
        const dvrformat::FrameHeader h = dvrformat::FrameHeader::Read(block + at, available - size_t(at));
        frame_ = {};
        frame_.channel = h.channel;
        frame_.secondChannel = h.secondChannel;
        frame_.codec = h.codec;
        frame_.pictureType = h.pictureType;
        frame_.videoLength = h.videoLength;
        frame_.audioLength = h.audioLength;
        frame_.recordLength = h.recordLength;
        frame_.time = h.time;
        frame_.milliseconds = h.milliseconds;
        frameKind = h.videoLength > 0 ? 1 : 2;
        return true;
    }
    const FrameInfo& Frame() const override { return frame_; }
    bool IsDecodable(int channel) const override { return channel >= 0 && channel < 16 && decodable_[channel]; }
    void SetDecodable(int channel) override
    {
        if (channel >= 0 && channel < 16)
            decodable_[channel] = true;
    }
    bool DecodeAndShow(const uint8_t* data, size_t length, int) override
    {
        uint32_t sum = 0;
        for (size_t i = 0; i < length; ++i)
            sum += data[i];
        sum_ = sum;
        return length > 0;
    }
    void CommitTimeText() override {}
    void ResetChannels() override
    {
        for (bool& flag : decodable_)
            flag = false;
    }

private:
    FrameInfo frame_;
    bool decodable_[16] = {};
    volatile uint32_t sum_ = 0;
};

} // namespace tarnvik::fuzz
