#include "platform/core/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

namespace spinlorex {

namespace fs = std::filesystem;

FileRead readWholeFile(const std::string& path, std::string& text, uint64_t limit) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::Unreadable;
    FileRead result = FileRead::Read;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        result = FileRead::NotAFile;
    } else if (static_cast<uint64_t>(status.st_size) > limit) {
        result = FileRead::TooLarge;
    } else {
        // One byte more: a caller may add an end mark without the text moving.
        text.reserve(static_cast<size_t>(status.st_size) + 1);
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                if (got < 0) result = FileRead::Unreadable;
                break;
            }
            if (text.size() + static_cast<uint64_t>(got) > limit) {
                result = FileRead::TooLarge;
                break;
            }
            text.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(fd);
    if (result != FileRead::Read) {
        text.clear();
        text.shrink_to_fit();
    }
    return result;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

namespace {

// The file that is replaced for `file`: itself, or the file it links to. Empty when that
// cannot be told, or when it is something else than a regular file.
fs::path replacedFile(const fs::path& file, FileReplacement::Folder folder) {
    std::error_code ec;
    if (folder == FileReplacement::Folder::Create && file.has_parent_path())
        fs::create_directories(file.parent_path(), ec);
    fs::path target = file;
    if (fs::is_symlink(file, ec)) {
        target = fs::weakly_canonical(file, ec);
        if (ec) return {};
        if (folder == FileReplacement::Folder::Create && target.has_parent_path())
            fs::create_directories(target.parent_path(), ec);
    }
    struct stat status {};
    if (::stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return {};
    return target;
}

}  // namespace

FileReplacement::FileReplacement(const fs::path& file, Folder folder, unsigned newFileMode)
    : target_(replacedFile(file, folder)) {
    if (target_.empty()) return;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        path_ = target_.string() + ".tmp-" + std::to_string(getpid()) + "-" +
                std::to_string(stamp + attempt);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    struct stat old {};
    if (fd_ >= 0 && ::stat(target_.c_str(), &old) == 0) ::fchmod(fd_, old.st_mode & 07777);
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) ::close(fd_);
    if (fd_ != kRenamed && !path_.empty()) ::unlink(path_.c_str());
}

bool FileReplacement::write(std::string_view text) { return fd_ >= 0 && writeAll(fd_, text); }

bool FileReplacement::commit() {
    if (fd_ < 0 || ::fsync(fd_) != 0) return false;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) return false;
    if (::rename(path_.c_str(), target_.c_str()) != 0) return false;
    fd_ = kRenamed;
    return true;
}

bool replaceFile(const fs::path& file, std::string_view text, FileReplacement::Folder folder,
                 unsigned newFileMode) {
    FileReplacement replacement(file, folder, newFileMode);
    return replacement.write(text) && replacement.commit();
}

}  // namespace spinlorex
