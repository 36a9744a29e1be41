#include "app/dialogs/SettingDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <string>

namespace tarnvik {

// In the address list only a choice in the list (mouse, arrow keys, wheel)
// loads a profile into the fields. Qt also selects
// the entry whose text was typed exactly, when Enter is pressed or the field
// is left; loading a profile then would silently replace values the user had
// already edited, so those selections are marked and not acted on.
class SettingAddressBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    bool SelectingTypedText() const { return selectingTypedText_; }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        QScopedValueRollback<bool> guard(selectingTypedText_, selectingTypedText_ || enter);
        QComboBox::keyPressEvent(e);
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        QScopedValueRollback<bool> guard(selectingTypedText_, true);
        QComboBox::focusOutEvent(e);
    }

private:
    bool selectingTypedText_ = false;
};

namespace {

// The Codec list always shows this entry and cannot be changed.
constexpr int kShownCodecEntry = 1;
static_assert(kCodecEntries[kShownCodecEntry] == "H.264");

// The lists' entries as the profile rules name them, for the translation files.
[[maybe_unused]] constexpr const char* kListTexts[] = {
    QT_TRANSLATE_NOOP("tarnvik::CSettingDlg", "4-CH"),       QT_TRANSLATE_NOOP("tarnvik::CSettingDlg", "8-CH"),
    QT_TRANSLATE_NOOP("tarnvik::CSettingDlg", "16-CH"),      QT_TRANSLATE_NOOP("tarnvik::CSettingDlg", "Don't care"),
    QT_TRANSLATE_NOOP("tarnvik::CSettingDlg", "Low speed"),  QT_TRANSLATE_NOOP("tarnvik::CSettingDlg", "High speed"),
    QT_TRANSLATE_NOOP("tarnvik::CSettingDlg", "H.264(second)"),
};

template <size_t N>
QComboBox* NewList(QWidget* parent, const char* name, const std::array<std::string_view, N>& entries)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    for (std::string_view entry : entries)
        list->addItem(CSettingDlg::tr(std::string(entry).c_str()));
    return list;
}

QSpinBox* NewSpin(QWidget* parent, const char* name, int min, int max)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(min, max);
    return spin;
}

QRadioButton* NewRadio(QWidget* parent, const char* name, const QString& text)
{
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(QLatin1String(name));
    return radio;
}

// A stored value beyond its list selects no entry.
void SelectEntry(QComboBox* list, int stored)
{
    const int entry = ClampListSelection(stored, size_t(list->count()));
    list->setCurrentIndex(entry >= 0 && entry < list->count() ? entry : -1);
}

// A list with no entry selected keeps the value it was shown with.
int ListValue(const QComboBox* list, int shown)
{
    return list->currentIndex() >= 0 ? list->currentIndex() : shown;
}

QHBoxLayout* Row(QWidget* a, QWidget* b)
{
    auto* row = new QHBoxLayout;
    row->addWidget(a, 1);
    row->addWidget(b);
    return row;
}

} // namespace

CSettingDlg::CSettingDlg(const IniFile& ini, AppSettings& app, Notifier& notifier, bool sessionRunning,
                         QWidget* parent)
    : QDialog(parent), ini_(ini), app_(app), edit_(app), notifier_(notifier), sessionRunning_(sessionRunning)
{
    setWindowTitle(tr("Network Viewer Setting..."));

    // ---- Network
    auto* network = new QGroupBox(tr("Network"), this);
    ip_ = new SettingAddressBox(network);
    ip_->setObjectName(QStringLiteral("ip"));
    ip_->setEditable(true);
    ip_->setInsertPolicy(QComboBox::NoInsert);
    ip_->setCompleter(nullptr);
    ip_->setMinimumContentsLength(16);
    delete_ = new QPushButton(tr("Delete"), network);
    delete_->setObjectName(QStringLiteral("delete"));
    delete_->setToolTip(tr("Remove this session information"));
    port_ = NewSpin(network, "port", 1, 65535);
    maxCh_ = NewList(network, "maxCh", kMaxChannelEntries);
    // The channel count applies at the next login, so it is chosen while
    // no session runs.
    maxCh_->setEnabled(!sessionRunning);
    speed_ = NewList(network, "speed", kSpeedEntries);
    codec_ = NewList(network, "codec", kCodecEntries);
    codec_->setEnabled(false);

    auto* networkForm = new QFormLayout(network);
    networkForm->addRow(tr("IP address"), Row(ip_, delete_));
    networkForm->addRow(tr("Port"), port_);
    networkForm->addRow(tr("Max Channel"), maxCh_);
    networkForm->addRow(tr("Network Speed"), speed_);
    networkForm->addRow(tr("Codec"), codec_);

    // ---- Recording
    auto* recording = new QGroupBox(tr("Recording"), this);
    recPath_ = new QLineEdit(recording);
    recPath_->setObjectName(QStringLiteral("recPath"));
    browse_ = new QToolButton(recording);
    browse_->setText(QStringLiteral("..."));
    browse_->setObjectName(QStringLiteral("browse"));
    auto* recordingForm = new QFormLayout(recording);
    recordingForm->addRow(tr("Path"), Row(recPath_, browse_));

    // ---- AVI
    auto* avi = new QGroupBox(tr("AVI"), this);
    aviCodec_ = new QComboBox(avi);
    aviCodec_->setObjectName(QStringLiteral("aviCodec"));
    for (const char* name : kAviCompressorNames)
        aviCodec_->addItem(QLatin1String(name));
    aviFrame_ = NewSpin(avi, "aviFrame", kAviFrameMin, kAviFrameMax);
    aviFrame_->setSuffix(QStringLiteral(" fps"));
    fullsize_ = NewRadio(avi, "fullsize", tr("Fullsize"));
    halfsize_ = NewRadio(avi, "halfsize", tr("Halfsize"));
    ntsc_ = NewRadio(avi, "ntsc", QStringLiteral("NTSC"));
    pal_ = NewRadio(avi, "pal", QStringLiteral("PAL"));
    // The two pairs share a group box, so each needs its own group to be
    // exclusive only within the pair.
    auto* sizeGroup = new QButtonGroup(this);
    sizeGroup->addButton(fullsize_);
    sizeGroup->addButton(halfsize_);
    auto* formatGroup = new QButtonGroup(this);
    formatGroup->addButton(ntsc_);
    formatGroup->addButton(pal_);

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(fullsize_);
    sizeRow->addWidget(halfsize_);
    sizeRow->addStretch();
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(ntsc_);
    formatRow->addWidget(pal_);
    formatRow->addStretch();
    auto* aviForm = new QFormLayout(avi);
    aviForm->addRow(tr("AVI Codec"), aviCodec_);
    aviForm->addRow(tr("Frame rate"), aviFrame_);
    aviForm->addRow(tr("Size"), sizeRow);
    aviForm->addRow(tr("Format"), formatRow);

    // ---- Window
    auto* window = new QGroupBox(tr("Window"), this);
    adjustX_ = NewSpin(window, "adjustX", kAdjustXMin, kAdjustXMax);
    adjustY_ = NewSpin(window, "adjustY", kAdjustYMin, kAdjustYMax);
    hideCaption_ = new QCheckBox(tr("Hide caption in full screen"), window);
    hideCaption_->setObjectName(QStringLiteral("hideCaption"));
    auto* windowForm = new QFormLayout(window);
    windowForm->addRow(tr("Width"), adjustX_);
    windowForm->addRow(tr("Height"), adjustY_);
    windowForm->addRow(hideCaption_);

    // ---- Buttons
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(network, 0, 0);
    grid->addWidget(avi, 0, 1);
    grid->addWidget(recording, 1, 0);
    grid->addWidget(window, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    chooseDirectory_ = [this] {
        return QFileDialog::getExistingDirectory(this, tr("Select local recording path"),
                                                 recPath_->text());
    };

    connect(ip_, &QComboBox::activated, this, &CSettingDlg::OnProfileChosen);
    connect(delete_, &QPushButton::clicked, this, &CSettingDlg::OnDelete);
    connect(browse_, &QToolButton::clicked, this, &CSettingDlg::OnBrowse);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingDlg::OnOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    FillAddresses();
    const bool current = edit_.main.index >= 0 && edit_.main.index < ip_->count();
    ip_->setCurrentIndex(current ? edit_.main.index : -1);
    // The address in use may have been typed at logon and be in no profile.
    ip_->setEditText(QString::fromStdString(edit_.profile.ip));
    ShowFields();
    // Part of "Main", not of a profile: choosing profiles leaves it alone.
    hideCaption_->setChecked(edit_.main.hideCaption != 0);
}

void CSettingDlg::SetDirectoryChooser(std::function<QString()> chooser)
{
    chooseDirectory_ = std::move(chooser);
}

bool CSettingDlg::ChannelLayoutReset() const
{
    return result() == QDialog::Accepted && !sessionRunning_;
}

void CSettingDlg::FillAddresses()
{
    ip_->clear();
    for (const std::string& ip : ProfileAddresses(ini_, edit_.main.count))
        ip_->addItem(QString::fromStdString(ip));
}

void CSettingDlg::ShowFields()
{
    const ConnectionProfile& p = edit_.profile;
    port_->setValue(p.port);
    recPath_->setText(QString::fromStdString(p.recPath));
    SelectEntry(maxCh_, p.maxCh);
    SelectEntry(speed_, p.speed);
    codec_->setCurrentIndex(kShownCodecEntry);
    SelectEntry(aviCodec_, p.aviFccsel);
    aviFrame_->setValue(p.aviFrame);
    (p.aviFullsize == 1 ? fullsize_ : halfsize_)->setChecked(true);
    (p.aviFormat == 1 ? pal_ : ntsc_)->setChecked(true);
    adjustX_->setValue(p.adjustX);
    adjustY_->setValue(p.adjustY);
}

ProfileDialogFields CSettingDlg::CollectFields() const
{
    ProfileDialogFields f;
    f.ip = ip_->currentText().toStdString();
    f.port = uint16_t(port_->value());
    f.recPath = recPath_->text().toStdString();
    f.maxCh = ListValue(maxCh_, edit_.profile.maxCh);
    f.speed = ListValue(speed_, edit_.profile.speed);
    f.adjustX = adjustX_->value();
    f.adjustY = adjustY_->value();
    f.aviFormat = pal_->isChecked() ? 1 : 0;
    f.aviFrame = aviFrame_->value();
    f.aviFullsize = fullsize_->isChecked() ? 1 : 0;
    f.aviFccsel = aviCodec_->currentIndex();
    f.hideCaption = hideCaption_->isChecked() ? 1 : 0;
    return f;
}

void CSettingDlg::OnProfileChosen(int index)
{
    if (ip_->SelectingTypedText() || index < 0)
        return;
    ChooseProfileInDialog(ini_, edit_, index);
    ShowFields();
}

void CSettingDlg::OnBrowse()
{
    QString folder = chooseDirectory_ ? chooseDirectory_() : QString();
    if (folder.isEmpty())
        return;
    // File names are appended to the recording path as they are.
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    recPath_->setText(folder);
}

void CSettingDlg::OnDelete()
{
    if (notifier_.ShowMessage(std::string(kDeleteProfileQuestion), MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes)
        return;
    const int chosen = ip_->currentIndex() >= 0 ? ip_->currentIndex() : kNoProfileChosen;
    switch (DeleteProfile(ini_, edit_, chosen)) {
    case ProfileDeleteResult::Deleted:
        app_ = edit_;
        FillAddresses();
        ip_->setCurrentIndex(0);
        ShowFields();
        break;
    case ProfileDeleteResult::WriteFailed:
        ShowWriteFailed();
        break;
    case ProfileDeleteResult::NotDeleted:
        break;
    }
}

void CSettingDlg::OnOk()
{
    switch (SaveFromDialog(ini_, edit_, CollectFields(), sessionRunning_)) {
    case ProfileSaveResult::Saved:
        app_ = edit_;
        accept();
        break;
    case ProfileSaveResult::WriteFailed:
        app_ = edit_;
        ShowWriteFailed();
        accept();
        break;
    case ProfileSaveResult::SessionListFull:
        notifier_.ShowMessage(std::string(kSessionListFullText), MessageIcon::Warning);
        break;
    case ProfileSaveResult::IpAddressEmpty:
        notifier_.ShowMessage(std::string(kIpAddressEmptyText), MessageIcon::Warning);
        break;
    }
}

void CSettingDlg::ShowWriteFailed()
{
    notifier_.ShowMessage(
        tr("The settings could not be written to %1.").arg(QString::fromStdString(ini_.Path().string())).toStdString(),
        MessageIcon::Warning);
}

} // namespace tarnvik
