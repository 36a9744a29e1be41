#include "app/controls/BitmapSlider.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tarnvik {

namespace {
QPixmap Keyed(const QPixmap& pm, bool transparent, const QColor& colour) {
    if (pm.isNull() || !transparent || !colour.isValid()) return pm;
    QPixmap out = pm;
    out.setMask(pm.createMaskFromColor(colour, Qt::MaskInColor));
    return out;
}

SliderKey ToSliderKey(int key) {
    switch (key) {
        case Qt::Key_PageUp: return SliderKey::kPageUp;
        case Qt::Key_PageDown: return SliderKey::kPageDown;
        case Qt::Key_Home: return SliderKey::kHome;
        case Qt::Key_End: return SliderKey::kEnd;
        case Qt::Key_Left: return SliderKey::kLeft;
        case Qt::Key_Up: return SliderKey::kUp;
        case Qt::Key_Right: return SliderKey::kRight;
        case Qt::Key_Down: return SliderKey::kDown;
        default: return SliderKey::kNone;
    }
}
}  // namespace

CBitmapSlider::CBitmapSlider(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void CBitmapSlider::SetChannelBitmaps(const QPixmap& normal, const QPixmap& active,
                                      bool transparent, const QColor& colour) {
    channel_ = Keyed(normal, transparent, colour);
    channelActive_ = Keyed(active, transparent, colour);
    if (!channel_.isNull()) resize(channel_.size());
    updateGeometry();
    update();
}

void CBitmapSlider::SetThumbBitmaps(const QPixmap& normal, const QPixmap& active,
                                    bool transparent, const QColor& colour) {
    thumb_ = Keyed(normal, transparent, colour);
    thumbActive_ = Keyed(active, transparent, colour);
    update();
}

void CBitmapSlider::SetVertical(bool vertical) {
    vertical_ = vertical;
    update();
}

void CBitmapSlider::SetMargins(int start, int end) {
    marginStart_ = start;
    marginEnd_ = end;
    update();
}

void CBitmapSlider::SetRange(std::int64_t minimum, std::int64_t maximum) {
    min_ = minimum;
    max_ = maximum;
    pos_ = ClampPosition(pos_, min_, max_);
    update();
}

void CBitmapSlider::SetPosition(std::int64_t position) {
    pos_ = ClampPosition(position, min_, max_);
    update();
}

SliderTrack CBitmapSlider::Track() const {
    SliderTrack t;
    t.length = vertical_ ? height() : width();
    t.thumbLength = vertical_ ? thumb_.height() : thumb_.width();
    t.marginStart = marginStart_;
    t.marginEnd = marginEnd_;
    return t;
}

int CBitmapSlider::ThumbCentre() const {
    return SliderPixelFromPosition(Track(), pos_, min_, max_);
}

QSize CBitmapSlider::sizeHint() const {
    return channel_.isNull() ? QSize(100, 16) : channel_.size();
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool active = drag_.Dragging() || hasFocus();
    const QPixmap& ch = active && !channelActive_.isNull() ? channelActive_ : channel_;
    const QPixmap& th = active && !thumbActive_.isNull() ? thumbActive_ : thumb_;
    if (!ch.isNull()) p.drawPixmap(0, 0, ch);
    if (th.isNull()) return;
    const int centre = ThumbCentre();
    if (vertical_)
        p.drawPixmap((width() - th.width()) / 2, centre - th.height() / 2, th);
    else
        p.drawPixmap(centre - th.width() / 2, (height() - th.height()) / 2, th);
}

void CBitmapSlider::Post(std::uint32_t message) {
    emit Notify(message, controlId_, PositionLow32(pos_));
}

void CBitmapSlider::FollowMouse(const QPointF& at, bool starting) {
    const int pixel = static_cast<int>(vertical_ ? at.y() : at.x());
    const std::int64_t next = SliderPositionFromPixel(Track(), pixel, min_, max_);
    const bool changed = starting ? drag_.Begin(pos_, next) : drag_.Move(pos_, next);
    if (!changed) return;
    pos_ = next;
    update();
    Post(kMsgSliderMoving);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    // Qt grabs the mouse for the pressed widget, so a drag that leaves the
    // slider still reaches it; no capture of our own is needed.
    setFocus(Qt::MouseFocusReason);
    FollowMouse(e->position(), true);
    update();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* e) {
    if (drag_.Dragging() && (e->buttons() & Qt::LeftButton)) FollowMouse(e->position(), false);
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    if (!drag_.End()) return;
    update();
    Post(kMsgSliderMoved);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* e) {
    const SliderKey key = ToSliderKey(e->key());
    if (key == SliderKey::kNone) return QWidget::keyPressEvent(e);
    pos_ = SliderPositionAfterKey(key, pos_, min_, max_, page_);
    update();
    // Every key move reports, even one that stays at an end: the parent
    // treats it as "seeking ended here".
    Post(kMsgSliderMoved);
}

}  // namespace tarnvik
