#include "app/strings/MainWindowSizing.h"

#include <gtest/gtest.h>

namespace tarnvik {
namespace {

TEST(MainWindowSizing, SmallAdjustIsSizedWith640x480ThenFixed) {
    MainWindowSizingInput in;
    in.adjustX = 320;
    in.adjustY = 240;
    in.clientWidth = 874;
    in.clientHeight = 796;
    const auto s = ComputeMainWindowSizing(in);
    EXPECT_TRUE(s.clamped);
    // extraW = Adjust_X − client width + 200; extraH = Adjust_Y − (client height − 14) + 150
    EXPECT_EQ(s.extraW, 320 - 874 + 200);
    EXPECT_EQ(s.extraH, 240 - (796 - 14) + 150);
    EXPECT_EQ(s.profileSize, (WindowSize{640 + (320 - 874 + 200), 480 + (240 - 782 + 150)}));
    EXPECT_EQ(s.finalSize, (WindowSize{1029, 793}));
}

TEST(MainWindowSizing, LargerAdjustUsesItsOwnSizeThenFixed) {
    MainWindowSizingInput in;
    in.adjustX = 1024;
    in.adjustY = 768;
    in.clientWidth = 900;
    in.clientHeight = 700;
    const auto s = ComputeMainWindowSizing(in);
    EXPECT_FALSE(s.clamped);
    EXPECT_EQ(s.extraW, 324);
    EXPECT_EQ(s.extraH, 232);
    EXPECT_EQ(s.profileSize, (WindowSize{1348, 1000}));
    EXPECT_EQ(s.finalSize, (WindowSize{1029, 793}));
}

TEST(MainWindowSizing, OneSmallDimensionReplacesBoth) {
    MainWindowSizingInput in;
    in.adjustX = 720;
    in.adjustY = 400;
    in.clientWidth = 1017;
    in.clientHeight = 755;
    const auto s = ComputeMainWindowSizing(in);
    EXPECT_TRUE(s.clamped);
    EXPECT_EQ(s.profileSize.width, 640 + (720 - 1017 + 200));
    EXPECT_EQ(s.profileSize.height, 480 + (400 - 741 + 150));

    in.adjustX = 639;
    in.adjustY = 480;
    EXPECT_TRUE(ComputeMainWindowSizing(in).clamped);
    in.adjustX = 640;
    EXPECT_FALSE(ComputeMainWindowSizing(in).clamped);
}

TEST(MainWindowSizing, DefaultFinalSizeIsDesignClientPlusFrame) {
    EXPECT_EQ(FinalMainWindowSize(), (WindowSize{1029, 793}));
    // 1017 × 755 client inside the fixed window.
    EXPECT_EQ(1029 - kFrameExtraWidth, 1017);
    EXPECT_EQ(793 - kFrameExtraHeight, 755);
}

TEST(MainWindowSizing, ConstantsAreParameters) {
    MainWindowSizingInput in;
    in.adjustX = 800;
    in.adjustY = 600;
    in.clientWidth = 700;
    in.clientHeight = 500;
    in.profileExtraWidth = 0;
    in.profileExtraHeight = 0;
    in.clientHeightTrim = 0;
    in.frameExtraWidth = 8;
    in.frameExtraHeight = 30;
    const auto s = ComputeMainWindowSizing(in);
    EXPECT_EQ(s.profileSize, (WindowSize{900, 700}));
    EXPECT_EQ(s.finalSize, (WindowSize{1025, 785}));
}

} // namespace
} // namespace tarnvik
