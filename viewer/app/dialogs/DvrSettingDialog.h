// CDvrSettingDlg: "DVR Setting", the editor of the in-car DVR's setup file
// (dvr.ini). Eight skinned page buttons in a column show one page of
// controls each; Apply writes the file and closes, Cancel closes, Save as
// writes the file and copies it to a file the user names. What the values
// mean and how they are read and written is DvrSetup (app/DvrSetupFile.h);
// the dialog shows them and collects them back.
//
// Child widgets, by objectName: "page1" .. "page8", "apply", "cancel",
// "saveAs", "title", "date", "time", "buzzer", "cameraName", "clock",
// "recordStatus", "videoLoss", "channel", "bright", "hue", "contrast",
// "saturation", "redWire", "greenWire", "blueWire", "orangeWire", "audio",
// "quality", "ch1" .. "ch4", "videoUp", "audioUp", "carId", "password",
// "language", and the never-shown "format", "loadDefault", "parkTime",
// "operateInDvr".
#pragma once

#include "app/DvrSetupFile.h"
#include "net/Notifier.h"

#include <QDialog>
#include <QPixmap>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTimeEdit;

namespace tarnvik {

class CDvrSettingDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPageCount = 8;

    // Reads `location.read` at once; Apply and Save as write `location.write`.
    // `loadSkin` gives the skin image of a resource id. `askFile` replaces
    // the save dialog of Save as (tests): it returns the chosen path, or an
    // empty text for Cancel.
    CDvrSettingDlg(DvrIniLocation location, Notifier& notifier, std::function<QPixmap(int)> loadSkin,
                   QWidget* parent = nullptr, std::function<QString()> askFile = {});

    // Shows page 0..7 (the buttons top to bottom); -1 while none is shown.
    void ShowPage(int page);
    int Page() const { return page_; }

    // The values as the controls hold them now: what Apply would write.
    DvrSetup Values();

    // Writes the file; false (after telling the user) when it failed.
    bool Save();
    void SaveAs();

    // A name without an extension gets ".ini", as the save dialog's default.
    static QString WithIniExtension(const QString& path);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void Show(const DvrSetup& setup);
    void StoreCameraFields();
    void ShowCameraFields();
    void OnChannelChanged(int channel);
    QString AskFile();

    DvrIniLocation location_;
    Notifier& notifier_;
    std::function<QString()> askFile_;
    DvrSetup read_;            // as read; keeps what no control edits
    std::array<SetupCamera, 4> cameras_{};
    int cameraChannel_ = 0;    // whose values the camera fields show
    int page_ = -1;
    QPixmap background_;

    std::array<std::vector<QWidget*>, kPageCount> pageWidgets_;
    QLabel* title_ = nullptr;
    QDateEdit* date_ = nullptr;
    QTimeEdit* time_ = nullptr;
    std::array<QComboBox*, 5> status_{}; // camera name, clock, record status, video loss, buzzer
    QComboBox* channel_ = nullptr;
    std::array<QLineEdit*, 4> cameraFields_{}; // bright, hue, saturation, contrast
    std::array<QComboBox*, 4> wires_{};
    QComboBox* quality_ = nullptr;
    QComboBox* audio_ = nullptr;
    std::array<QCheckBox*, 4> recordChannels_{};
    QComboBox* parkTime_ = nullptr;
    QComboBox* videoUp_ = nullptr;
    QComboBox* audioUp_ = nullptr;
    QLineEdit* carId_ = nullptr;
    QLineEdit* password_ = nullptr;
    QComboBox* language_ = nullptr;
    QComboBox* format_ = nullptr;
    QComboBox* loadDefault_ = nullptr;
};

} // namespace tarnvik
