#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace spinlorex {

// A file written beside the one it replaces and renamed over it in one step once it is
// whole, so that a crash or a power loss while it is written leaves the old file as it
// was. Removed again unless it was put in place.
//
// One thread at a time.
class TempFile {
public:
    // Creates "<target>.tmp-<pid>-<stamp>"; open() tells whether that worked.
    explicit TempFile(const std::filesystem::path& target);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool open() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Writes all of `text`; false when the file system refused some of it.
    bool write(std::string_view text);

    // Makes the file durable, then puts it in place of `target` in one step.
    bool commit(const std::filesystem::path& target);

    // Gives the file the permissions of `file`, when that exists.
    void copyModeOf(const std::filesystem::path& file);

private:
    static constexpr int kRenamed = -2;
    std::string path_;
    int fd_ = -1;
};

}  // namespace spinlorex
