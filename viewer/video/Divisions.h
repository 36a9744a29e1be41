// Screen divisions of the main window without any widget: which panes a
// division shows, which channel each pane shows, paging through the
// channels, the single view of one channel, and the pane rectangles. The
// window owns one DivisionState, calls it from the user-interface thread
// and moves and paints its panes from what it exposes.
#pragma once

#include <QImage>

#include <array>
#include <functional>
#include <optional>

namespace tarnvik {

struct ViewerState;
class PaneStore;
class CChannelRenderer;

constexpr int kLaidOutPanes = 16; // pane 16 of the store is never placed

// The division stored for the single view of one channel.
constexpr int kSingleViewDivision = 201;

// What the division logic asks of the rest of the viewer. Every hook may be
// left empty.
struct DivisionHooks {
    // The division stream request to the DVR (the session's DivisionChanged:
    // live or remote-playback request is the session's choice).
    std::function<void(int division)> requestDivision;
    // A pane must be repainted.
    std::function<void(int pane)> invalidatePane;
    // Double click entering the single view, after pageStart1 is set and
    // before the division changes: the window notifies the local player,
    // unmutes and resumes audio, waits its 300 ms and sends the display
    // command for `channel` unless the pane shows the no-video picture.
    std::function<void(int channel)> enteringSingleView;
    // Double click leaving the single view, before the division changes:
    // the window mutes audio.
    std::function<void()> leavingSingleView;
    // Division 1 applied with notifyDvr (the "DIV 1" button): the DVR is
    // asked for `channel` alone, as the grid divisions ask for theirs.
    std::function<void(int channel)> requestSingleView;
};

// Whether a division's button can be used with a DVR of `channelCount`
// channels: with 1 channel only division 1, with 4 only 1 and 4, with 8 or 9
// all but 13 and 16, otherwise all.
bool DivisionUsable(int division, int channelCount);

class DivisionState {
public:
    // `noVideo` is the picture given to panes whose channel moved away while
    // a stream runs (may be null: the pane then only gets the noVideo mark).
    DivisionState(PaneStore& panes, CChannelRenderer& renderer, ViewerState& state, QImage noVideo,
                  DivisionHooks hooks = {});

    // Applies a division and returns the division actually stored (201 for
    // division 1; the current one when the call returns early).
    int SetDivision(int division, int pageStart, bool clearPanes, bool notifyDvr);

    // The "DIV n" button: next page of that division, then SetDivision with
    // clearPanes and notifyDvr. Returns the stored division.
    int PressDivision(int division);
    // After a login: the division, page and single view shown before stay
    // when the channel count allows them (the login's stream request asked
    // the DVR for what they show); otherwise the grid of the channel count
    // is shown. Sends nothing; returns true when the view changed, and the
    // caller must then ask the DVR for the new one.
    bool ShowAfterLogin();
    // Mouse wheel towards the user / away from the user. Return whether the
    // division was applied again.
    bool WheelForward();
    bool WheelBack();

    // A click on a pane's channel. Returns whether selectedChannel changed
    // (then every pane has been invalidated so the highlight moves).
    bool Select(int channel);
    // A double click on `pane`: toggles the single view when the pane's
    // channel (CaptionChannel) is the selected one. Returns whether it acted.
    bool DoubleClick(int pane);
    // A channel chosen by its number: shown alone as a double click shows
    // it (from a grid or from another channel's single view); chosen again
    // while alone, it returns to the division the single view came from.
    // False for a channel the DVR does not have.
    bool ShowAlone(int channel);

    // The channel a pane stands for in captions and clicks: the pane number
    // in the single view, its channel otherwise.
    int CaptionChannel(int pane) const;

    int Division() const { return division_; }
    int PreviousDivision() const { return previousDivision_; }
    int SelectedChannel() const { return selectedChannel_; }
    int GridColumns() const { return gridColumns_; }
    int GridRows() const { return gridRows_; }
    // Page start of a division's current page (division 1: pageStart1;
    // 16 and others: -1).
    int PageStartOf(int division) const;

    bool PaneVisible(int pane) const { return Valid(pane) && visible_[size_t(pane)]; }
    bool PaneSingleView(int pane) const { return Valid(pane) && singleView_[size_t(pane)]; }
    // Channel shown by a pane (the pane number for hidden panes).
    int PaneChannel(int pane) const { return Valid(pane) ? channel_[size_t(pane)] : -1; }

private:
    static bool Valid(int pane) { return pane >= 0 && pane < kLaidOutPanes; }
    // Shows `channel` alone (the hook first, then the division), keeping the
    // division the view came from to return to.
    void EnterSingleView(int channel);
    bool Connected() const;
    bool StreamRunning() const;
    int ChannelCount() const;
    // Next page start of `division` for a press (forward) or the wheel's
    // step back; writes it into the division's field.
    int AdvancePage(int division);
    int StepBackPage(int division);
    void Invalidate(int pane) const;

    PaneStore& panes_;
    CChannelRenderer& renderer_;
    ViewerState& state_;
    QImage noVideo_;
    DivisionHooks hooks_;

    int division_ = 4;
    int previousDivision_ = 4;
    int selectedChannel_ = 0;
    int gridColumns_ = 2;
    int gridRows_ = 2;
    // The start values make the first press of each button land on channel 0.
    int pageStart1_ = -1;
    int pageStart4_ = -4;
    int pageStart6_ = -5;
    int pageStart8_ = -8;
    int pageStart9_ = -7;
    int pageStart10_ = -6;
    int pageStart13_ = -3;

    std::array<bool, kLaidOutPanes> visible_{};
    std::array<bool, kLaidOutPanes> singleView_{};
    std::array<int, kLaidOutPanes> channel_{};
};

struct PaneRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool operator==(const PaneRect&) const = default;
};

using PaneRects = std::array<std::optional<PaneRect>, kLaidOutPanes>;

// The rectangle of every visible pane of the division, laid out in a grid
// area of width x height at (x, y) (the window's layout decides the area);
// cells are whole pixels, so the grid may end short of the area by less
// than a pixel per cell.
PaneRects PlacePanesInGrid(int x, int y, double width, double height, const DivisionState& divisions);

} // namespace tarnvik
