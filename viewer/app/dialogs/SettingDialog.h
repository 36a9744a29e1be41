// CSettingDlg: "Network Viewer Setting...", where the user edits the saved
// DVR profiles. The rules (which profile a typed address updates, the list
// limits, deleting) are the plain functions of ProfileEditing.h; the dialog
// shows their inputs and results and passes every message to a Notifier.
//
//     CSettingDlg dlg(ini, app, notifier, sessionRunning, this);
//     if (dlg.exec() == QDialog::Accepted) {
//         if (dlg.ChannelLayoutReset())
//             ... set 4 channels and rebuild the video layout
//         ... apply app (window size, hide caption, ...)
//     }
#pragma once

#include "app/ProfileEditing.h"
#include "net/Notifier.h"

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace tarnvik {

class SettingAddressBox;

// The window-size fields accept these many pixels.
constexpr int kAdjustXMin = 160;
constexpr int kAdjustXMax = 3840;
constexpr int kAdjustYMin = 120;
constexpr int kAdjustYMax = 2160;
constexpr int kAviFrameMin = 1;
constexpr int kAviFrameMax = 30;

// The AVI compressors the program offers, in the order of AVI_fccsel.
inline constexpr const char* kAviCompressorNames[] = {"Motion JPEG (MJPG)"};

class CSettingDlg : public QDialog {
    Q_OBJECT
public:
    // Opens on the current settings: the "ip" field shows app.profile.ip with
    // profile app.main.index selected in its list, the other fields
    // app.profile and app.main.hideCaption.
    //
    // `app` changes only when the file does: on OK (SaveFromDialog's result,
    // also when the file could not be written, so the values apply for this
    // run) and after a profile was deleted (profile 0 becomes current, as
    // DeleteProfile says), even if the dialog is then cancelled. Choosing
    // profiles in the list and then cancelling leaves `app` as it was.
    // `sessionRunning`: a session is connected, so Max Channel is not taken.
    //
    // Choosing an entry of the "ip" list (mouse, arrow keys, wheel) shows that
    // profile as ChooseProfileInDialog loads it. Typing an address never
    // loads one, even an address of the list, so values already edited stay;
    // OK then updates the profile of that address. A list showing no entry
    // (a stored value beyond it) passes on the value it was shown with.
    //
    // Child widgets, by objectName: "ip", "delete", "port", "maxCh", "speed",
    // "codec", "recPath", "browse", "aviCodec", "aviFrame", "fullsize",
    // "halfsize", "ntsc", "pal", "adjustX", "adjustY", "hideCaption", "ok",
    // "cancel".
    CSettingDlg(const IniFile& ini, AppSettings& app, Notifier& notifier, bool sessionRunning,
                QWidget* parent = nullptr);

    // The "..." button asks `chooser` for a folder; an empty string means the
    // user cancelled. By default a folder chooser titled "Select local
    // recording path" opens on the current path. Tests set their own.
    void SetDirectoryChooser(std::function<QString()> chooser);

    // True after OK when no session was running: Max Channel was taken, and
    // the caller sets 4 channels and rebuilds its video layout.
    bool ChannelLayoutReset() const;

private:
    void FillAddresses();
    void ShowFields();
    ProfileDialogFields CollectFields() const;
    void OnProfileChosen(int index);
    void OnBrowse();
    void OnDelete();
    void OnOk();
    void ShowWriteFailed();

    const IniFile& ini_;
    AppSettings& app_;
    // What the fields show; copied to app_ when the file changes.
    AppSettings edit_;
    Notifier& notifier_;
    const bool sessionRunning_;
    std::function<QString()> chooseDirectory_;

    SettingAddressBox* ip_;
    QPushButton* delete_;
    QSpinBox* port_;
    QComboBox* maxCh_;
    QComboBox* speed_;
    QComboBox* codec_;
    QLineEdit* recPath_;
    QToolButton* browse_;
    QComboBox* aviCodec_;
    QSpinBox* aviFrame_;
    QRadioButton* fullsize_;
    QRadioButton* halfsize_;
    QRadioButton* ntsc_;
    QRadioButton* pal_;
    QSpinBox* adjustX_;
    QSpinBox* adjustY_;
    QCheckBox* hideCaption_;
};

} // namespace tarnvik
