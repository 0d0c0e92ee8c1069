#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>

// Files read whole and replaced whole (settings, playlists, the search file). Any thread;
// one thread at a time per object.

namespace spinlorex {

enum class FileRead { Read, Missing, NotAFile, TooLarge, Unreadable };

// Reads all of `path`, a regular file of at most `limit` bytes, into `text` (left empty
// unless Read). Missing: no such file or folder. The file is opened without blocking, so
// a pipe named like it cannot hold the reader; one that grows past `limit` while it is
// read (the kernel's files report no size) is TooLarge.
FileRead readWholeFile(const std::string& path, std::string& text,
                       uint64_t limit = std::numeric_limits<uint64_t>::max());

// Writes all of `data` to `fd`, again after an interruption; false when the file system
// refused some of it.
bool writeAll(int fd, std::string_view data);

// A file replaced whole: the new text goes to a temporary file beside it
// ("<file>.tmp-<pid>-<stamp>"), which takes the old file's place in one step only once it
// is whole and on the disk, so a failure, a crash or a power loss meanwhile leaves the old
// file as it was. A file kept as a link stays a link: the file it points to is replaced.
// Only a regular file (or none) is replaced, never a folder or a device named by mistake.
// The new file keeps the old one's permissions; a first one gets `newFileMode` (less the
// umask).
class FileReplacement {
public:
    enum class Folder { MustExist, Create };

    explicit FileReplacement(const std::filesystem::path& file, Folder folder = Folder::MustExist,
                             unsigned newFileMode = 0666);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Whether the temporary file could be made.
    bool open() const { return fd_ >= 0; }

    // Writes all of `text`; false when the file system refused some of it.
    bool write(std::string_view text);

    // Makes the file durable, then puts it in place of the old one; false (the old file
    // unchanged) when anything failed.
    bool commit();

private:
    static constexpr int kRenamed = -2;
    std::filesystem::path target_;
    std::string path_;
    int fd_ = -1;
};

// Replaces `file` with one holding `text` through a FileReplacement.
bool replaceFile(const std::filesystem::path& file, std::string_view text,
                 FileReplacement::Folder folder = FileReplacement::Folder::MustExist,
                 unsigned newFileMode = 0666);

}  // namespace spinlorex
