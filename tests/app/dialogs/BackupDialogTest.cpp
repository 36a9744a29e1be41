// The backup's progress dialog: its percentage while the worker copies, and
// its Cancel button, which ends the dialog only once the worker has stopped
// and deleted the copy.
#include "DialogTestSupport.h"

#include "app/dialogs/BackupDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace tarnvik;
using namespace tarnvik::test;

namespace {

TEST(BackupProgress, CancelWaitsForTheWorkerAndLeavesNoCopy)
{
    TempDir dir;
    const std::string source = (dir / "source.avs").string();
    std::ofstream(source, std::ios::binary) << std::string(1 << 20, 'x');
    BackupRequest request;
    request.plan.kind = PlayerSource::Kind::Recording;
    request.plan.sourcePath = source;
    request.plan.startPosition = 0;
    request.plan.endPosition = 1 << 20;
    request.folder = (dir / "out").string();
    request.chunkBytes = 64 * 1024; // 16 chunks
    // The worker holds after its first chunk until the test lets it go.
    std::atomic<bool> release{false};
    request.afterChunk = [&](uint32_t done) {
        while (done == 1 && !release)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    CBackupProgressDlg dialog(QStringLiteral("Backup Raw Data..."), std::move(request));
    QString percent;
    bool cancelled = false;
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, &dialog, [&] {
        if (dialog.Job().ChunksDone() < 1 || cancelled)
            return;
        cancelled = true;
        QTest::qWait(120); // the dialog's 50 ms timer shows the chunk
        percent = dialog.PercentLabel()->text();
        dialog.CancelButton()->click();
        EXPECT_TRUE(dialog.isVisible()) << "the worker has not stopped yet";
        release = true;
    });
    poke.start(10);
    EXPECT_EQ(dialog.exec(), int(QDialog::Rejected));
    EXPECT_EQ(percent, QStringLiteral("06 %"));
    EXPECT_EQ(dialog.Job().Status(), BackupStatus::Cancelled);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
}

} // namespace
