#include "Snapshot.h"

#include "storage/FileNames.h"

#include <QFontDatabase>

#include <cstdio>

namespace tarnvik {

QSize SnapshotSize(int width, bool pal)
{
    if (width <= 300)
        return {176, 144};
    if (width <= 600)
        return {352, pal ? 288 : 240};
    if (width <= 700)
        return {640, 480};
    if (width <= 1200)
        return {720, pal ? 576 : 480};
    return {1280, 1024};
}

QSize PrintPictureSize(int width, bool pal)
{
    if (width <= 600)
        return {352, pal ? 288 : 240};
    return {720, pal ? 576 : 480};
}

std::string SnapshotTime(const std::tm& local)
{
    char text[32];
    if (std::strftime(text, sizeof text, "%Y%m%d_%H%M%S", &local) == 0)
        return {};
    return text;
}

std::string SnapshotTime(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return SnapshotTime(local);
}

std::string SnapshotFileName(int channel, const std::string& time)
{
    char text[32];
    std::snprintf(text, sizeof text, "img_%02d_", channel + 1);
    return text + time + ".jpg";
}

std::string SaveAllFileName(const std::string& path, int channel, const std::string& time)
{
    // A name typed as "x.jpg" would otherwise give "x.jpg_01_....jpg".
    const std::string stem = WithoutExtension(path, ".jpg");
    char text[16];
    std::snprintf(text, sizeof text, "_%02d_", channel + 1);
    return stem + text + time + ".jpg";
}

QFont SnapshotFont()
{
    static const bool haveGautami = QFontDatabase::families().contains(QStringLiteral("Gautami"));
    QFont font = haveGautami ? QFont(QStringLiteral("Gautami")) : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    return font;
}

Image ComposeSnapshot(const Image& picture, bool pal, const std::string& caption, const std::string& timeText,
                      const std::string& carId)
{
    Image saved;
    const QSize size = SnapshotSize(picture.Width(), pal);
    if (!picture.Resample(size.width(), size.height(), saved))
        return {};
    const QFont font = SnapshotFont();
    const QColor black(0, 0, 0);
    const QString line1 = QString::fromStdString(caption) + QLatin1Char(' ') + QString::fromStdString(timeText);
    saved.DrawText(5, 25, line1, font, Qt::white, black, 0.5);
    if (!carId.empty())
        saved.DrawText(5, 40, QString::fromStdString(carId), font, Qt::white, black, 0.5);
    return saved;
}

} // namespace tarnvik
