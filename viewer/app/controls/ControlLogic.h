// Window-free rules of the owner-drawn controls. The widgets only draw and
// forward events; every decision they take is made by a function here, so a
// test can check it without a window.
#pragma once

#include <cstdint>

namespace tarnvik {

// Private notification numbers the controls send to their parent, which
// dispatches on them: each kind of notification has a number of its own.
inline constexpr std::uint32_t kWmUser = 0x400;
inline constexpr std::uint32_t kMsgHoverPressed = kWmUser + 2;   // (code, control id)
inline constexpr std::uint32_t kMsgHoverReleased = kWmUser + 3;  // (code, control id)
inline constexpr std::uint32_t kMsgHoverDragMove = kWmUser + 4;  // (x, y), control 1143 only
inline constexpr std::uint32_t kMsgSliderMoving = 10449;         // (control id, position low 32 bits)
inline constexpr std::uint32_t kMsgSliderMoved = 10450;          // (control id, position low 32 bits)

// The only hover button that reports mouse moves with the left button held.
inline constexpr int kHoverDragReportControlId = 1143;

// ---- CHoverButton ----------------------------------------------------------

// Faces of a hover button skin, in the order they sit side by side.
enum HoverFace : int { kFaceNormal = 0, kFacePressed = 1, kFaceHover = 2, kFaceDisabled = 3 };
inline constexpr int kHoverFaceCount = 4;

// The face to draw. forcedFace 0 means none; n > 0 draws face n - 1
// whatever the state.
int HoverFaceIndex(int forcedFace, bool enabled, bool pressed, bool mouseOver);

// Geometry of one face inside the skin strip: each face is a quarter of the
// strip's width (integer division) and its full height.
struct FaceRect {
    int x = 0, y = 0, width = 0, height = 0;
};
FaceRect HoverFaceRect(int skinWidth, int skinHeight, int face);

// ---- CLedButton ------------------------------------------------------------

// Number of states after SetStateCount; the control never has fewer than one.
inline constexpr int kLedDefaultStateCount = 2;
inline constexpr int kLedDefaultBlinkMs = 150;

// Whether SetState(n) applies: values at or above the state count (and
// negative ones) are ignored.
bool LedStateAccepted(int state, int stateCount);

// ---- CBitmapSlider ---------------------------------------------------------

// One axis of the slider: the channel length in pixels, the thumb length
// along the same axis and the channel's margins at both ends.
struct SliderTrack {
    int length = 0;
    int thumbLength = 0;
    int marginStart = 0;
    int marginEnd = 0;

    // Lowest and highest pixel the thumb centre may take.
    int CentreMin() const;
    int CentreMax() const;
};

// Clamp a value into [lo, hi] without assuming lo <= hi (an empty range
// gives lo).
std::int64_t ClampPosition(std::int64_t value, std::int64_t lo, std::int64_t hi);

// Linear map of a thumb centre (clamped into the track) onto min..max,
// rounded to the nearest position.
std::int64_t SliderPositionFromPixel(const SliderTrack& track, int pixel, std::int64_t min,
                                     std::int64_t max);

// Where the thumb centre sits for a position (clamped into min..max).
int SliderPixelFromPosition(const SliderTrack& track, std::int64_t position, std::int64_t min,
                            std::int64_t max);

// Keys the slider understands; kNone for every other key.
enum class SliderKey { kNone, kPageUp, kPageDown, kHome, kEnd, kLeft, kUp, kRight, kDown };

// New position after a key, clamped into min..max. Page Up moves down by
// the page size and Page Down up by it; left/up -1, right/down +1.
std::int64_t SliderPositionAfterKey(SliderKey key, std::int64_t position, std::int64_t min,
                                    std::int64_t max, std::int64_t page);

// Low 32 bits of a position, as the notifications carry them.
inline std::uint32_t PositionLow32(std::int64_t position) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(position) & 0xffffffffu);
}

// Drag bookkeeping of the slider: decides which notification, if any, each
// mouse event produces.
class SliderDrag {
public:
    // Button pressed: dragging starts. Returns true when the position moved
    // (the thumb jumps to follow the mouse) and 10449 is due.
    bool Begin(std::int64_t current, std::int64_t atMouse);
    // Mouse moved while dragging: true when 10449 is due.
    bool Move(std::int64_t current, std::int64_t atMouse);
    // Button released: true when a drag was running, i.e. 10450 is due.
    bool End();
    bool Dragging() const { return dragging_; }

private:
    bool dragging_ = false;
};

}  // namespace tarnvik
