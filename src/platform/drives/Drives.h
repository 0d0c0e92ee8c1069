#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The machine's logical drives: the mounted file systems that hold the user's files, in
// mount order. A drive's root path is its mount point. Pseudo file systems (proc, sysfs,
// tmpfs, cgroup, overlay and the like) are not drives.
//
// Main thread only; nothing here keeps state between calls.

namespace spinlorex::drives {

enum class DriveType {
    Fixed,
    Removable,  // its disk says so in /sys/block/<disk>/removable
    CdRom,      // an optical device (/dev/sr*) or a disc file system (iso9660, udf)
    Remote,     // a network file system
};

struct Drive {
    std::string root;    // the mount point, e.g. "/media/me/STICK"
    std::string device;  // what is mounted there, e.g. "/dev/sdb1"
    std::string fsType;  // e.g. "vfat"
    DriveType type = DriveType::Fixed;
};

// Where the list comes from, so that tests can describe any machine.
struct DriveSources {
    std::string mounts;  // text in the format of /proc/self/mounts
    // Whether the block device (as named in the mounts text) sits on a removable disk.
    // Empty: nothing is removable.
    std::function<bool(const std::string& device)> isRemovable;
    // Whether a mount point is a folder (files bind-mounted over files are not drives).
    // Empty: every mount point is.
    std::function<bool(const std::string& path)> isDirectory;
};

// This machine's sources: /proc/self/mounts, /sys/class/block and the file system.
DriveSources systemDriveSources();

std::vector<Drive> listDrives(const DriveSources& sources);
std::vector<Drive> listDrives();  // this machine's

// The removable flag of the disk that holds a block device, following symbolic links
// (/dev/disk/by-label/...), partitions to their disk and mapped devices to what they map.
bool blockDeviceIsRemovable(const std::string& device);

// The type of the drive whose root is `root` (a trailing "/" does not matter); none when
// no drive has that root.
std::optional<DriveType> driveType(std::span<const Drive> drives, std::string_view root);

// The drive a CD scan should use when the user chose none: the first CD-ROM drive, else
// the last removable drive, else the first drive; empty without drives.
std::string defaultCdDrive(std::span<const Drive> drives);

}  // namespace spinlorex::drives
