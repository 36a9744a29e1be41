// What the benchmark programs share: a user interface and a notifier that
// show nothing (the notifier prints), a frame sink that passes everything
// on to the real renderer for a benchmark to count on the way, and the
// process's CPU time.
#pragma once

#include "net/FrameSink.h"
#include "net/Notifier.h"
#include "net/UiBridge.h"

#include <atomic>
#include <cstdio>
#include <string>

#include <sys/resource.h>

namespace tarnvik::bench {

class QuietUi : public UiBridge {
public:
    void PaneChanged(int) override {}
    void RecordingIndicator(bool) override {}
    void FrameLine(const std::string&) override {}
    void ControlsEnabled(bool) override {}
    void SessionChanged(bool loggedIn, const std::string&) override { this->loggedIn = loggedIn; }
    void CommandTaskEnded(int) override {}
    std::atomic<bool> loggedIn{false};
};

class PrintingNotifier : public Notifier {
public:
    MessageAnswer ShowMessage(const std::string& text, MessageIcon, MessageButtons) override
    {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return MessageAnswer::Ok;
    }
};

class ForwardingSink : public FrameSink {
public:
    explicit ForwardingSink(FrameSink& inner) : inner_(inner) {}
    bool ParseFrameHeader(const uint8_t* block, size_t available, int& frameKind, bool skipGapCheck) override
    {
        return inner_.ParseFrameHeader(block, available, frameKind, skipGapCheck);
    }
    const FrameInfo& Frame() const override { return inner_.Frame(); }
    bool IsDecodable(int channel) const override { return inner_.IsDecodable(channel); }
    void SetDecodable(int channel) override { inner_.SetDecodable(channel); }
    bool DecodeAndShow(const uint8_t* data, size_t length, int slot) override
    {
        return inner_.DecodeAndShow(data, length, slot);
    }
    void CommitTimeText() override { inner_.CommitTimeText(); }
    void ResetChannels() override { inner_.ResetChannels(); }
    bool HandOverPicture(const uint8_t* data, size_t length, bool commitTimeText,
                         std::function<void(bool shown)> done) override
    {
        return inner_.HandOverPicture(data, length, commitTimeText, std::move(done));
    }
    void DropHandedOverPictures() override { inner_.DropHandedOverPictures(); }

protected:
    FrameSink& inner_;
};

inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace tarnvik::bench
