#include "DvrDiskLocator.h"

#include <cctype>
#include <fstream>
#include <sys/stat.h>
#include <vector>

namespace tarnvik {

namespace {

constexpr char kDevPrefix[] = "/dev/";

// Mount table fields escape blanks, tabs, newlines and backslashes as \ooo.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i > 3) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(char(((a - '0') << 6) | ((b - '0') << 3) | (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool AllDigits(const std::string& s, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
    return to > from;
}

bool AllLower(const std::string& s, size_t from, size_t to)
{
    for (size_t i = from; i < to; ++i)
        if (!std::islower(static_cast<unsigned char>(s[i])))
            return false;
    return to > from;
}

} // namespace

DvrDiskLocator::DvrDiskLocator(DiskSystemPaths paths) : paths_(std::move(paths)) {}

std::string DvrDiskLocator::NextPartition(const std::string& device)
{
    const size_t slash = device.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t digits = device.size();
    while (digits > nameStart && std::isdigit(static_cast<unsigned char>(device[digits - 1])))
        --digits;
    // A partition number of at most six digits: no overflow, no absurd names.
    if (digits == device.size() || device.size() - digits > 6 || digits == nameStart)
        return {};
    const long number = std::stol(device.substr(digits));
    const std::string base = device.substr(0, digits);
    const std::string name = device.substr(nameStart, digits - nameStart);
    // Disks whose names end in a digit number their partitions after a 'p':
    // nvme0n1p1, mmcblk0p1, loop0p1.
    const bool pForm = name.size() >= 2 && name.back() == 'p' && AllDigits(name, name.size() - 2, name.size() - 1);
    // Disks named by letters take the number directly: sdb1, hda1, vdb1,
    // xvda1. Other names (nvme0n1, md0, sr0) are whole devices.
    bool letterForm = false;
    for (const char* family : {"sd", "hd", "vd", "xvd"}) {
        const std::string f = family;
        if (name.compare(0, f.size(), f) == 0 && AllLower(name, f.size(), name.size()))
            letterForm = true;
    }
    if (!pForm && !letterForm)
        return {};
    return base + std::to_string(number + 1);
}

std::optional<DvrDisk> DvrDiskLocator::Find() const
{
    std::ifstream table(paths_.mountTable);
    if (!table)
        return std::nullopt;
    const std::string prefix = kDevPrefix;
    std::string line;
    while (std::getline(table, line)) {
        const std::vector<std::string> fields = SplitFields(line);
        if (fields.size() < 2)
            continue;
        const std::string device = UnescapeMountField(fields[0]);
        const std::string root = UnescapeMountField(fields[1]);
        if (device.compare(0, prefix.size(), prefix) != 0 || !Exists(root + "/timeindex"))
            continue;
        const std::string next = NextPartition(device);
        if (next.empty())
            continue;
        // Device paths are taken under paths_.dev, so tests can use plain files.
        DvrDisk disk;
        disk.indexRoot = root;
        disk.indexDevice = paths_.dev + "/" + device.substr(prefix.size());
        disk.videoDevice = paths_.dev + "/" + next.substr(prefix.size());
        if (Exists(disk.videoDevice))
            return disk;
    }
    return std::nullopt;
}

} // namespace tarnvik
