// CBitmapSlider driven by the mouse and the keyboard: which notifications
// it sends and with which position.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <tuple>
#include <vector>

#include "TestSkins.h"
#include "app/controls/BitmapSlider.h"

namespace tarnvik {
namespace {

using testing::PixelAt;
using testing::Solid;

using Message = std::tuple<std::uint32_t, qint64, qint64>;

constexpr int kLength = 200;  // channel length along the axis
constexpr int kThumb = 10;    // thumb length along the axis
constexpr int kDepth = 12;    // across the axis
constexpr int kId = 1183;
// Thumb centre runs from 5 to 195: 190 pixels for positions 0..10, so one
// position step is 19 pixels.
constexpr int kCentreMin = kThumb / 2;
constexpr int kPixelsPerStep = (kLength - kThumb) / 10;

class BitmapSliderTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        vertical = GetParam();
        slider = std::make_unique<CBitmapSlider>();
        slider->SetVertical(vertical);
        const QSize channel = vertical ? QSize(kDepth, kLength) : QSize(kLength, kDepth);
        slider->SetChannelBitmaps(Solid(Qt::darkGray, channel.width(), channel.height()));
        slider->SetThumbBitmaps(Solid(Qt::green, vertical ? kDepth : kThumb, vertical ? kThumb : kDepth));
        slider->SetRange(0, 10);
        slider->SetPageSize(3);
        slider->SetPosition(5);
        slider->SetControlId(kId);
        QObject::connect(slider.get(), &CBitmapSlider::Notify,
                         [this](std::uint32_t m, qint64 a, qint64 b) { messages.emplace_back(m, a, b); });
        slider->show();
    }

    // A point on the axis at the given pixel, in the middle across it.
    QPoint At(int pixel) const {
        return vertical ? QPoint(kDepth / 2, pixel) : QPoint(pixel, kDepth / 2);
    }
    static int CentreOf(int position) { return kCentreMin + position * kPixelsPerStep; }

    bool vertical = false;
    std::unique_ptr<CBitmapSlider> slider;
    std::vector<Message> messages;
};

TEST_P(BitmapSliderTest, ThumbIsDrawnAtThePosition) {
    EXPECT_EQ(PixelAt(*slider, At(CentreOf(5))), QColor(Qt::green));
    EXPECT_EQ(PixelAt(*slider, At(CentreOf(0))), QColor(Qt::darkGray));
    slider->SetPosition(0);
    EXPECT_EQ(PixelAt(*slider, At(CentreOf(0))), QColor(Qt::green));
}

TEST_P(BitmapSliderTest, OnePixelDragWithoutChangePostsNothingReleasePostsOnce) {
    QTest::mousePress(slider.get(), Qt::LeftButton, {}, At(CentreOf(5)));
    QTest::mouseMove(slider.get(), At(CentreOf(5) + 1));
    EXPECT_TRUE(messages.empty());
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, At(CentreOf(5) + 1));
    const std::vector<Message> want{{10450u, kId, 5}};
    EXPECT_EQ(messages, want);
    EXPECT_EQ(slider->Position(), 5);
}

TEST_P(BitmapSliderTest, DragPostsEachChangeThenReleaseOnce) {
    QTest::mousePress(slider.get(), Qt::LeftButton, {}, At(CentreOf(5)));
    QTest::mouseMove(slider.get(), At(CentreOf(6)));
    QTest::mouseMove(slider.get(), At(CentreOf(6) + 2));  // same position: nothing
    QTest::mouseMove(slider.get(), At(CentreOf(8)));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, At(CentreOf(8)));
    const std::vector<Message> want{{10449u, kId, 6}, {10449u, kId, 8}, {10450u, kId, 8}};
    EXPECT_EQ(messages, want);
    EXPECT_EQ(PixelAt(*slider, At(CentreOf(8))), QColor(Qt::green));
}

TEST_P(BitmapSliderTest, PressAwayFromThumbJumpsThere) {
    QTest::mousePress(slider.get(), Qt::LeftButton, {}, At(CentreOf(2)));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, At(CentreOf(2)));
    const std::vector<Message> want{{10449u, kId, 2}, {10450u, kId, 2}};
    EXPECT_EQ(messages, want);
}

TEST_P(BitmapSliderTest, DragPastTheEndsClamps) {
    QTest::mousePress(slider.get(), Qt::LeftButton, {}, At(CentreOf(5)));
    QTest::mouseMove(slider.get(), At(-300));
    QTest::mouseMove(slider.get(), At(-301));  // still at the minimum: nothing
    QTest::mouseMove(slider.get(), At(kLength + 300));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, At(kLength + 300));
    const std::vector<Message> want{{10449u, kId, 0}, {10449u, kId, 10}, {10450u, kId, 10}};
    EXPECT_EQ(messages, want);
}

TEST_P(BitmapSliderTest, ReleaseWithoutDragPostsNothing) {
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, At(CentreOf(5)));
    QTest::mouseClick(slider.get(), Qt::RightButton, {}, At(CentreOf(5)));
    EXPECT_TRUE(messages.empty());
}

TEST_P(BitmapSliderTest, DisabledIgnoresMouseAndKeys) {
    slider->Enable(false);
    QTest::mouseClick(slider.get(), Qt::LeftButton, {}, At(CentreOf(1)));
    QTest::keyClick(slider.get(), Qt::Key_Home);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(slider->Position(), 5);
}

struct KeyCase {
    const char* name;
    Qt::Key key;
    std::int64_t from, to;
};

TEST_P(BitmapSliderTest, EachKeyMovePosts10450) {
    const KeyCase cases[] = {
        {"page up", Qt::Key_PageUp, 5, 2},      {"page down", Qt::Key_PageDown, 5, 8},
        {"home", Qt::Key_Home, 5, 0},           {"end", Qt::Key_End, 5, 10},
        {"left", Qt::Key_Left, 5, 4},           {"up", Qt::Key_Up, 5, 4},
        {"right", Qt::Key_Right, 5, 6},         {"down", Qt::Key_Down, 5, 6},
        {"page down clamps", Qt::Key_PageDown, 9, 10},
        {"right at the end", Qt::Key_Right, 10, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        slider->SetPosition(c.from);
        QTest::keyClick(slider.get(), c.key);
        EXPECT_EQ(slider->Position(), c.to);
        const std::vector<Message> want{{10450u, kId, c.to}};
        EXPECT_EQ(messages, want);
    }
}

TEST_P(BitmapSliderTest, OtherKeysPostNothing) {
    QTest::keyClick(slider.get(), Qt::Key_A);
    QTest::keyClick(slider.get(), Qt::Key_Space);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(slider->Position(), 5);
}

TEST_P(BitmapSliderTest, MessagesCarryLow32BitsOfPosition) {
    const std::int64_t base = std::int64_t{3} << 32;
    slider->SetRange(0, std::int64_t{1} << 40);
    slider->SetPosition(base + 6);
    QTest::keyClick(slider.get(), Qt::Key_Right);
    EXPECT_EQ(slider->Position(), base + 7);
    const std::vector<Message> want{{10450u, kId, 7}};
    EXPECT_EQ(messages, want);
}

TEST_P(BitmapSliderTest, RangeClampsPosition) {
    slider->SetRange(0, 3);
    EXPECT_EQ(slider->Position(), 3);
    slider->SetPosition(-4);
    EXPECT_EQ(slider->Position(), 0);
    EXPECT_TRUE(messages.empty()) << "setting the position from code posts nothing";
}

INSTANTIATE_TEST_SUITE_P(Orientation, BitmapSliderTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Vertical" : "Horizontal"; });

}  // namespace
}  // namespace tarnvik
