#include "AviSaveDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tarnvik {

CAviSaveDlg::CAviSaveDlg(const QString& path, int channelCount, QWidget* parent,
                         std::function<QString(const QString&)> askFile)
    : QDialog(parent), askFile_(std::move(askFile))
{
    setWindowTitle(tr("Save to AVI File..."));
    auto* grid = new QGridLayout(this);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Filename :"), this));
    path_ = new QLineEdit(path, this);
    path_->setObjectName(QStringLiteral("fileName"));
    path_->setMinimumWidth(320);
    row->addWidget(path_, 1);
    auto* choose = new QPushButton(tr("Setting avi file name"), this);
    choose->setObjectName(QStringLiteral("setFileName"));
    row->addWidget(choose);
    grid->addLayout(row, 0, 0, 1, 4);

    for (int channel = 0; channel < 16; ++channel) {
        auto* box = new QCheckBox(QStringLiteral("CAM %1").arg(channel + 1, 2, 10, QLatin1Char('0')), this);
        box->setObjectName(QStringLiteral("cam%1").arg(channel + 1));
        box->setChecked(channel < channelCount);
        grid->addWidget(box, 1 + channel / 4, channel % 4);
        connect(box, &QCheckBox::toggled, this, &CAviSaveDlg::UpdateOk);
        cams_[size_t(channel)] = box;
    }

    auto* selectAll = new QPushButton(tr("&Select All"), this);
    selectAll->setObjectName(QStringLiteral("selectAll"));
    auto* unselectAll = new QPushButton(tr("&UnSelect All"), this);
    unselectAll->setObjectName(QStringLiteral("unselectAll"));
    ok_ = new QPushButton(tr("OK"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    grid->addWidget(selectAll, 5, 0);
    grid->addWidget(unselectAll, 5, 1);
    grid->addWidget(ok_, 5, 2);
    grid->addWidget(cancel, 5, 3);

    connect(selectAll, &QPushButton::clicked, this, [this] { SetChannelMask(0xFFFF); });
    connect(unselectAll, &QPushButton::clicked, this, [this] { SetChannelMask(0); });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(choose, &QPushButton::clicked, this, [this] {
        // The save dialog opens in the folder shown, proposing "capture".
        const QFileInfo shown(path_->text());
        const QString folder = path_->text().endsWith(QLatin1Char('/')) || shown.isDir() ? path_->text()
                                                                                          : shown.path();
        const QString proposal = QDir(folder).filePath(QStringLiteral("capture"));
        const QString chosen = askFile_ ? askFile_(proposal)
                                        : QFileDialog::getSaveFileName(this, tr("Setting avi file name"), proposal,
                                                                       tr("avi Files (*.avi)"));
        if (!chosen.isEmpty())
            path_->setText(chosen);
    });
    UpdateOk();
}

QString CAviSaveDlg::Path() const
{
    return path_->text();
}

int CAviSaveDlg::ChannelMask() const
{
    int mask = 0;
    for (int channel = 0; channel < 16; ++channel)
        if (cams_[size_t(channel)]->isChecked())
            mask |= 1 << channel;
    return mask;
}

void CAviSaveDlg::SetChannelMask(int mask)
{
    for (int channel = 0; channel < 16; ++channel)
        cams_[size_t(channel)]->setChecked((mask >> channel) & 1);
}

void CAviSaveDlg::UpdateOk()
{
    ok_->setEnabled(ChannelMask() != 0);
}

} // namespace tarnvik
