// CLedButton: an indicator light. Each state has its own lamp icon, text
// colour and background colour; the button's text is drawn beside the lamp.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QVector>

class QTimer;

namespace tarnvik {

// Lamp pictures for the icon ids the main window asks for (178 to 181),
// which no resource holds: 180 is an unlit grey lamp, 178, 179 and 181 are
// lit red lamps. Any other id gives a null pixmap (no icon).
QPixmap LedLampIcon(int iconId, int size = 16);

class CLedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CLedButton(QWidget* parent = nullptr);

    // n states (at least 1), all reset to no icon and the default colours;
    // the current state goes back to 0.
    void SetStateCount(int n);
    int StateCount() const { return states_.size(); }

    // Icons of states 0 and 1, by id (see LedLampIcon) or as pictures.
    void SetStateIcons(int iconId0, int iconId1);
    void SetStateIcons(const QPixmap& icon0, const QPixmap& icon1);

    // Values at or above the state count are ignored. forceRedraw repaints
    // even when the state does not change.
    void SetState(int n, bool forceRedraw = false);
    int State() const { return state_; }

    void SetStateColours(int state, const QColor& text, const QColor& background);

    // Lamp on the right instead of the left.
    void SetIconOnRight(bool right);

    void SetTooltip(const QString& text) { setToolTip(text); }

    // Optional blinking between two states (the program never starts it).
    void StartBlink(int stateA, int stateB, int intervalMs = 150);
    void StopBlink();

protected:
    void paintEvent(QPaintEvent*) override;
    QSize sizeHint() const override;

private:
    struct LedState {
        QPixmap icon;
        QColor text;
        QColor background;
    };
    LedState DefaultState() const;

    QVector<LedState> states_;
    int state_ = 0;
    bool iconOnRight_ = false;
    QTimer* blink_ = nullptr;
    int blinkA_ = 0, blinkB_ = 1;
};

}  // namespace tarnvik
