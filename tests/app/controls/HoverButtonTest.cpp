// CHoverButton driven through real mouse and key events: the face it draws
// and the notifications it sends its parent.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <memory>
#include <tuple>
#include <vector>

#include "TestSkins.h"
#include "app/controls/HoverButton.h"

namespace tarnvik {
namespace {

using testing::CentrePixel;
using testing::SolidStrip;

const QColor kNormal(200, 0, 0);
const QColor kPressed(0, 200, 0);
const QColor kHover(0, 0, 200);
const QColor kDisabled(90, 90, 90);
constexpr int kFaceW = 40, kFaceH = 20;

using Message = std::tuple<std::uint32_t, qint64, qint64>;

// Records the key presses the button hands to its parent.
class KeyParent : public QWidget {
public:
    std::vector<int> pressed;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            pressed.push_back(static_cast<QKeyEvent*>(e)->key());
            return true;
        }
        return QWidget::event(e);
    }
};

class HoverButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent = std::make_unique<KeyParent>();
        parent->resize(200, 100);
        button = new CHoverButton(parent.get());
        button->LoadSkin(SolidStrip({kNormal, kPressed, kHover, kDisabled}, kFaceW, kFaceH));
        button->setGeometry(10, 10, kFaceW, kFaceH);
        button->SetCode(0x1234u);
        button->SetControlId(1052);
        QObject::connect(button, &CHoverButton::Notify,
                         [this](std::uint32_t m, qint64 a, qint64 b) { messages.emplace_back(m, a, b); });
        parent->show();
    }
    void TearDown() override {
        // Leave Qt Test's global button state clean for the next test.
        parent.reset();
    }

    QPoint Centre() const { return button->rect().center(); }

    std::unique_ptr<KeyParent> parent;
    CHoverButton* button = nullptr;
    std::vector<Message> messages;
};

TEST_F(HoverButtonTest, SkinSizeGivesFaceSize) {
    EXPECT_EQ(button->FaceWidth(), kFaceW);
    EXPECT_EQ(button->FaceHeight(), kFaceH);
    button->LoadSkin(SolidStrip({kNormal, kNormal, kNormal, kNormal}, 100, 7));
    EXPECT_EQ(button->FaceWidth(), 100);  // a 400-pixel skin
    EXPECT_EQ(button->FaceHeight(), 7);
}

TEST_F(HoverButtonTest, DrawsNormalFaceAtRest) { EXPECT_EQ(CentrePixel(*button), kNormal); }

TEST_F(HoverButtonTest, DrawsPressedFaceWhileHeld) {
    QTest::mousePress(button, Qt::LeftButton, {}, Centre());
    EXPECT_EQ(CentrePixel(*button), kPressed);
    QTest::mouseRelease(button, Qt::LeftButton, {}, Centre());
    EXPECT_NE(CentrePixel(*button), kPressed);
}

TEST_F(HoverButtonTest, DrawsHoverFaceWhenMouseOverAndNormalAfterLeave) {
    QTest::mouseMove(button, Centre());
    ASSERT_TRUE(button->MouseOver());
    EXPECT_EQ(CentrePixel(*button), kHover);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->MouseOver());
    EXPECT_EQ(CentrePixel(*button), kNormal);
}

TEST_F(HoverButtonTest, DisabledShowsFourthFaceAndNoHover) {
    QTest::mouseMove(button, Centre());
    button->setEnabled(false);
    EXPECT_EQ(CentrePixel(*button), kDisabled);
    QTest::mouseMove(button, Centre() + QPoint(1, 0));
    EXPECT_EQ(CentrePixel(*button), kDisabled);
    button->setEnabled(true);
    EXPECT_EQ(CentrePixel(*button), kNormal) << "no stale hover after re-enabling";
}

struct ForcedCase {
    const char* name;
    bool disable, hover;
};

TEST_F(HoverButtonTest, ForcedFaceTwoAlwaysShowsSecondFace) {
    const ForcedCase cases[] = {
        {"at rest", false, false}, {"hovered", false, true}, {"disabled", true, false}};
    button->SetForcedFace(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        button->setEnabled(!c.disable);
        if (c.hover) QTest::mouseMove(button, Centre());
        EXPECT_EQ(CentrePixel(*button), kPressed);  // the second face of the strip
    }
    button->setEnabled(true);
    QTest::mousePress(button, Qt::LeftButton, {}, Centre());
    EXPECT_EQ(CentrePixel(*button), kPressed);
    QTest::mouseRelease(button, Qt::LeftButton, {}, Centre());
    button->SetForcedFace(0);
    EXPECT_NE(CentrePixel(*button), kPressed);
}

TEST_F(HoverButtonTest, PressAndReleasePostCodeAndControlId) {
    QTest::mousePress(button, Qt::LeftButton, {}, Centre());
    QTest::mouseRelease(button, Qt::LeftButton, {}, Centre());
    const std::vector<Message> want{{0x402u, 0x1234, 1052}, {0x403u, 0x1234, 1052}};
    EXPECT_EQ(messages, want);
}

TEST_F(HoverButtonTest, PressLeaveReleaseStillPostsBoth) {
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    const QPoint outside(-15, -15);
    QTest::mousePress(button, Qt::LeftButton, {}, Centre());
    QTest::mouseMove(button, outside);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    EXPECT_EQ(CentrePixel(*button), kNormal) << "left while held: neither pressed nor hover";
    QTest::mouseRelease(button, Qt::LeftButton, {}, outside);
    const std::vector<Message> want{{0x402u, 0x1234, 1052}, {0x403u, 0x1234, 1052}};
    EXPECT_EQ(messages, want);
    EXPECT_EQ(clicks, 0) << "a release outside the button is no click";
}

TEST_F(HoverButtonTest, RightButtonPostsNothing) {
    QTest::mouseClick(button, Qt::RightButton, {}, Centre());
    EXPECT_TRUE(messages.empty());
}

struct DragCase {
    const char* name;
    int controlId;
    bool reports;
};

TEST_F(HoverButtonTest, HeldMouseMovesReportedOnlyByControl1143) {
    const DragCase cases[] = {{"control 1143", 1143, true}, {"other control", 1052, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        button->SetControlId(c.controlId);
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(3, 4));
        QTest::mouseMove(button, QPoint(7, 9));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(7, 9));
        std::vector<Message> want{{0x402u, 0x1234, c.controlId}};
        if (c.reports) want.emplace_back(0x404u, 7, 9);
        want.emplace_back(0x403u, 0x1234, c.controlId);
        EXPECT_EQ(messages, want);
    }
}

TEST_F(HoverButtonTest, KeyPressesGoToParentAndDoNotClick) {
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::keyClick(button, Qt::Key_Space);
    QTest::keyClick(button, Qt::Key_F5);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(parent->pressed, (std::vector<int>{Qt::Key_Space, Qt::Key_F5}));
}

TEST_F(HoverButtonTest, TabReachesParentOncePerStroke) {
    QTest::keyClick(button, Qt::Key_Tab);
    EXPECT_EQ(parent->pressed, (std::vector<int>{Qt::Key_Tab}));
}

TEST_F(HoverButtonTest, TooltipTextAndDeactivate) {
    button->SetTooltip("Play");
    EXPECT_EQ(button->toolTip(), QString("Play"));
    button->SetTooltip("Play", false);
    EXPECT_TRUE(button->toolTip().isEmpty());
}

}  // namespace
}  // namespace tarnvik
