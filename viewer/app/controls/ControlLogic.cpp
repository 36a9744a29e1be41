#include "app/controls/ControlLogic.h"

#include <algorithm>

namespace tarnvik {

int HoverFaceIndex(int forcedFace, bool enabled, bool pressed, bool mouseOver) {
    if (forcedFace > 0) return forcedFace - 1;
    if (!enabled) return kFaceDisabled;
    if (pressed) return kFacePressed;
    if (mouseOver) return kFaceHover;
    return kFaceNormal;
}

FaceRect HoverFaceRect(int skinWidth, int skinHeight, int face) {
    FaceRect r;
    r.width = skinWidth / kHoverFaceCount;
    r.height = skinHeight;
    r.x = face * r.width;
    return r;
}

bool LedStateAccepted(int state, int stateCount) { return state >= 0 && state < stateCount; }

int SliderTrack::CentreMin() const { return marginStart + thumbLength / 2; }

int SliderTrack::CentreMax() const {
    // The thumb's far half (the larger one for odd sizes) must stay inside.
    return std::max(CentreMin(), length - marginEnd - (thumbLength - thumbLength / 2));
}

std::int64_t ClampPosition(std::int64_t value, std::int64_t lo, std::int64_t hi) {
    if (hi < lo) return lo;
    return std::clamp(value, lo, hi);
}

std::int64_t SliderPositionFromPixel(const SliderTrack& track, int pixel, std::int64_t min,
                                     std::int64_t max) {
    const int lo = track.CentreMin();
    const int hi = track.CentreMax();
    if (max <= min || hi <= lo) return min;
    const int centre = std::clamp(pixel, lo, hi);
    // 128-bit product: a 64-bit range times a pixel count can overflow.
    const __int128 span = static_cast<__int128>(max) - min;
    const __int128 num = span * (centre - lo);
    const __int128 den = hi - lo;
    const __int128 rounded = (num + den / 2) / den;
    return static_cast<std::int64_t>(min + rounded);
}

int SliderPixelFromPosition(const SliderTrack& track, std::int64_t position, std::int64_t min,
                            std::int64_t max) {
    const int lo = track.CentreMin();
    const int hi = track.CentreMax();
    if (max <= min || hi <= lo) return lo;
    const std::int64_t pos = ClampPosition(position, min, max);
    const __int128 span = static_cast<__int128>(max) - min;
    const __int128 num = static_cast<__int128>(pos - min) * (hi - lo);
    return lo + static_cast<int>((num + span / 2) / span);
}

std::int64_t SliderPositionAfterKey(SliderKey key, std::int64_t position, std::int64_t min,
                                    std::int64_t max, std::int64_t page) {
    // Saturating steps: a huge page size must not wrap around.
    auto add = [](std::int64_t a, std::int64_t b) {
        std::int64_t r;
        if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
        return r;
    };
    std::int64_t next = position;
    switch (key) {
        case SliderKey::kPageUp: next = add(position, page == INT64_MIN ? INT64_MAX : -page); break;
        case SliderKey::kPageDown: next = add(position, page); break;
        case SliderKey::kHome: next = min; break;
        case SliderKey::kEnd: next = max; break;
        case SliderKey::kLeft:
        case SliderKey::kUp: next = add(position, -1); break;
        case SliderKey::kRight:
        case SliderKey::kDown: next = add(position, 1); break;
        case SliderKey::kNone: return position;
    }
    return ClampPosition(next, min, max);
}

bool SliderDrag::Begin(std::int64_t current, std::int64_t atMouse) {
    dragging_ = true;
    return atMouse != current;
}

bool SliderDrag::Move(std::int64_t current, std::int64_t atMouse) {
    return dragging_ && atMouse != current;
}

bool SliderDrag::End() {
    const bool was = dragging_;
    dragging_ = false;
    return was;
}

}  // namespace tarnvik
