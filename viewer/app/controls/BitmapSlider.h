// CBitmapSlider: a slider drawn from a channel bitmap and a thumb bitmap.
// Dragging the thumb reports kMsgSliderMoving (10449) whenever the position
// changes and kMsgSliderMoved (10450) on release; every key move reports
// kMsgSliderMoved.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <cstdint>

#include "app/controls/ControlLogic.h"

namespace tarnvik {

class CBitmapSlider : public QWidget {
    Q_OBJECT
public:
    explicit CBitmapSlider(QWidget* parent = nullptr);

    // Channel: the widget takes the normal bitmap's size. The active bitmap
    // (may be null) is drawn while the thumb is dragged or the slider has
    // the focus. With transparent set, pixels of that colour are not drawn.
    void SetChannelBitmaps(const QPixmap& normal, const QPixmap& active = QPixmap(),
                           bool transparent = false, const QColor& colour = QColor());
    void SetThumbBitmaps(const QPixmap& normal, const QPixmap& active = QPixmap(),
                         bool transparent = false, const QColor& colour = QColor());

    void SetVertical(bool vertical);
    bool Vertical() const { return vertical_; }

    // Pixels at both ends of the channel the thumb may not cover.
    void SetMargins(int start, int end);

    // Range and position are 64-bit; the position is kept within the range.
    void SetRange(std::int64_t minimum, std::int64_t maximum);
    void SetPosition(std::int64_t position);
    void SetPageSize(std::int64_t page) { page_ = page; }
    std::int64_t Minimum() const { return min_; }
    std::int64_t Maximum() const { return max_; }
    std::int64_t Position() const { return pos_; }
    std::int64_t PageSize() const { return page_; }

    void Enable(bool enable) { setEnabled(enable); }

    void SetControlId(int id) { controlId_ = id; }
    int ControlId() const { return controlId_; }

    bool Dragging() const { return drag_.Dragging(); }
    // Track geometry along the slider's axis, for hit maths in tests.
    SliderTrack Track() const;
    // Thumb centre along the axis for the current position.
    int ThumbCentre() const;

signals:
    // Emitted synchronously with (control id, position low 32 bits);
    // connect with Qt::QueuedConnection to act on them after the mouse or
    // key event is done.
    void Notify(std::uint32_t message, qint64 first, qint64 second);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    QSize sizeHint() const override;

private:
    void FollowMouse(const QPointF& at, bool starting);
    void Post(std::uint32_t message);

    QPixmap channel_, channelActive_, thumb_, thumbActive_;
    bool vertical_ = false;
    int marginStart_ = 0, marginEnd_ = 0;
    std::int64_t min_ = 0, max_ = 100, pos_ = 0, page_ = 10;
    int controlId_ = 0;
    SliderDrag drag_;
};

}  // namespace tarnvik
