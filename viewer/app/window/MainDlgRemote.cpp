// Remote playback by time in the main window: the playback page, the remote
// Play, Stop and step buttons, the date and time pickers the steps read, and
// the "DVR Playback" dialog that chooses where Play starts.
#include "MainDlg.h"

#include "app/controls/HoverButton.h"
#include "app/dialogs/DvrPlaybackDialog.h"
#include "app/window/TabPages.h"
#include "dvrformat/Messages.h"
#include "net/Notifier.h"
#include "video/ViewerCore.h"

#include <QDateEdit>
#include <QTabWidget>
#include <QTimeEdit>

namespace tarnvik {

namespace {

constexpr int kRemoteBar[] = {ctl::RemotePlay, ctl::RemoteStop, ctl::RemoteStepRw, ctl::RemoteStepFf};

uint32_t DvrTimeOf(const QDate& date, const QTime& time)
{
    return dvrformat::MakeDvrTime(date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second());
}

} // namespace

void CMainDlg::BuildRemote()
{
    datePicker_ = new QDateEdit(QDate::currentDate(), this);
    datePicker_->setObjectName(QStringLiteral("ctl%1").arg(ctl::DatePicker));
    datePicker_->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    datePicker_->setCalendarPopup(true);
    datePicker_->setGeometry(830, 702, 88, 24);
    timePicker_ = new QTimeEdit(QTime::currentTime(), this);
    timePicker_->setObjectName(QStringLiteral("ctl%1").arg(ctl::TimePicker));
    timePicker_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    timePicker_->setGeometry(922, 702, 88, 24);
    for (int id : kRemoteBar)
        remoteBar_.push_back(Button(id));
    remoteBar_.push_back(datePicker_);
    remoteBar_.push_back(timePicker_);
    chrome_.push_back(datePicker_);
    chrome_.push_back(timePicker_);
    ShowRemoteControls(false);
    shownPage_ = sheet_->currentWidget();

    DvrSession& session = core_->Session();
    netTab_->SetTimeResetRule([this] {
        return core_->State().streamState.load() == kStreamIdle && core_->State().loggedIn.load();
    });
    connect(netTab_, &CTabNetSearch::PlayClicked, this, [this] {
        // Before a time is chosen there is nothing sensible to play from.
        if (playTime_.isValid())
            RemotePlay();
        else
            OnRemotePlayButton();
    });
    connect(netTab_, &CTabNetSearch::PauseClicked, this, [&session] { session.RemotePause(); });
    connect(netTab_, &CTabNetSearch::StepNextClicked, this, [this] { RemoteStep(true); });
    connect(netTab_, &CTabNetSearch::StepPrevClicked, this, [this] { RemoteStep(false); });
    connect(netTab_, &CTabNetSearch::TimeResetClicked, this, [this, &session] {
        session.RemoteTimeReset();
        netTab_->UpdateTimeReset();
    });
}

void CMainDlg::ShowRemoteControls(bool shown)
{
    for (QWidget* w : remoteBar_)
        w->setVisible(shown && !fullScreen_);
}

void CMainDlg::SetPlayTime(const QDateTime& at)
{
    playTime_ = at;
    // The steps start where Play did.
    datePicker_->setDate(at.date());
    timePicker_->setTime(at.time());
    netTab_->SetPlayTimeText(at.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
}

void CMainDlg::OnRemotePlayButton()
{
    const QDateTime start = playTime_.isValid() ? playTime_ : QDateTime(datePicker_->date(), timePicker_->time());
    CDvrPlaybackDlg dialog(start, this);
    const int result = options_.askPlayTime ? options_.askPlayTime(dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return;
    SetPlayTime(dialog.Chosen());
    RemotePlay();
}

void CMainDlg::RemotePlay()
{
    if (!core_->Session().RemotePlay(DvrTimeOf(playTime_.date(), playTime_.time()))) {
        notifier_.ShowMessage(LoadText(36000).toStdString(), MessageIcon::Information);
        return;
    }
    netTab_->UpdateTimeReset();
}

void CMainDlg::RemoteStep(bool forward)
{
    if (!core_->State().loggedIn.load())
        return;
    const QDate date = datePicker_->date();
    const QTime time = timePicker_->time();
    if (!date.isValid() || !time.isValid()) {
        notifier_.ShowMessage(tr("Time not set!").toStdString(), MessageIcon::Warning);
        return;
    }
    core_->Session().RemoteStep(forward, DvrTimeOf(date, time));
    netTab_->UpdateTimeReset();
}

} // namespace tarnvik
