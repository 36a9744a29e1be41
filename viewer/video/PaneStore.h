// The seventeen panes as the decode path sees them: each pane's last
// picture and its texts. The decode thread hands a new picture over while
// the user-interface thread copies a pane for painting; one mutex guards
// every field, and it is held only for the swap or the copy, never while
// decoding or notifying.
#pragma once

#include <QImage>

#include <chrono>
#include <mutex>
#include <string>

namespace tarnvik {

constexpr int kPaneCount = 17; // panes 0..15 are laid out; 16 is never placed
constexpr int kChannelCount = 16;

// A pane as painting needs it.
struct PaneSnapshot {
    QImage image;         // Format_BGR888; null before the first picture
    std::string caption;  // "Cam_%02d " or empty
    std::string timeText;
    bool noVideo = true;
    int channel = 0;
    bool visible = false;
    int streamClass = 1;
    // When the decode path last handed a picture over (the clock's epoch:
    // never). The no-video picture does not count.
    std::chrono::steady_clock::time_point lastPicture{};
};

// "Cam_%02d " with channel + 1, or empty for a channel at or above the count.
std::string CaptionOfChannel(int channel, int channelCount);

class PaneStore {
public:
    PaneStore();

    // A copy of a pane (images share their pixels until written). A pane
    // outside 0..16 gives an empty snapshot.
    PaneSnapshot Snapshot(int pane) const;

    // Decode thread: the pane's picture is replaced by `image` (swapped in,
    // no copy) and its texts by the given ones; noVideo is cleared.
    void HandOver(int pane, QImage&& image, const std::string& caption, const std::string& timeText, int streamClass);

    // The decode path records which channel a pane shows and in which pane a
    // channel was last drawn (paneOfChannel is read with the channel number).
    void RecordMapping(int pane, int channel);
    int PaneOfChannel(int channel) const;
    void SetNoVideo(int pane, bool noVideo);
    void SetTimeText(int pane, const std::string& timeText);

    // Display side (division changes, resets).
    void SetPane(int pane, int channel, bool visible, const std::string& caption);
    void ShowPicture(int pane, const QImage& image, bool noVideo);

private:
    struct Pane {
        QImage image;
        std::string caption;
        std::string timeText;
        bool noVideo = true;
        int channel = 0;
        int paneOfChannel = 0;
        bool visible = false;
        int streamClass = 1;
        std::chrono::steady_clock::time_point lastPicture{};
    };
    static bool Valid(int pane) { return pane >= 0 && pane < kPaneCount; }

    mutable std::mutex lock_; // guards panes_
    Pane panes_[kPaneCount];
};

} // namespace tarnvik
