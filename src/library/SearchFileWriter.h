#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/core/WholeFile.h"

namespace spinlorex {

// Writes a new search file, which takes the old file's place only in commit() (see
// FileReplacement). Writes are buffered; a failed write is remembered and makes commit()
// fail.
//
// One thread at a time (a scan's worker creates and writes it).
class SearchFileWriter {
public:
    // Creates the folder when it is missing, and the temporary file in it.
    explicit SearchFileWriter(const std::filesystem::path& file);

    bool open() const { return file_.open(); }

    void write(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kFlushAt) flush();
    }
    // A whole line: its text, then CR LF.
    void writeLine(std::string_view line) {
        write(line);
        write("\r\n");
    }

    // Puts the file in place; false (the old file unchanged) when anything failed.
    bool commit();

private:
    static constexpr size_t kFlushAt = 1 << 16;
    void flush();

    FileReplacement file_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace spinlorex
