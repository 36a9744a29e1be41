// CDvrPlaybackDlg: "DVR Playback", where remote playback's start is chosen:
// a month calendar for the date and a time picker under "Select Search
// Time:". OK plays from there; Cancel changes nothing.
#pragma once

#include <QDateTime>
#include <QDialog>

class QCalendarWidget;
class QTimeEdit;

namespace tarnvik {

class CDvrPlaybackDlg : public QDialog {
    Q_OBJECT
public:
    // Starts on `start` (a local date and time).
    explicit CDvrPlaybackDlg(const QDateTime& start, QWidget* parent = nullptr);

    QDateTime Chosen() const;
    void SetChosen(const QDateTime& at);

private:
    QCalendarWidget* calendar_ = nullptr;
    QTimeEdit* time_ = nullptr;
};

} // namespace tarnvik
