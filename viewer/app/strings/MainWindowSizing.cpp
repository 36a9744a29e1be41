#include "app/strings/MainWindowSizing.h"

namespace tarnvik {

MainWindowSizing ComputeMainWindowSizing(const MainWindowSizingInput& in) {
    MainWindowSizing out;
    // The extras use the profile values as given, even when they are then replaced by
    // the minimum below; that is the rule as stated, so it is kept.
    out.extraW = in.adjustX - in.clientWidth + in.profileExtraWidth;
    out.extraH = in.adjustY - (in.clientHeight - in.clientHeightTrim) + in.profileExtraHeight;
    // Either dimension being too small replaces both, keeping the 4:3 minimum.
    out.clamped = in.adjustX < kMinAdjustX || in.adjustY < kMinAdjustY;
    const int videoW = out.clamped ? kMinAdjustX : in.adjustX;
    const int videoH = out.clamped ? kMinAdjustY : in.adjustY;
    out.profileSize = {videoW + out.extraW, videoH + out.extraH};
    // The layouts are drawn for one design size, so the window is finally forced to it
    // whatever the profile said.
    out.finalSize = {in.finalClientWidth + in.frameExtraWidth,
                     in.finalClientHeight + in.frameExtraHeight};
    return out;
}

WindowSize FinalMainWindowSize() {
    return ComputeMainWindowSizing(MainWindowSizingInput{}).finalSize;
}

} // namespace tarnvik
