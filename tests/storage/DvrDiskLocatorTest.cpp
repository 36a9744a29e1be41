// The disk locator over a fake mount table and device folder (no root).
#include "TempFolder.h"
#include "storage/DvrDiskLocator.h"

#include <gtest/gtest.h>

using namespace tarnvik;
using test::TempFolder;

namespace {

void Touch(const std::string& path) { test::WriteBytes(path, {}); }

DvrDiskLocator LocatorIn(const TempFolder& dir)
{
    std::filesystem::create_directories(dir / "sys");
    return DvrDiskLocator({dir / "mounts", dir / "dev", dir / "sys"});
}

} // namespace

TEST(DvrDiskLocatorTest, NextPartition)
{
    const std::pair<std::string, std::string> rows[] = {
        {"/dev/sdb1", "/dev/sdb2"},           {"/dev/sdab9", "/dev/sdab10"},
        {"/dev/nvme0n1p1", "/dev/nvme0n1p2"}, {"/dev/mmcblk0p1", "/dev/mmcblk0p2"},
        {"/dev/vda3", "/dev/vda4"},           {"/dev/xvda1", "/dev/xvda2"},
        {"/dev/sdb", ""},                     {"/dev/nvme0n1", ""},
        {"/dev/mmcblk0", ""},                 {"/dev/md0", ""},
        {"/dev/sr0", ""},                     {"/dev/sdb12345678", ""},
        {"/dev/1", ""},                       {"", ""},
    };
    for (const auto& [device, next] : rows)
        EXPECT_EQ(DvrDiskLocator::NextPartition(device), next) << device;
}

TEST(DvrDiskLocatorTest, FindsTheFirstIndexPartitionWithAVideoPartition)
{
    TempFolder dir;
    const std::string root = dir.str();
    Touch(dir / "whole/timeindex");        // /dev/sdb: no partition number
    Touch(dir / "novideo/timeindex");      // /dev/sdc1: no sdc2
    Touch(dir / "noindex/CARID");          // /dev/sda1: no timeindex
    Touch(dir / "with space/timeindex");   // /dev/sdd1 -> sdd2
    Touch(dir / "later/timeindex");        // /dev/sde1 -> sde2, found second
    for (const char* dev : {"sdb", "sdb1", "sda2", "sdd2", "sde2"})
        Touch(dir / (std::string("dev/") + dev));
    test::WriteBytes(dir / "mounts", [&] {
        const std::string table = "proc /proc proc rw,nosuid 0 0\n"
                                  "tmpfs " + root + "/whole tmpfs rw 0 0\n"
                                  "/dev/sda1 " + root + "/noindex ext4 rw 0 0\n"
                                  "/dev/sdb " + root + "/whole vfat rw 0 0\n"
                                  "/dev/sdc1 " + root + "/novideo vfat rw 0 0\n"
                                  "\n"
                                  "/dev/sdd1 " + root + "/with\\040space vfat rw,relatime 0 0\n"
                                  "/dev/sde1 " + root + "/later vfat rw 0 0\n";
        return std::vector<uint8_t>(table.begin(), table.end());
    }());
    const std::optional<DvrDisk> disk = LocatorIn(dir).Find();
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->indexRoot, root + "/with space");
    EXPECT_EQ(disk->indexDevice, root + "/dev/sdd1");
    EXPECT_EQ(disk->videoDevice, root + "/dev/sdd2");
    EXPECT_EQ(disk->timeIndexPath(), root + "/with space/timeindex");
    EXPECT_EQ(disk->carIdPath(), root + "/with space/CARID");
}

TEST(DvrDiskLocatorTest, PartitionFamiliesAndNothingFound)
{
    for (const auto& [index, video] : {std::pair{"sdb1", "sdb2"}, std::pair{"nvme0n1p1", "nvme0n1p2"},
                                       std::pair{"mmcblk0p1", "mmcblk0p2"}}) {
        TempFolder dir;
        Touch(dir / "idx/timeindex");
        const std::string line = std::string("/dev/") + index + " " + dir.str() + "/idx vfat rw 0 0\n";
        test::WriteBytes(dir / "mounts", std::vector<uint8_t>(line.begin(), line.end()));
        EXPECT_FALSE(LocatorIn(dir).Find()) << "before " << video << " exists";
        Touch(dir / (std::string("dev/") + video));
        const auto disk = LocatorIn(dir).Find();
        ASSERT_TRUE(disk) << index;
        EXPECT_EQ(disk->videoDevice, dir / (std::string("dev/") + video));
    }
    TempFolder empty;
    EXPECT_FALSE(LocatorIn(empty).Find()); // no mount table at all
}
