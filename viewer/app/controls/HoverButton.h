// CHoverButton: a push button drawn from one skin strip of four faces
// (normal, pressed, mouse over, disabled) that tells its parent when the
// left button goes down and up.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <cstdint>

namespace tarnvik {

class CHoverButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CHoverButton(QWidget* parent = nullptr);

    // Skin strip: four faces side by side, each width / 4 pixels wide.
    // Replaces any earlier skin; an empty pixmap draws nothing.
    void LoadSkin(const QPixmap& skin);
    int FaceWidth() const { return faceWidth_; }
    int FaceHeight() const { return faceHeight_; }

    // 0 = none; n > 0 always draws face n - 1.
    void SetForcedFace(int n);
    int ForcedFace() const { return forcedFace_; }

    // Value sent as the first parameter of the press/release notifications.
    void SetCode(std::uint32_t code) { code_ = code; }
    std::uint32_t Code() const { return code_; }

    // Control id, the number the parent knows the button by; sent as the
    // second parameter.
    void SetControlId(int id) { controlId_ = id; }
    int ControlId() const { return controlId_; }

    // Tooltip over the whole button; activate = false hides it.
    void SetTooltip(const QString& text, bool activate = true);

    bool MouseOver() const { return mouseOver_; }
    // Face the next paint draws.
    int CurrentFace() const;

signals:
    // Emitted synchronously, in the order of the mouse events:
    // kMsgHoverPressed / kMsgHoverReleased with (code, control id) and, for
    // control 1143 only, kMsgHoverDragMove with (x, y). Connect with
    // Qt::QueuedConnection to act on them after the mouse event is done
    // (the parent may then hide, move or delete the button).
    void Notify(std::uint32_t message, qint64 first, qint64 second);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void changeEvent(QEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    bool event(QEvent*) override;
    QSize sizeHint() const override;

private:
    void TakeFocus();

    QPixmap skin_;
    int faceWidth_ = 0;
    int faceHeight_ = 0;
    int forcedFace_ = 0;
    bool mouseOver_ = false;
    std::uint32_t code_ = 0;
    int controlId_ = 0;
};

}  // namespace tarnvik
