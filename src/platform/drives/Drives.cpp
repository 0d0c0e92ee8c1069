#include "platform/drives/Drives.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "platform/core/WholeFile.h"

namespace spinlorex::drives {
namespace {

namespace fs = std::filesystem;

// File systems that hold no user files, or that are the inner layers of something else.
// "/" is a drive whatever its type (a live system runs from overlay or tmpfs).
// clang-format off
constexpr std::string_view kPseudoTypes[] = {
    "aufs", "autofs", "binfmt_misc", "bpf", "cgroup", "cgroup2", "configfs", "debugfs",
    "devfs", "devpts", "devtmpfs", "efivarfs", "fusectl", "fuse.gvfsd-fuse", "fuse.lxcfs",
    "fuse.portal", "fuse.snapfuse", "hugetlbfs", "mqueue", "nfsd", "nsfs", "overlay",
    "overlayfs", "pipefs", "proc", "pstore", "ramfs", "rootfs", "rpc_pipefs", "securityfs",
    "selinuxfs", "smackfs", "sockfs", "squashfs", "sysfs", "tmpfs", "tracefs", "usbfs",
};
// clang-format on

constexpr std::string_view kRemoteTypes[] = {
    "9p",        "afs",   "ceph", "cifs", "davfs", "fuse.rclone", "fuse.sshfs",
    "glusterfs", "ncpfs", "nfs",  "nfs4", "smb3",  "smbfs",
};

// System partitions that a user does not keep music on.
constexpr std::string_view kSystemMounts[] = {"/boot", "/efi"};

bool contains(std::span<const std::string_view> list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool isSystemMount(std::string_view root) {
    return std::ranges::any_of(kSystemMounts, [&](std::string_view top) {
        return root == top || (root.starts_with(top) && root[top.size()] == '/');
    });
}

// The mounts text escapes space, tab, newline and backslash as three octal digits.
std::string unescapeOctal(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                           std::all_of(field.begin() + static_cast<long>(i) + 1,
                                       field.begin() + static_cast<long>(i) + 4,
                                       [](char c) { return c >= '0' && c <= '7'; });
        if (octal) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The first `count` fields of a line separated by spaces or tabs.
std::vector<std::string_view> fields(std::string_view line, size_t count) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (out.size() < count) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t", at), line.size());
        out.push_back(line.substr(at, end - at));
        at = end;
    }
    return out;
}

bool isOpticalDevice(std::string_view device) {
    for (std::string_view prefix : {"/dev/sr", "/dev/scd"}) {
        if (!device.starts_with(prefix) || device.size() == prefix.size()) continue;
        const std::string_view number = device.substr(prefix.size());
        if (std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

std::string withoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

std::optional<std::string> readSmallFile(const fs::path& path) {
    std::string text;
    // Far more than any mount table.
    if (readWholeFile(path.string(), text, 1 << 20) != FileRead::Read) return std::nullopt;
    return text;
}

// The removable flag of a block device's folder in sysfs; a partition asks its disk, a
// mapped or RAID device asks the devices under it.
bool sysfsRemovable(const fs::path& blockFolder, int depth) {
    std::error_code ec;
    const fs::path folder = fs::canonical(blockFolder, ec);
    if (ec || depth > 8) return false;
    if (fs::exists(folder / "partition", ec))
        return sysfsRemovable(folder.parent_path(), depth + 1);
    if (const auto flag = readSmallFile(folder / "removable"); flag && flag->starts_with("1"))
        return true;
    for (fs::directory_iterator it(folder / "slaves", ec), end; !ec && it != end;
         it.increment(ec)) {
        if (sysfsRemovable(it->path(), depth + 1)) return true;
    }
    return false;
}

}  // namespace

bool blockDeviceIsRemovable(const std::string& device) {
    if (!device.starts_with("/dev/")) return false;
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    if (ec || real.parent_path() != "/dev") return false;
    return sysfsRemovable(fs::path("/sys/class/block") / real.filename(), 0);
}

DriveSources systemDriveSources() {
    DriveSources sources;
    sources.mounts = readSmallFile("/proc/self/mounts").value_or("");
    sources.isRemovable = blockDeviceIsRemovable;
    sources.isDirectory = [](const std::string& path) {
        std::error_code ec;
        return fs::is_directory(path, ec);
    };
    return sources;
}

std::vector<Drive> listDrives(const DriveSources& sources) {
    // Every mount in order; a later mount on the same point hides the earlier one.
    std::vector<Drive> mounts;
    std::unordered_map<std::string, size_t> byRoot;
    std::string_view text = sources.mounts;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const auto f = fields(line, 3);
        if (f.size() < 3) continue;
        Drive drive{withoutTrailingSlash(unescapeOctal(f[1])), unescapeOctal(f[0]),
                    std::string(f[2]), DriveType::Fixed};
        if (!drive.root.starts_with("/")) continue;
        if (auto [at, added] = byRoot.try_emplace(drive.root, mounts.size()); added)
            mounts.push_back(std::move(drive));
        else
            mounts[at->second] = std::move(drive);
    }

    std::vector<Drive> drives;
    for (Drive& drive : mounts) {
        if (drive.root != "/" &&
            (contains(kPseudoTypes, drive.fsType) || isSystemMount(drive.root)))
            continue;
        if (sources.isDirectory && !sources.isDirectory(drive.root)) continue;
        if (isOpticalDevice(drive.device) || drive.fsType == "iso9660" || drive.fsType == "udf")
            drive.type = DriveType::CdRom;
        else if (contains(kRemoteTypes, drive.fsType))
            drive.type = DriveType::Remote;
        else if (sources.isRemovable && sources.isRemovable(drive.device))
            drive.type = DriveType::Removable;
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::vector<Drive> listDrives() { return listDrives(systemDriveSources()); }

std::optional<DriveType> driveType(std::span<const Drive> drives, std::string_view root) {
    if (root.empty()) return std::nullopt;
    const std::string wanted = withoutTrailingSlash(root);
    for (const Drive& drive : drives) {
        if (drive.root == wanted) return drive.type;
    }
    return std::nullopt;
}

std::string defaultCdDrive(std::span<const Drive> drives) {
    std::optional<std::string> candidate;
    for (const Drive& drive : drives) {
        if (drive.type == DriveType::Removable || drive.type == DriveType::CdRom)
            candidate = drive.root;
        if (drive.type == DriveType::CdRom) break;
    }
    if (candidate) return *candidate;
    return drives.empty() ? std::string() : drives.front().root;
}

}  // namespace spinlorex::drives
