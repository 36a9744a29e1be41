// The backup's dialogs: the progress dialog's percentage while its worker
// copies, and its Cancel button, which ends the dialog only once the worker
// has stopped and deleted the copy; the "Backup" dialog's choices.
#include "DialogTestSupport.h"

#include "app/dialogs/BackupDialog.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
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

TEST(BackupDialog, RangeFolderAndTheChoiceOfData)
{
    BackupTexts texts;
    texts.raw = QStringLiteral("Raw Data");
    texts.avi = QStringLiteral("Avi Data");
    CBackupDlg dialog(texts, 1767600000, 1767600600, QStringLiteral("/rec/"));
    EXPECT_EQ(dialog.StartTime(), 1767600000u);
    EXPECT_EQ(dialog.EndTime(), 1767600600u);
    EXPECT_EQ(dialog.Folder(), QStringLiteral("/rec/"));
    EXPECT_TRUE(dialog.RawData());
    const auto radios = dialog.findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    EXPECT_FALSE(radios[1]->isEnabled()) << "AVI data is not offered yet";
    // The pickers join a date and a time of the same row.
    dialog.findChildren<QDateEdit*>()[1]->setDate(QDate(2026, 1, 6));
    EXPECT_EQ(dialog.EndTime(), 1767600600u + 86400u);
}

} // namespace
