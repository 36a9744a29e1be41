// CPrintDlg: the print dialog of a pane's picture. It shows a preview of
// the page as it will be printed; "&Print..." asks the window to print it
// (PrintRequested), "&Close" closes the dialog.
//
// Object names for tests: "preview", "print", "close".
#pragma once

#include "video/Image.h"
#include "video/PrintPage.h"

#include <QDialog>

namespace tarnvik {

class CPrintDlg : public QDialog {
    Q_OBJECT
public:
    // `picture` is the picture to print (already at its print size).
    CPrintDlg(Image picture, PrintTexts texts, QWidget* parent = nullptr);

    const Image& Picture() const { return picture_; }
    const PrintTexts& Texts() const { return texts_; }

signals:
    void PrintRequested();

private:
    Image picture_;
    PrintTexts texts_;
};

} // namespace tarnvik
