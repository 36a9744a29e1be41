// The pages of the main window's property sheet: live (play, pause and the
// pan/tilt/zoom buttons), remote playback search and local file search.
// The pages only forward what the user does; the window sends the requests.
#pragma once

#include <QWidget>

#include <cstdint>

class QPushButton;

namespace tarnvik {

// The live tab's eight pan/tilt/zoom buttons in the order of their ops
// '1'..'8': left, right, up, down, zoom in, zoom out, focus far, focus near.
inline constexpr const char* kLivePtzLabels[8] = {"<", ">", "^", "v", "Zoom in", "Zoom out", "Focus far",
                                                  "Focus near"};

class CTabLive : public QWidget {
    Q_OBJECT
public:
    explicit CTabLive(QWidget* parent = nullptr);
    QPushButton* PlayButton() const { return play_; }
    QPushButton* PauseButton() const { return pause_; }
    // index 0..7 in the order of kLivePtzLabels.
    QPushButton* PtzButton(int index) const;

signals:
    void PlayClicked();
    void PauseClicked();
    // op is '1'..'8' on press; a release always follows its press.
    void PtzPressed(std::uint8_t op);
    void PtzReleased();

private:
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* ptz_[8] = {};
};

// Remote playback by time; its controls come with remote playback.
class CTabNetSearch : public QWidget {
    Q_OBJECT
public:
    explicit CTabNetSearch(QWidget* parent = nullptr);
};

// Local file and DVR disk playback; its controls come with local playback.
class CTabLocalSearch : public QWidget {
    Q_OBJECT
public:
    explicit CTabLocalSearch(QWidget* parent = nullptr);
};

} // namespace tarnvik
