// The drive list as machines describe it in their mount tables, and the CD drive chosen
// from it.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/drives/Drives.h"

namespace spinlorex::drives {
namespace {

using enum DriveType;

std::vector<std::pair<std::string, DriveType>> rootsAndTypes(const std::vector<Drive>& drives) {
    std::vector<std::pair<std::string, DriveType>> out;
    for (const Drive& d : drives) out.emplace_back(d.root, d.type);
    return out;
}

TEST(Drives, MountTableGivesTheUsersDrivesInOrder) {
    DriveSources machine;
    machine.mounts =
        "rootfs / rootfs rw 0 0\n"
        "sysfs /sys sysfs rw,nosuid 0 0\n"
        "proc /proc proc rw 0 0\n"
        "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"  // hides the rootfs above, keeps its place
        "devpts /dev/pts devpts rw 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
        "/dev/nvme0n1p1 /boot/efi vfat rw 0 0\n"
        "/dev/loop3 /snap/core/123 squashfs ro 0 0\n"
        "overlay /var/lib/docker/overlay2/abc/merged overlay rw 0 0\n"
        "/dev/nvme0n1p3 /home ext4 rw 0 0\n"
        "/dev/sdb1 /media/me/MY\\040STICK vfat rw 0 0\n"
        "/dev/sr0 /media/me/Audio\\134CD iso9660 ro 0 0\n"
        "/dev/loop5 /mnt/image udf ro 0 0\n"
        "server:/music /mnt/music nfs4 rw 0 0\n"
        "/dev/nvme0n1p2 /etc/hosts ext4 rw 0 0\n"
        "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw 0 0\n"
        "broken line\n"
        "/dev/sdc1 /media/me/Other ext4 rw 0 0\n"
        "tmpfs /media/me/Other tmpfs rw 0 0\n";  // mounted over: no longer a drive
    machine.isRemovable = [](const std::string& device) { return device == "/dev/sdb1"; };
    machine.isDirectory = [](const std::string& path) { return path != "/etc/hosts"; };

    const std::vector<std::pair<std::string, DriveType>> expected = {
        {"/", Fixed},
        {"/home", Fixed},
        {"/media/me/MY STICK", Removable},
        {"/media/me/Audio\\CD", CdRom},
        {"/mnt/image", CdRom},
        {"/mnt/music", Remote}};
    EXPECT_EQ(rootsAndTypes(listDrives(machine)), expected);
    EXPECT_TRUE(listDrives(DriveSources{}).empty());
}

TEST(Drives, ThisMachineHasItsRootAndNoPseudoFileSystems) {
    const std::vector<Drive> drives = listDrives();
    EXPECT_TRUE(driveType(drives, "/").has_value());
    for (const Drive& d : drives) EXPECT_TRUE(d.fsType != "proc" && d.fsType != "sysfs") << d.root;
    EXPECT_FALSE(blockDeviceIsRemovable("/dev/no-such-device"));
    EXPECT_FALSE(blockDeviceIsRemovable("server:/music"));
}

TEST(Drives, DefaultCdDrive) {
    const auto drive = [](const char* root, DriveType type) { return Drive{root, "", "", type}; };
    const Drive a = drive("/media/A", Removable), c = drive("/", Fixed),
                d = drive("/media/D", CdRom), e = drive("/media/E", CdRom),
                f = drive("/media/F", Removable), n = drive("/mnt/net", Remote);
    using List = std::vector<Drive>;
    EXPECT_EQ(defaultCdDrive(List{a, c, d, e, f}), "/media/D");  // the first CD-ROM ends the walk
    EXPECT_EQ(defaultCdDrive(List{c, a, n}), "/media/A");
    EXPECT_EQ(defaultCdDrive(List{a, c, f}), "/media/F");  // the last removable one
    EXPECT_EQ(defaultCdDrive(List{n, c}), "/mnt/net");     // neither: the first drive
    EXPECT_EQ(defaultCdDrive(List{}), "");

    EXPECT_EQ(driveType(List{c, d}, "/media/D/"), CdRom);
    EXPECT_EQ(driveType(List{c, d}, "/media"), std::nullopt);
    EXPECT_EQ(driveType(List{c, d}, ""), std::nullopt);
}

}  // namespace
}  // namespace spinlorex::drives
