#include "ViewerCore.h"

namespace tarnvik {

ViewerCore::ViewerCore(Notifier& notifier, UiBridge& ui, SessionTiming timing, uint64_t recorderRolloverBytes)
    : aviExport_(state_, notifier)
    , model_(notifier)
    , renderer_(state_, model_, panes_, ui)
    , recorder_(state_, notifier, recorderRolloverBytes)
    , session_(state_, renderer_, model_.DecodeLock(), ui, notifier, timing)
{
    model_.InitDecoders();
    renderer_.SetAviExport(&aviExport_);
    session_.Reception().recorder = [this](const uint8_t* block, size_t size, int mode) {
        recorder_.WriteFrame(block, size, mode);
    };
}

ViewerCore::~ViewerCore()
{
    session_.EndOfProgram();
}

bool ViewerCore::Connect(const ConnectSettings& settings)
{
    ClearPictures();
    return session_.Connect(settings);
}

void ViewerCore::ClearPictures()
{
    state_.streamState = kStreamIdle;
    for (int pane = 0; pane < 16; ++pane) {
        panes_.ShowPicture(pane, noVideo_, true);
        panes_.SetTimeText(pane, std::string());
    }
}

void ViewerCore::ShowDivision(int division, int pageStart, int selectedChannel)
{
    state_.selectedChannel = selectedChannel;
    renderer_.SetPageStarts(pageStart, selectedChannel);
    state_.division = division;
    for (int channel = 0; channel < 16; ++channel)
        renderer_.ClearDecodable(channel);
    if (division == 1 || division == 201)
        session_.ChannelChosen(selectedChannel, true);
    else
        session_.DivisionChanged(division);
}

} // namespace tarnvik
