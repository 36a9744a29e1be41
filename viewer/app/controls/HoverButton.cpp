#include "app/controls/HoverButton.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "app/controls/ControlLogic.h"

namespace tarnvik {

static bool IsTab(int key) { return key == Qt::Key_Tab || key == Qt::Key_Backtab; }

// The button takes the keyboard focus on mouse moves and clicks, unless its
// owner chose that it never holds the focus (Qt::NoFocus): every focus change
// in the program hides a shown tooltip, and a focused button must not be the
// target of keys its window uses.
void CHoverButton::TakeFocus() {
    if (focusPolicy() != Qt::NoFocus) setFocus(Qt::MouseFocusReason);
}

CHoverButton::CHoverButton(QWidget* parent) : QAbstractButton(parent) {
    // Mouse moves without a button give the hover look without waiting for
    // the platform's hover timer.
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void CHoverButton::LoadSkin(const QPixmap& skin) {
    skin_ = skin;
    const FaceRect r = HoverFaceRect(skin.width(), skin.height(), 0);
    faceWidth_ = r.width;
    faceHeight_ = r.height;
    updateGeometry();
    update();
}

void CHoverButton::SetForcedFace(int n) {
    forcedFace_ = n < 0 ? 0 : n;
    update();
}

void CHoverButton::SetTooltip(const QString& text, bool activate) {
    setToolTip(activate ? text : QString());
}

int CHoverButton::CurrentFace() const {
    return HoverFaceIndex(forcedFace_, isEnabled(), isDown(), mouseOver_);
}

QSize CHoverButton::sizeHint() const {
    return faceWidth_ > 0 ? QSize(faceWidth_, faceHeight_) : QSize(16, 16);
}

void CHoverButton::paintEvent(QPaintEvent*) {
    if (skin_.isNull() || faceWidth_ <= 0) return;
    const FaceRect f = HoverFaceRect(skin_.width(), skin_.height(), CurrentFace());
    QPainter p(this);
    p.drawPixmap(rect(), skin_, QRect(f.x, f.y, f.width, f.height));
}

void CHoverButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        TakeFocus();
        emit Notify(kMsgHoverPressed, code_, controlId_);
    }
    QAbstractButton::mousePressEvent(e);
}

void CHoverButton::mouseReleaseEvent(QMouseEvent* e) {
    // Qt keeps the mouse grabbed while the button is held, so the release
    // arrives here even when the pointer left the button first.
    if (e->button() == Qt::LeftButton) {
        TakeFocus();
        emit Notify(kMsgHoverReleased, code_, controlId_);
    }
    QAbstractButton::mouseReleaseEvent(e);
}

void CHoverButton::mouseMoveEvent(QMouseEvent* e) {
    TakeFocus();
    if (rect().contains(e->position().toPoint()) && !mouseOver_) {
        mouseOver_ = true;
        update();
    }
    if ((e->buttons() & Qt::LeftButton) && controlId_ == kHoverDragReportControlId) {
        const QPoint pt = e->position().toPoint();
        emit Notify(kMsgHoverDragMove, pt.x(), pt.y());
    }
    QAbstractButton::mouseMoveEvent(e);
}

void CHoverButton::leaveEvent(QEvent* e) {
    mouseOver_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void CHoverButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        // A disabled button receives no leave event; drop the hover look so
        // it does not come back stale when re-enabled.
        if (!isEnabled()) mouseOver_ = false;
        update();
    }
    QAbstractButton::changeEvent(e);
}

bool CHoverButton::event(QEvent* e) {
    // The button wants every key, Tab included: stop QWidget from using Tab
    // for focus moves here so the key press reaches keyPressEvent.
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (IsTab(k->key())) {
            keyPressEvent(k);
            return true;
        }
    }
    return QAbstractButton::event(e);
}

void CHoverButton::keyPressEvent(QKeyEvent* e) {
    // Key presses are the parent's: the button never clicks on Space. The
    // Tab press itself is held back because its release is forwarded as the
    // press; a Qt parent moves the focus on each Tab press it receives, and
    // it must move once per stroke.
    QWidget* p = parentWidget();
    if (p && !IsTab(e->key())) {
        QKeyEvent copy(QEvent::KeyPress, e->key(), e->modifiers(), e->text(), e->isAutoRepeat(),
                       e->count());
        QCoreApplication::sendEvent(p, &copy);
    }
    e->accept();
}

void CHoverButton::keyReleaseEvent(QKeyEvent* e) {
    if (IsTab(e->key())) {
        if (QWidget* p = parentWidget()) {
            QKeyEvent asPress(QEvent::KeyPress, e->key(), e->modifiers());
            QCoreApplication::sendEvent(p, &asPress);
        }
        e->accept();
        return;
    }
    // Other releases are swallowed so Space does not click the button.
    e->accept();
}

}  // namespace tarnvik
