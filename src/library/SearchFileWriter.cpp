#include "library/SearchFileWriter.h"

namespace spinlorex {

namespace fs = std::filesystem;

fs::path SearchFileWriter::replacedFile(const fs::path& file) {
    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    // A search file that is a link (kept with other files elsewhere) stays a link: the
    // file it points to is the one replaced.
    if (fs::is_symlink(file, ec)) {
        const fs::path target = fs::weakly_canonical(file, ec);
        if (!ec) return target;
    }
    return file;
}

SearchFileWriter::SearchFileWriter(const fs::path& file) : file_(replacedFile(file)), temp_(file_) {
    if (temp_.open()) temp_.copyModeOf(file_);
    buffer_.reserve(kFlushAt + 4096);
}

void SearchFileWriter::flush() {
    if (!failed_ && !temp_.write(buffer_)) failed_ = true;
    buffer_.clear();
}

bool SearchFileWriter::commit() {
    if (!temp_.open()) return false;
    flush();
    return !failed_ && temp_.commit(file_);
}

}  // namespace spinlorex
