#include "HddPlayDialog.h"

#include "storage/TimeIndex.h"

#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimeZone>

namespace tarnvik {

CHddPlayDlg::CHddPlayDlg(const HddPlayTexts& texts, uint32_t start, uint32_t end, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(texts.title);
    auto* grid = new QGridLayout(this);
    auto text = [](uint32_t time) { return QString::fromStdString(FormatIndexTime(time)); };
    grid->addWidget(new QLabel(texts.startLabel, this), 0, 0);
    auto* startText = new QLabel(text(start), this);
    startText->setObjectName(QStringLiteral("startTime"));
    grid->addWidget(startText, 0, 1, 1, 2);
    grid->addWidget(new QLabel(texts.endLabel, this), 1, 0);
    auto* endText = new QLabel(text(end), this);
    endText->setObjectName(QStringLiteral("endTime"));
    grid->addWidget(endText, 1, 1, 1, 2);

    grid->addWidget(new QLabel(texts.searchTime, this), 2, 0);
    date_ = new QDateEdit(this);
    date_->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    date_->setCalendarPopup(true);
    time_ = new QTimeEdit(this);
    time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    grid->addWidget(date_, 2, 1);
    grid->addWidget(time_, 2, 2);
    SetChosenTime(start);

    auto* play = new QPushButton(texts.play, this);
    play->setObjectName(QStringLiteral("hddPlay"));
    auto* search = new QPushButton(texts.search, this);
    search->setObjectName(QStringLiteral("search"));
    search->setDefault(true);
    auto* cancel = new QPushButton(texts.cancel, this);
    cancel->setObjectName(QStringLiteral("cancel"));
    grid->addWidget(play, 3, 0);
    grid->addWidget(search, 3, 1);
    grid->addWidget(cancel, 3, 2);
    connect(play, &QPushButton::clicked, this, [this] { done(PlayNow); });
    connect(search, &QPushButton::clicked, this, [this] { done(Search); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(Cancelled); });
}

uint32_t CHddPlayDlg::ChosenTime() const
{
    const QDateTime chosen(date_->date(), time_->time(), QTimeZone::utc());
    const qint64 seconds = chosen.toSecsSinceEpoch();
    return seconds < 0 ? 0 : seconds > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(seconds);
}

void CHddPlayDlg::SetChosenTime(uint32_t time)
{
    const QDateTime at = QDateTime::fromSecsSinceEpoch(time, QTimeZone::utc());
    date_->setDate(at.date());
    time_->setTime(at.time());
}

} // namespace tarnvik
