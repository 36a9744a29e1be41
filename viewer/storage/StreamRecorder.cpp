#include "StreamRecorder.h"

#include "dvrformat/StreamFile.h"
#include "net/ViewerState.h"

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvik {

namespace {

// Large enough that a second of sixteen channels costs a handful of writes.
constexpr size_t kWriteBufferSize = 1 << 20;
// Names tried for one second before giving up.
constexpr int kMaxNameSuffix = 10000;

std::string TimeName()
{
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d_%H%M%S", &local);
    return text;
}

// Creates the folder, one level; one that is already there counts as made.
bool MakeFolder(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat st{};
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

StreamRecorder::StreamRecorder(ViewerState& state, Notifier& notifier, uint64_t rolloverBytes)
    : state_(state), notifier_(notifier), rolloverBytes_(rolloverBytes)
{
}

StreamRecorder::~StreamRecorder()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

void StreamRecorder::SetFolder(const std::string& recPath)
{
    std::lock_guard<std::mutex> guard(lock_);
    folder_ = recPath;
}

std::string StreamRecorder::CurrentPath() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return path_;
}

uint64_t StreamRecorder::Written() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return written_;
}

int StreamRecorder::CreateUniqueFile(std::string& path) const
{
    std::string stem = folder_;
    if (!stem.empty() && stem.back() != '/')
        stem += '/';
    stem += TimeName();
    // O_EXCL: an existing file (an earlier recording of the same second) is
    // never truncated; the next suffix is tried instead.
    for (int suffix = 0; suffix < kMaxNameSuffix; ++suffix) {
        path = stem + (suffix ? "_" + std::to_string(suffix) : std::string()) + ".avs";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool StreamRecorder::WriteHeader()
{
    uint8_t bytes[dvrformat::kStreamFileHeaderSize];
    dvrformat::StreamFileHeader::ForRecording(state_.codecKind.load(), state_.modelCode.load()).Write(bytes);
    headerPending_ = false;
    return std::fwrite(bytes, 1, sizeof bytes, file_) == sizeof bytes;
}

bool StreamRecorder::OpenFile(int kind, Events& events)
{
    std::string path;
    int fd = CreateUniqueFile(path);
    if (fd < 0) {
        if (!MakeFolder(folder_)) {
            events.messages.push_back(kCantMakeDirectory);
            return false;
        }
        fd = CreateUniqueFile(path);
        if (fd < 0) {
            events.messages.push_back(kCantOpenFile);
            return false;
        }
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        ::unlink(path.c_str());
        events.messages.push_back(kCantOpenFile);
        return false;
    }
    if (!buffer_)
        buffer_.reset(new char[kWriteBufferSize]);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kWriteBufferSize);
    path_ = path;
    written_ = 0;
    // The header names the stream variant; before the first frame header of
    // a connection it may not be known yet, and then the header waits for
    // the first block, by which time parsing has learned it.
    headerPending_ = state_.codecKind.load() < 0;
    // Flushed at once, so a disk that refuses to write is found before the
    // recording is reported as running.
    if (!headerPending_ && (!WriteHeader() || std::fflush(file_) != 0)) {
        std::fclose(file_);
        file_ = nullptr;
        ::unlink(path.c_str()); // ours, created empty just now
        events.messages.push_back(kCantWriteFile);
        return false;
    }
    kind_ = kind;
    return true;
}

void StreamRecorder::CloseFile(Events& events)
{
    if (!file_)
        return;
    if (std::fclose(file_) != 0)
        events.messages.push_back(kCantWriteFile);
    file_ = nullptr;
}

void StreamRecorder::FailWrite(Events& events)
{
    std::fclose(file_); // what it cannot write any more is lost either way
    file_ = nullptr;
    kind_ = 0;
    events.stateChanged = true;
    events.messages.push_back(kCantWriteFile);
}

bool StreamRecorder::StartRecording(int kind)
{
    if (kind != kModeLive && kind != kModeRemotePlayback)
        return false;
    Events events;
    bool started;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (kind_.load() == kind)
            return true;
        if (file_) {
            // The other mode's recording ends first.
            CloseFile(events);
            kind_ = 0;
            events.stateChanged = true;
        }
        started = OpenFile(kind, events);
        events.stateChanged = events.stateChanged || started;
    }
    Deliver(events);
    return started;
}

void StreamRecorder::StopRecording()
{
    Events events;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!file_)
            return;
        CloseFile(events);
        kind_ = 0;
        events.stateChanged = true;
    }
    Deliver(events);
}

void StreamRecorder::WriteFrame(const uint8_t* block, size_t size, int mode)
{
    if (!block || size == 0 || mode == 0 || kind_.load() != mode)
        return;
    Events events;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (kind_.load() != mode || !file_)
            return;
        if ((headerPending_ && !WriteHeader()) || std::fwrite(block, 1, size, file_) != size) {
            FailWrite(events);
        } else {
            written_ += size;
            if (written_ > rolloverBytes_) {
                // The block that crossed the limit ends this file; the next
                // one starts with its own header.
                const size_t before = events.messages.size();
                CloseFile(events);
                if (events.messages.size() != before || !OpenFile(mode, events))
                    kind_ = 0;
                events.stateChanged = true;
            }
        }
    }
    Deliver(events);
}

void StreamRecorder::Deliver(const Events& events)
{
    if (events.stateChanged) {
        std::lock_guard<std::recursive_mutex> guard(deliverLock_);
        if (onStateChanged)
            onStateChanged(kind_.load());
    }
    // From the command task the Notifier returns at once; on the
    // user-interface thread it may wait for the user, with no lock held.
    for (const std::string& text : events.messages)
        notifier_.ShowMessage(text, MessageIcon::Warning);
}

} // namespace tarnvik
