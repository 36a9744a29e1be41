// Snapshot rules and the image class: the saved sizes, the file names,
// exact nearest-pixel resampling, the JPEG written, and the overlay text.
#include "storage/TempFolder.h"
#include "video/Image.h"
#include "video/Snapshot.h"

#include <QImageReader>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarnvik;

namespace {

QImage Filled(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(colour);
    return image;
}

TEST(SnapshotRules, SizesFollowTheWidthAndThe625LineFlag)
{
    struct Row {
        int width;
        bool pal;
        QSize saved;
        QSize printed;
    } rows[] = {
        {176, false, {176, 144}, {352, 240}},   {300, true, {176, 144}, {352, 288}},
        {301, false, {352, 240}, {352, 240}},   {352, true, {352, 288}, {352, 288}},
        {600, true, {352, 288}, {352, 288}},    {601, false, {640, 480}, {720, 480}},
        {700, true, {640, 480}, {720, 576}},    {701, false, {720, 480}, {720, 480}},
        {720, true, {720, 576}, {720, 576}},    {1200, false, {720, 480}, {720, 480}},
        {1201, true, {1280, 1024}, {720, 576}}, {1920, false, {1280, 1024}, {720, 480}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SnapshotSize(row.width, row.pal), row.saved) << row.width << " pal " << row.pal;
        EXPECT_EQ(PrintPictureSize(row.width, row.pal), row.printed) << row.width << " pal " << row.pal;
    }
}

TEST(SnapshotRules, FileNamesCarryTheChannelAndTheTime)
{
    std::tm at{};
    at.tm_year = 2009 - 1900;
    at.tm_mon = 4;
    at.tm_mday = 1;
    at.tm_hour = 12;
    at.tm_min = 34;
    at.tm_sec = 56;
    const std::string time = SnapshotTime(at);
    EXPECT_EQ(time, "20090501_123456");
    EXPECT_EQ(SnapshotFileName(3, time), "img_04_20090501_123456.jpg");
    EXPECT_EQ(SaveAllFileName("/shots/x", 0, time), "/shots/x_01_20090501_123456.jpg");
    EXPECT_EQ(SaveAllFileName("/shots/x", 15, time), "/shots/x_16_20090501_123456.jpg");
    EXPECT_EQ(SaveAllFileName("/shots/x.JPG", 3, time), "/shots/x_04_20090501_123456.jpg") << "a typed extension";
}

TEST(ImageClass, ResampleTakesTheNearestPixelAndCropStaysInside)
{
    QImage source(3, 2, QImage::Format_BGR888);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            source.setPixelColor(x, y, QColor(40 * x + 10, 100 * y + 20, 7 * (x + y)));
    const Image image(source);
    EXPECT_EQ(image.Bits(), 24);

    Image larger;
    ASSERT_TRUE(image.Resample(6, 4, larger));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(larger.Pixel(x, y), source.pixelColor(x / 2, y / 2)) << x << "," << y;
    Image back;
    ASSERT_TRUE(larger.Resample(3, 2, back));
    EXPECT_EQ(back.Picture(), source);

    Image cropped;
    ASSERT_TRUE(image.Crop(QRect(1, 1, 2, 1), cropped));
    EXPECT_EQ(cropped.Width(), 2);
    EXPECT_EQ(cropped.Pixel(1, 0), source.pixelColor(2, 1));
    EXPECT_FALSE(image.Crop(QRect(2, 0, 2, 2), cropped)) << "reaches outside";
    EXPECT_FALSE(image.Resample(0, 4, cropped));
    EXPECT_FALSE(image.Resample(9000, 4, cropped));

}

TEST(ImageClass, JpegIsWrittenAt96DpiOrTheReasonIsGiven)
{
    test::TempFolder dir;
    const Image saved = ComposeSnapshot(Image(Filled(720, 576, QColor(30, 90, 160))), true, "Cam_02 ", "12:00", "");
    const std::string path = dir / "a.jpg";
    std::string error;
    ASSERT_TRUE(saved.SaveJpeg(path, error)) << error;
    QImageReader reader(QString::fromStdString(path));
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage read = reader.read();
    EXPECT_EQ(read.size(), QSize(720, 576));
    EXPECT_EQ(read.pixelColor(400, 300).blue() / 8, 160 / 8);
    // JFIF: density unit 1 (dots per inch), 96 by 96.
    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    ASSERT_GT(bytes.size(), 18u);
    EXPECT_EQ(std::string(bytes.begin() + 6, bytes.begin() + 10), "JFIF");
    EXPECT_EQ(bytes[13], 1);
    EXPECT_EQ((bytes[14] << 8) | bytes[15], 96);
    EXPECT_EQ((bytes[16] << 8) | bytes[17], 96);

    const std::string nowhere = dir / "missing/b.jpg";
    EXPECT_FALSE(saved.SaveJpeg(nowhere, error));
    EXPECT_NE(error, "");
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// Line 1 lies in rows 25..38 from x = 5; the box darkens the picture under
// it and the text stands out white, on a light picture as on a dark one.
TEST(SnapshotOverlay, FirstLineIsReadableAndTheSecondNeedsACarId)
{
    for (const QColor background : {QColor(255, 255, 255), QColor(0, 0, 0), QColor(128, 128, 128)}) {
        const Image picture(Filled(352, 240, background));
        const Image saved = ComposeSnapshot(picture, false, "Cam_01 ", "2009/05/01 12:34:56", "");
        ASSERT_EQ(saved.Width(), 352);
        int bright = 0, darkened = 0;
        for (int y = 25; y < 39; ++y) {
            for (int x = 5; x < 100; ++x) {
                const int v = saved.Pixel(x, y).value();
                bright += v > 200 && (background.value() < 200 || v > 250);
                darkened += v < background.value() / 2 + 10;
            }
        }
        EXPECT_GT(bright, 40) << "text pixels on " << background.value();
        EXPECT_GT(darkened, 300) << "box pixels on " << background.value();
        EXPECT_EQ(saved.Pixel(300, 200), background) << "outside the box";
        EXPECT_EQ(saved.Pixel(20, 55), background) << "no second line without a car id";

        const Image withCar = ComposeSnapshot(picture, false, "Cam_01 ", "12:34:56", "AB-1234");
        int changed = 0;
        for (int y = 42; y < 54; ++y)
            for (int x = 5; x < 40; ++x)
                changed += withCar.Pixel(x, y) != background;
        EXPECT_GT(changed, 100) << "line 2 on " << background.value();
    }
}

} // namespace
