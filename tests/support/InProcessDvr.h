// The test DVR running inside the test's own process on an ephemeral
// loopback port, with its log kept for assertions. Tests that use it link
// testdvr_core.
#pragma once

#include "DvrServer.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnvik::test {

class InProcessDvr {
public:
    // The port is chosen by the system unless `port` is given (a DVR that
    // comes back where it was), and so is the upgrade port; an empty
    // password becomes "1234".
    InProcessDvr(testdvr::Options options, const std::string& mediaDir, uint16_t port = 0)
    {
        options.port = port;
        options.upgradePort = 0;
        options.mediaDir = mediaDir;
        if (options.password.empty())
            options.password = "1234";
        server_ = std::make_unique<testdvr::DvrServer>(options, [this](const std::string& line) {
            std::lock_guard<std::mutex> guard(lock_);
            log_.push_back(line);
        });
        started_ = server_->Start(error_);
        if (started_)
            runner_ = std::thread([this] { server_->Run(); });
    }

    ~InProcessDvr()
    {
        server_->Stop();
        if (runner_.joinable())
            runner_.join();
    }

    InProcessDvr(const InProcessDvr&) = delete;
    InProcessDvr& operator=(const InProcessDvr&) = delete;

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    uint16_t Port() const { return server_->Port(); }
    uint16_t UpgradePort() const { return server_->UpgradePort(); }
    bool Control(const std::string& line) { return server_->Control(line); }

    std::vector<std::string> Log() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return log_;
    }
    int LogCount(const std::string& text) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return int(std::count_if(log_.begin(), log_.end(),
                                 [&](const std::string& line) { return line.find(text) != std::string::npos; }));
    }
    // Waits (at most `limit`) for a log line containing `text`.
    bool WaitForLog(const std::string& text, std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (LogCount(text) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    mutable std::mutex lock_; // guards log_ (written by the DVR's threads)
    std::vector<std::string> log_;
    std::unique_ptr<testdvr::DvrServer> server_;
    std::thread runner_;
    bool started_ = false;
    std::string error_;
};

} // namespace tarnvik::test
