#include "DvrPlaybackDialog.h"

#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QLabel>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarnvik {

CDvrPlaybackDlg::CDvrPlaybackDlg(const QDateTime& start, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("DVR Playback"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Select Search Time:"), this));
    calendar_ = new QCalendarWidget(this);
    calendar_->setObjectName(QStringLiteral("playDate"));
    calendar_->setGridVisible(true);
    layout->addWidget(calendar_);
    time_ = new QTimeEdit(this);
    time_->setObjectName(QStringLiteral("playTime"));
    time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    layout->addWidget(time_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    SetChosen(start);
}

QDateTime CDvrPlaybackDlg::Chosen() const
{
    return QDateTime(calendar_->selectedDate(), time_->time());
}

void CDvrPlaybackDlg::SetChosen(const QDateTime& at)
{
    calendar_->setSelectedDate(at.date());
    time_->setTime(at.time());
}

} // namespace tarnvik
