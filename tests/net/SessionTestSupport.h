// Test doubles and helpers for the session tests: a FrameSink that parses
// with dvrformat and records what it was given, a UiBridge and a Notifier
// that record calls, waiting with deadlines, and video message builders.
#pragma once

#include "dvrformat/ByteOrder.h"
#include "dvrformat/FrameHeader.h"
#include "dvrformat/Messages.h"
#include "net/FrameSink.h"
#include "net/Notifier.h"
#include "net/UiBridge.h"
#include "net/ViewerState.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnvik::test {

// Waits for `done` with a deadline; true when it became true.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct DecodedFrame {
    int channel = -1;
    int sequence = -1;
    bool key = false;
    uint32_t videoLength = 0;
    uint64_t timeMs = 0; // the frame header's time, in milliseconds
    std::vector<uint8_t> head; // the first bytes handed to the decoder
};

// Parses as the renderer does in the points the receive path relies on:
// the magic, learning CodecKind, the resolution reset, the sequence-gap
// test and JPEG pictures standing alone.
class TestFrameSink : public FrameSink {
public:
    explicit TestFrameSink(ViewerState& state) : state_(state) {}

    bool ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool skipGapCheck) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++parsed_;
        const int at = dvrformat::FindFrameMagic(block, available);
        if (at < 0)
            return false;
        const auto h = dvrformat::FrameHeader::Read(block + at, available - size_t(at));
        if (state_.typeWord.load() == dvrformat::kTypeWordUnknown)
            state_.typeWord = h.typeWord;
        if (state_.codecKind.load() == dvrformat::kCodecKindUnknown)
            state_.codecKind = dvrformat::CodecKindFromHeaderBytes(block[at + 4], block[at + 6]);
        const int c = h.channel & 15;
        frame_ = FrameInfo{};
        frame_.channel = c;
        frame_.codec = h.codec;
        frame_.pictureType = h.pictureType;
        frame_.evenField = h.evenField;
        frame_.resolutionCode = h.resolution;
        frame_.sizeClass = dvrformat::SizeClassOfResolution(h.resolution);
        frame_.videoLength = h.videoLength;
        frame_.time = h.time;
        frame_.milliseconds = h.milliseconds;
        sequence_ = h.sequence;
        if (h.resolution != resolution_) {
            resolution_ = h.resolution;
            for (auto& d : decodable_)
                d = false;
        }
        if (h.videoLength > 0) {
            if (!skipGapCheck && !h.IsKeyPicture() && h.sequence != lastSequence_[c] + 1)
                decodable_[c] = false;
            lastSequence_[c] = h.sequence == 255 ? -1 : h.sequence;
        }
        if (h.codec == 0)
            decodable_[c] = true;
        frameKind = h.videoLength > 0 ? 1 : 2;
        return true;
    }
    const FrameInfo& Frame() const override { return frame_; }
    bool IsDecodable(int channel) const override
    {
        std::lock_guard<std::mutex> guard(lock_);
        return decodable_[channel & 15];
    }
    void SetDecodable(int channel) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        decodable_[channel & 15] = true;
    }
    bool DecodeAndShow(const uint8_t* data, size_t length, int) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        DecodedFrame d;
        d.channel = frame_.channel;
        d.sequence = sequence_;
        d.key = frame_.pictureType != 0;
        d.videoLength = uint32_t(length);
        d.timeMs = uint64_t(frame_.time) * 1000 + frame_.milliseconds;
        d.head.assign(data, data + (length < 8 ? length : 8));
        decoded_.push_back(std::move(d));
        ++state_.framesShown;
        state_.bytesShown += int(length);
        return true;
    }
    void CommitTimeText() override
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++timeTexts_;
    }
    void ResetChannels() override
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++resets_;
        for (auto& d : decodable_)
            d = false;
        for (auto& s : lastSequence_)
            s = -1;
    }

    std::vector<DecodedFrame> Decoded() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return decoded_;
    }
    size_t DecodedCount() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return decoded_.size();
    }
    int Parsed() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return parsed_;
    }
    int Resets() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return resets_;
    }
    int TimeTexts() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return timeTexts_;
    }

private:
    ViewerState& state_;
    mutable std::mutex lock_; // the test thread reads what the command task records
    FrameInfo frame_;
    int sequence_ = -1;
    int resolution_ = -1;
    bool decodable_[16] = {};
    int lastSequence_[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::vector<DecodedFrame> decoded_;
    int parsed_ = 0;
    int resets_ = 0;
    int timeTexts_ = 0;
};

class RecordingUi : public UiBridge {
public:
    void PaneChanged(int) override {}
    void RecordingIndicator(bool lit) override { Add(lit ? "rec on" : "rec off"); }
    void FrameLine(const std::string& line) override { Add("line " + line); }
    void ControlsEnabled(bool enabled) override { Add(enabled ? "controls on" : "controls off"); }
    void SessionChanged(bool loggedIn, const std::string& host) override
    {
        Add(std::string(loggedIn ? "logged in " : "logged out ") + host);
        if (onSessionChanged)
            onSessionChanged(loggedIn);
    }
    // Called on the session's thread as the window would be told.
    std::function<void(bool)> onSessionChanged;
    void CommandTaskEnded(int lastRead) override { Add("task ended " + std::to_string(lastRead)); }

    void Clear()
    {
        std::lock_guard<std::mutex> guard(lock_);
        events_.clear();
    }
    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return events_;
    }
    int Count(const std::string& prefix) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        int n = 0;
        for (const auto& e : events_)
            n += e.rfind(prefix, 0) == 0;
        return n;
    }
    std::string Last(const std::string& prefix) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto it = events_.rbegin(); it != events_.rend(); ++it)
            if (it->rfind(prefix, 0) == 0)
                return *it;
        return {};
    }

private:
    void Add(std::string e)
    {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(std::move(e));
    }
    mutable std::mutex lock_;
    std::vector<std::string> events_;
};

// Records each text together with whether the session had already ended
// (stop flag set, logged out) when it was shown.
class StateNotifier : public Notifier {
public:
    explicit StateNotifier(ViewerState& state) : state_(state) {}
    MessageAnswer ShowMessage(const std::string& text, MessageIcon, MessageButtons) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        texts_.push_back(text);
        endedFirst_.push_back(state_.stopFlag.load() && !state_.loggedIn.load());
        return MessageAnswer::Ok;
    }
    std::vector<std::string> Texts() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return texts_;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> guard(lock_);
        texts_.clear();
        endedFirst_.clear();
    }
    std::vector<bool> EndedFirst() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return endedFirst_;
    }

private:
    ViewerState& state_;
    mutable std::mutex lock_;
    std::vector<std::string> texts_;
    std::vector<bool> endedFirst_;
};

// A frame of a video message the test puts on the wire.
struct TestFrame {
    int channel = 0;
    int sequence = 0;
    bool key = false;
    uint8_t codec = 1; // 1 H.264, 0 JPEG
    uint32_t videoLength = 64;
    uint8_t resolution = 6;
    bool evenField = false;
    uint32_t time = 1000;
    uint16_t milliseconds = 0;
};

// A whole video message: header (length counts itself), prefix unless the
// live sub is 0x40, frame header of `headerLength` bytes, picture bytes
// (each the sequence number, so a test can tell pictures apart).
inline std::vector<uint8_t> VideoMessageBytes(const TestFrame& f, size_t headerLength, uint8_t code = dvrformat::cmd::Live,
                                              uint8_t sub = 1, dvrformat::DataPrefix prefix = {})
{
    dvrformat::FrameHeader h;
    h.kind = headerLength == dvrformat::kFrameHeaderLong ? 3 : 0;
    h.typeWord = 0x2200;
    h.sequence = uint8_t(f.sequence);
    h.channel = uint8_t(f.channel);
    h.resolution = f.resolution;
    h.time = f.time;
    h.milliseconds = f.milliseconds;
    h.codec = f.codec;
    h.evenField = f.evenField;
    h.pictureType = f.key ? 1 : 0;
    h.frameRate = 25;
    h.videoLength = f.videoLength;
    h.recordLength = uint32_t(headerLength + f.videoLength);
    const bool withPrefix = !(code == dvrformat::cmd::Live && sub == dvrformat::kSubNoPrefix);
    const size_t prefixSize = withPrefix ? dvrformat::kDataPrefixSize : 0;
    std::vector<uint8_t> bytes(dvrformat::kMessageHeaderSize + prefixSize + headerLength + f.videoLength,
                               uint8_t(f.sequence));
    dvrformat::MessageHeader m;
    m.code = code;
    m.sub = sub;
    m.length = uint32_t(bytes.size());
    m.Write(bytes.data());
    if (withPrefix)
        prefix.Write(bytes.data() + dvrformat::kMessageHeaderSize);
    h.Write(bytes.data() + dvrformat::kMessageHeaderSize + prefixSize, headerLength);
    return bytes;
}

} // namespace tarnvik::test
