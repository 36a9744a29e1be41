// A Notifier for tests: records every text and answers as the test says.
#pragma once

#include "net/Notifier.h"

#include <mutex>
#include <string>
#include <vector>

namespace tarnvik::test {

class RecordingNotifier : public Notifier {
public:
    MessageAnswer ShowMessage(const std::string& text, MessageIcon, MessageButtons buttons) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        texts_.push_back(text);
        return buttons == MessageButtons::YesNo ? answer_ : MessageAnswer::Ok;
    }
    std::vector<std::string> Texts() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return texts_;
    }
    void AnswerWith(MessageAnswer answer) { answer_ = answer; }

private:
    mutable std::mutex lock_;
    std::vector<std::string> texts_;
    MessageAnswer answer_ = MessageAnswer::Yes;
};

} // namespace tarnvik::test
