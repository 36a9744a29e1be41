// AVI export through the main window: "Save to AVI File...", live video of
// the test DVR exported to files that ffprobe and ffmpeg read, the button,
// the light and the panes' mark, continuation files and the next free
// name, a folder that cannot be written, and export during local playback.
#include "WindowTestSupport.h"

#include "DvrWriter.h"
#include "app/controls/HoverButton.h"
#include "app/controls/LedButton.h"
#include "app/dialogs/AviSaveDialog.h"
#include "app/dialogs/BackupDialog.h"
#include "app/window/OneCamera.h"
#include "storage/LocalPlayer.h"
#include "support/AviProbe.h"
#include "support/InProcessDvr.h"
#include "video/ViewerCore.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

class WindowAvi : public ::testing::Test {
protected:
    void Make(MainDlgOptions options = {})
    {
        options.askAviSave = [this](CAviSaveDlg& dialog) {
            dialogMask = dialog.ChannelMask();
            dialog.findChild<QPushButton*>("unselectAll")->click();
            okWithoutChannels = dialog.findChild<QPushButton*>("ok")->isEnabled();
            dialog.findChild<QPushButton*>("selectAll")->click();
            allMask = dialog.ChannelMask();
            dialog.SetChannelMask(dialogMask);
            dialog.findChild<QLineEdit*>("fileName")->setText(QString::fromStdString(path));
            if (mask >= 0)
                dialog.SetChannelMask(mask);
            return int(QDialog::Accepted);
        };
        options.openFolder = [this](const std::string& folder) { opened.push_back(folder); };
        f = std::make_unique<WindowFixture>(std::move(options));
    }
    void LogIn()
    {
        testdvr::Options options;
        options.channels = 4;
        dvr = std::make_unique<InProcessDvr>(options, TARNVIK_TESTDVR_MEDIA);
        ASSERT_TRUE(dvr->Started()) << dvr->Error();
        ASSERT_TRUE(LogInTo(*f->window, dvr->Port()));
        for (int pane = 0; pane < 4; ++pane)
            ASSERT_TRUE(WaitFor([&] { return !Core().Panes().Snapshot(pane).noVideo; })) << pane;
    }
    ViewerCore& Core() { return f->window->Core(); }
    AviExport& Avi() { return Core().Export(); }
    void ClickAvi() { f->window->Button(ctl::RecordAvi)->click(); }
    bool FramesReach(int channels, uint32_t frames)
    {
        return WaitFor([&] {
            for (int c = 0; c < channels; ++c)
                if (Avi().FramesWritten(c) < frames)
                    return false;
            return true;
        }, 30000);
    }
    // Each file opens in ffprobe as MJPG at 25 pictures/s and decodes
    // without an error; returns the frames of all of them.
    long CheckFiles(const std::vector<std::string>& files, int width, int height)
    {
        long frames = 0;
        for (const std::string& file : files) {
            const auto stream = ProbeAvi(file);
            EXPECT_TRUE(stream) << file;
            if (!stream)
                continue;
            EXPECT_EQ(stream->codec, "mjpeg") << file;
            EXPECT_EQ(stream->rate, "25/1") << file << ": the channel's own rate";
            EXPECT_EQ(stream->width, width) << file;
            EXPECT_EQ(stream->height, height) << file;
            EXPECT_EQ(DecodeErrors(file), "") << file;
            frames += stream->frames;
        }
        return frames;
    }

    TempDir dir;
    std::unique_ptr<InProcessDvr> dvr;
    std::unique_ptr<WindowFixture> f;
    std::string path;
    int mask = -1; // -1: the dialog's own choice
    int dialogMask = 0; // the channels checked at first
    bool okWithoutChannels = true;
    int allMask = 0;
    std::vector<std::string> opened;
};

} // namespace

TEST_F(WindowAvi, ExportsFourLiveChannelsToFilesThatMatchThePanes)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffprobe/ffmpeg missing: scripts/setup-deps.sh installs them";
    Make();
    ASSERT_NO_FATAL_FAILURE(LogIn());
    CMainDlg& w = *f->window;
    EXPECT_TRUE(w.Button(ctl::RecordAvi)->isEnabled());
    path = dir.path().string() + "/";
    ClickAvi();
    EXPECT_EQ(dialogMask, 0xF) << "the channels below the channel count start checked";
    EXPECT_FALSE(okWithoutChannels);
    EXPECT_EQ(allMask, 0xFFFF);
    ASSERT_TRUE(Avi().Running());
    EXPECT_EQ(w.Button(ctl::RecordAvi)->toolTip(), "Stop AVI Rec");
    EXPECT_EQ(w.Light(ctl::AviLight)->State(), 1);
    EXPECT_TRUE(w.Pane(2)->LineText().endsWith("  AVI Recording...")) << w.Pane(2)->LineText().toStdString();

    ASSERT_TRUE(FramesReach(4, 75)) << "three seconds of each channel";
    // The DVR stops sending: the last picture of each pane is the last frame
    // of its file.
    ASSERT_TRUE(dvr->Control("stall"));
    uint32_t before = 0;
    ASSERT_TRUE(WaitFor([&] {
        QTest::qWait(300);
        const uint32_t now = Avi().FramesWritten(0);
        return std::exchange(before, now) == now;
    }));
    const QImage pane = Core().Panes().Snapshot(0).image;
    ClickAvi();
    EXPECT_FALSE(Avi().Running());
    EXPECT_EQ(w.Button(ctl::RecordAvi)->toolTip(), "Record to AVI File");
    EXPECT_EQ(w.Light(ctl::AviLight)->State(), 0);
    EXPECT_FALSE(w.Pane(2)->LineText().contains("AVI"));
    EXPECT_EQ(opened, std::vector<std::string>{path}) << "the folder is opened";
    EXPECT_TRUE(f->notifier.Texts().empty());

    for (int c = 0; c < 4; ++c) {
        const std::vector<std::string> files = Avi().Files(c);
        ASSERT_EQ(files.size(), 1u) << c;
        EXPECT_TRUE(std::regex_match(files[0], std::regex(".*/[0-9]{8}_[0-9]{6}_ch" + std::to_string(c) + "_0\\.avi")))
            << files[0];
        const QImage shown = Core().Panes().Snapshot(c).image; // the D1 clip on channel 1, CIF on the others
        const long frames = CheckFiles(files, shown.width(), shown.height());
        EXPECT_NEAR(frames, long(Avi().FramesWritten(c)), 1) << c;
    }

    // The last frame against the pane, below the text line drawn into it.
    const long last = long(Avi().FramesWritten(0)) - 1;
    const std::vector<uint8_t> frame = FrameBgr(Avi().Files(0)[0], last);
    ASSERT_EQ(frame.size(), size_t(pane.width()) * pane.height() * 3);
    double difference = 0;
    long samples = 0;
    for (int y = pane.height() / 4; y < pane.height(); ++y) {
        const uint8_t* row = pane.constScanLine(y);
        for (int x = 0; x < pane.width() * 3; ++x, ++samples)
            difference += std::abs(int(row[x]) - int(frame[(size_t(y) * pane.width()) * 3 + x]));
    }
    EXPECT_LT(difference / double(samples), 6.0);
}

TEST_F(WindowAvi, ContinuationFilesFollowTheNextFreeName)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffprobe/ffmpeg missing: scripts/setup-deps.sh installs them";
    MainDlgOptions options;
    options.aviContinuationBytes = 300000;
    Make(std::move(options));
    ASSERT_NO_FATAL_FAILURE(LogIn());
    // A file of the first name is there already; the chosen name's stem
    // replaces the time in the names.
    std::ofstream(dir / "capture_ch0_0.avi") << "someone else's";
    path = dir / "capture.avi";
    mask = 0x1;
    ClickAvi();
    EXPECT_TRUE(f->window->Pane(0)->LineText().endsWith("AVI Recording..."));
    EXPECT_FALSE(f->window->Pane(1)->LineText().contains("AVI")) << "only the exported channel";
    ASSERT_TRUE(WaitFor([&] { return Avi().Files(0).size() >= 3; }, 30000));
    ClickAvi();

    const std::vector<std::string> files = Avi().Files(0);
    ASSERT_GE(files.size(), 3u);
    const std::string first = dir / "capture_ch0_1.avi";
    EXPECT_EQ(files[0], first);
    EXPECT_EQ(files[1], first + "0001.avi");
    EXPECT_EQ(files[2], first + "0002.avi");
    for (size_t i = 0; i + 1 < files.size(); ++i)
        EXPECT_GT(std::filesystem::file_size(files[i]), 300000u) << "closed just past the limit";
    const QImage pane = Core().Panes().Snapshot(0).image;
    EXPECT_NEAR(CheckFiles(files, pane.width(), pane.height()), long(Avi().FramesWritten(0)), 1);
    EXPECT_EQ(std::filesystem::file_size(dir / "capture_ch0_0.avi"), 14u) << "never overwritten";
}

TEST_F(WindowAvi, AFolderThatCannotBeWrittenIsReportedOnce)
{
    Make();
    ASSERT_NO_FATAL_FAILURE(LogIn());
    // Root writes into any folder whose mode forbids it; /proc refuses new files to anyone.
    std::string folder = "/proc";
    if (::geteuid() != 0) {
        folder = dir / "readonly";
        std::filesystem::create_directory(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    path = folder;
    ClickAvi();
    ASSERT_TRUE(WaitFor([&] { return !f->notifier.Texts().empty(); }));
    ASSERT_TRUE(WaitFor([&] { return !Avi().Running(); })) << "every channel failed: the export is over";
    EXPECT_EQ(f->window->Light(ctl::AviLight)->State(), 0);
    EXPECT_EQ(f->window->Button(ctl::RecordAvi)->toolTip(), "Record to AVI File");
    const std::vector<std::string> texts = f->notifier.Texts();
    ASSERT_EQ(texts.size(), 1u) << "one message for the four channels";
    EXPECT_EQ(texts[0].rfind("AVI Save failed !\n" + folder + "/", 0), 0u) << texts[0];
    for (int c = 0; c < 4; ++c)
        EXPECT_TRUE(Avi().Files(c).empty()) << c;
}

TEST_F(WindowAvi, LocalPlaybackExportsEveryChannelAtItsSize)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffprobe/ffmpeg missing: scripts/setup-deps.sh installs them";
    MainDlgOptions options;
    options.askPath = [this](int) { return dir / "rec.DVR"; };
    // With a source open the button offers the backup; its AVI choice exports.
    bool backupAsked = false;
    options.askBackup = [&backupAsked](CBackupDlg& dialog) {
        backupAsked = true;
        dialog.findChild<QRadioButton*>("aviData")->click();
        return int(QDialog::Accepted);
    };
    Make(std::move(options));
    mkdvr::MkdvrOptions recording;
    recording.mediaDir = TARNVIK_TESTDVR_MEDIA;
    recording.seconds = 3;
    std::string error;
    ASSERT_TRUE(mkdvr::WriteBackup(recording, dir / "rec.DVR", error)) << error;
    CMainDlg& w = *f->window;
    w.Button(ctl::FileMode)->click();
    ASSERT_TRUE(w.Player()->WaitIdle(std::chrono::milliseconds(10000)));

    path = (dir / "avi").string() + "/";
    ClickAvi();
    EXPECT_TRUE(backupAsked);
    ASSERT_TRUE(Avi().Running());
    w.Button(ctl::LocalPlay)->click();
    ASSERT_TRUE(WaitFor([&] { return w.Player()->AtEnd(); }, 60000));
    ASSERT_TRUE(w.Player()->WaitIdle(std::chrono::milliseconds(10000)));
    // Stopping the playback completes the files of its source.
    w.Button(ctl::LocalStop)->click();
    EXPECT_FALSE(Avi().Running());
    EXPECT_EQ(w.Light(ctl::AviLight)->State(), 0);
    for (int c = 0; c < 4; ++c) {
        const QImage pane = Core().Panes().Snapshot(c).image;
        const std::vector<std::string> files = Avi().Files(c);
        ASSERT_EQ(files.size(), 1u) << c;
        EXPECT_GT(Avi().FramesWritten(c), 40u) << c;
        EXPECT_NEAR(CheckFiles(files, pane.width(), pane.height()), long(Avi().FramesWritten(c)), 1) << c;
    }
}
