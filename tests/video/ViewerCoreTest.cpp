// The headless viewer against the test DVR over loopback: sixteen channels
// of H.264 and one of JPEG pictures land in the right panes for each
// division, with their captions and time texts, and a pane holds exactly
// what the decoder library makes of that channel's clip.
#include "VideoTestSupport.h"

#include "support/InProcessDvr.h"
#include "video/ViewerCore.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <thread>

using namespace tarnvik;
using tarnvik::test::InProcessDvr;
using tarnvik::test::RecordingNotifier;
using tarnvik::test::RecordingUiBridge;
using std::chrono::milliseconds;

namespace {

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ViewerCoreWithDvr : public ::testing::Test {
protected:
    void SetUp() override
    {
        testdvr::Options options;
        options.port = 0;
        options.channels = 16;
        options.jpegChannel = kJpegChannel;
        options.password = "core";
        dvr = std::make_unique<InProcessDvr>(options, TARNVIK_MEDIA_DIR);
        ASSERT_TRUE(dvr->Started()) << dvr->Error();
        SessionTiming timing;
        timing.stopGrace = milliseconds(50);
        core = std::make_unique<ViewerCore>(notifier, ui, timing);
        ConnectSettings settings;
        settings.host = "127.0.0.1";
        settings.port = dvr->Port();
        settings.password = "core";
        ASSERT_TRUE(core->Connect(settings));
        ASSERT_TRUE(WaitFor([&] { return core->State().loggedIn.load(); }));
        // A sixteen-channel DVR: the window's channel setting says so.
        core->State().channelCount = 16;
    }

    void TearDown() override
    {
        core.reset();
        dvr.reset();
    }

    template <typename Condition>
    bool WaitFor(Condition condition, int ms = 8000)
    {
        for (int i = 0; i < ms / 10; ++i) {
            if (condition())
                return true;
            std::this_thread::sleep_for(milliseconds(10));
        }
        return condition();
    }

    // Switches the division, lets pictures in flight settle, and returns the
    // panes that receive pictures during the next `ms`.
    std::set<int> PanesAfter(int division, int pageStart, int selected, int ms = 1500)
    {
        core->ShowDivision(division, pageStart, selected);
        std::this_thread::sleep_for(milliseconds(300));
        const size_t before = ui.Panes().size();
        std::this_thread::sleep_for(milliseconds(ms));
        const std::vector<int> all = ui.Panes();
        return std::set<int>(all.begin() + long(before), all.end());
    }

    // Every visible pane of the division received pictures of the channel
    // the division assigns it, with its caption and a time text. Panes that
    // the division hides may be drawn into too (the mapping only drops
    // channels beyond the channel count). The JPEG channel's pictures go to
    // pane 0, so its own pane stays empty.
    void ExpectVisiblePanes(const std::set<int>& changed, int visibleCount)
    {
        const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{1,3})");
        for (int pane = 0; pane < visibleCount; ++pane) {
            if (pane == kJpegChannel)
                continue;
            SCOPED_TRACE("pane " + std::to_string(pane));
            EXPECT_EQ(changed.count(pane), 1u);
            const PaneSnapshot s = core->Panes().Snapshot(pane);
            if (pane != 0) {
                EXPECT_EQ(s.channel, pane);
            }
            EXPECT_EQ(s.caption, CaptionOfChannel(s.channel, 16));
            EXPECT_FALSE(s.caption.empty());
            EXPECT_TRUE(std::regex_match(s.timeText, time)) << s.timeText;
            EXPECT_FALSE(s.image.isNull());
        }
    }

    static constexpr int kJpegChannel = 3;
    RecordingNotifier notifier;
    RecordingUiBridge ui;
    std::unique_ptr<InProcessDvr> dvr;
    std::unique_ptr<ViewerCore> core;
};

} // namespace

TEST_F(ViewerCoreWithDvr, DivisionsPutEachChannelInItsPane)
{
    ExpectVisiblePanes(PanesAfter(4, 0, 0), 4);
    ExpectVisiblePanes(PanesAfter(9, 0, 0), 9);
    ExpectVisiblePanes(PanesAfter(16, -1, 0), 16);

    // The single view of channel 5: the DVR is asked for that channel alone
    // and only its pane changes.
    EXPECT_EQ(PanesAfter(201, -1, 5), std::set<int>({5}));
    EXPECT_EQ(core->Panes().Snapshot(5).caption, "Cam_06 ");
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(ViewerCoreWithDvr, ReconnectingClearsThePanes)
{
    PanesAfter(4, 0, 0, 500);
    ASSERT_FALSE(core->Panes().Snapshot(1).image.isNull());
    core->Session().Disconnect();
    ConnectSettings settings;
    settings.host = "127.0.0.1";
    settings.port = dvr->Port();
    settings.password = "wrong"; // refused: no picture can arrive after the reset
    ASSERT_TRUE(core->Connect(settings));
    const PaneSnapshot pane = core->Panes().Snapshot(1);
    EXPECT_TRUE(pane.image.isNull());
    EXPECT_TRUE(pane.timeText.empty());
    EXPECT_TRUE(pane.noVideo);
    ASSERT_TRUE(WaitFor([&] { return !notifier.Texts().empty(); }));
    EXPECT_EQ(notifier.Texts().back(), "Login failed!");
}

TEST_F(ViewerCoreWithDvr, JpegPicturesLandInPaneZeroWithTheirOwnSize)
{
    PanesAfter(4, 0, 0, 500);
    // Pane 0 alternates between channel 0 (CIF H.264, 16 lines cut) and the
    // JPEG channel (352 x 288 whole).
    ASSERT_TRUE(WaitFor([&] { return core->Panes().Snapshot(0).image.height() == 288; }));
    EXPECT_EQ(core->Panes().Snapshot(0).image.width(), 352);
    ASSERT_TRUE(WaitFor([&] { return core->Panes().Snapshot(0).image.height() == 272; }));
}

TEST_F(ViewerCoreWithDvr, PaneImageIsTheLibrarysOwnPicture)
{
    PanesAfter(4, 0, 0, 800);
    core->Session().Disconnect();
    // Channel 2 plays clip2_cif.264 (code 6 from a kind-3 DVR: 8 lines cut at
    // top and bottom); channel 1 plays clip1_d1.264 whole.
    struct Row {
        int pane;
        const char* clip;
        int width, height, top, rows;
    };
    for (const Row& row : {Row{2, "clip2_cif.264", 352, 288, 8, 272}, Row{1, "clip1_d1.264", 720, 576, 0, 576}}) {
        SCOPED_TRACE(row.clip);
        const std::string out = ::testing::TempDir() + "/core_ref." + std::to_string(getpid()) + ".bgr";
        const std::string command = std::string("\"") + TARNVIK_QLDEC + "\" \"" + TARNVIK_MEDIA_DIR + "/" + row.clip +
                                    "\" --format 3 -o \"" + out + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::vector<uint8_t> reference = ReadAll(out);
        std::remove(out.c_str());
        const size_t pictureBytes = size_t(row.width) * row.height * 3;
        ASSERT_GT(reference.size(), pictureBytes);
        const QImage image = core->Panes().Snapshot(row.pane).image;
        ASSERT_EQ(image.width(), row.width);
        ASSERT_EQ(image.height(), row.rows);
        int matching = -1;
        for (size_t picture = 0; picture * pictureBytes < reference.size() && matching < 0; ++picture) {
            bool same = true;
            for (int y = 0; y < row.rows && same; ++y) {
                const uint8_t* want = reference.data() + picture * pictureBytes + size_t(y + row.top) * row.width * 3;
                same = std::memcmp(image.constScanLine(y), want, size_t(row.width) * 3) == 0;
            }
            if (same)
                matching = int(picture);
        }
        EXPECT_GE(matching, 0) << "the pane holds none of the clip's pictures";
    }
}
