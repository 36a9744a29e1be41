// Screen divisions: visible panes and their channels, paging, the single
// view, the side effects of a division change, and the pane rectangles.
#include "video/Divisions.h"

#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace tarnvik {
namespace {

using test::RendererRig;

// A division state wired to a renderer rig, recording what it asks of the
// session and the window.
struct DivisionRig {
    explicit DivisionRig(int channelCount, QImage noVideo = {})
    {
        rig.state.channelCount = channelCount;
        DivisionHooks hooks;
        hooks.requestDivision = [this](int d) { requests.push_back(d); };
        hooks.invalidatePane = [this](int p) { invalidated.push_back(p); };
        hooks.enteringSingleView = [this](int c) { entered.push_back(c); };
        hooks.leavingSingleView = [this] { ++left; };
        divisions = std::make_unique<DivisionState>(rig.panes, rig.renderer, rig.state, std::move(noVideo),
                                                    std::move(hooks));
    }
    // Channels of the visible panes in pane order.
    std::vector<int> VisibleChannels() const
    {
        std::vector<int> out;
        for (int p = 0; p < kLaidOutPanes; ++p)
            if (divisions->PaneVisible(p))
                out.push_back(divisions->PaneChannel(p));
        return out;
    }
    std::vector<int> VisiblePanes() const
    {
        std::vector<int> out;
        for (int p = 0; p < kLaidOutPanes; ++p)
            if (divisions->PaneVisible(p))
                out.push_back(p);
        return out;
    }

    RendererRig rig;
    std::vector<int> requests;
    std::vector<int> invalidated;
    std::vector<int> entered;
    int left = 0;
    std::unique_ptr<DivisionState> divisions;
};

std::vector<int> Range(int first, int last)
{
    std::vector<int> v;
    for (int i = first; i <= last; ++i)
        v.push_back(i);
    return v;
}

TEST(DivisionsTest, Div9With16ChannelsPagesZeroSevenZero)
{
    DivisionRig r(16);
    // Page start -7: -7 + 7 = 0; 0 + 7 = 7; 7 + 7 = 14 wraps (14 or more) to 0.
    EXPECT_EQ(r.divisions->PressDivision(9), 9);
    EXPECT_EQ(r.VisibleChannels(), Range(0, 8));
    r.divisions->PressDivision(9);
    EXPECT_EQ(r.VisibleChannels(), Range(7, 15));
    r.divisions->PressDivision(9);
    EXPECT_EQ(r.VisibleChannels(), Range(0, 8));
    EXPECT_EQ(r.VisiblePanes(), Range(0, 8));
}

TEST(DivisionsTest, Div4With4ChannelsKeepsPageZero)
{
    DivisionRig r(4);
    // -4 + 4 = 0; 0 + 4 = 4 is at the channel count and wraps to 0.
    r.divisions->PressDivision(4);
    EXPECT_EQ(r.VisibleChannels(), Range(0, 3));
    EXPECT_EQ(r.divisions->PageStartOf(4), 0);
    r.divisions->PressDivision(4);
    EXPECT_EQ(r.VisibleChannels(), Range(0, 3));
    EXPECT_EQ(r.divisions->PageStartOf(4), 0);
}

TEST(DivisionsTest, Division13PutsChannelZeroInTheCentre)
{
    DivisionRig r(16);
    EXPECT_EQ(r.divisions->PressDivision(13), 13);
    // All panes but 6, 9, 10; the 2 x 2 pane 5 shows channel 0, the others
    // 1 .. 12 in pane order.
    EXPECT_EQ(r.VisiblePanes(), (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 8, 11, 12, 13, 14, 15}));
    EXPECT_EQ(r.divisions->PaneChannel(5), 0);
    const int others[] = {0, 1, 2, 3, 4, 7, 8, 11, 12, 13, 14, 15};
    int expected = 1;
    for (int pane : others)
        EXPECT_EQ(r.divisions->PaneChannel(pane), expected++) << "pane " << pane;
    EXPECT_EQ(r.divisions->GridColumns(), 4);
    EXPECT_EQ(r.divisions->GridRows(), 4);
}

struct LayoutRow {
    const char* name;
    int division;
    int presses;
    std::vector<int> panes;
    int firstChannel;
    int grid;
};

TEST(DivisionsTest, EnlargedDivisionsPanesAndChannelOrder)
{
    // 16 channels: first press lands on 0, the second on 0 + 5, 0 + 8, 0 + 6.
    const LayoutRow rows[] = {
        {"6 first page", 6, 1, {0, 2, 5, 6, 7, 8}, 0, 3},
        {"6 second page", 6, 2, {0, 2, 5, 6, 7, 8}, 5, 3},
        {"8 first page", 8, 1, {0, 3, 7, 11, 12, 13, 14, 15}, 0, 4},
        {"8 second page", 8, 2, {0, 3, 7, 11, 12, 13, 14, 15}, 8, 4},
        {"10 first page", 10, 1, {0, 2, 8, 9, 10, 11, 12, 13, 14, 15}, 0, 4},
        {"10 second page", 10, 2, {0, 2, 8, 9, 10, 11, 12, 13, 14, 15}, 6, 4},
        {"4 first page", 4, 1, {0, 1, 2, 3}, 0, 2},
        {"16", 16, 1, Range(0, 15), 0, 4},
    };
    for (const LayoutRow& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(16);
        for (int i = 0; i < row.presses; ++i)
            r.divisions->PressDivision(row.division);
        EXPECT_EQ(r.VisiblePanes(), row.panes);
        std::vector<int> channels;
        for (size_t i = 0; i < row.panes.size(); ++i)
            channels.push_back(row.firstChannel + int(i));
        EXPECT_EQ(r.VisibleChannels(), channels);
        EXPECT_EQ(r.divisions->GridColumns(), row.grid);
        // The pane store follows.
        for (int p = 0; p < kLaidOutPanes; ++p)
            EXPECT_EQ(r.rig.panes.Snapshot(p).visible, r.divisions->PaneVisible(p)) << "pane " << p;
    }
}

struct PagingRow {
    const char* name;
    int division;
    int channelCount;
    std::vector<int> firstChannels; // channel of the first visible pane after each press
};

TEST(DivisionsTest, PagingTable)
{
    const PagingRow rows[] = {
        // -4, 0, 4, 8, 12, 16 wraps
        {"4 of 16", 4, 16, {0, 4, 8, 12, 0}},
        {"4 of 8", 4, 8, {0, 4, 0}},
        // 16: -5, 0, 5, 10, 15 wraps (14 or more)
        {"6 of 16", 6, 16, {0, 5, 10, 0}},
        // 9: -5 + 3 = -2 (shows from 0), 1, 4, 7 wraps (above 4)
        {"6 of 9", 6, 9, {0, 1, 4, 0}},
        // 8: -5 + 2 = -3 wraps (below 0), 2, 4 wraps (above 3)
        {"6 of 8", 6, 8, {0, 2, 0}},
        // 4 channels do not page division 6: page start stays -5
        {"6 of 4", 6, 4, {0, 0}},
        {"8 of 16", 8, 16, {0, 8, 0}},
        {"8 of 9 stays", 8, 9, {0, 0}},
        {"9 of 8 stays", 9, 8, {0, 0}},
        {"10 of 16", 10, 16, {0, 6, 0}},
        {"10 of 9 stays", 10, 9, {0, 0}},
        // 13 never pages: pane 0 shows channel 1 (channel 0 is in pane 5)
        {"13 of 16", 13, 16, {1, 1}},
        {"16 of 16", 16, 16, {0, 0}},
    };
    for (const PagingRow& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(row.channelCount);
        for (size_t i = 0; i < row.firstChannels.size(); ++i) {
            r.divisions->PressDivision(row.division);
            const std::vector<int> channels = r.VisibleChannels();
            ASSERT_FALSE(channels.empty()) << "press " << i + 1;
            EXPECT_EQ(channels.front(), row.firstChannels[i]) << "press " << i + 1;
        }
    }
}

TEST(DivisionsTest, Div1PagesModuloTheCountIntoTheSingleView)
{
    DivisionRig r(4);
    // -1 + 1 = 0, 1, 2, 3, then 4 modulo 4 = 0.
    const int expected[] = {0, 1, 2, 3, 0};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(r.divisions->PressDivision(1), kSingleViewDivision);
        EXPECT_EQ(r.divisions->SelectedChannel(), expected[i]);
        EXPECT_EQ(r.rig.state.selectedChannel.load(), expected[i]);
        EXPECT_EQ(r.VisiblePanes(), std::vector<int>{expected[i]});
        EXPECT_TRUE(r.divisions->PaneSingleView(expected[i]));
        EXPECT_EQ(r.divisions->GridColumns(), 1);
    }
    EXPECT_EQ(r.rig.state.division.load(), kSingleViewDivision);
}

TEST(DivisionsTest, CaptionsByPaneBelowTheChannelCount)
{
    DivisionRig r(6);
    r.divisions->PressDivision(9);
    const char* expected[kLaidOutPanes] = {"Cam_01 ", "Cam_02 ", "Cam_03 ", "Cam_04 ", "Cam_05 ", "Cam_06 ",
                                           "", "", "", "", "", "", "", "", "", ""};
    for (int p = 0; p < kLaidOutPanes; ++p)
        EXPECT_EQ(r.rig.panes.Snapshot(p).caption, expected[p]) << "pane " << p;
}

TEST(DivisionsTest, SetDivisionResetsPanesAndFlags)
{
    DivisionRig r(16);
    r.rig.panes.SetTimeText(2, "12:00");
    r.rig.renderer.SetDecodable(3);
    ASSERT_TRUE(r.rig.renderer.IsDecodable(3));
    EXPECT_EQ(r.divisions->SetDivision(9, -1, false, false), 9);
    EXPECT_EQ(r.rig.panes.Snapshot(2).timeText, "");
    EXPECT_FALSE(r.rig.renderer.IsDecodable(3));
    EXPECT_EQ(r.rig.state.division.load(), 9);
    // Every pane is invalidated.
    std::set<int> invalidated(r.invalidated.begin(), r.invalidated.end());
    EXPECT_EQ(invalidated.size(), size_t(kLaidOutPanes));
    // Hidden panes keep their own number as channel.
    EXPECT_EQ(r.divisions->PaneChannel(12), 12);
}

TEST(DivisionsTest, DvrRequestOnlyWhenConnectedAndNotified)
{
    struct Row {
        const char* name;
        bool loggedIn;
        bool notify;
        int division;
        std::vector<int> requests;
    };
    const Row rows[] = {
        {"connected, notify", true, true, 9, {9}},
        {"connected, no notify", true, false, 9, {}},
        {"not connected", false, true, 9, {}},
        {"division 13", true, true, 13, {13}},
        {"division 1 sends none", true, true, 1, {}},
        {"single view sends none", true, true, 201, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(16);
        r.rig.state.loggedIn = row.loggedIn;
        r.divisions->SetDivision(row.division, 0, false, row.notify);
        EXPECT_EQ(r.requests, row.requests);
    }
}

TEST(DivisionsTest, UnchangedFixedDivisionReturnsAtOnceWhenConnected)
{
    struct Row {
        const char* name;
        int division;
        int channelCount;
        bool loggedIn;
        bool returnsEarly;
    };
    const Row rows[] = {
        {"16 of 16", 16, 16, true, true},
        {"13 of 16", 13, 16, true, true},
        {"9 of 9", 9, 9, true, true},
        {"8 of 8", 8, 8, true, true},
        {"10 of 8", 10, 8, true, true},
        {"9 of 16 pages", 9, 16, true, false},
        {"16 of 16 not connected", 16, 16, false, false},
        {"4 of 4", 4, 4, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(row.channelCount);
        r.divisions->SetDivision(row.division, -1, false, false);
        r.rig.state.loggedIn = row.loggedIn;
        r.rig.panes.SetTimeText(0, "kept?");
        r.requests.clear();
        EXPECT_EQ(r.divisions->SetDivision(row.division, -1, true, true), row.division);
        EXPECT_EQ(r.rig.panes.Snapshot(0).timeText, row.returnsEarly ? "kept?" : "");
        EXPECT_EQ(r.requests.empty(), row.returnsEarly || !row.loggedIn);
    }
}

TEST(DivisionsTest, MovedChannelsGetTheNoVideoPicture)
{
    QImage noVideo(4, 4, QImage::Format_RGB888);
    noVideo.fill(Qt::red);
    struct Row {
        const char* name;
        uint32_t streamState;
        bool clearPanes;
        bool expectMarked;
    };
    const Row rows[] = {
        {"stream running", kStreamRequested, true, true},
        {"stream idle", kStreamIdle, true, false},
        {"stream stopped", kStreamStopped, true, false},
        {"no clearPanes", kStreamRequested, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(16, noVideo);
        r.rig.state.loggedIn = true;
        r.divisions->SetDivision(4, -1, false, false);
        for (int p = 0; p < kPaneCount; ++p)
            r.rig.panes.SetNoVideo(p, false);
        // Channel 7 was last drawn in pane 1, which now shows channel 3: pane 7
        // is marked; channel 1's pane (1) shows 3 as well, so pane 1 too.
        r.rig.panes.RecordMapping(1, 7);
        r.rig.panes.SetPane(1, 3, true, "");
        r.rig.state.streamState = row.streamState;
        r.divisions->SetDivision(9, 0, row.clearPanes, true);
        for (int p = 0; p < kLaidOutPanes; ++p) {
            const bool marked = row.expectMarked && (p == 1 || p == 7);
            EXPECT_EQ(r.rig.panes.Snapshot(p).noVideo, marked) << "pane " << p;
            if (marked) {
                EXPECT_EQ(r.rig.panes.Snapshot(p).image.pixelColor(0, 0), QColor(Qt::red)) << "pane " << p;
            }
        }
    }
}

TEST(DivisionsTest, WheelPagesOnlyWhenTheCountExceedsTheDivision)
{
    struct Row {
        const char* name;
        int channelCount;
        int division;
        bool forward;
        bool acts;
        int firstChannel; // of the first visible pane afterwards
    };
    const Row rows[] = {
        {"4 of 4 forward", 4, 4, true, false, 0},
        {"4 of 4 back", 4, 4, false, false, 0},
        {"9 of 9 back", 9, 9, false, false, 0},
        {"16 of 16 forward", 16, 16, true, false, 0},
        {"13 of 16 forward", 16, 13, true, false, 1},
        // Page 0 - 7 = -7 is negative: 16 - 9 = 7.
        {"9 of 16 back", 16, 9, false, true, 7},
        // Page 0 + 7 = 7.
        {"9 of 16 forward", 16, 9, true, true, 7},
        // 0 - 4 = -4: 16 - 4 = 12.
        {"4 of 16 back", 16, 4, false, true, 12},
        // 0 - 4 = -4: 8 - 4 = 4.
        {"4 of 8 back", 8, 4, false, true, 4},
        // 0 - 2 = -2: 8 - 6 = 2.
        {"6 of 8 back", 8, 6, false, true, 2},
        // 0 - 5 = -5: 16 - 6 = 10.
        {"6 of 16 back", 16, 6, false, true, 10},
        // 0 - 8 = -8: 16 - 8 = 8.
        {"8 of 16 back", 16, 8, false, true, 8},
        // 0 - 6 = -6: 16 - 10 = 6.
        {"10 of 16 back", 16, 10, false, true, 6},
        // 9 channels do not page division 8: always 0.
        {"8 of 9 back", 9, 8, false, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(row.channelCount);
        r.divisions->PressDivision(row.division); // page 0 (division 13: fixed)
        const bool acted = row.forward ? r.divisions->WheelForward() : r.divisions->WheelBack();
        EXPECT_EQ(acted, row.acts);
        EXPECT_EQ(r.divisions->Division(), row.division);
        const std::vector<int> channels = r.VisibleChannels();
        ASSERT_FALSE(channels.empty());
        EXPECT_EQ(channels.front(), row.firstChannel);
    }
}

TEST(DivisionsTest, WheelBackTwiceReturnsToTheFirstPage)
{
    DivisionRig r(16);
    r.divisions->PressDivision(9);
    r.divisions->WheelBack(); // 0 -> 7 (negative rule)
    r.divisions->WheelBack(); // 7 - 7 = 0
    EXPECT_EQ(r.VisibleChannels(), Range(0, 8));
}

TEST(DivisionsTest, SelectReportsChangesAndInvalidates)
{
    DivisionRig r(16);
    r.divisions->PressDivision(9);
    r.invalidated.clear();
    EXPECT_TRUE(r.divisions->Select(4));
    EXPECT_EQ(r.divisions->SelectedChannel(), 4);
    EXPECT_EQ(r.rig.state.selectedChannel.load(), 4);
    EXPECT_EQ(r.invalidated.size(), size_t(kLaidOutPanes));
    r.invalidated.clear();
    EXPECT_FALSE(r.divisions->Select(4));
    EXPECT_TRUE(r.invalidated.empty());
}

TEST(DivisionsTest, DoubleClickTogglesTheSingleView)
{
    DivisionRig r(16);
    r.rig.state.loggedIn = true;
    r.divisions->PressDivision(9);
    r.divisions->PressDivision(9); // page 7: pane 2 shows channel 9
    r.divisions->Select(9);
    EXPECT_FALSE(r.divisions->DoubleClick(0)); // pane 0 shows 7, not the selected channel
    EXPECT_EQ(r.divisions->Division(), 9);

    r.requests.clear();
    EXPECT_TRUE(r.divisions->DoubleClick(2));
    EXPECT_EQ(r.entered, std::vector<int>{9});
    EXPECT_EQ(r.divisions->Division(), kSingleViewDivision);
    EXPECT_EQ(r.divisions->PreviousDivision(), 9);
    EXPECT_EQ(r.divisions->PageStartOf(1), 9);
    EXPECT_EQ(r.VisiblePanes(), std::vector<int>{9});
    EXPECT_TRUE(r.divisions->PaneSingleView(9));
    EXPECT_EQ(r.divisions->CaptionChannel(9), 9);
    EXPECT_TRUE(r.requests.empty());

    EXPECT_TRUE(r.divisions->DoubleClick(9));
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.divisions->Division(), 9);
    EXPECT_EQ(r.VisibleChannels(), Range(7, 15)); // back on page 7
    EXPECT_EQ(r.requests, std::vector<int>{9});
}

TEST(DivisionsTest, LeavingTheSingleViewOfDivision16UsesTheChannelCount)
{
    DivisionRig r(8);
    r.divisions->SetDivision(16, -1, false, false);
    r.divisions->Select(3);
    ASSERT_TRUE(r.divisions->DoubleClick(3));
    EXPECT_EQ(r.divisions->PreviousDivision(), 16);
    ASSERT_TRUE(r.divisions->DoubleClick(3));
    EXPECT_EQ(r.divisions->Division(), 8); // 16 is not returned to: the count, 8
    EXPECT_EQ(r.VisiblePanes(), (std::vector<int>{0, 3, 7, 11, 12, 13, 14, 15}));
}

// Pane rectangles in the design's grid area, 756 x 601 at (55, 50) (the
// window's full screen gives the grid its whole client area instead).
struct PlaceRow {
    const char* name;
    int division;
    int pane;
    PaneRect rect;
    double gridW = 756, gridH = 601;
};

TEST(DivisionsPlacePanesTest, RectanglesTable)
{
    const PlaceRow rows[] = {
        // 4: 756 / 2 = 378, 601 / 2 = 300.5 -> 300.
        {"4 pane 0", 4, 0, {55, 50, 378, 300}},
        {"4 pane 1", 4, 1, {55 + 378, 50, 378, 300}},
        {"4 pane 2", 4, 2, {55, 50 + 300, 378, 300}},
        {"4 pane 3", 4, 3, {433, 350, 378, 300}},
        // 9: 756 / 3 = 252, 601 / 3 = 200.33 -> 200.
        {"9 pane 0", 9, 0, {55, 50, 252, 200}},
        {"9 pane 4", 9, 4, {307, 250, 252, 200}},
        {"9 pane 8", 9, 8, {559, 450, 252, 200}},
        // 16: 756 / 4 = 189, 601 / 4 = 150.25 -> 150.
        {"16 pane 0", 16, 0, {55, 50, 189, 150}},
        {"16 pane 15", 16, 15, {55 + 567, 50 + 450, 189, 150}},
        // 6: cells 252 x 200, pane 0 covers 2 x 2.
        {"6 pane 0 enlarged", 6, 0, {55, 50, 504, 400}},
        {"6 pane 2", 6, 2, {559, 50, 252, 200}},
        {"6 pane 5", 6, 5, {559, 250, 252, 200}},
        {"6 pane 6", 6, 6, {55, 450, 252, 200}},
        {"6 pane 8", 6, 8, {559, 450, 252, 200}},
        // 8: cells 189 x 150, pane 0 covers 3 x 3.
        {"8 pane 0 enlarged", 8, 0, {55, 50, 567, 450}},
        {"8 pane 3", 8, 3, {622, 50, 189, 150}},
        {"8 pane 7", 8, 7, {622, 200, 189, 150}},
        {"8 pane 11", 8, 11, {622, 350, 189, 150}},
        {"8 pane 12", 8, 12, {55, 500, 189, 150}},
        {"8 pane 15", 8, 15, {622, 500, 189, 150}},
        // 10: panes 0 and 2 cover 2 x 2 cells of 189 x 150.
        {"10 pane 0 enlarged", 10, 0, {55, 50, 378, 300}},
        {"10 pane 2 enlarged", 10, 2, {55 + 378, 50, 378, 300}},
        {"10 pane 8", 10, 8, {55, 350, 189, 150}},
        {"10 pane 15", 10, 15, {622, 500, 189, 150}},
        // 13: pane 5 at cell (1, 1) covers 2 x 2.
        {"13 pane 0", 13, 0, {55, 50, 189, 150}},
        {"13 pane 5 enlarged", 13, 5, {55 + 189, 50 + 150, 378, 300}},
        {"13 pane 7", 13, 7, {622, 200, 189, 150}},
        {"13 pane 8", 13, 8, {55, 350, 189, 150}},
        {"13 pane 11", 13, 11, {622, 350, 189, 150}},
        // Full screen 4: 836 / 2 = 418, 741 / 2 = 370.5 -> 370.
        {"full 4 pane 3", 4, 3, {55 + 418, 50 + 370, 418, 370}, 836, 741},
        // Full screen 16: 836 / 4 = 209, 741 / 4 = 185.25 -> 185.
        {"full 16 pane 15", 16, 15, {55 + 627, 50 + 555, 209, 185}, 836, 741},
        {"full 8 pane 0 enlarged", 8, 0, {55, 50, 627, 555}, 836, 741},
        {"full 13 pane 5 enlarged", 13, 5, {55 + 209, 50 + 185, 418, 370}, 836, 741},
        // A grid of fractional size: 951.5 / 3 = 317.17 -> 317, 573.14 / 3 = 191.05 -> 191.
        {"9 pane 4 in 951.5 x 573.14", 9, 4, {55 + 317, 50 + 191, 317, 191}, 951.5, 573.14},
        {"9 pane 8 in 951.5 x 573.14", 9, 8, {55 + 634, 50 + 382, 317, 191}, 951.5, 573.14},
    };
    for (const PlaceRow& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(16);
        r.divisions->SetDivision(row.division, -1, false, false);
        const PaneRects rects = PlacePanesInGrid(55, 50, row.gridW, row.gridH, *r.divisions);
        ASSERT_TRUE(rects[size_t(row.pane)].has_value());
        const PaneRect& got = *rects[size_t(row.pane)];
        EXPECT_EQ(got.x, row.rect.x);
        EXPECT_EQ(got.y, row.rect.y);
        EXPECT_EQ(got.w, row.rect.w);
        EXPECT_EQ(got.h, row.rect.h);
    }
}

TEST(DivisionsPlacePanesTest, OnlyVisiblePanesArePlaced)
{
    const struct {
        int division;
        std::vector<int> panes;
    } rows[] = {
        {4, {0, 1, 2, 3}},
        {6, {0, 2, 5, 6, 7, 8}},
        {8, {0, 3, 7, 11, 12, 13, 14, 15}},
        {9, Range(0, 8)},
        {10, {0, 2, 8, 9, 10, 11, 12, 13, 14, 15}},
        {13, {0, 1, 2, 3, 4, 5, 7, 8, 11, 12, 13, 14, 15}},
        {16, Range(0, 15)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.division);
        DivisionRig r(16);
        r.divisions->SetDivision(row.division, -1, false, false);
        const PaneRects rects = PlacePanesInGrid(55, 50, 756, 601, *r.divisions);
        std::vector<int> placed;
        for (int p = 0; p < kLaidOutPanes; ++p)
            if (rects[size_t(p)])
                placed.push_back(p);
        EXPECT_EQ(placed, row.panes);
    }
}

TEST(DivisionsPlacePanesTest, SingleViewGivesTheWholeGridToTheSelectedPane)
{
    struct Row {
        const char* name;
        PaneRect grid;
    };
    const Row rows[] = {
        {"normal", {55, 50, 756, 601}},
        {"whole client area", {0, 0, 1017, 755}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DivisionRig r(16);
        r.divisions->PressDivision(4);
        r.divisions->Select(3);
        ASSERT_TRUE(r.divisions->DoubleClick(3));
        const PaneRects rects = PlacePanesInGrid(row.grid.x, row.grid.y, row.grid.w, row.grid.h, *r.divisions);
        for (int p = 0; p < kLaidOutPanes; ++p) {
            if (p == 3) {
                ASSERT_TRUE(rects[3].has_value());
                EXPECT_EQ(*rects[3], row.grid);
            } else {
                EXPECT_FALSE(rects[size_t(p)].has_value()) << "pane " << p;
            }
        }
    }
}

} // namespace
} // namespace tarnvik

TEST(DivisionsTest, DivisionButtonsAChannelCountCanUse)
{
    const int divisions[] = {1, 4, 6, 8, 9, 10, 13, 16};
    struct Row {
        int channels;
        std::set<int> usable;
    };
    for (const Row& row : {Row{1, {1}}, Row{4, {1, 4}}, Row{8, {1, 4, 6, 8, 9, 10}}, Row{9, {1, 4, 6, 8, 9, 10}},
                           Row{16, {1, 4, 6, 8, 9, 10, 13, 16}}})
        for (int division : divisions)
            EXPECT_EQ(tarnvik::DivisionUsable(division, row.channels), row.usable.count(division) == 1)
                << row.channels << " channels, division " << division;
}
