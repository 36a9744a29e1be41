#include "DvrServer.h"

#include "Session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testdvr {

const std::vector<std::string>& FaultNames()
{
    static const std::vector<std::string> names = {"garbage", "bad-magic", "bad-code", "short", "slow",
                                                   "drop",    "stall",     "oversize"};
    return names;
}

int CodecKindFor(uint32_t type, uint32_t version)
{
    if (type == 0x2200)
        return version < 0x0303 ? 0 : 3;
    if (type == 0x22F0)
        return version == 0x0202 ? 2 : version == 0x0101 ? 1 : 3;
    return 0;
}

DvrServer::DvrServer(Options options, LogFn log)
    : options_(std::move(options)), log_(std::move(log))
{
}

DvrServer::~DvrServer()
{
    Stop();
    if (listenFd_ >= 0) // Run never ran
        ::close(listenFd_);
    if (copyFd_ >= 0)
        ::close(copyFd_);
}

void DvrServer::CopySent(const uint8_t* block, size_t size)
{
    std::lock_guard<std::mutex> guard(copyLock_);
    size_t done = 0;
    while (copyFd_ >= 0 && done < size) {
        const ssize_t rc = ::write(copyFd_, block + done, size - done);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0) {
            Log("copy of sent blocks failed: " + std::string(std::strerror(errno)));
            ::close(copyFd_);
            copyFd_ = -1;
            return;
        }
        done += size_t(rc);
    }
}

bool DvrServer::ClaimPlayback(const Session* session)
{
    std::lock_guard<std::mutex> guard(playbackLock_);
    if (playbackOwner_ && playbackOwner_ != session)
        return false;
    playbackOwner_ = session;
    return true;
}

void DvrServer::ReleasePlayback(const Session* session)
{
    std::lock_guard<std::mutex> guard(playbackLock_);
    if (playbackOwner_ == session)
        playbackOwner_ = nullptr;
}

const Clip& DvrServer::ClipForChannel(int channel) const
{
    if (channel == options_.jpegChannel)
        return jpeg_;
    return clips_[size_t(channel) % clips_.size()];
}

bool DvrServer::Start(std::string& error)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(options_.mediaDir.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".264") == 0)
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    if (!options_.clip.empty())
        names = {options_.clip};
    for (const std::string& name : names) {
        Clip clip;
        if (!LoadH264Clip(options_.mediaDir + "/" + name, clip, error))
            return false;
        clips_.push_back(std::move(clip));
    }
    if (clips_.empty()) {
        error = "no .264 clips in " + options_.mediaDir;
        return false;
    }
    if (options_.chaosSeed >= 0)
        chaos_ = std::make_unique<ChaosPlan>(uint32_t(options_.chaosSeed), options_.faults);
    if (!options_.playbackFile.empty()) {
        recording_ = LoadDvrFile(options_.playbackFile, error);
        if (!recording_)
            return false;
    } else {
        ClipRecordingSettings recorded;
        recorded.start = options_.playbackStart;
        recorded.seconds = options_.playbackSeconds;
        recorded.channels = options_.channels;
        recorded.framesPerSecond = options_.framesPerSecond;
        recorded.codecKind = options_.codecKind >= 0 ? options_.codecKind : CodecKindFor(options_.type, options_.version);
        recorded.typeWord = options_.type;
        recording_ = RecordingOfClips(clips_, recorded);
    }
    if (options_.jpegChannel >= 0 && !LoadJpegClip(options_.mediaDir + "/jpeg_cif.mjpeg", jpeg_, error))
        return false;

    if (!options_.copySent.empty()) {
        copyFd_ = ::open(options_.copySent.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (copyFd_ < 0) {
            error = "cannot open " + options_.copySent + ": " + std::strerror(errno);
            return false;
        }
    }

    listenFd_ = ListenOnLoopback(options_.port, 8, port_, error);
    if (listenFd_ < 0)
        return false;

    upgrade_ = std::make_unique<UpgradeReceiver>(options_.upgradePort, options_.upgrade, log_);
    if (!upgrade_->Start(upgradeError_))
        upgrade_.reset();
    return true;
}

void DvrServer::Run()
{
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 50);
        {
            // Reap sessions whose viewer has gone.
            std::lock_guard<std::mutex> guard(sessionsLock_);
            for (auto it = sessions_.begin(); it != sessions_.end();) {
                if ((*it)->Finished()) {
                    (*it)->Stop();
                    it = sessions_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        if (ready <= 0)
            continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // A viewer that stops reading must not hold the DVR forever.
        timeval timeout{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        const std::string name = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
        Log("connection from " + name + " at " + std::to_string(WallMilliseconds()));
        // Started under the lock, so Stop either sees the session or it
        // never starts.
        std::lock_guard<std::mutex> guard(sessionsLock_);
        if (stopping_) {
            ::close(fd);
            break;
        }
        sessions_.push_back(std::make_shared<Session>(*this, fd, name));
        sessions_.back()->Start();
    }
    ::close(listenFd_);
    listenFd_ = -1;
}

void DvrServer::Stop()
{
    stopping_ = true;
    if (upgrade_)
        upgrade_->Stop();
    std::vector<std::shared_ptr<Session>> sessions;
    {
        std::lock_guard<std::mutex> guard(sessionsLock_);
        sessions.swap(sessions_);
    }
    for (auto& s : sessions)
        s->Stop();
}

bool DvrServer::Control(const std::string& line)
{
    std::string command = line;
    std::string argument;
    if (const size_t space = line.find(' '); space != std::string::npos) {
        command = line.substr(0, space);
        argument = line.substr(space + 1);
    }
    const auto known = FaultNames();
    if (command == "error" && argument.empty())
        return false;
    if (command == "fault" && std::find(known.begin(), known.end(), argument) == known.end())
        return false;
    if (command != "finish" && command != "error" && command != "status" && command != "drop" && command != "fault" &&
        command != "stall" && command != "resume")
        return false;
    const auto errorCode = uint16_t(std::strtoul(argument.c_str(), nullptr, 0));
    std::lock_guard<std::mutex> guard(sessionsLock_);
    for (auto& s : sessions_) {
        if (command == "finish")
            s->SendFinish();
        else if (command == "error")
            s->SendError(errorCode);
        else if (command == "status")
            s->SendStatus();
        else if (command == "drop")
            s->Drop();
        else if (command == "fault")
            s->InjectFault(argument);
        else
            s->SetStalled(command == "stall");
    }
    return true;
}

} // namespace testdvr
