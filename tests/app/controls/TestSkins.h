// Synthetic skins: solid-colour faces built in code, so a grabbed pixel
// tells which face or lamp was drawn.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <initializer_list>

namespace tarnvik::testing {

inline QPixmap SolidStrip(std::initializer_list<QColor> faces, int faceWidth, int height) {
    QImage img(faceWidth * static_cast<int>(faces.size()), height, QImage::Format_RGB32);
    QPainter p(&img);
    int x = 0;
    for (const QColor& c : faces) {
        p.fillRect(x, 0, faceWidth, height, c);
        x += faceWidth;
    }
    p.end();
    return QPixmap::fromImage(img);
}

inline QPixmap Solid(const QColor& c, int w, int h) { return SolidStrip({c}, w, h); }

inline QColor PixelAt(QWidget& w, QPoint at) { return w.grab().toImage().pixelColor(at); }

inline QColor CentrePixel(QWidget& w) { return PixelAt(w, w.rect().center()); }

}  // namespace tarnvik::testing
