#include "TabPages.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace tarnvik {

CTabLive::CTabLive(QWidget* parent)
    : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(4);

    play_ = new QPushButton(tr("Play"), this);
    play_->setObjectName(QStringLiteral("livePlay"));
    pause_ = new QPushButton(tr("Pause"), this);
    pause_->setObjectName(QStringLiteral("livePause"));
    grid->addWidget(play_, 0, 0);
    grid->addWidget(pause_, 0, 1);
    connect(play_, &QPushButton::clicked, this, &CTabLive::PlayClicked);
    connect(pause_, &QPushButton::clicked, this, &CTabLive::PauseClicked);

    // Arrows as a cross, then zoom and focus in pairs.
    struct Place {
        int row, column;
    };
    const Place places[8] = {{2, 0}, {2, 1}, {1, 0}, {1, 1}, {3, 0}, {3, 1}, {4, 0}, {4, 1}};
    for (int i = 0; i < 8; ++i) {
        auto* button = new QPushButton(tr(kLivePtzLabels[i]), this);
        button->setObjectName(QStringLiteral("livePtz%1").arg(i + 1));
        button->setAutoDefault(false);
        const auto op = std::uint8_t('1' + i);
        // The move goes out on press and the stop on release; the button
        // keeps the mouse between the two, so a release is never lost.
        connect(button, &QPushButton::pressed, this, [this, op] { emit PtzPressed(op); });
        connect(button, &QPushButton::released, this, &CTabLive::PtzReleased);
        grid->addWidget(button, places[i].row, places[i].column);
        ptz_[i] = button;
    }
    play_->setAutoDefault(false);
    pause_->setAutoDefault(false);
    audio_ = new QCheckBox(tr("Audio"), this);
    audio_->setObjectName(QStringLiteral("liveAudio"));
    audio_->setToolTip(tr("Sound of the channel shown alone"));
    connect(audio_, &QCheckBox::toggled, this, &CTabLive::AudioToggled);
    grid->addWidget(audio_, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
}

QPushButton* CTabLive::PtzButton(int index) const
{
    return index >= 0 && index < 8 ? ptz_[index] : nullptr;
}

CTabNetSearch::CTabNetSearch(QWidget* parent)
    : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(4);
    auto button = [this](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    play_ = button(tr("Play"), "remotePlay");
    pause_ = button(tr("Pause"), "remotePause");
    stepPrev_ = button(tr("Step Prev"), "remoteStepPrev");
    stepNext_ = button(tr("Step Next"), "remoteStepNext");
    timeReset_ = button(tr("Time Reset"), "remoteTimeReset");
    grid->addWidget(play_, 0, 0);
    grid->addWidget(pause_, 0, 1);
    grid->addWidget(stepPrev_, 1, 0);
    grid->addWidget(stepNext_, 1, 1);
    grid->addWidget(timeReset_, 2, 0, 1, 2);
    playTime_ = new QLabel(this);
    playTime_->setObjectName(QStringLiteral("remotePlayTime"));
    playTime_->setWordWrap(true);
    grid->addWidget(playTime_, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);

    connect(play_, &QPushButton::clicked, this, &CTabNetSearch::PlayClicked);
    connect(pause_, &QPushButton::clicked, this, &CTabNetSearch::PauseClicked);
    connect(stepPrev_, &QPushButton::clicked, this, &CTabNetSearch::StepPrevClicked);
    connect(stepNext_, &QPushButton::clicked, this, &CTabNetSearch::StepNextClicked);
    connect(timeReset_, &QPushButton::clicked, this, &CTabNetSearch::TimeResetClicked);

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &CTabNetSearch::UpdateTimeReset);
}

void CTabNetSearch::SetPlayTimeText(const QString& text) { playTime_->setText(text); }

void CTabNetSearch::UpdateTimeReset()
{
    timeReset_->setEnabled(timeResetRule_ && timeResetRule_());
}

void CTabNetSearch::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    UpdateTimeReset();
    timer_->start();
}

void CTabNetSearch::hideEvent(QHideEvent* event)
{
    timer_->stop();
    QWidget::hideEvent(event);
}

CTabLocalSearch::CTabLocalSearch(QWidget* parent)
    : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(4);

    auto button = [this](const QString& text, const char* name, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        b->setAutoDefault(false);
        return b;
    };
    open_ = button(tr("Open File"), "localOpen", tr("Open File"));
    grid->addWidget(open_, 0, 0, 1, 3);
    auto* first = button(QStringLiteral("|<"), "localFirst", tr("Move to first position"));
    auto* previous = button(QStringLiteral("<|"), "localStepPrev", tr("Step prev"));
    play_ = button(tr("Play"), "localPlay", tr("Play"));
    auto* next = button(QStringLiteral("|>"), "localStepNext", tr("Step Next"));
    auto* last = button(QStringLiteral(">|"), "localLast", tr("Move to last position"));
    grid->addWidget(first, 1, 0);
    grid->addWidget(previous, 1, 1);
    grid->addWidget(next, 1, 2);
    grid->addWidget(play_, 2, 0, 1, 2);
    grid->addWidget(last, 2, 2);
    transport_[0] = first;
    transport_[1] = previous;
    transport_[2] = play_;
    transport_[3] = next;
    transport_[4] = last;

    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setWordWrap(true);
        return l;
    };
    speed_ = label("localSpeed");
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    speed_->setFont(mono);
    time_ = label("localTime");
    status_ = label("localStatus");
    source_ = label("localSource");
    grid->addWidget(speed_, 3, 0, 1, 3);
    grid->addWidget(time_, 4, 0, 1, 3);
    grid->addWidget(status_, 5, 0, 1, 3);
    grid->addWidget(source_, 6, 0, 1, 3);
    grid->setRowStretch(7, 1);

    connect(open_, &QPushButton::clicked, this, &CTabLocalSearch::OpenClicked);
    connect(first, &QPushButton::clicked, this, &CTabLocalSearch::FirstClicked);
    connect(previous, &QPushButton::clicked, this, &CTabLocalSearch::StepPrevClicked);
    connect(play_, &QPushButton::clicked, this, &CTabLocalSearch::PlayClicked);
    connect(next, &QPushButton::clicked, this, &CTabLocalSearch::StepNextClicked);
    connect(last, &QPushButton::clicked, this, &CTabLocalSearch::LastClicked);
    EnableTransport(false);
}

void CTabLocalSearch::ShowPlaying(bool playing)
{
    play_->setText(playing ? tr("Pause") : tr("Play"));
    play_->setToolTip(play_->text());
}

void CTabLocalSearch::SetSpeedText(const QString& text) { speed_->setText(text); }
void CTabLocalSearch::SetTimeText(const QString& text) { time_->setText(text); }
void CTabLocalSearch::SetStatusText(const QString& text) { status_->setText(text); }
void CTabLocalSearch::SetSourceText(const QString& text) { source_->setText(text); }

void CTabLocalSearch::EnableTransport(bool enabled)
{
    for (QPushButton* b : transport_)
        b->setEnabled(enabled);
}

} // namespace tarnvik
