// CBackupDlg: "Backup", where a time range of the source that local
// playback has open is chosen: the recorded period, the backup's start and
// end (a date and a time each), raw data or AVI (which plays the source
// into AVI files and needs no range), and the folder it goes to.
// CBackupProgressDlg: the raw copy's progress, running its RawBackupJob;
// Cancel stops the copy and leaves nothing behind.
#pragma once

#include "storage/RawBackup.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace tarnvik {

// The dialogs' texts in the window's language.
struct BackupTexts {
    QString title, startRec, endRec, backupStart, backupEnd, raw, avi, savePath, ok, cancel;
};

class CBackupDlg : public QDialog {
    Q_OBJECT
public:
    // `start` and `end`: the recorded period as DvrTimes (shown as UTC,
    // without a time zone), also the range the pickers start with.
    CBackupDlg(const BackupTexts& texts, uint32_t start, uint32_t end, const QString& folder,
               QWidget* parent = nullptr);

    // The backup's start and end as DvrTimes.
    uint32_t StartTime() const;
    uint32_t EndTime() const;
    void SetRange(uint32_t start, uint32_t end);
    bool RawData() const;
    // The folder the backup goes to; the folder button chooses it.
    QString Folder() const;
    void SetFolder(const QString& folder);
    QPushButton* OkButton() const { return ok_; }

private:
    QDateEdit *startDate_ = nullptr, *endDate_ = nullptr;
    QTimeEdit *startTime_ = nullptr, *endTime_ = nullptr;
    QRadioButton *raw_ = nullptr, *avi_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QPushButton* ok_ = nullptr;
};

class CBackupProgressDlg : public QDialog {
    Q_OBJECT
public:
    // The copy starts when the dialog is shown. exec() gives Accepted once
    // the backup is written, Rejected after a failure or a cancel.
    CBackupProgressDlg(const QString& title, BackupRequest request, QWidget* parent = nullptr);
    ~CBackupProgressDlg() override;

    RawBackupJob& Job() { return *job_; }
    QPushButton* CancelButton() const { return cancel_; }
    QLabel* PercentLabel() const { return percent_; }

    // Cancel, Escape and closing the window: the copy is cancelled and the
    // dialog ends once the worker has stopped and deleted its files; the
    // window keeps painting meanwhile.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Poll();

    std::unique_ptr<RawBackupJob> job_;
    QProgressBar* bar_ = nullptr;
    QLabel* percent_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer timer_;
    bool started_ = false;
};

} // namespace tarnvik
