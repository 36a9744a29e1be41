// The pane's context menu: save its picture, save every channel's, print
// it, or give it back its no-video picture. The pane only offers the
// commands; the window carries them out (MainDlgSnapshot.cpp).
#include "OneCamera.h"

#include "app/strings/StringTable.h"
#include "video/Divisions.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace tarnvik {

PaneMenuTexts PaneMenuTextsOf(int channel, int languageId)
{
    const QString cam = QStringLiteral("\"Cam_%1\"").arg(channel + 1, 2, 10, QLatin1Char('0'));
    // Every Chinese language id reads the Chinese texts, as the string
    // tables do, so that the menu agrees with the rest of the window.
    if (IsChineseLanguageId(languageId))
        return {QStringLiteral("選擇攝影機"), QStringLiteral("儲存 %1 影像...").arg(cam), QStringLiteral("儲存分割影像"),
                QStringLiteral("列印 %1 影像...").arg(cam), QStringLiteral("重設 %1 攝影機").arg(cam)};
    return {QStringLiteral("Select Camera"), QStringLiteral("Save %1 Image...").arg(cam),
            QStringLiteral("Save Image &All..."), QStringLiteral("Print %1 Image...").arg(cam),
            QStringLiteral("Reset %1 Channel").arg(cam)};
}

void COneCamera::contextMenuEvent(QContextMenuEvent* event)
{
    const PaneMenuTexts texts = PaneMenuTextsOf(divisions_.PaneChannel(pane_), languageId_);
    QMenu menu(texts.title, this);
    menu.setObjectName(QStringLiteral("paneMenu"));
    QAction* save = menu.addAction(texts.save);
    menu.addSeparator();
    QAction* saveAll = menu.addAction(texts.saveAll);
    menu.addSeparator();
    QAction* print = menu.addAction(texts.print);
    menu.addSeparator();
    QAction* reset = menu.addAction(texts.reset);
    event->accept();
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == save)
        emit SaveRequested(pane_);
    else if (chosen == saveAll)
        emit SaveAllRequested();
    else if (chosen == print)
        emit PrintRequested(pane_);
    else if (chosen == reset)
        emit ResetRequested(pane_);
}

} // namespace tarnvik
