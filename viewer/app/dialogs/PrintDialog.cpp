#include "PrintDialog.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnvik {

namespace {

// An A4 sheet in the preview's pixels: the preview lays the page out as a
// printer of this size and resolution would.
constexpr double kSheetWidthInches = 210.0 / 25.4;
constexpr double kSheetHeightInches = 297.0 / 25.4;

class PagePreview : public QWidget {
public:
    PagePreview(const CPrintDlg& dialog, QWidget* parent) : QWidget(parent), dialog_(dialog)
    {
        setObjectName(QStringLiteral("preview"));
        setFixedSize(int(kSheetWidthInches * 40), int(kSheetHeightInches * 40));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(Qt::gray);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        const double dpiX = width() / kSheetWidthInches;
        const double dpiY = height() / kSheetHeightInches;
        PaintPrintPage(p, LayOutPrintPage(dpiX, dpiY, width(), height()), dialog_.Picture(), dialog_.Texts());
    }

private:
    const CPrintDlg& dialog_;
};

} // namespace

CPrintDlg::CPrintDlg(Image picture, PrintTexts texts, QWidget* parent)
    : QDialog(parent), picture_(std::move(picture)), texts_(std::move(texts))
{
    setWindowTitle(tr("Print"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(new PagePreview(*this, this), 0, Qt::AlignHCenter);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* print = new QPushButton(tr("&Print..."), this);
    print->setObjectName(QStringLiteral("print"));
    print->setDefault(true);
    auto* close = new QPushButton(tr("&Close"), this);
    close->setObjectName(QStringLiteral("close"));
    row->addWidget(print);
    row->addWidget(close);
    column->addLayout(row);
    connect(print, &QPushButton::clicked, this, &CPrintDlg::PrintRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

} // namespace tarnvik
