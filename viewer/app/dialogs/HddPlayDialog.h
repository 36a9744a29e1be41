// CHddPlayDlg: "HDD Play", the time search of local playback. It shows the
// recorded period and lets the user pick a date and a time; "HDD play"
// plays without searching, "Search" plays from the time picked.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class QDateEdit;
class QTimeEdit;

namespace tarnvik {

// The dialog's texts in the window's language.
struct HddPlayTexts {
    QString title, startLabel, endLabel, searchTime, play, search, cancel;
};

class CHddPlayDlg : public QDialog {
    Q_OBJECT
public:
    // exec() results.
    enum Choice { Cancelled = 0, PlayNow = 1, Search = 2 };

    // `start` and `end`: the recorded period as DvrTimes (shown as UTC,
    // without a time zone); the pickers start at `start`.
    CHddPlayDlg(const HddPlayTexts& texts, uint32_t start, uint32_t end, QWidget* parent = nullptr);

    // The date and time picked, as a DvrTime.
    uint32_t ChosenTime() const;
    void SetChosenTime(uint32_t time);

private:
    QDateEdit* date_ = nullptr;
    QTimeEdit* time_ = nullptr;
};

} // namespace tarnvik
