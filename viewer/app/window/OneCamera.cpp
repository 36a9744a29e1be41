#include "OneCamera.h"

#include "net/ViewerState.h"
#include "video/Divisions.h"
#include "video/PaneStore.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>

namespace tarnvik {

namespace {

const QColor kSelectedBackground(65, 105, 225);
const QColor kPaneBackground(127, 127, 127);
const QColor kSingleViewText(255, 255, 25);
const QColor kNoSignalShade(0, 0, 0, 160);

} // namespace

PaneLine ComposePaneLine(int pane, const std::string& timeText, const DivisionState& divisions, int channelCount)
{
    PaneLine line;
    line.singleView = divisions.PaneSingleView(pane);
    const int channel = divisions.CaptionChannel(pane);
    line.background = divisions.SelectedChannel() == channel ? kSelectedBackground : kPaneBackground;
    line.textColour = line.singleView ? kSingleViewText : QColor(Qt::white);
    if (channel >= 0 && channel < channelCount) {
        char caption[16];
        std::snprintf(caption, sizeof caption, "Cam-%02d ", channel + 1);
        line.text = caption;
    }
    line.text += timeText;
    return line;
}

QFont PaneCaptionFont(bool singleView)
{
    static const bool haveGautami = QFontDatabase::families().contains(QStringLiteral("Gautami"));
    QFont font = haveGautami ? QFont(QStringLiteral("Gautami")) : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(singleView ? 24 : 14);
    font.setWeight(QFont::Normal);
    return font;
}

COneCamera::COneCamera(int pane, const PaneStore& panes, const DivisionState& divisions, const ViewerState& state,
                       QWidget* parent)
    : QWidget(parent)
    , pane_(pane)
    , panes_(panes)
    , divisions_(divisions)
    , state_(state)
{
    setObjectName(QStringLiteral("pane%1").arg(pane));
    // Everything is painted here; nothing behind the pane shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString COneCamera::LineText() const
{
    const PaneSnapshot snapshot = panes_.Snapshot(pane_);
    return QString::fromStdString(
               ComposePaneLine(pane_, snapshot.timeText, divisions_, state_.channelCount.load()).text) +
           AviSuffix();
}

QString COneCamera::AviSuffix() const
{
    const int channel = divisions_.CaptionChannel(pane_);
    const bool exported =
        channel >= 0 && channel < 16 && ((state_.exportedChannelMask.load() >> channel) & 1);
    return exported && !aviText_.isEmpty() ? QStringLiteral("  ") + aviText_ : QString();
}

void COneCamera::paintEvent(QPaintEvent*)
{
    const PaneSnapshot snapshot = panes_.Snapshot(pane_);
    const PaneLine line = ComposePaneLine(pane_, snapshot.timeText, divisions_, state_.channelCount.load());

    // Qt's backing store is already the off-screen bitmap: painting straight
    // into it never flickers and needs no picture-sized buffer per paint.
    QPainter p(this);
    p.fillRect(rect(), line.background);
    const QFont font = PaneCaptionFont(line.singleView);
    p.setFont(font);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.boundingRect(QStringLiteral("thisisTESTjg")).height() + 2;

    const QRect textRow(2, 0, width() - 2, lineHeight);
    p.setPen(line.textColour);
    p.drawText(textRow, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(line.text) + AviSuffix());
    if (!recordingText_.isEmpty()) {
        p.setPen(Qt::red);
        p.drawText(QRect(width() - 80, 0, 80, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, recordingText_);
    }

    const QRect pictureRect(1, lineHeight, width() - 1, height() - lineHeight);
    if (!snapshot.image.isNull() && pictureRect.width() > 0 && pictureRect.height() > 0)
        p.drawImage(pictureRect, snapshot.image); // a plain stretch, no smoothing
    if (!signalText_.isEmpty() && pictureRect.height() > 0) {
        // The last picture stays in sight, dimmed, so that it is not taken
        // for a live one.
        p.fillRect(pictureRect, kNoSignalShade);
        QFont mark = font;
        mark.setBold(true);
        mark.setPixelSize(std::clamp(pictureRect.height() / 10, 10, 32));
        p.setFont(mark);
        p.setPen(Qt::white);
        p.drawText(pictureRect, Qt::AlignCenter | Qt::TextWordWrap, signalText_);
    }
}

void COneCamera::SetSignalText(const QString& text)
{
    if (text == signalText_)
        return;
    signalText_ = text;
    update();
}

void COneCamera::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit Clicked(pane_);
    QWidget::mousePressEvent(event);
}

void COneCamera::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier))
        emit FullScreenRequested();
    else if (event->button() == Qt::LeftButton)
        emit DoubleClicked(pane_);
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace tarnvik
