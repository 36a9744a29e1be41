#include "Divisions.h"

#include "ChannelRenderer.h"
#include "PaneStore.h"
#include "net/ReceptionStatus.h"
#include "net/ViewerState.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarnvik {

namespace {

// The next page of divisions 8, 9 and 10, which page only with sixteen
// channels: forward by the step, back to 0 at the wrap.
int AdvanceSixteen(int& pageStart, int step, int wrapAtOrAbove, int count)
{
    pageStart = count == 16 ? pageStart + step : 0;
    if (pageStart >= wrapAtOrAbove)
        pageStart = 0;
    return pageStart;
}

// The step back of divisions 8, 9 and 10, which page only with sixteen
// channels: back by the step, a negative start becomes the channel count
// less the division, and the forward wrap still applies.
int StepBackSixteen(int& pageStart, int step, int division, int wrapAtOrAbove, int count)
{
    if (count != 16)
        return pageStart = 0;
    pageStart -= step;
    if (pageStart < 0)
        pageStart = count - division;
    if (pageStart >= wrapAtOrAbove)
        pageStart = 0;
    return pageStart;
}

using PaneMask = std::array<bool, kLaidOutPanes>;

PaneMask Mask(std::initializer_list<int> panes)
{
    PaneMask m{};
    for (int p : panes)
        m[size_t(p)] = true;
    return m;
}

// Visible panes of the divisions with a fixed pane set (1 and 201 depend on
// the selected channel; unknown divisions show nothing).
PaneMask VisiblePanesOf(int division)
{
    switch (division) {
    case 4: return Mask({0, 1, 2, 3});
    case 6: return Mask({0, 2, 5, 6, 7, 8});
    case 8: return Mask({0, 3, 7, 11, 12, 13, 14, 15});
    case 9: return Mask({0, 1, 2, 3, 4, 5, 6, 7, 8});
    case 10: return Mask({0, 2, 8, 9, 10, 11, 12, 13, 14, 15});
    case 13: return Mask({0, 1, 2, 3, 4, 5, 7, 8, 11, 12, 13, 14, 15});
    case 16: return Mask({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    default: return {};
    }
}

// Grid size of a division; 0 for divisions the grid does not know (the
// grid is then left as it was).
int GridOf(int division)
{
    switch (division) {
    case 1:
    case kSingleViewDivision: return 1;
    case 4: return 2;
    case 6:
    case 9: return 3;
    case 8:
    case 10:
    case 13:
    case 16: return 4;
    default: return 0;
    }
}

bool SendsDivisionRequest(int division)
{
    switch (division) {
    case 4: case 6: case 8: case 9: case 10: case 13: case 16: return true;
    default: return false;
    }
}

// Division 6 pages by a step and wraps by a limit that depend on the count.
struct Paging6 {
    int step = 0; // 0: the count does not page
    int wrapAtOrAbove = 0;
    bool wrapBelowZero = false;
};

Paging6 Paging6Of(int channelCount)
{
    switch (channelCount) {
    case 16: return {5, 14, false};
    case 9: return {3, 5, false};  // wraps above 4
    case 8: return {2, 4, true};   // wraps above 3 and below 0
    default: return {};
    }
}

} // namespace

DivisionState::DivisionState(PaneStore& panes, CChannelRenderer& renderer, ViewerState& state, QImage noVideo,
                             DivisionHooks hooks)
    : panes_(panes), renderer_(renderer), state_(state), noVideo_(std::move(noVideo)), hooks_(std::move(hooks))
{
    for (int i = 0; i < kLaidOutPanes; ++i)
        channel_[size_t(i)] = i;
    division_ = state_.division.load();
    selectedChannel_ = state_.selectedChannel.load();
}

bool DivisionState::Connected() const
{
    return state_.loggedIn.load();
}

bool DivisionState::StreamRunning() const
{
    const uint32_t s = state_.streamState.load();
    return s != kStreamIdle && s != kStreamStopped;
}

int DivisionState::ChannelCount() const
{
    return state_.channelCount.load();
}

void DivisionState::Invalidate(int pane) const
{
    if (hooks_.invalidatePane)
        hooks_.invalidatePane(pane);
}

int DivisionState::PageStartOf(int division) const
{
    switch (division) {
    case 1:
    case kSingleViewDivision: return pageStart1_;
    case 4: return pageStart4_;
    case 6: return pageStart6_;
    case 8: return pageStart8_;
    case 9: return pageStart9_;
    case 10: return pageStart10_;
    case 13: return pageStart13_;
    default: return -1;
    }
}

int DivisionState::SetDivision(int division, int pageStart, bool clearPanes, bool notifyDvr)
{
    const int count = ChannelCount();

    // 1. Re-applying a division that cannot page must not restart the stream.
    if (Connected() && division == division_) {
        const bool fixed = ((division == 8 || division == 9 || division == 10) && (count == 8 || count == 9)) ||
                           ((division == 13 || division == 16) && count == 16);
        if (fixed)
            return division_;
    }

    // 2. A pane whose channel moves elsewhere would keep showing a stale
    //    picture until the new stream arrives.
    if (clearPanes && notifyDvr && Connected() && StreamRunning()) {
        for (int i = 0; i < kLaidOutPanes; ++i) {
            const int shownIn = panes_.PaneOfChannel(i);
            if (panes_.Snapshot(shownIn).channel != i) {
                if (noVideo_.isNull())
                    panes_.SetNoVideo(i, true);
                else
                    panes_.ShowPicture(i, noVideo_, true);
                Invalidate(i);
            }
        }
    }

    // 3. Reset every pane.
    for (int i = 0; i < kLaidOutPanes; ++i) {
        visible_[size_t(i)] = false;
        singleView_[size_t(i)] = false;
        channel_[size_t(i)] = i;
        panes_.SetPane(i, i, false, CaptionOfChannel(i, count));
        panes_.RecordMapping(i, i);
        panes_.SetTimeText(i, std::string());
        renderer_.ClearDecodable(i);
    }

    // 4. Division-specific part.
    int stored = division;
    if (division == 1) {
        // Paging through channels in the single view keeps the division to
        // go back to when the view is left.
        if (!IsSingleView(division_))
            previousDivision_ = division_;
        selectedChannel_ = pageStart;
        if (Valid(selectedChannel_)) {
            visible_[size_t(selectedChannel_)] = true;
            singleView_[size_t(selectedChannel_)] = true;
        }
        stored = kSingleViewDivision;
        // The stream must follow the view: without a request the DVR goes on
        // sending the channel shown before, and the new pane stays frozen.
        if (notifyDvr && Connected() && selectedChannel_ >= 0 && selectedChannel_ < count && hooks_.requestSingleView)
            hooks_.requestSingleView(selectedChannel_);
    } else if (division == kSingleViewDivision) {
        if (Valid(selectedChannel_)) {
            visible_[size_t(selectedChannel_)] = true;
            singleView_[size_t(selectedChannel_)] = true;
        }
    } else {
        visible_ = VisiblePanesOf(division);
        if (SendsDivisionRequest(division) && notifyDvr && Connected() && hooks_.requestDivision)
            hooks_.requestDivision(division);
    }

    // 5. Grid.
    if (const int grid = GridOf(division); grid > 0) {
        gridColumns_ = grid;
        gridRows_ = grid;
    }

    // 6. Channel assignment. Division 13 keeps channel 0 in the centre pane.
    int n = pageStart >= 0 ? pageStart : 0;
    if (division == 13) {
        n = 1;
        channel_[5] = 0;
        panes_.SetPane(5, 0, true, CaptionOfChannel(5, count));
    }
    for (int i = 0; i < kLaidOutPanes; ++i) {
        if (division == 13 && i == 5)
            continue;
        if (visible_[size_t(i)]) {
            channel_[size_t(i)] = n;
            panes_.SetPane(i, n, true, CaptionOfChannel(i, count));
            ++n;
        }
    }
    for (int i = 0; i < kLaidOutPanes; ++i)
        Invalidate(i);

    // 7. Store and publish for the decode path.
    division_ = stored;
    renderer_.SetPageStarts(pageStart, pageStart1_);
    state_.selectedChannel.store(selectedChannel_);
    state_.division.store(division_);
    return division_;
}

int DivisionState::AdvancePage(int division)
{
    const int count = ChannelCount();
    switch (division) {
    case 1:
        pageStart1_ = count > 0 ? (pageStart1_ + 1) % count : 0;
        selectedChannel_ = pageStart1_;
        return pageStart1_;
    case 4:
        pageStart4_ += 4;
        if (pageStart4_ >= count)
            pageStart4_ = 0;
        return pageStart4_;
    case 6: {
        const Paging6 p = Paging6Of(count);
        if (p.step == 0)
            return pageStart6_;
        pageStart6_ += p.step;
        if (pageStart6_ >= p.wrapAtOrAbove || (p.wrapBelowZero && pageStart6_ < 0))
            pageStart6_ = 0;
        return pageStart6_;
    }
    case 8:
        return AdvanceSixteen(pageStart8_, 8, 16, count);
    case 9:
        return AdvanceSixteen(pageStart9_, 7, 14, count);
    case 10:
        return AdvanceSixteen(pageStart10_, 6, 9, count);
    default: // 13 and 16 do not page
        return PageStartOf(division);
    }
}

int DivisionState::StepBackPage(int division)
{
    const int count = ChannelCount();
    switch (division) {
    case 1:
        pageStart1_ = pageStart1_ - 1 < 0 ? count - 1 : pageStart1_ - 1;
        selectedChannel_ = pageStart1_;
        return pageStart1_;
    case 4:
        pageStart4_ -= 4;
        if (pageStart4_ < 0)
            pageStart4_ = count - 4;
        if (pageStart4_ >= count)
            pageStart4_ = 0;
        return pageStart4_;
    case 6: {
        const Paging6 p = Paging6Of(count);
        if (p.step == 0)
            return pageStart6_;
        pageStart6_ -= p.step;
        if (pageStart6_ < 0)
            pageStart6_ = count - 6;
        if (pageStart6_ >= p.wrapAtOrAbove || (p.wrapBelowZero && pageStart6_ < 0))
            pageStart6_ = 0;
        return pageStart6_;
    }
    case 8:
        return StepBackSixteen(pageStart8_, 8, 8, 16, count);
    case 9:
        return StepBackSixteen(pageStart9_, 7, 9, 14, count);
    case 10:
        return StepBackSixteen(pageStart10_, 6, 10, 9, count);
    default: // 13 and 16 have no pages to step through
        return PageStartOf(division);
    }
}

int DivisionState::PressDivision(int division)
{
    const int pageStart = AdvancePage(division);
    return SetDivision(division, pageStart, true, true);
}

bool DivisionState::ShowAfterLogin()
{
    const int count = ChannelCount();
    const int before = division_;
    if (count == 1) {
        SetDivision(1, 0, true, false);
        return before != kSingleViewDivision || selectedChannel_ != 0;
    }
    const bool single = IsSingleView(division_);
    const bool keep = single ? selectedChannel_ >= 0 && selectedChannel_ < count
                             : DivisionUsable(division_, count) && PageStartOf(division_) < count;
    if (!keep) {
        SetDivision(count, -1, true, false);
        return true;
    }
    if (single)
        SetDivision(kSingleViewDivision, -1, true, false);
    else
        SetDivision(division_, PageStartOf(division_), true, false);
    return false;
}

bool DivisionState::WheelForward()
{
    if (ChannelCount() <= division_ || division_ == 13 || division_ == 16)
        return false;
    PressDivision(division_);
    return true;
}

bool DivisionState::WheelBack()
{
    if (ChannelCount() <= division_)
        return false;
    const int pageStart = StepBackPage(division_);
    SetDivision(division_, pageStart, true, true);
    return true;
}

bool DivisionState::Select(int channel)
{
    if (channel == selectedChannel_)
        return false;
    selectedChannel_ = channel;
    state_.selectedChannel.store(channel);
    for (int i = 0; i < kLaidOutPanes; ++i)
        Invalidate(i);
    return true;
}

int DivisionState::CaptionChannel(int pane) const
{
    if (!Valid(pane))
        return -1;
    return singleView_[size_t(pane)] ? pane : channel_[size_t(pane)];
}

bool DivisionState::DoubleClick(int pane)
{
    const int channel = CaptionChannel(pane);
    if (channel < 0 || channel != selectedChannel_)
        return false;
    if (!IsSingleView(division_)) {
        EnterSingleView(channel);
        return true;
    }
    if (hooks_.leavingSingleView)
        hooks_.leavingSingleView();
    switch (previousDivision_) {
    case 1: case 4: case 6: case 8: case 9: case 10: case 13:
        SetDivision(previousDivision_, PageStartOf(previousDivision_), false, true);
        break;
    default:
        SetDivision(ChannelCount(), -1, false, true);
        break;
    }
    return true;
}

bool DivisionState::ShowAlone(int channel)
{
    if (channel < 0 || channel >= std::min(ChannelCount(), kLaidOutPanes))
        return false;
    if (IsSingleView(division_) && channel == selectedChannel_)
        return DoubleClick(channel);
    Select(channel);
    EnterSingleView(channel);
    return true;
}

void DivisionState::EnterSingleView(int channel)
{
    pageStart1_ = channel;
    if (hooks_.enteringSingleView)
        hooks_.enteringSingleView(channel);
    // From another channel's single view, the division to go back to stays.
    if (!IsSingleView(division_))
        previousDivision_ = division_;
    SetDivision(kSingleViewDivision, -1, false, true);
}

bool DivisionUsable(int division, int channelCount)
{
    switch (channelCount) {
    case 1:
        return division == 1;
    case 4:
        return division == 1 || division == 4;
    case 8:
    case 9:
        return division != 13 && division != 16;
    default:
        return true;
    }
}

PaneRects PlacePanesInGrid(int x, int y, double width, double height, const DivisionState& divisions)
{
    PaneRects rects;
    const int columns = divisions.GridColumns();
    const int rows = divisions.GridRows();
    if (columns <= 0 || rows <= 0)
        return rects;
    const int cellW = int(std::trunc(width / columns));
    const int cellH = int(std::trunc(height / rows));

    const int division = divisions.Division();
    if (IsSingleView(division)) {
        const int pane = divisions.SelectedChannel();
        if (divisions.PaneVisible(pane))
            rects[size_t(pane)] = PaneRect{x, y, cellW, cellH};
        return rects;
    }

    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int pane = c + r * columns;
            if (pane >= kLaidOutPanes || !divisions.PaneVisible(pane))
                continue;
            int span = 1;
            if ((division == 6 || division == 10) && c == 0 && r == 0)
                span = 2;
            else if (division == 8 && c == 0 && r == 0)
                span = 3;
            else if (division == 10 && c == 2 && r == 0)
                span = 2;
            else if (division == 13 && c == 1 && r == 1)
                span = 2;
            rects[size_t(pane)] = PaneRect{c * cellW + x, r * cellH + y, span * cellW, span * cellH};
        }
    }
    return rects;
}

} // namespace tarnvik
