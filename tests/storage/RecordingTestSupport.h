// Helpers of the recorder tests: whole files, the
// records of an `.avs` file and the recordings of a folder in time order.
#pragma once

#include "TempFolder.h"

#include "dvrformat/FrameHeader.h"
#include "dvrformat/StreamFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace tarnvik::test {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFile(const std::string& path)
{
    return ReadBytes(path);
}

// The `.avs` files of a folder in the order they were started: by name, a
// numbered name after the plain one of its second.
inline std::vector<std::string> Recordings(const std::string& folder)
{
    std::vector<std::pair<std::pair<std::string, long>, std::string>> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".avs" || name.size() < 19)
            continue;
        const std::string suffix = name.substr(15, name.size() - 19); // "" or "_N"
        found.push_back({{name.substr(0, 15), suffix.empty() ? 0 : std::atol(suffix.c_str() + 1)},
                         entry.path().string()});
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (const auto& f : found)
        paths.push_back(f.second);
    return paths;
}

// The frame records after a recording's 8-byte header, split by their
// record length; the test fails when they do not fill the file exactly.
inline std::vector<Bytes> Records(const Bytes& file)
{
    std::vector<Bytes> records;
    size_t at = dvrformat::kStreamFileHeaderSize;
    while (at < file.size()) {
        const size_t left = file.size() - at;
        if (dvrformat::FindFrameMagic(file.data() + at, std::min<size_t>(left, 40)) != 0) {
            ADD_FAILURE() << "no frame header at " << at;
            break;
        }
        const uint32_t length = dvrformat::FrameHeader::Read(file.data() + at, left).recordLength;
        if (length == 0 || length > left) {
            ADD_FAILURE() << "record at " << at << " of length " << length << " overruns the file";
            break;
        }
        records.emplace_back(file.begin() + long(at), file.begin() + long(at + length));
        at += length;
    }
    return records;
}

inline Bytes Concat(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// True when `run` occurs in `whole` as one contiguous piece.
inline bool ContainsRun(const Bytes& whole, const Bytes& run)
{
    if (run.empty())
        return false;
    return std::search(whole.begin(), whole.end(), std::boyer_moore_horspool_searcher(run.begin(), run.end())) !=
           whole.end();
}

} // namespace tarnvik::test
