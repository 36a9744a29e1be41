#include "BackupDialog.h"

#include <QDateEdit>
#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimeZone>
#include <QVBoxLayout>

namespace tarnvik {

namespace {

uint32_t DvrTimeOf(const QDate& date, const QTime& time)
{
    const qint64 seconds = QDateTime(date, time, QTimeZone::utc()).toSecsSinceEpoch();
    return seconds < 0 ? 0 : seconds > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(seconds);
}

void Show(QDateEdit* date, QTimeEdit* time, uint32_t at)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(at, QTimeZone::utc());
    date->setDate(when.date());
    time->setTime(when.time());
}

} // namespace

CBackupDlg::CBackupDlg(const BackupTexts& texts, uint32_t start, uint32_t end, const QString& folder,
                       QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(texts.title);
    auto* grid = new QGridLayout(this);
    auto text = [](uint32_t time) { return QString::fromStdString(FormatIndexTime(time)); };
    int row = 0;
    grid->addWidget(new QLabel(texts.startRec, this), row, 0);
    grid->addWidget(new QLabel(text(start), this), row++, 1, 1, 2);
    grid->addWidget(new QLabel(texts.endRec, this), row, 0);
    grid->addWidget(new QLabel(text(end), this), row++, 1, 1, 2);

    auto pickers = [&](const QString& label, QDateEdit*& date, QTimeEdit*& time) {
        grid->addWidget(new QLabel(label, this), row, 0);
        date = new QDateEdit(this);
        date->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
        date->setCalendarPopup(true);
        time = new QTimeEdit(this);
        time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        grid->addWidget(date, row, 1);
        grid->addWidget(time, row++, 2);
    };
    pickers(texts.backupStart, startDate_, startTime_);
    pickers(texts.backupEnd, endDate_, endTime_);
    SetRange(start, end);

    raw_ = new QRadioButton(texts.raw, this);
    raw_->setChecked(true);
    avi_ = new QRadioButton(texts.avi, this);
    avi_->setObjectName(QStringLiteral("aviData"));
    grid->addWidget(raw_, row, 1);
    grid->addWidget(avi_, row++, 2);
    connect(raw_, &QRadioButton::toggled, this, [this](bool raw) {
        for (QWidget* w : std::initializer_list<QWidget*>{startDate_, startTime_, endDate_, endTime_})
            w->setEnabled(raw);
    });

    grid->addWidget(new QLabel(texts.savePath, this), row, 0);
    folder_ = new QLineEdit(folder, this);
    folder_->setReadOnly(true);
    folder_->setMinimumWidth(240);
    grid->addWidget(folder_, row, 1);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    grid->addWidget(browse, row++, 2);
    connect(browse, &QPushButton::clicked, this, [this, title = texts.savePath] {
        const QString chosen = QFileDialog::getExistingDirectory(this, title, folder_->text());
        if (!chosen.isEmpty())
            SetFolder(chosen);
    });

    ok_ = new QPushButton(texts.ok, this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(texts.cancel, this);
    grid->addWidget(ok_, row, 1);
    grid->addWidget(cancel, row, 2);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

uint32_t CBackupDlg::StartTime() const
{
    return DvrTimeOf(startDate_->date(), startTime_->time());
}

uint32_t CBackupDlg::EndTime() const
{
    return DvrTimeOf(endDate_->date(), endTime_->time());
}

void CBackupDlg::SetRange(uint32_t start, uint32_t end)
{
    Show(startDate_, startTime_, start);
    Show(endDate_, endTime_, end);
}

bool CBackupDlg::RawData() const
{
    return raw_->isChecked();
}

QString CBackupDlg::Folder() const
{
    return folder_->text();
}

void CBackupDlg::SetFolder(const QString& folder)
{
    folder_->setText(folder);
}

// ---- Progress -----------------------------------------------------------------

CBackupProgressDlg::CBackupProgressDlg(const QString& title, BackupRequest request, QWidget* parent)
    : QDialog(parent), job_(std::make_unique<RawBackupJob>(std::move(request)))
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(320);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    percent_ = new QLabel(QStringLiteral("00 %"), this);
    row->addWidget(percent_);
    row->addStretch();
    cancel_ = new QPushButton(tr("Cancel"), this);
    row->addWidget(cancel_);
    layout->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, &CBackupProgressDlg::reject);
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, &CBackupProgressDlg::Poll);
}

CBackupProgressDlg::~CBackupProgressDlg() = default;

void CBackupProgressDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        job_->Start();
        timer_.start();
    }
}

void CBackupProgressDlg::reject()
{
    if (!started_) {
        QDialog::reject();
        return;
    }
    // Ends through Poll once the worker has stopped.
    job_->Cancel();
    cancel_->setEnabled(false);
    if (!timer_.isActive())
        timer_.start();
}

void CBackupProgressDlg::Poll()
{
    const uint32_t total = job_->ChunksTotal();
    const uint32_t chunks = std::min(job_->ChunksDone(), total);
    if (total > 0) {
        bar_->setRange(0, int(total));
        bar_->setValue(int(chunks));
        percent_->setText(QString::asprintf("%02d %%", int(uint64_t(chunks) * 100 / total)));
    }
    const BackupStatus status = job_->Status();
    if (status == BackupStatus::Running)
        return;
    timer_.stop();
    done(status == BackupStatus::Succeeded ? Accepted : Rejected);
}

} // namespace tarnvik
