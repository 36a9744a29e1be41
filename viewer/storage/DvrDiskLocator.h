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
    // Both devices are named under DiskSystemPaths::dev (the mount table's
    // "/dev/" replaced by it), so they can be opened as given.
    std::string indexDevice; // its block device, e.g. /dev/sdb1
    std::string videoDevice; // the next partition of the same disk, e.g. /dev/sdb2
    std::string timeIndexPath() const { return indexRoot + "/timeindex"; }
    std::string carIdPath() const { return indexRoot + "/CARID"; }
};

class DvrDiskLocator {
public:
    explicit DvrDiskLocator(DiskSystemPaths paths = {});
    // The first mounted index partition (mount table order, a device under
    // /dev/ whose mount point holds `timeindex`) whose video partition
    // exists; nothing when there is none or the table cannot be read.
    // Octal escapes of the table (\040 for a blank) are decoded. /sys is
    // not needed: the partition's name alone gives its successor.
    std::optional<DvrDisk> Find() const;

    // The partition after `device` on the same disk: sdb1 -> sdb2,
    // nvme0n1p1 -> nvme0n1p2, mmcblk0p1 -> mmcblk0p2 (any disk whose name
    // ends in a digit takes 'p' and the number; sd, hd, vd and xvd disks
    // take the number directly). Empty when `device` names no partition
    // (/dev/sdb, /dev/nvme0n1, /dev/md0).
    static std::string NextPartition(const std::string& device);

private:
    DiskSystemPaths paths_;
};

} // namespace tarnvik
