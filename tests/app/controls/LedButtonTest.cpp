// CLedButton: the two lamp states draw differently, colours per state, and
// out-of-range states are ignored.
#include <gtest/gtest.h>

#include <memory>

#include "TestSkins.h"
#include "app/controls/LedButton.h"

namespace tarnvik {
namespace {

using testing::PixelAt;
using testing::Solid;

class LedButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        led = std::make_unique<CLedButton>();
        led->setText("REC");
        led->resize(80, 20);
    }
    // Centre of a 16-pixel lamp drawn at the left, vertically centred.
    QPoint LampCentre() const { return QPoint(8, 10); }
    // A corner of the background, clear of lamp and text.
    QPoint Background() const { return QPoint(79, 0); }

    std::unique_ptr<CLedButton> led;
};

TEST_F(LedButtonTest, DefaultIsTwoStatesStartingAtZero) {
    EXPECT_EQ(led->StateCount(), 2);
    EXPECT_EQ(led->State(), 0);
}

struct LampCase {
    const char* name;
    int unlitId, litId;
};

TEST_F(LedButtonTest, MainWindowLampsDifferBetweenStates) {
    // The icon pairs the main window gives its three lights.
    const LampCase cases[] = {{"REC", 180, 181}, {"AVI", 180, 178}, {"Backup", 180, 179}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        led->SetStateIcons(c.unlitId, c.litId);
        led->SetState(0);
        const QColor off = PixelAt(*led, LampCentre());
        led->SetState(1);
        const QColor on = PixelAt(*led, LampCentre());
        EXPECT_NE(off, on);
        EXPECT_NE(on, PixelAt(*led, Background())) << "the lit lamp is visible";
        EXPECT_NE(off, PixelAt(*led, Background())) << "the unlit lamp is visible";
    }
}

TEST_F(LedButtonTest, DrawsTheStatesIconAtTheLeft) {
    led->SetStateIcons(Solid(Qt::yellow, 16, 16), Solid(Qt::magenta, 16, 16));
    EXPECT_EQ(PixelAt(*led, LampCentre()), QColor(Qt::yellow));
    led->SetState(1);
    EXPECT_EQ(PixelAt(*led, LampCentre()), QColor(Qt::magenta));
}

TEST_F(LedButtonTest, IconOnTheRightWhenAsked) {
    led->SetStateIcons(Solid(Qt::yellow, 16, 16), Solid(Qt::magenta, 16, 16));
    led->SetIconOnRight(true);
    EXPECT_EQ(PixelAt(*led, QPoint(80 - 8, 10)), QColor(Qt::yellow));
    EXPECT_NE(PixelAt(*led, LampCentre()), QColor(Qt::yellow));
}

TEST_F(LedButtonTest, BackgroundFollowsTheStateColours) {
    led->SetStateColours(0, Qt::black, QColor(10, 20, 30));
    led->SetStateColours(1, Qt::white, QColor(40, 50, 60));
    EXPECT_EQ(PixelAt(*led, Background()), QColor(10, 20, 30));
    led->SetState(1, true);
    EXPECT_EQ(PixelAt(*led, Background()), QColor(40, 50, 60));
}

TEST_F(LedButtonTest, DefaultBackgroundIsTheButtonFace) {
    EXPECT_EQ(PixelAt(*led, Background()), QColor(230, 238, 242));
}

TEST_F(LedButtonTest, StateAtOrAboveCountIsIgnored) {
    led->SetState(1);
    led->SetState(2);
    EXPECT_EQ(led->State(), 1);
    led->SetState(-1);
    EXPECT_EQ(led->State(), 1);
}

TEST_F(LedButtonTest, SetStateCountResetsStates) {
    led->SetStateColours(1, Qt::white, QColor(40, 50, 60));
    led->SetState(1);
    led->SetStateCount(3);
    EXPECT_EQ(led->StateCount(), 3);
    EXPECT_EQ(led->State(), 0);
    led->SetState(2);
    EXPECT_EQ(led->State(), 2);
    led->SetState(1);
    EXPECT_EQ(PixelAt(*led, Background()), QColor(230, 238, 242)) << "colours were reset";
}

}  // namespace
}  // namespace tarnvik
