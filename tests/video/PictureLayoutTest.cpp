// Picture size and crop rules, channel-to-pane mapping and the row copy.
#include "video/PictureLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarnvik {
namespace {

struct GeometryRow {
    const char* name;
    int code, streamClass, codecKind;
    bool pal;
    int width, height, top, bottom;
    bool noLineDoubling;
};

// Previous size 111 x 222 marks the codes that keep the size.
const GeometryRow kGeometryRows[] = {
    {"4 PAL kind 2", 4, 2, 2, true, 720, 576, 0, 0, false},
    {"4 NTSC kind 3", 4, 2, 3, false, 720, 480, 0, 0, false},
    {"4 PAL kind 0", 4, 2, 0, true, 720, 576, 0, 0, false},
    {"5 PAL kind 2 cropped", 5, 0, 2, true, 720, 288, 8, 8, true},
    {"5 NTSC kind 3 cropped", 5, 0, 3, false, 720, 240, 8, 8, true},
    {"5 NTSC kind 0 whole", 5, 0, 0, false, 720, 240, 0, 0, true},
    {"6 PAL kind 3 cropped", 6, 1, 3, true, 352, 288, 8, 8, true},
    {"6 NTSC kind 2 cropped", 6, 1, 2, false, 352, 240, 8, 8, true},
    {"6 PAL kind 0 whole", 6, 1, 0, true, 352, 288, 0, 0, true},
    {"6 kind 1 is code 14", 6, 1, 1, true, 720, 576, 0, 0, true},
    {"0 class 0 PAL", 0, 0, 2, true, 720, 288, 0, 0, false},
    {"0 class 0 NTSC", 0, 0, 2, false, 720, 240, 0, 0, false},
    {"0 class 2 PAL", 0, 2, 3, true, 720, 576, 0, 0, false},
    {"0 class 2 NTSC", 0, 2, 3, false, 720, 480, 0, 0, false},
    {"0 class 1 keeps", 0, 1, 2, true, 111, 222, 0, 0, false},
    {"0 class 1 kind 1 is 14", 0, 1, 1, false, 720, 480, 0, 0, true},
    {"4 class 2 kind 1 stays 4", 4, 2, 1, true, 720, 576, 0, 0, false},
    {"1", 1, 2, 2, false, 1920, 1080, 0, 0, true},
    {"2", 2, 2, 2, false, 1280, 1024, 0, 0, true},
    {"3 keeps", 3, 2, 2, false, 111, 222, 0, 0, false},
    {"7", 7, 1, 2, true, 176, 144, 0, 0, true},
    {"8", 8, 2, 2, true, 640, 480, 0, 0, true},
    {"9", 9, 0, 2, true, 320, 240, 0, 0, false},
    {"10", 10, 1, 2, true, 160, 120, 0, 0, false},
    {"11 keeps", 11, 1, 2, true, 111, 222, 0, 0, false},
    {"13 keeps", 13, 1, 3, true, 111, 222, 0, 0, false},
    {"14 NTSC", 14, 1, 2, false, 720, 480, 0, 0, true},
    {"15 keeps", 15, 1, 2, false, 111, 222, 0, 0, false},
};

TEST(PictureGeometry, ResolutionTableClassDefaultsAndCrop)
{
    for (const GeometryRow& r : kGeometryRows) {
        SCOPED_TRACE(r.name);
        const PictureGeometry g = ResolvePictureGeometry(r.code, r.streamClass, r.codecKind, r.pal, 111, 222);
        EXPECT_EQ(g.width, r.width);
        EXPECT_EQ(g.height, r.height);
        EXPECT_EQ(g.topMargin, r.top);
        EXPECT_EQ(g.bottomMargin, r.bottom);
        EXPECT_EQ(g.noLineDoubling, r.noLineDoubling);
        EXPECT_EQ(g.CroppedHeight(), r.height - r.top - r.bottom);
    }
}

TEST(PictureGeometry, MarginsNeverConsumeAKeptTinyPicture)
{
    // Code 6 always sets its own size, so take a kept size through code 3 first.
    const PictureGeometry g = ResolvePictureGeometry(3, 2, 2, false, 8, 10);
    EXPECT_EQ(g.CroppedHeight(), 10);
}

struct PaneRow {
    const char* name;
    int division, pageStart, pageStart1, selected, count, kind;
    bool avi;
    int channel;
    int pane; // -1: dropped
};

const PaneRow kPaneRows[] = {
    {"4 first page", 4, -4, -1, 0, 16, 2, false, 3, 3},
    {"4 beyond count", 4, 0, -1, 0, 4, 2, false, 4, -1},
    {"4 channel 4 of 16", 4, 0, -1, 0, 16, 2, false, 4, 4},
    {"4 second page", 4, 4, -1, 0, 16, 3, false, 5, 1},
    {"4 before page", 4, 4, -1, 0, 16, 3, false, 3, -1},
    {"6 d0", 6, 0, -1, 0, 16, 2, false, 0, 0},
    {"6 d1", 6, 0, -1, 0, 16, 2, false, 1, 2},
    {"6 d2", 6, 0, -1, 0, 16, 2, false, 2, 5},
    {"6 d5", 6, 0, -1, 0, 16, 2, false, 5, 8},
    {"6 d6 dropped", 6, 0, -1, 0, 16, 2, false, 6, -1},
    {"6 page 5", 6, 5, -1, 0, 16, 2, false, 7, 5},
    {"6 before page", 6, 5, -1, 0, 16, 2, false, 4, -1},
    {"8 d0", 8, 0, -1, 0, 16, 2, false, 0, 0},
    {"8 d1", 8, 0, -1, 0, 16, 2, false, 1, 3},
    {"8 d2", 8, 0, -1, 0, 16, 2, false, 2, 7},
    {"8 d3", 8, 0, -1, 0, 16, 2, false, 3, 11},
    {"8 d7", 8, 0, -1, 0, 16, 2, false, 7, 15},
    {"8 d8 dropped", 8, 0, -1, 0, 16, 2, false, 8, -1},
    {"8 page 8", 8, 8, -1, 0, 16, 2, false, 9, 3},
    {"9 page 7", 9, 7, -1, 0, 16, 2, false, 15, 8},
    {"9 beyond count", 9, 0, -1, 0, 8, 2, false, 8, -1},
    {"9 last of 8", 9, 0, -1, 0, 8, 2, false, 7, 7},
    {"10 d1", 10, 0, -1, 0, 16, 2, false, 1, 2},
    {"10 d2", 10, 0, -1, 0, 16, 2, false, 2, 8},
    {"10 d9", 10, 0, -1, 0, 16, 2, false, 9, 15},
    {"10 d10 dropped", 10, 0, -1, 0, 16, 2, false, 10, -1},
    {"10 page 6", 10, 6, -1, 0, 16, 2, false, 6, 0},
    {"13 ch0 big pane", 13, -3, -1, 0, 16, 2, false, 0, 5},
    {"13 ch1", 13, -3, -1, 0, 16, 2, false, 1, 0},
    {"13 ch5", 13, -3, -1, 0, 16, 2, false, 5, 4},
    {"13 ch6", 13, -3, -1, 0, 16, 2, false, 6, 7},
    {"13 ch7", 13, -3, -1, 0, 16, 2, false, 7, 8},
    {"13 ch8", 13, -3, -1, 0, 16, 2, false, 8, 11},
    {"13 ch12", 13, -3, -1, 0, 16, 2, false, 12, 15},
    {"13 ch13 dropped", 13, -3, -1, 0, 16, 2, false, 13, -1},
    {"16 ch15", 16, -1, -1, 0, 16, 2, false, 15, 15},
    {"16 beyond count", 16, -1, -1, 0, 8, 2, false, 8, -1},
    {"201 selected", 201, -1, -1, 3, 16, 2, false, 3, 3},
    {"201 other dropped", 201, -1, -1, 3, 16, 3, false, 4, -1},
    {"201 other with AVI", 201, -1, -1, 3, 16, 2, true, 4, 3},
    {"201 other kind 0", 201, -1, -1, 3, 16, 0, false, 4, 0},
    {"1 selected is page", 1, -1, 5, 5, 16, 2, false, 9, 5},
    {"1 selected elsewhere", 1, -1, 5, 6, 16, 2, false, 5, -1},
    {"other division", 7, 0, -1, 0, 16, 2, false, 12, 12},
    {"kind 0 div 4", 4, 0, -1, 0, 16, 0, false, 3, 0},
    {"kind 0 div 16", 16, -1, -1, 0, 16, 0, false, 9, 0},
    {"kind 0 div 4 beyond count", 4, 0, -1, 0, 4, 0, false, 9, -1},
    {"kind 1 channel 0", 9, 0, -1, 0, 16, 1, false, 0, 0},
};

TEST(PaneForChannel, EveryDivisionAndItsDropCases)
{
    for (const PaneRow& r : kPaneRows) {
        DivisionView v;
        v.division = r.division;
        v.pageStart = r.pageStart;
        v.pageStart1 = r.pageStart1;
        v.selectedChannel = r.selected;
        v.channelCount = r.count;
        v.codecKind = r.kind;
        v.aviRecording = r.avi;
        EXPECT_EQ(PaneForChannel(r.channel, v), r.pane) << "row: " << r.name;
    }
}

TEST(PaneForChannel, NoPaneOutsideZeroToFifteen)
{
    for (int division : {1, 4, 6, 8, 9, 10, 13, 16, 201, 0, 3}) {
        for (int start : {-8, -1, 0, 5, 15}) {
            for (int channel = 0; channel < 16; ++channel) {
                DivisionView v;
                v.division = division;
                v.pageStart = start;
                v.pageStart1 = start;
                v.selectedChannel = start;
                v.channelCount = 16;
                const int pane = PaneForChannel(channel, v);
                EXPECT_TRUE(pane == -1 || (pane >= 0 && pane <= 15))
                    << "division " << division << " start " << start << " channel " << channel;
            }
        }
    }
}

// Source rows whose bytes name the row, in a buffer with guard bytes after.
std::vector<uint8_t> NumberedRows(int width, int rows)
{
    std::vector<uint8_t> src(size_t(width) * 3 * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width * 3; ++x)
            src[size_t(y) * width * 3 + x] = uint8_t(y);
    return src;
}

TEST(CopyPictureRows, CropsAndInterleavesFields)
{
    struct Row { const char* name; int rows, top; bool doubling; std::vector<int> expected; };
    const Row rows[] = {
        {"whole", 4, 0, false, {0, 1, 2, 3}},
        {"top margin", 4, 2, false, {2, 3, 4, 5}},
        {"two fields", 8, 0, true, {0, 4, 1, 5, 2, 6, 3, 7}},
        {"fields after margin", 4, 2, true, {2, 4, 3, 5}},
    };
    const int width = 5;
    const auto src = NumberedRows(width, 12);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<uint8_t> dst(size_t(width) * 3 * (r.rows + 2), 0xEE);
        CopyPictureRows(src.data(), dst.data(), width, r.rows, r.top, r.doubling);
        for (int y = 0; y < r.rows; ++y)
            for (int x = 0; x < width * 3; ++x)
                ASSERT_EQ(dst[size_t(y) * width * 3 + x], r.expected[y]) << "row " << y << " byte " << x;
        for (size_t i = size_t(width) * 3 * r.rows; i < dst.size(); ++i)
            ASSERT_EQ(dst[i], 0xEE) << "guard byte " << i << " written";
    }
}

} // namespace
} // namespace tarnvik
