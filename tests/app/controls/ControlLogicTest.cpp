// Window-free rules: face choice, face geometry, slider maths and keys.
#include <gtest/gtest.h>

#include <climits>

#include "app/controls/ControlLogic.h"

namespace tarnvik {
namespace {

TEST(ControlLogic, MessageNumbers) {
    EXPECT_EQ(kMsgHoverPressed, 0x402u);
    EXPECT_EQ(kMsgHoverReleased, 0x403u);
    EXPECT_EQ(kMsgHoverDragMove, 0x404u);
    EXPECT_EQ(kMsgSliderMoving, 10449u);
    EXPECT_EQ(kMsgSliderMoved, 10450u);
}

struct FaceCase {
    const char* name;
    int forced;
    bool enabled, pressed, over;
    int face;
};

TEST(ControlLogic, HoverFaceIndex) {
    const FaceCase cases[] = {
        {"normal", 0, true, false, false, 0},
        {"pressed", 0, true, true, false, 1},
        {"pressed beats hover", 0, true, true, true, 1},
        {"hover", 0, true, false, true, 2},
        {"disabled", 0, false, false, false, 3},
        {"disabled shows no hover", 0, false, false, true, 3},
        {"disabled beats pressed", 0, false, true, true, 3},
        {"forced 1 is face 0", 1, true, true, true, 0},
        {"forced 2 is the second face", 2, true, false, true, 1},
        {"forced beats disabled", 2, false, false, false, 1},
        {"forced 4 is face 3", 4, true, false, false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(HoverFaceIndex(c.forced, c.enabled, c.pressed, c.over), c.face);
    }
}

TEST(ControlLogic, FourHundredPixelSkinGivesHundredPixelFaces) {
    for (int face = 0; face < 4; ++face) {
        SCOPED_TRACE(face);
        const FaceRect r = HoverFaceRect(400, 30, face);
        EXPECT_EQ(r.width, 100);
        EXPECT_EQ(r.height, 30);
        EXPECT_EQ(r.x, face * 100);
        EXPECT_EQ(r.y, 0);
    }
    // Integer division: the leftover columns belong to no face.
    EXPECT_EQ(HoverFaceRect(403, 10, 3).width, 100);
    EXPECT_EQ(HoverFaceRect(403, 10, 3).x, 300);
}

TEST(ControlLogic, LedStateAccepted) {
    EXPECT_TRUE(LedStateAccepted(0, 2));
    EXPECT_TRUE(LedStateAccepted(1, 2));
    EXPECT_FALSE(LedStateAccepted(2, 2));
    EXPECT_FALSE(LedStateAccepted(-1, 2));
}

TEST(ControlLogic, TrackBounds) {
    SliderTrack t{200, 10, 3, 7};
    EXPECT_EQ(t.CentreMin(), 3 + 5);
    EXPECT_EQ(t.CentreMax(), 200 - 7 - 5);
    SliderTrack odd{100, 9, 0, 0};
    EXPECT_EQ(odd.CentreMin(), 4);
    EXPECT_EQ(odd.CentreMax(), 100 - 5);  // the 9-pixel thumb's far edge stays at 99
}

struct PixelCase {
    const char* name;
    int pixel;
    std::int64_t position;
};

TEST(ControlLogic, PositionFromPixel) {
    // Centre runs 5..195 (190 pixels) onto 0..1900: ten units per pixel.
    const SliderTrack t{200, 10, 0, 0};
    const PixelCase cases[] = {
        {"left end", 5, 0},          {"right end", 195, 1900},      {"middle", 100, 950},
        {"before the track", -40, 0}, {"after the track", 900, 1900}, {"one in", 6, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SliderPositionFromPixel(t, c.pixel, 0, 1900), c.position);
    }
}

TEST(ControlLogic, PositionFromPixelRoundsAndOffsetsByMinimum) {
    // 0..10 over 190 pixels: 19 pixels per unit; 9 pixels rounds down, 10 up.
    const SliderTrack t{200, 10, 0, 0};
    EXPECT_EQ(SliderPositionFromPixel(t, 5 + 9, 0, 10), 0);
    EXPECT_EQ(SliderPositionFromPixel(t, 5 + 10, 0, 10), 1);
    EXPECT_EQ(SliderPositionFromPixel(t, 100, 1000, 1010), 1005);
}

TEST(ControlLogic, PositionFromPixelHugeRange) {
    const SliderTrack t{200, 10, 0, 0};
    EXPECT_EQ(SliderPositionFromPixel(t, 195, INT64_MIN, INT64_MAX), INT64_MAX);
    EXPECT_EQ(SliderPositionFromPixel(t, 5, INT64_MIN, INT64_MAX), INT64_MIN);
}

TEST(ControlLogic, EmptyRangeOrTrackGivesMinimum) {
    EXPECT_EQ(SliderPositionFromPixel(SliderTrack{200, 10, 0, 0}, 150, 7, 7), 7);
    EXPECT_EQ(SliderPositionFromPixel(SliderTrack{10, 10, 0, 0}, 150, 0, 100), 0);
}

TEST(ControlLogic, PixelFromPosition) {
    const SliderTrack t{200, 10, 0, 0};
    EXPECT_EQ(SliderPixelFromPosition(t, 0, 0, 1900), 5);
    EXPECT_EQ(SliderPixelFromPosition(t, 1900, 0, 1900), 195);
    EXPECT_EQ(SliderPixelFromPosition(t, 950, 0, 1900), 100);
    EXPECT_EQ(SliderPixelFromPosition(t, 99999, 0, 1900), 195);
}

struct KeyCase {
    const char* name;
    SliderKey key;
    std::int64_t from, to;
};

TEST(ControlLogic, Keys) {
    // Range 0..10, page 3.
    const KeyCase cases[] = {
        {"page up", SliderKey::kPageUp, 5, 2},     {"page down", SliderKey::kPageDown, 5, 8},
        {"home", SliderKey::kHome, 5, 0},          {"end", SliderKey::kEnd, 5, 10},
        {"left", SliderKey::kLeft, 5, 4},          {"up", SliderKey::kUp, 5, 4},
        {"right", SliderKey::kRight, 5, 6},        {"down", SliderKey::kDown, 5, 6},
        {"page up clamps", SliderKey::kPageUp, 1, 0}, {"page down clamps", SliderKey::kPageDown, 9, 10},
        {"left at min", SliderKey::kLeft, 0, 0},   {"right at max", SliderKey::kRight, 10, 10},
        {"other key", SliderKey::kNone, 5, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SliderPositionAfterKey(c.key, c.from, 0, 10, 3), c.to);
    }
}

TEST(ControlLogic, HugePageDoesNotWrap) {
    EXPECT_EQ(SliderPositionAfterKey(SliderKey::kPageDown, 5, 0, INT64_MAX, INT64_MAX), INT64_MAX);
    EXPECT_EQ(SliderPositionAfterKey(SliderKey::kPageUp, 5, INT64_MIN, 10, INT64_MAX), INT64_MIN + 6);
}

TEST(ControlLogic, PositionLow32) {
    EXPECT_EQ(PositionLow32((std::int64_t{1} << 33) + 7), 7u);
    EXPECT_EQ(PositionLow32(-1), 0xffffffffu);
}

TEST(ControlLogic, DragPostsOnlyOnChangeAndReleaseOnlyAfterDrag) {
    SliderDrag d;
    EXPECT_FALSE(d.End()) << "release without a drag";
    EXPECT_FALSE(d.Move(5, 6)) << "move without a drag";
    EXPECT_FALSE(d.Begin(5, 5));
    EXPECT_TRUE(d.Dragging());
    EXPECT_FALSE(d.Move(5, 5));
    EXPECT_TRUE(d.Move(5, 6));
    EXPECT_TRUE(d.End());
    EXPECT_FALSE(d.End());
}

}  // namespace
}  // namespace tarnvik
