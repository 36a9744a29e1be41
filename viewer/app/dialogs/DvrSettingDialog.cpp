#include "app/dialogs/DvrSettingDialog.h"

#include "app/controls/HoverButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QValidator>

#include <filesystem>
#include <system_error>

namespace tarnvik {

namespace {

// Where things sit in the 680 x 540 dialog.
constexpr int kPageX = 19, kPageY = 45, kPageW = 90, kPageH = 50;
constexpr int kCommandY = 485, kCommandW = 90, kCommandH = 40;
constexpr int kLabelX = 170, kLabelW = 210, kFieldX = 390, kFieldW = 220, kRowY = 124, kRowH = 46, kFieldH = 26;

// Skin images of the page buttons, top to bottom, and of the commands.
constexpr int kPageSkins[CDvrSettingDlg::kPageCount] = {300, 301, 302, 303, 304, 306, 307, 305};
constexpr int kApplySkin = 309, kCancelSkin = 310, kSaveAsSkin = 311, kBackgroundSkin = 320;

// Pages, top to bottom.
enum Page { PagePlay, PageTime, PageDisplay, PageCamera, PageSensor, PageRecording, PageStartup, PageSetting };

const QColor kLabelText(214, 220, 230);

// Decimal 0..255 and nothing else: a keystroke that would leave that range
// is refused, so no value is ever stored wrapped.
class CameraValueValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        if (input.isEmpty())
            return Intermediate;
        if (input.size() > 3)
            return Invalid;
        for (QChar c : input)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        return input.toInt() <= 255 ? Acceptable : Invalid;
    }
};

template <size_t N>
QComboBox* NewList(QWidget* parent, const char* name, const std::array<std::string_view, N>& entries)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    for (std::string_view entry : entries)
        list->addItem(QString::fromUtf8(entry.data(), qsizetype(entry.size())));
    return list;
}

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QFont BoldArial(int pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(pixelSize);
    return font;
}

QLabel* NewLabel(QWidget* parent, const QString& text)
{
    auto* label = new QLabel(text, parent);
    SetTextColour(label, kLabelText);
    return label;
}

// The entry shown, or `defaultIndex` when none is.
int Chosen(const QComboBox* list, int defaultIndex)
{
    return list->currentIndex() >= 0 ? list->currentIndex() : defaultIndex;
}

void Select(QComboBox* list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : 0);
}

} // namespace

CDvrSettingDlg::CDvrSettingDlg(DvrIniLocation location, Notifier& notifier, std::function<QPixmap(int)> loadSkin,
                               QWidget* parent, std::function<QString()> askFile)
    : QDialog(parent), location_(std::move(location)), notifier_(notifier), askFile_(std::move(askFile))
{
    setWindowTitle(tr("DVR Setting"));
    setFixedSize(680, 540);
    auto skin = [&loadSkin](int id) { return loadSkin ? loadSkin(id) : QPixmap(); };
    background_ = skin(kBackgroundSkin);

    // ---- Page buttons and commands
    for (int page = 0; page < kPageCount; ++page) {
        auto* button = new CHoverButton(this);
        button->setObjectName(QStringLiteral("page%1").arg(page + 1));
        button->LoadSkin(skin(kPageSkins[page]));
        button->setGeometry(kPageX, kPageY + kPageH * page, kPageW, kPageH);
        connect(button, &CHoverButton::clicked, this, [this, page] { ShowPage(page); });
    }
    struct Command {
        const char* name;
        int skin, x;
        void (CDvrSettingDlg::*action)();
    };
    const Command commands[] = {{"saveAs", kSaveAsSkin, 381, &CDvrSettingDlg::SaveAs},
                                {"cancel", kCancelSkin, 471, &QDialog::reject},
                                {"apply", kApplySkin, 561, nullptr}};
    for (const Command& c : commands) {
        auto* button = new CHoverButton(this);
        button->setObjectName(QLatin1String(c.name));
        button->LoadSkin(skin(c.skin));
        button->setGeometry(c.x, kCommandY, kCommandW, kCommandH);
        if (c.action)
            connect(button, &CHoverButton::clicked, this, c.action);
        else
            connect(button, &CHoverButton::clicked, this, [this] {
                if (Save())
                    accept();
            });
    }

    title_ = new QLabel(tr("PLAY(No setting)"), this);
    title_->setObjectName(QStringLiteral("title"));
    title_->setGeometry(200, 35, 350, 50);
    title_->setFont(BoldArial(32));
    SetTextColour(title_, Qt::white);

    // Places a labelled control on row `row` of `page`.
    auto place = [this](int page, int row, const QString& text, QWidget* field) {
        std::vector<QWidget*>& widgets = pageWidgets_[size_t(page)];
        if (!text.isEmpty()) {
            QLabel* label = NewLabel(this, text);
            label->setGeometry(kLabelX, kRowY + kRowH * row, kLabelW, kFieldH);
            label->setBuddy(field);
            widgets.push_back(label);
        }
        field->setGeometry(kFieldX, kRowY + kRowH * row, kFieldW, kFieldH);
        widgets.push_back(field);
    };

    // ---- TIME
    date_ = new QDateEdit(this);
    date_->setObjectName(QStringLiteral("date"));
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QStringLiteral("yyyy/M/d"));
    date_->setMinimumDate(QDate(1900, 1, 1));
    time_ = new QTimeEdit(this);
    time_->setObjectName(QStringLiteral("time"));
    time_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    place(PageTime, 0, QString(), date_);
    place(PageTime, 1, QString(), time_);

    // ---- DISPLAY, in the order shown; status_ keeps the file's order.
    const char* statusNames[] = {"cameraName", "clock", "recordStatus", "videoLoss", "buzzer"};
    for (size_t i = 0; i < status_.size(); ++i)
        status_[i] = NewList(this, statusNames[i], kSetupOffOn);
    place(PageDisplay, 0, tr("BUZZER SET"), status_[4]);
    place(PageDisplay, 1, tr("CAMERA NAME"), status_[0]);
    place(PageDisplay, 2, tr("WLL CLOCK"), status_[1]);
    place(PageDisplay, 3, tr("RECORD STATUS"), status_[2]);
    place(PageDisplay, 4, tr("VIDEO LOSS"), status_[3]);

    // ---- CAMERA: Brightness, Hue, Contrast, Saturation on the screen.
    channel_ = NewList(this, "channel", std::array<std::string_view, 4>{"1", "2", "3", "4"});
    place(PageCamera, 0, tr("CH:"), channel_);
    const char* cameraNames[] = {"bright", "hue", "saturation", "contrast"};
    for (size_t i = 0; i < cameraFields_.size(); ++i) {
        cameraFields_[i] = new QLineEdit(this);
        cameraFields_[i]->setObjectName(QLatin1String(cameraNames[i]));
        cameraFields_[i]->setValidator(new CameraValueValidator(cameraFields_[i]));
    }
    place(PageCamera, 1, tr("Brightness"), cameraFields_[0]);
    place(PageCamera, 2, tr("Hue"), cameraFields_[1]);
    place(PageCamera, 3, tr("Contrast"), cameraFields_[3]);
    place(PageCamera, 4, tr("Saturation"), cameraFields_[2]);
    connect(channel_, &QComboBox::currentIndexChanged, this, &CDvrSettingDlg::OnChannelChanged);

    // ---- SENSOR
    const char* wireNames[] = {"redWire", "greenWire", "blueWire", "orangeWire"};
    const QString wireLabels[] = {tr("ReadWire"), tr("GreenWire"), tr("BlueWire"), tr("OrangeWire")};
    for (size_t i = 0; i < wires_.size(); ++i) {
        wires_[i] = NewList(this, wireNames[i], kSetupWireEntries);
        place(PageSensor, int(i), wireLabels[i], wires_[i]);
    }

    // ---- RECORDING
    audio_ = NewList(this, "audio", kSetupOffOn);
    quality_ = NewList(this, "quality", kSetupQualityEntries);
    place(PageRecording, 0, tr("AUDIO"), audio_);
    place(PageRecording, 1, tr("REC QUALITY"), quality_);
    QLabel* recChannels = NewLabel(this, tr("REC CH:"));
    recChannels->setGeometry(kLabelX, kRowY + kRowH * 2, kLabelW, kFieldH);
    pageWidgets_[PageRecording].push_back(recChannels);
    for (size_t i = 0; i < recordChannels_.size(); ++i) {
        auto* box = new QCheckBox(QStringLiteral("CH%1").arg(i + 1), this);
        box->setObjectName(QStringLiteral("ch%1").arg(i + 1));
        SetTextColour(box, kLabelText);
        box->setGeometry(kFieldX + 62 * int(i), kRowY + kRowH * 2, 60, kFieldH);
        recordChannels_[i] = box;
        pageWidgets_[PageRecording].push_back(box);
    }

    // ---- STARTUP
    videoUp_ = NewList(this, "videoUp", kSetupStartDisplayEntries);
    audioUp_ = NewList(this, "audioUp", kSetupOffOn);
    place(PageStartup, 0, tr("VIDEO UP"), videoUp_);
    place(PageStartup, 1, tr("AUDIO UP"), audioUp_);

    // ---- SETTING
    carId_ = new QLineEdit(this);
    carId_->setObjectName(QStringLiteral("carId"));
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);
    for (QLineEdit* field : {carId_, password_})
        field->setMaxLength(int(kIniStringMax));
    language_ = new QComboBox(this);
    language_->setObjectName(QStringLiteral("language"));
    language_->addItems({QStringLiteral("ENGLISH"), QStringLiteral("中文")});
    place(PageSetting, 0, tr("CAR ID"), carId_);
    place(PageSetting, 1, tr("PASSWARD"), password_);
    place(PageSetting, 2, tr("LANGUAGE"), language_);

    // ---- Never shown: they carry what the file says to no one.
    format_ = NewList(this, "format", kSetupOffOn);
    loadDefault_ = NewList(this, "loadDefault", kSetupOffOn);
    parkTime_ = NewList(this, "parkTime", kSetupParkTimeEntries);
    auto* operate = new QLabel(tr("PLEASE OPERATE IN DVR."), this);
    operate->setObjectName(QStringLiteral("operateInDvr"));
    operate->setFont(BoldArial(22));
    SetTextColour(operate, Qt::black);
    operate->setGeometry(kLabelX, kRowY, 440, 40);
    for (QWidget* hidden : std::initializer_list<QWidget*>{format_, loadDefault_, parkTime_, operate})
        hidden->hide();

    for (const std::vector<QWidget*>& widgets : pageWidgets_)
        for (QWidget* w : widgets)
            w->hide();

    read_ = DvrSetup::Read(location_.read);
    Show(read_);
}

void CDvrSettingDlg::Show(const DvrSetup& s)
{
    QDateTime shown = QDateTime::currentDateTime();
    if (s.date)
        shown = QDateTime(QDate(s.date->year, s.date->month, s.date->day), QTime(s.hour, s.minute, s.second));
    date_->setDate(shown.date());
    time_->setTime(shown.time());

    const int status[] = {s.showCameraName, s.showTime, s.showRecordStatus, s.showVideoLoss, s.buzzerSet};
    for (size_t i = 0; i < status_.size(); ++i)
        Select(status_[i], status[i]);

    cameras_ = s.cameras;
    cameraChannel_ = 0;
    {
        const QSignalBlocker blocker(channel_);
        channel_->setCurrentIndex(0);
    }
    ShowCameraFields();

    for (size_t i = 0; i < wires_.size(); ++i)
        Select(wires_[i], s.wires[i]);
    Select(quality_, s.recordQuality);
    Select(audio_, s.recordAudio);
    for (size_t i = 0; i < recordChannels_.size(); ++i)
        recordChannels_[i]->setChecked((s.recordChannels >> i) & 1);
    Select(parkTime_, s.recordParkTime);
    Select(videoUp_, s.startDisplay);
    Select(audioUp_, s.startAudio);
    password_->setText(QString::fromStdString(s.password));
    language_->setCurrentIndex(s.chinese ? 1 : 0);
    carId_->setText(QString::fromStdString(s.carId));
    Select(format_, s.format);
    Select(loadDefault_, s.loadDefault);
}

void CDvrSettingDlg::ShowPage(int page)
{
    if (page < 0 || page >= kPageCount || page == page_)
        return;
    static const char* const kTitles[kPageCount] = {
        QT_TR_NOOP("PLAY(No setting)"), QT_TR_NOOP("TIME"),      QT_TR_NOOP("DISPLAY"), QT_TR_NOOP("CAMERA"),
        QT_TR_NOOP("SENSOR"),           QT_TR_NOOP("RECORDING"), QT_TR_NOOP("STARTUP"), QT_TR_NOOP("SETTING")};
    for (const std::vector<QWidget*>& widgets : pageWidgets_)
        for (QWidget* w : widgets)
            w->hide();
    if (page == PageCamera)
        channel_->setCurrentIndex(0);
    // Changing to channel 1 stored the fields; already on it, store them here.
    if (page == PageCamera && cameraChannel_ == 0) {
        StoreCameraFields();
        ShowCameraFields();
    }
    for (QWidget* w : pageWidgets_[size_t(page)])
        w->show();
    title_->setText(tr(kTitles[page]));
    page_ = page;
}

void CDvrSettingDlg::StoreCameraFields()
{
    SetupCamera& c = cameras_[size_t(cameraChannel_)];
    uint8_t* values[] = {&c.bright, &c.hue, &c.saturation, &c.contrast};
    for (size_t i = 0; i < cameraFields_.size(); ++i)
        *values[i] = SetupCameraValue(cameraFields_[i]->text().toStdString());
}

void CDvrSettingDlg::ShowCameraFields()
{
    const SetupCamera& c = cameras_[size_t(cameraChannel_)];
    const int values[] = {c.bright, c.hue, c.saturation, c.contrast};
    for (size_t i = 0; i < cameraFields_.size(); ++i)
        cameraFields_[i]->setText(QString::number(values[i]));
}

void CDvrSettingDlg::OnChannelChanged(int channel)
{
    if (channel < 0 || channel >= int(cameras_.size()))
        return;
    StoreCameraFields();
    cameraChannel_ = channel;
    ShowCameraFields();
}

DvrSetup CDvrSettingDlg::Values()
{
    StoreCameraFields();
    DvrSetup s = read_;
    const QDate d = date_->date();
    s.date = SetupDate{d.year(), d.month(), d.day()};
    const QTime t = time_->time();
    s.hour = t.hour();
    s.minute = t.minute();
    s.second = t.second();

    s.showCameraName = Chosen(status_[0], 0);
    s.showTime = Chosen(status_[1], 0);
    s.showRecordStatus = Chosen(status_[2], 0);
    s.showVideoLoss = Chosen(status_[3], 0);
    s.buzzerSet = Chosen(status_[4], 0);
    s.cameras = cameras_;
    for (size_t i = 0; i < wires_.size(); ++i)
        s.wires[i] = Chosen(wires_[i], 1);
    s.recordQuality = Chosen(quality_, 0);
    s.recordAudio = Chosen(audio_, 1);
    s.recordChannels = 0;
    for (size_t i = 0; i < recordChannels_.size(); ++i)
        if (recordChannels_[i]->isChecked())
            s.recordChannels |= 1 << i;
    s.startDisplay = Chosen(videoUp_, 0);
    s.startAudio = Chosen(audioUp_, 0);
    s.password = SetupText(password_->text().toStdString());
    s.chinese = language_->currentIndex() == 1;
    s.carId = SetupText(carId_->text().toStdString());
    return s;
}

bool CDvrSettingDlg::Save()
{
    if (Values().Write(location_.write, location_.read))
        return true;
    notifier_.ShowMessage(tr("The DVR settings could not be saved to %1.")
                              .arg(QString::fromStdString(location_.write.string()))
                              .toStdString(),
                          MessageIcon::Warning);
    return false;
}

QString CDvrSettingDlg::WithIniExtension(const QString& path)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".ini") : path;
}

QString CDvrSettingDlg::AskFile()
{
    if (askFile_)
        return askFile_();
    QFileDialog dialog(this, tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({tr("INI Files (*.INI)"), tr("All Files (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("ini"));
    // The replace question comes after the extension is added, below.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(QDir::home().filePath(QStringLiteral("CarDVR")));
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                    : QString();
}

void CDvrSettingDlg::SaveAs()
{
    if (!Save())
        return;
    namespace fs = std::filesystem;
    for (;;) {
        const QString chosen = AskFile();
        if (chosen.isEmpty())
            return;
        const QString path = WithIniExtension(chosen);
        const fs::path target = path.toStdString();
        std::error_code ec;
        if (fs::equivalent(location_.write, target, ec))
            return; // it was just written there
        if (fs::exists(target, ec) &&
            notifier_.ShowMessage(tr("%1 already exists.\nDo you want to replace it?").arg(path).toStdString(),
                                  MessageIcon::Warning, MessageButtons::YesNo) != MessageAnswer::Yes)
            continue;
        if (!fs::copy_file(location_.write, target, fs::copy_options::overwrite_existing, ec) || ec)
            notifier_.ShowMessage(tr("The DVR settings could not be copied to %1.").arg(path).toStdString(),
                                  MessageIcon::Warning);
        return;
    }
}

void CDvrSettingDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (background_.isNull())
        painter.fillRect(rect(), QColor(30, 34, 42));
    else
        painter.drawPixmap(0, 0, background_);
}

} // namespace tarnvik
