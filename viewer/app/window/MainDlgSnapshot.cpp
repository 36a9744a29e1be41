// Snapshots and printing in the main window: the panes' context menu
// commands. Pictures are taken from the pane store at the moment of the
// command, never from the screen.
#include "MainDlg.h"

#include "app/dialogs/PrintDialog.h"
#include "app/window/OneCamera.h"
#include "storage/LocalPlayer.h"
#include "video/Divisions.h"
#include "video/Snapshot.h"
#include "video/ViewerCore.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <ctime>
#include <vector>

namespace tarnvik {

void CMainDlg::ConnectPaneMenu(COneCamera* pane)
{
    pane->SetLanguageId(options_.languageId);
    connect(pane, &COneCamera::SaveRequested, this, &CMainDlg::SaveSnapshot);
    connect(pane, &COneCamera::SaveAllRequested, this, &CMainDlg::SaveAllSnapshots);
    connect(pane, &COneCamera::PrintRequested, this, &CMainDlg::PrintSnapshot);
    connect(pane, &COneCamera::ResetRequested, this, &CMainDlg::ResetPane);
}

std::string CMainDlg::CarId() const
{
    const PlayerSource* source = PlayingSource();
    return source ? source->carId : std::string();
}

std::string CMainDlg::AskSnapshotPath(int command, const std::string& proposed)
{
    if (options_.askPath)
        return options_.askPath(command);
    QString folder = QString::fromStdString(app_.profile.recPath);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    const QString path = QFileDialog::getSaveFileName(this, QString(), QDir(folder).filePath(QString::fromStdString(proposed)),
                                                      QStringLiteral("JPG Files (*.jpg)"));
    return path.toStdString();
}

bool CMainDlg::WriteSnapshot(const Image& picture, const std::string& path)
{
    std::string reason;
    if (picture.SaveJpeg(path, reason))
        return true;
    const QString text = QCoreApplication::translate("tarnvik::Snapshots", "The picture could not be saved:\n%1\n%2")
                             .arg(QString::fromStdString(path), QString::fromStdString(reason));
    notifier_.ShowMessage(text.toStdString(), MessageIcon::Warning);
    return false;
}

void CMainDlg::SaveSnapshot(int pane)
{
    // The picture of the moment the command was given, not of when the
    // dialog closes.
    const PaneSnapshot shot = core_->Panes().Snapshot(pane);
    if (shot.image.isNull())
        return;
    const std::string proposed = SnapshotFileName(divisions_->PaneChannel(pane), SnapshotTime(std::time(nullptr)));
    const std::string path = AskSnapshotPath(cmd::SaveImage, proposed);
    if (path.empty())
        return;
    WriteSnapshot(ComposeSnapshot(Image(shot.image), core_->State().pal.load(), shot.caption, shot.timeText, CarId()),
                  path);
}

void CMainDlg::SaveAllSnapshots()
{
    // Every channel's picture as it is now.
    const int channelCount = std::clamp(core_->State().channelCount.load(), 0, kChannelCount);
    std::vector<PaneSnapshot> shots(static_cast<size_t>(channelCount));
    for (int channel = 0; channel < channelCount; ++channel) {
        const int pane = core_->Panes().PaneOfChannel(channel);
        PaneSnapshot shot = core_->Panes().Snapshot(pane);
        // A channel is taken from the pane that shows it; one shown nowhere
        // (another page, the single view of another channel) is saved as
        // the no-video picture, so that every channel still has its file.
        if (!divisions_->PaneVisible(pane) || shot.channel != channel || shot.image.isNull()) {
            shot.image = noVideo_;
            shot.caption = CaptionOfChannel(channel, channelCount);
            shot.timeText.clear();
        }
        shots[size_t(channel)] = std::move(shot);
    }
    const std::string path = AskSnapshotPath(cmd::SaveImageAll, "image");
    if (path.empty())
        return;
    const std::string time = SnapshotTime(std::time(nullptr));
    const bool pal = core_->State().pal.load();
    const std::string carId = CarId();
    for (int channel = 0; channel < channelCount; ++channel) {
        const PaneSnapshot& shot = shots[size_t(channel)];
        // The first file that cannot be written is reported; the others
        // would fail alike.
        if (!WriteSnapshot(ComposeSnapshot(Image(shot.image), pal, shot.caption, shot.timeText, carId),
                           SaveAllFileName(path, channel, time)))
            return;
    }
}

void CMainDlg::PrintSnapshot(int pane)
{
    const PaneSnapshot shot = core_->Panes().Snapshot(pane);
    if (shot.image.isNull())
        return;
    const QSize size = PrintPictureSize(shot.image.width(), core_->State().pal.load());
    Image picture;
    if (!Image(shot.image).Resample(size.width(), size.height(), picture))
        return;
    CPrintDlg dialog(std::move(picture), PrintTextsOf(divisions_->PaneChannel(pane), shot.timeText), this);
    connect(&dialog, &CPrintDlg::PrintRequested, this, [this, &dialog] { PrintPage(dialog); });
    if (options_.askPrint)
        options_.askPrint(dialog);
    else
        dialog.exec();
}

void CMainDlg::PrintPage(CPrintDlg& dialog)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Print ..."));
    bool chosen = false;
    if (options_.askPrinter) {
        chosen = options_.askPrinter(printer);
    } else {
        QPrintDialog ask(&printer, &dialog);
        // Printing to a PDF file stays offered: many desktops have no printer.
        ask.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
        chosen = ask.exec() == QDialog::Accepted;
    }
    if (!chosen)
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    QPainter painter;
    const bool started = painter.begin(&printer);
    if (started) {
        const PrintLayout layout =
            LayOutPrintPage(printer.logicalDpiX(), printer.logicalDpiY(), printer.width(), printer.height());
        PaintPrintPage(painter, layout, dialog.Picture(), dialog.Texts());
        painter.end();
    }
    QApplication::restoreOverrideCursor();
    if (!started) {
        notifier_.ShowMessage(
            QCoreApplication::translate("tarnvik::Snapshots", "The page could not be printed.").toStdString(),
            MessageIcon::Warning);
        return;
    }
    dialog.accept();
}

void CMainDlg::ResetPane(int pane)
{
    if (pane < 0 || pane >= kLaidOutPanes)
        return;
    core_->Panes().ShowPicture(pane, noVideo_, true);
    core_->Panes().SetTimeText(pane, std::string());
    RepaintPane(pane);
}

void CMainDlg::ResetAllPanes()
{
    for (int pane = 0; pane < kLaidOutPanes; ++pane)
        ResetPane(pane);
}

} // namespace tarnvik
