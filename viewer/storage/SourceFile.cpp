#include "SourceFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnvik {

SourceFile::~SourceFile()
{
    Close();
}

bool SourceFile::Open(const std::string& path, std::string& error)
{
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    uint64_t size = 0;
    if (S_ISBLK(st.st_mode)) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0)
            size = 0;
    } else if (S_ISREG(st.st_mode)) {
        size = uint64_t(st.st_size);
    } else {
        error = "not a file or a disk";
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = size;
    path_ = path;
    return true;
}

void SourceFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
    path_.clear();
}

size_t SourceFile::ReadAt(uint64_t offset, uint8_t* out, size_t size) const
{
    if (fd_ < 0 || offset >= size_)
        return 0;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, out + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return done;
}

} // namespace tarnvik
