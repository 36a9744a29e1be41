// Which panes have lost their signal: a shown channel with no picture for
// kNoSignalAfter while the live view expects pictures. The window tells
// the watch on a timer what it shows; any change of that (division, page,
// the single view's channel, pictures expected or not) starts every pane's
// wait again, so that a channel just asked for is not marked before the DVR
// had time to send it. Channels on other pages are not shown, and a paused
// view expects nothing: neither counts as lost.
#pragma once

#include <chrono>

namespace tarnvik {

class SignalWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kNoSignalAfter{3000};

    struct View {
        int division = 0;
        int pageStart = 0;
        int selectedChannel = 0;
        // Live pictures are requested, or a lost session is being restored.
        bool expecting = false;
        bool operator==(const View&) const = default;
    };

    void Update(const View& view, Clock::time_point now);
    // Whether a shown pane whose last picture came at `lastPicture` (the
    // clock's epoch: never) has lost its signal.
    bool Lost(Clock::time_point lastPicture, Clock::time_point now) const;

private:
    View view_;
    Clock::time_point since_{};
};

} // namespace tarnvik
