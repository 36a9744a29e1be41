#include "IniFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvik {

namespace fs = std::filesystem;

namespace {

enum class LoadStatus { Loaded, Missing, Unusable };

struct LoadedFile {
    LoadStatus status = LoadStatus::Missing;
    std::string data;
    mode_t mode = 0;
};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Close reports write-back errors on some file systems, so it is checked.
    bool Close()
    {
        int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

LoadedFile Load(const fs::path& path)
{
    LoadedFile file;
    // O_NONBLOCK keeps a FIFO at this path from blocking the open; it is then
    // refused as not a regular file.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        file.status = (errno == ENOENT || errno == ENOTDIR) ? LoadStatus::Missing : LoadStatus::Unusable;
        return file;
    }
    file.status = LoadStatus::Unusable;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > kIniMaxFileSize)
        return file;
    file.mode = st.st_mode;
    // The size is only a hint: the file may grow while it is read, so the cap
    // is checked against what actually arrives.
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return file;
        }
        if (n == 0)
            break;
        if (size_t(n) > kIniMaxFileSize - file.data.size())
            return file;
        file.data.append(chunk, size_t(n));
    }
    file.status = LoadStatus::Loaded;
    return file;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(size_t(n));
    }
    return true;
}

// The temporary file sits beside the target so that the rename stays inside
// one file system and is atomic.
bool Save(const fs::path& target, std::string_view data, const LoadedFile& old)
{
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    fs::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";
    else if (!fs::exists(dir, ec))
        fs::create_directories(dir, ec);

    fs::path temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        std::string name = ".";
        name += target.filename().string();
        name += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        temp = dir / name;
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST)
            return false;
    }
    if (raw < 0)
        return false;
    Fd fd(raw);
    bool ok = true;
    if (old.status == LoadStatus::Loaded)
        ok = ::fchmod(fd.get(), old.mode & 07777) == 0;
    ok = ok && WriteAll(fd.get(), data) && ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself durable; a failure here loses nothing already
    // written, so it is not reported.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0)
        ::fsync(dirFd.get());
    return true;
}

fs::path WriteTarget(const fs::path& path)
{
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path target = fs::weakly_canonical(path, ec);
        if (!ec)
            return target;
    }
    return path;
}

} // namespace

IniFile::IniFile(fs::path path, LineEnding newFileLineEnding)
    : path_(std::move(path)), newFileLineEnding_(newFileLineEnding)
{
}

IniText IniFile::Read() const
{
    LoadedFile file = Load(path_);
    if (file.status != LoadStatus::Loaded)
        file.data.clear();
    return IniText(std::move(file.data), newFileLineEnding_);
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    return Read().GetString(section, key, defaultValue);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    return Read().GetInt(section, key, defaultValue);
}

bool IniFile::WriteString(std::string_view section, std::optional<std::string_view> key,
                          std::optional<std::string_view> value) const
{
    return Update([&](IniText& text) { return text.WriteString(section, key, value); });
}

bool IniFile::WriteInt(std::string_view section, std::string_view key, int value) const
{
    return Update([&](IniText& text) { return text.WriteInt(section, key, value); });
}

bool IniFile::Update(const std::function<bool(IniText&)>& edit) const
{
    fs::path target = WriteTarget(path_);
    LoadedFile old = Load(target);
    if (old.status == LoadStatus::Unusable)
        return false;
    IniText text(old.data, newFileLineEnding_);
    if (!edit(text))
        return false;
    if (old.status == LoadStatus::Loaded && text.Text() == old.data)
        return true;
    // Removing from a file that does not exist leaves no file behind.
    if (old.status == LoadStatus::Missing && text.Text().empty())
        return true;
    return Save(target, text.Text(), old);
}

} // namespace tarnvik
