// The pages of the main window's property sheet: live (play, pause and the
// pan/tilt/zoom buttons), remote playback search and local file search.
// The pages only forward what the user does; the window sends the requests.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace tarnvik {

// The live tab's eight pan/tilt/zoom buttons in the order of their ops
// '1'..'8': left, right, up, down, zoom in, zoom out, focus far, focus near.
inline constexpr const char* kLivePtzLabels[8] = {"<", ">", "^", "v",
                                                  QT_TRANSLATE_NOOP("tarnvik::CTabLive", "Zoom in"),
                                                  QT_TRANSLATE_NOOP("tarnvik::CTabLive", "Zoom out"),
                                                  QT_TRANSLATE_NOOP("tarnvik::CTabLive", "Focus far"),
                                                  QT_TRANSLATE_NOOP("tarnvik::CTabLive", "Focus near")};

class CTabLive : public QWidget {
    Q_OBJECT
public:
    explicit CTabLive(QWidget* parent = nullptr);
    QPushButton* PlayButton() const { return play_; }
    QPushButton* PauseButton() const { return pause_; }
    // The audio switch: whether the single view asks the DVR for the
    // channel's sound.
    QCheckBox* AudioSwitch() const { return audio_; }
    // index 0..7 in the order of kLivePtzLabels.
    QPushButton* PtzButton(int index) const;

signals:
    void PlayClicked();
    void PauseClicked();
    void AudioToggled(bool on);
    // op is '1'..'8' on press; a release always follows its press.
    void PtzPressed(std::uint8_t op);
    void PtzReleased();

private:
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QCheckBox* audio_ = nullptr;
    QPushButton* ptz_[8] = {};
};

// Remote playback by time: Play, Pause, the two steps and Time Reset, and
// the time playback starts from. A one-second timer keeps Time Reset usable
// only while the rule the window gives holds (logged in, nothing streaming).
class CTabNetSearch : public QWidget {
    Q_OBJECT
public:
    explicit CTabNetSearch(QWidget* parent = nullptr);

    void SetTimeResetRule(std::function<bool()> rule) { timeResetRule_ = std::move(rule); }
    void SetPlayTimeText(const QString& text);
    // Applies the Time Reset rule now (the timer does so every second).
    void UpdateTimeReset();

    QPushButton* PlayButton() const { return play_; }
    QPushButton* PauseButton() const { return pause_; }
    QPushButton* StepNextButton() const { return stepNext_; }
    QPushButton* StepPrevButton() const { return stepPrev_; }
    QPushButton* TimeResetButton() const { return timeReset_; }

signals:
    void PlayClicked();
    void PauseClicked();
    void StepNextClicked();
    void StepPrevClicked();
    void TimeResetClicked();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* stepNext_ = nullptr;
    QPushButton* stepPrev_ = nullptr;
    QPushButton* timeReset_ = nullptr;
    QLabel* playTime_ = nullptr;
    QTimer* timer_ = nullptr;
    std::function<bool()> timeResetRule_;
};

// Local file and DVR disk playback: the page's own buttons, the speed
// field, the shown time, the status line of the last picture and the car
// identifier of a disk. The window runs the player; the page forwards.
class CTabLocalSearch : public QWidget {
    Q_OBJECT
public:
    explicit CTabLocalSearch(QWidget* parent = nullptr);

    // The Play button reads "Pause" while playing.
    void ShowPlaying(bool playing);
    void SetSpeedText(const QString& text);
    void SetTimeText(const QString& text);
    void SetStatusText(const QString& text);
    void SetSourceText(const QString& text);
    void EnableTransport(bool enabled);

    QPushButton* OpenButton() const { return open_; }
    QPushButton* PlayButton() const { return play_; }
    QLabel* SpeedLabel() const { return speed_; }
    QLabel* StatusLabel() const { return status_; }

signals:
    void OpenClicked();
    void FirstClicked();
    void StepPrevClicked();
    void PlayClicked();
    void StepNextClicked();
    void LastClicked();

private:
    QPushButton* open_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* transport_[5] = {};
    QLabel* speed_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* source_ = nullptr;
};

} // namespace tarnvik
