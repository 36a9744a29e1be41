#include "TabPages.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
        auto* button = new QPushButton(QString::fromLatin1(kLivePtzLabels[i]), this);
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
    grid->setRowStretch(5, 1);
}

QPushButton* CTabLive::PtzButton(int index) const
{
    return index >= 0 && index < 8 ? ptz_[index] : nullptr;
}

namespace {

void AddNote(QWidget* page, const QString& text)
{
    auto* layout = new QVBoxLayout(page);
    auto* note = new QLabel(text, page);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignCenter);
    note->setEnabled(false);
    layout->addWidget(note);
}

} // namespace

CTabNetSearch::CTabNetSearch(QWidget* parent)
    : QWidget(parent)
{
    AddNote(this, tr("Remote playback by time"));
}

CTabLocalSearch::CTabLocalSearch(QWidget* parent)
    : QWidget(parent)
{
    AddNote(this, tr("Local file playback"));
}

} // namespace tarnvik
