// The program's Notifier: a message box on the user-interface thread, in the
// installed language (LocalizedMessage). A worker thread's message is queued
// there and the worker goes on at once.
#pragma once

#include "net/Notifier.h"

#include <QPointer>
#include <QWidget>

namespace tarnvik {

class QtNotifier : public Notifier {
public:
    // Message boxes are centred over `parent` once it is set.
    void SetParent(QWidget* parent) { parent_ = parent; }
    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::Information,
                              MessageButtons buttons = MessageButtons::Ok) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace tarnvik
