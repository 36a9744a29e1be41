#include "QtNotifier.h"

#include "app/strings/Translation.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace tarnvik {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

MessageAnswer Show(QWidget* parent, const QString& text, MessageIcon icon, MessageButtons buttons)
{
    QMessageBox box(BoxIcon(icon), QApplication::applicationName(), text,
                    buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

} // namespace

MessageAnswer QtNotifier::ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons)
{
    const QString message = LocalizedMessage(text);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return MessageAnswer::Ok;
    if (QThread::currentThread() == app->thread())
        return Show(parent_, message, icon, buttons);
    // A worker never waits for the user: its box is shown later, with an OK
    // button only (there is nobody to hand a Yes/No answer to).
    QPointer<QWidget> parent = parent_;
    QMetaObject::invokeMethod(
        app, [parent, message, icon] { Show(parent, message, icon, MessageButtons::Ok); }, Qt::QueuedConnection);
    return MessageAnswer::Ok;
}

} // namespace tarnvik
