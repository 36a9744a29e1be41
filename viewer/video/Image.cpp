#include "Image.h"

#include <QFile>
#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>

#include <cstring>

namespace tarnvik {

namespace {

// Larger than any picture the viewer shows or saves; bounds the allocation.
constexpr int kMaxSide = 8192;
constexpr int kJpegQuality = 90;
// 96 dots per inch in the dots per metre the writer takes (rounds back to 96).
constexpr int kDotsPerMetre = 3780;

} // namespace

Image::Image(const QImage& picture)
    : image_(picture.format() == QImage::Format_BGR888 ? picture : picture.convertToFormat(QImage::Format_BGR888))
{
}

bool Image::Copy(const Image& other)
{
    image_ = other.image_.copy();
    return image_.isNull() == other.image_.isNull();
}

bool Image::Crop(const QRect& area, Image& out) const
{
    if (image_.isNull() || area.isEmpty() || !image_.rect().contains(area))
        return false;
    out.image_ = image_.copy(area);
    return !out.image_.isNull();
}

bool Image::Resample(int width, int height, Image& out) const
{
    if (image_.isNull() || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    QImage target(width, height, QImage::Format_BGR888);
    if (target.isNull())
        return false;
    const int sourceWidth = image_.width();
    const int sourceHeight = image_.height();
    for (int y = 0; y < height; ++y) {
        const int sy = int(int64_t(y) * sourceHeight / height);
        const uchar* from = image_.constScanLine(sy);
        uchar* to = target.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const int sx = int(int64_t(x) * sourceWidth / width);
            std::memcpy(to + x * 3, from + sx * 3, 3);
        }
    }
    out.image_ = std::move(target);
    return true;
}

QColor Image::Pixel(int x, int y) const
{
    if (image_.isNull() || !image_.valid(x, y))
        return {};
    return image_.pixelColor(x, y);
}

void Image::DrawText(int x, int y, const QString& text, const QFont& font, const QColor& colour,
                     const QColor& boxColour, double boxOpacity)
{
    if (image_.isNull() || text.isEmpty())
        return;
    const QFontMetrics metrics(font);
    const QRect box(x - 2, y - 1, metrics.horizontalAdvance(text) + 4, metrics.height() + 2);
    QPainter painter(&image_);
    painter.setOpacity(boxOpacity);
    painter.fillRect(box, boxColour);
    painter.setOpacity(1.0);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPoint(x, y + metrics.ascent()), text);
}

void Image::Draw(QPainter& painter, const QRectF& target) const
{
    if (image_.isNull())
        return;
    const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, image_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

bool Image::SaveJpeg(const std::string& path, std::string& error) const
{
    if (image_.isNull()) {
        error = "no picture";
        return false;
    }
    QImage marked = image_;
    marked.setDotsPerMeterX(kDotsPerMetre);
    marked.setDotsPerMeterY(kDotsPerMetre);

    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = file.errorString().toStdString();
        return false;
    }
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(kJpegQuality);
    bool ok = writer.write(marked);
    if (!ok)
        error = writer.errorString().toStdString();
    if (ok && !file.flush()) {
        ok = false;
        error = file.errorString().toStdString();
    }
    file.close();
    if (ok && file.error() != QFileDevice::NoError) {
        ok = false;
        error = file.errorString().toStdString();
    }
    if (!ok)
        file.remove();
    return ok;
}

} // namespace tarnvik
