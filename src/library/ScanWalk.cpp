#include "library/ScanWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <vector>

#include "library/AudioFileTypes.h"
#include "library/SearchFileWriter.h"

namespace spinlorex {

void ScanProgress::enteringFolder(std::string_view folder) {
    const std::lock_guard lock(mutex_);
    folder_.assign(folder);
}

void ScanProgress::fileWritten(std::string_view, uint64_t count) {
    count_.store(count, std::memory_order_relaxed);
}

std::string ScanProgress::folder() const {
    const std::lock_guard lock(mutex_);
    return folder_;
}

namespace {

bool wanted(std::string_view name, int mask) {
    return ((mask & kScanMp3) != 0 && hasExtension(name, ".mp3")) ||
           ((mask & kScanWav) != 0 && isWavFileName(name)) ||
           ((mask & kScanSndfile) != 0 && isSndfileFileName(name));
}

// The names of one folder, kept in one buffer, each followed by a zero byte so that it
// can be handed to the system as it is.
class NameList {
public:
    void add(std::string_view name) {
        spans_.push_back(
            {static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(name.size())});
        bytes_.append(name);
        bytes_.push_back('\0');
    }
    void sort() {
        std::sort(spans_.begin(), spans_.end(),
                  [this](Span a, Span b) { return view(a) < view(b); });
    }
    size_t size() const { return spans_.size(); }
    std::string_view operator[](size_t i) const { return view(spans_[i]); }

private:
    struct Span {
        uint32_t begin, length;
    };
    std::string_view view(Span s) const {
        return std::string_view(bytes_).substr(s.begin, s.length);
    }
    std::string bytes_;
    std::vector<Span> spans_;
};

class Walk {
public:
    Walk(std::string_view prefix, SearchFileWriter& out, ScanObserver& observer, int mask,
         const WalkLimits& limits, uint64_t count)
        : prefix_(prefix),
          out_(out),
          observer_(observer),
          mask_(mask),
          limits_(limits),
          count_(count) {}

    uint64_t run(const std::string& root) {
        path_ = root;
        while (!path_.empty() && path_.back() == '/') path_.pop_back();  // "/" walks from ""
        rootLength_ = path_.size();
        const uint64_t before = count_;
        const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return 0;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return 0;
        }
        device_ = st.st_dev;
        walkFolder(fd);
        return count_ - before;
    }

    bool stopped() const { return stopped_; }

private:
    bool checkStop() {
        if (!stopped_ && observer_.stopRequested()) stopped_ = true;
        return stopped_;
    }

    // Walks the folder at path_, open as `fd` (which it closes).
    void walkFolder(int fd) {
        observer_.enteringFolder(path_.empty() ? std::string_view("/") : std::string_view(path_));
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            return;
        }
        NameList files, folders;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name.starts_with('.') || name.find_first_of("\r\n") != std::string_view::npos)
                continue;
            unsigned char type = entry->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
            }
            if (type == DT_REG && wanted(name, mask_))
                files.add(name);
            else if (type == DT_DIR)
                folders.add(name);
        }
        files.sort();
        for (size_t i = 0; i < files.size() && !checkStop(); ++i) writeFile(::dirfd(dir), files[i]);
        ::closedir(dir);
        if (stopped_) return;

        folders.sort();
        for (size_t i = 0; i < folders.size() && !checkStop(); ++i) {
            const size_t length = path_.size();
            path_ += '/';
            path_ += folders[i];
            enterFolder();
            path_.resize(length);
        }
    }

    void enterFolder() {
        if (limits_.otherRoots.contains(path_)) return;  // another drive's
        const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_dev != device_) {  // a file system mounted here
            ::close(fd);
            return;
        }
        walkFolder(fd);
    }

    void writeFile(int dirFd, std::string_view name) {
        struct stat st {};
        const bool sized = ::fstatat(dirFd, name.data(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (sized && !S_ISREG(st.st_mode)) return;  // replaced meanwhile
        out_.write(prefix_);
        out_.write(std::string_view(path_).substr(rootLength_));
        out_.write("/");
        out_.write(name);
        if (sized) {
            char digits[24] = {','};
            const auto end =
                std::to_chars(digits + 1, digits + sizeof digits, static_cast<uint64_t>(st.st_size))
                    .ptr;
            out_.write(std::string_view(digits, static_cast<size_t>(end - digits)));
        }
        out_.write("\r\n");
        ++count_;
        observer_.fileWritten(name, count_);
    }

    std::string_view prefix_;
    SearchFileWriter& out_;
    ScanObserver& observer_;
    int mask_;
    const WalkLimits& limits_;
    uint64_t count_;
    std::string path_;
    size_t rootLength_ = 0;
    dev_t device_ = 0;
    bool stopped_ = false;
};

}  // namespace

uint64_t scanFolder(const std::string& root, std::string_view prefix, SearchFileWriter& out,
                    ScanObserver& observer, int mask, const WalkLimits& limits,
                    uint64_t countBefore) {
    Walk walk(prefix, out, observer, mask, limits, countBefore);
    return walk.run(root);
}

}  // namespace spinlorex
