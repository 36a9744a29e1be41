#include "app/controls/LedButton.h"

#include <QPainter>
#include <QTimer>

#include "app/controls/ControlLogic.h"

namespace tarnvik {

namespace {
// The program's button face colour: the background of a state with no image.
const QColor kButtonFace(230, 238, 242);
const QColor kButtonText(0, 0, 0);
constexpr int kIconTextGap = 4;
}  // namespace

QPixmap LedLampIcon(int iconId, int size) {
    QColor core;
    switch (iconId) {
        case 180: core = QColor(128, 128, 128); break;
        case 178:
        case 179:
        case 181: core = QColor(230, 0, 0); break;
        default: return QPixmap();
    }
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // A solid core with a darker rim: the centre pixel carries the lamp's
    // colour exactly, which keeps the two states told apart at any size.
    p.setPen(QPen(core.darker(160), 1));
    p.setBrush(core);
    p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    return pm;
}

CLedButton::CLedButton(QWidget* parent) : QAbstractButton(parent) {
    SetStateCount(kLedDefaultStateCount);
    setFocusPolicy(Qt::NoFocus);
}

CLedButton::LedState CLedButton::DefaultState() const {
    return LedState{QPixmap(), kButtonText, kButtonFace};
}

void CLedButton::SetStateCount(int n) {
    states_ = QVector<LedState>(n < 1 ? 1 : n, DefaultState());
    state_ = 0;
    update();
}

void CLedButton::SetStateIcons(int iconId0, int iconId1) {
    SetStateIcons(LedLampIcon(iconId0), LedLampIcon(iconId1));
}

void CLedButton::SetStateIcons(const QPixmap& icon0, const QPixmap& icon1) {
    if (states_.size() > 0) states_[0].icon = icon0;
    if (states_.size() > 1) states_[1].icon = icon1;
    update();
}

void CLedButton::SetState(int n, bool forceRedraw) {
    if (!LedStateAccepted(n, states_.size())) return;
    if (n == state_ && !forceRedraw) return;
    state_ = n;
    if (forceRedraw)
        repaint();
    else
        update();
}

void CLedButton::SetStateColours(int state, const QColor& text, const QColor& background) {
    if (!LedStateAccepted(state, states_.size())) return;
    states_[state].text = text;
    states_[state].background = background;
    update();
}

void CLedButton::SetIconOnRight(bool right) {
    iconOnRight_ = right;
    update();
}

void CLedButton::StartBlink(int stateA, int stateB, int intervalMs) {
    if (!blink_) {
        blink_ = new QTimer(this);
        connect(blink_, &QTimer::timeout, this,
                [this] { SetState(state_ == blinkA_ ? blinkB_ : blinkA_); });
    }
    blinkA_ = stateA;
    blinkB_ = stateB;
    blink_->start(intervalMs);
}

void CLedButton::StopBlink() {
    if (blink_) blink_->stop();
}

QSize CLedButton::sizeHint() const {
    const QPixmap& icon = states_[state_].icon;
    const QSize text = fontMetrics().size(Qt::TextSingleLine, this->text());
    return QSize(icon.width() + kIconTextGap + text.width() + 4,
                 qMax(icon.height(), text.height()) + 4);
}

void CLedButton::paintEvent(QPaintEvent*) {
    const LedState& s = states_[state_];
    QPainter p(this);
    p.fillRect(rect(), s.background);

    QRect textRect = rect();
    if (!s.icon.isNull()) {
        const int y = (height() - s.icon.height()) / 2;
        const int x = iconOnRight_ ? width() - s.icon.width() : 0;
        p.drawPixmap(x, y, s.icon);
        if (iconOnRight_)
            textRect.setRight(x - kIconTextGap);
        else
            textRect.setLeft(s.icon.width() + kIconTextGap);
    }
    p.setPen(isEnabled() ? s.text : palette().color(QPalette::Disabled, QPalette::WindowText));
    p.drawText(textRect, Qt::AlignVCenter | (iconOnRight_ ? Qt::AlignRight : Qt::AlignLeft),
               text());
}

}  // namespace tarnvik
