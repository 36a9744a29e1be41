// Finds a DVR's hard disk attached to this computer: a mounted file system
// whose root holds `timeindex` (the index partition) and, on the same disk,
// the partition numbered one higher (the video partition), which is read
// raw. Nothing is mounted, locked or bound; the paths of the mount table,
// of /dev and of /sys are parameters so that tests run on ordinary files.
#pragma once

#include <optional>
#include <string>

namespace tarnvik {

struct DiskSystemPaths {
    std::string mountTable = "/proc/self/mounts";
    std::string dev = "/dev";
    std::string sys = "/sys";
};

struct DvrDisk {
    std::string indexRoot;   // the mounted root holding `timeindex`
    std::string indexDevice; // its block device, e.g. /dev/sdb1
    std::string videoDevice; // the next partition of the same disk, e.g. /dev/sdb2
    std::string timeIndexPath() const { return indexRoot + "/timeindex"; }
    std::string carIdPath() const { return indexRoot + "/CARID"; }
};

class DvrDiskLocator {
public:
    explicit DvrDiskLocator(DiskSystemPaths paths = {});
    // The first mounted index partition (mount table order) whose video
    // partition exists; nothing when there is none.
    std::optional<DvrDisk> Find() const;

    // The partition after `device` on the same disk: sdb1 -> sdb2,
    // nvme0n1p1 -> nvme0n1p2, mmcblk0p1 -> mmcblk0p2. Empty when `device`
    // names no partition.
    static std::string NextPartition(const std::string& device);

private:
    DiskSystemPaths paths_;
};

} // namespace tarnvik
