// CAviSaveDlg: "Save to AVI File...", asked before an AVI export starts.
// "Filename :" holds where the files go (a folder, or a file name whose
// stem replaces the date and time in the files' names); "Setting avi file
// name" chooses it with a save dialog. "CAM 01" .. "CAM 16" choose the
// channels (those below the channel count start checked), "Select All" and
// "UnSelect All" set them all. OK needs at least one channel.
//
// Object names for tests: "fileName", "setFileName", "cam1" .. "cam16",
// "selectAll", "unselectAll", "ok", "cancel".
#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tarnvik {

class CAviSaveDlg : public QDialog {
    Q_OBJECT
public:
    // `path`: the path shown at first. `askFile` replaces the save dialog
    // (tests); it gets the path shown and returns the one chosen, or an
    // empty text for Cancel.
    CAviSaveDlg(const QString& path, int channelCount, QWidget* parent = nullptr,
                std::function<QString(const QString&)> askFile = {});

    QString Path() const;
    // Bit c: channel c is checked.
    int ChannelMask() const;
    void SetChannelMask(int mask);

private:
    void UpdateOk();

    QLineEdit* path_ = nullptr;
    std::array<QCheckBox*, 16> cams_{};
    QPushButton* ok_ = nullptr;
    std::function<QString(const QString&)> askFile_;
};

} // namespace tarnvik
