// The printed page of a snapshot without any widget: where the title, the
// rule line, the picture and the information lines go on a page, and the
// painting of that page onto any paint device (a printer, a PDF file, the
// print dialog's preview).
#pragma once

#include "video/Image.h"

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <string>

namespace tarnvik {

// Everything in device pixels of the page's device. The page area leaves
// half an inch on every side of the printable area; its width is 17 units
// and its height 26.
struct PrintLayout {
    QRectF page;          // the page area within the printable area
    double ux = 0;        // page width / 17
    double uy = 0;        // page height / 26
    QPointF title;        // top-left of "Digital Video Record" (ux, 2 uy)
    QLineF rule;          // (ux, 3 uy) to (16 ux, 3 uy), 5 wide
    QRectF picture;       // (2 ux, 5 uy), 13 ux x 9 uy
    QPointF ruleText;     // (ux, 17 uy)
    QPointF cameraLabel;  // (4 ux, 19 uy) and its value at (7 ux, 19 uy)
    QPointF cameraValue;
    QPointF timeLabel;    // (4 ux, 21 uy) and its value at (7 ux, 21 uy)
    QPointF timeValue;
};

// The layout for a printable area of width x height device pixels at
// dpiX x dpiY dots per inch.
PrintLayout LayOutPrintPage(double dpiX, double dpiY, double width, double height);

// What the page says besides its fixed texts.
struct PrintTexts {
    QString camera; // " : Cam %02d" with the channel + 1
    QString time;   // " : %s" with the pane's time text
};

// " : Cam %02d" and " : %s" for the information lines.
PrintTexts PrintTextsOf(int channel, const std::string& timeText);

// The line above the information: 17 box-drawing rules, "( Information )",
// 17 more.
QString InformationRule();

// Paints the page: title in "Verdana" (bold, uy high), the rule line, the
// picture stretched into its rectangle, and the information block in
// "Lucida Console" (uy / 2 high); either font falls back to the system's
// sans font.
void PaintPrintPage(QPainter& painter, const PrintLayout& layout, const Image& picture, const PrintTexts& texts);

} // namespace tarnvik
