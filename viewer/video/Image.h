// Image: the program's own picture object for snapshots and printing, a
// thin owner of a QImage in Format_BGR888 with exactly the operations those
// paths need. Every operation that produces pixels reports whether it
// could; an empty image (no pixels) is a valid state, never an error.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include <string>

class QPainter;

namespace tarnvik {

class Image {
public:
    Image() = default;
    // Takes the picture's pixels, converted to B,G,R when they are not.
    explicit Image(const QImage& picture);

    // Frees the pixels; the image is empty afterwards.
    void Destroy() { image_ = QImage(); }
    // A full copy of `other` (pixels, never shared).
    bool Copy(const Image& other);
    // The rectangle `area` of this image into `out`; false when the
    // rectangle does not lie inside the image.
    bool Crop(const QRect& area, Image& out) const;
    // This image resampled into `out` at width x height, each target pixel
    // taking the nearest source pixel. False for an empty image or a size
    // of zero or past 8192 on a side.
    bool Resample(int width, int height, Image& out) const;

    bool IsEmpty() const { return image_.isNull(); }
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    int Bits() const { return image_.isNull() ? 0 : 24; }
    // The colour at (x, y); invalid outside the image.
    QColor Pixel(int x, int y) const;

    // `text` in `font` and `colour` with its top-left corner at (x, y), over
    // a box of `boxColour` blended at `boxOpacity` (0..1) that frames it.
    void DrawText(int x, int y, const QString& text, const QFont& font, const QColor& colour,
                  const QColor& boxColour, double boxOpacity);
    // The whole image stretched into `target`, without smoothing.
    void Draw(QPainter& painter, const QRectF& target) const;
    // The pixels as a QImage for painting elsewhere (shares them).
    const QImage& Picture() const { return image_; }

    // Writes a JPEG of quality 90 that says 96 dots per inch. On failure
    // returns false with the reason in `error` (a partial file is removed).
    bool SaveJpeg(const std::string& path, std::string& error) const;

private:
    QImage image_;
};

} // namespace tarnvik
