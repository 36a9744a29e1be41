// A folder of this fuzz process for the files a target writes, on tmpfs
// where there is one; removed at exit.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace tarnvik::fuzz {

struct ScratchFolder {
    explicit ScratchFolder(const std::string& name)
    {
        std::string pattern = (std::filesystem::is_directory("/dev/shm") ? "/dev/shm/" : "/tmp/") + name + ".XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        folder = pattern;
    }
    ~ScratchFolder() { std::filesystem::remove_all(folder); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path folder;
};

} // namespace tarnvik::fuzz
