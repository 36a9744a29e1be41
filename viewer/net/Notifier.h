// Every message the user sees goes through one Notifier. The program's
// implementation shows a message box on the user-interface thread; tests
// install one that records the texts and answers as the test says.
#pragma once

#include <string>

namespace tarnvik {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class Notifier {
public:
    virtual ~Notifier() = default;
    // May be called from any thread. A call from a worker thread must not
    // wait for the user; it returns MessageAnswer::Ok at once.
    virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::Information,
                                      MessageButtons buttons = MessageButtons::Ok) = 0;
};

} // namespace tarnvik
