#include "PrintPage.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cstdio>

namespace tarnvik {

namespace {

QFont NamedFont(const QString& family, double pixelHeight, QFont::Weight weight)
{
    QFont font = QFontDatabase::families().contains(family) ? QFont(family)
                                                            : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, int(pixelHeight)));
    font.setWeight(weight);
    return font;
}

} // namespace

PrintLayout LayOutPrintPage(double dpiX, double dpiY, double width, double height)
{
    PrintLayout l;
    l.page = QRectF(dpiX / 2, dpiY / 2, std::max(0.0, width - dpiX), std::max(0.0, height - dpiY));
    l.ux = l.page.width() / 17;
    l.uy = l.page.height() / 26;
    const auto at = [&l](double x, double y) { return l.page.topLeft() + QPointF(x * l.ux, y * l.uy); };
    l.title = at(1, 2);
    l.rule = QLineF(at(1, 3), at(16, 3));
    l.picture = QRectF(at(2, 5), QSizeF(13 * l.ux, 9 * l.uy));
    l.ruleText = at(1, 17);
    l.cameraLabel = at(4, 19);
    l.cameraValue = at(7, 19);
    l.timeLabel = at(4, 21);
    l.timeValue = at(7, 21);
    return l;
}

PrintTexts PrintTextsOf(int channel, const std::string& timeText)
{
    char camera[24];
    std::snprintf(camera, sizeof camera, " : Cam %02d", channel + 1);
    return {QString::fromLatin1(camera), QStringLiteral(" : ") + QString::fromStdString(timeText)};
}

QString InformationRule()
{
    const QString rules(17, QChar(0x2500));
    return rules + QStringLiteral("( Information )") + rules;
}

void PaintPrintPage(QPainter& painter, const PrintLayout& layout, const Image& picture, const PrintTexts& texts)
{
    painter.save();
    // Texts are placed by their top-left corner; the rectangle only has to
    // be large enough never to wrap or cut them.
    const auto text = [&painter, &layout](const QPointF& at, const QString& s) {
        painter.drawText(QRectF(at, QSizeF(layout.page.right() - at.x(), layout.uy * 1.5)),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, s);
    };
    painter.setPen(Qt::black);
    painter.setFont(NamedFont(QStringLiteral("Verdana"), layout.uy, QFont::Bold));
    text(layout.title, QStringLiteral("Digital Video Record"));

    painter.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(layout.rule);

    picture.Draw(painter, layout.picture);

    painter.setPen(Qt::black);
    painter.setFont(NamedFont(QStringLiteral("Lucida Console"), layout.uy / 2, QFont::Normal));
    text(layout.ruleText, InformationRule());
    text(layout.cameraLabel, QStringLiteral("Camera"));
    text(layout.cameraValue, texts.camera);
    text(layout.timeLabel, QStringLiteral("Date&Time"));
    text(layout.timeValue, texts.time);
    painter.restore();
}

} // namespace tarnvik
