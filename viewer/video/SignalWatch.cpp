#include "SignalWatch.h"

#include <algorithm>

namespace tarnvik {

void SignalWatch::Update(const View& view, Clock::time_point now)
{
    if (view == view_)
        return;
    view_ = view;
    since_ = now;
}

bool SignalWatch::Lost(Clock::time_point lastPicture, Clock::time_point now) const
{
    return view_.expecting && now - std::max(lastPicture, since_) >= kNoSignalAfter;
}

} // namespace tarnvik
