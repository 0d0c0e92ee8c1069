#include "platform/core/TempFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

namespace spinlorex {

TempFile::TempFile(const std::filesystem::path& target) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        path_ = target.string() + ".tmp-" + std::to_string(getpid()) + "-" +
                std::to_string(stamp + attempt);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
}

TempFile::~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (fd_ != kRenamed && !path_.empty()) ::unlink(path_.c_str());
}

bool TempFile::write(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd_, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool TempFile::commit(const std::filesystem::path& target) {
    if (::fsync(fd_) != 0) return false;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) return false;
    if (::rename(path_.c_str(), target.c_str()) != 0) return false;
    fd_ = kRenamed;
    return true;
}

void TempFile::copyModeOf(const std::filesystem::path& file) {
    struct stat old {};
    if (::stat(file.c_str(), &old) == 0) ::fchmod(fd_, old.st_mode & 07777);
}

}  // namespace spinlorex
