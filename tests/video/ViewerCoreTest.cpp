// The headless viewer against the test DVR over loopback: sixteen channels
// of H.264 and one of JPEG pictures land in the right panes for each
// division, with their captions and time texts, and a pane holds exactly
// what the decoder library makes of that channel's clip.
#include "VideoTestSupport.h"

#include "support/InProcessDvr.h"
#include "Session.h"
#include "video/ViewerCore.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
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

    // The DVR's clock `offsetMs` from now, written as the panes' time texts
    // are (which compare as text). A pane whose time text is later than the
    // DVR's clock at some moment shows a picture sent after it, however far
    // behind the reader or the decoding workers are.
    static std::string DvrTimeText(int offsetMs)
    {
        uint32_t seconds = 0;
        uint16_t milliseconds = 0;
        testdvr::DvrNow(seconds, milliseconds);
        const int64_t at = int64_t(seconds) * 1000 + milliseconds + offsetMs;
        return FrameTimeText(uint32_t(at / 1000), int(at % 1000));
    }

    // Every visible pane of the division shows a picture sent after `since`
    // of the channel the division assigns it, with its caption and time
    // text. Panes that the division hides may be drawn into too (the mapping
    // only drops channels beyond the channel count). The JPEG channel's
    // pictures go to pane 0, so its own pane stays empty.
    bool VisiblePanesShowPicturesAfter(const std::string& since, int visibleCount)
    {
        for (int pane = 0; pane < visibleCount; ++pane)
            if (pane != kJpegChannel && !(core->Panes().Snapshot(pane).timeText > since))
                return false;
        return true;
    }
    void ExpectVisiblePanes(const std::string& since, int visibleCount)
    {
        const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})");
        for (int pane = 0; pane < visibleCount; ++pane) {
            if (pane == kJpegChannel)
                continue;
            SCOPED_TRACE("pane " + std::to_string(pane));
            const PaneSnapshot s = core->Panes().Snapshot(pane);
            EXPECT_GT(s.timeText, since);
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
    for (const auto& [division, pageStart] : {std::pair{4, 0}, std::pair{9, 0}, std::pair{16, -1}}) {
        SCOPED_TRACE("DIV " + std::to_string(division));
        core->ShowDivision(division, pageStart, 0);
        const std::string switched = DvrTimeText(0);
        // Each channel shows again from its next key picture.
        WaitFor([&] { return VisiblePanesShowPicturesAfter(switched, division); }, 20000);
        ExpectVisiblePanes(switched, division);
    }

    // The single view of channel 5: the DVR is asked for that channel alone,
    // and only pane 5 shows pictures sent after that (pictures sent before
    // may still be on their way to other panes).
    core->ShowDivision(201, -1, 5);
    ASSERT_TRUE(dvr->WaitForLog("channels=0x0020"));
    const std::string asked = DvrTimeText(500); // the DVR's streaming thread takes the request
    const std::string later = DvrTimeText(1500);
    ASSERT_TRUE(WaitFor([&] { return core->Panes().Snapshot(5).timeText > later; }, 20000));
    for (int pane = 0; pane < 16; ++pane) {
        if (pane != 5) {
            EXPECT_LT(core->Panes().Snapshot(pane).timeText, asked) << "pane " << pane;
        }
    }
    EXPECT_EQ(core->Panes().Snapshot(5).caption, "Cam_06 ");
    EXPECT_TRUE(notifier.Texts().empty());
}

TEST_F(ViewerCoreWithDvr, ReconnectingClearsThePanes)
{
    core->ShowDivision(4, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !core->Panes().Snapshot(1).image.isNull(); }));
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
    core->ShowDivision(4, 0, 0);
    // Pane 0 alternates between channel 0 (CIF H.264, 16 lines cut) and the
    // JPEG channel (352 x 288 whole).
    ASSERT_TRUE(WaitFor([&] { return core->Panes().Snapshot(0).image.height() == 288; }));
    EXPECT_EQ(core->Panes().Snapshot(0).image.width(), 352);
    ASSERT_TRUE(WaitFor([&] { return core->Panes().Snapshot(0).image.height() == 272; }));
}

TEST_F(ViewerCoreWithDvr, PaneImageIsTheLibrarysOwnPicture)
{
    core->ShowDivision(4, 0, 0);
    ASSERT_TRUE(WaitFor([&] {
        return !core->Panes().Snapshot(1).image.isNull() && !core->Panes().Snapshot(2).image.isNull();
    }));
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
