#include "library/SearchFileWriter.h"

namespace spinlorex {

SearchFileWriter::SearchFileWriter(const std::filesystem::path& file)
    : file_(file, FileReplacement::Folder::Create) {
    buffer_.reserve(kFlushAt + 4096);
}

void SearchFileWriter::flush() {
    if (!failed_ && !file_.write(buffer_)) failed_ = true;
    buffer_.clear();
}

bool SearchFileWriter::commit() {
    if (!file_.open()) return false;
    flush();
    return !failed_ && file_.commit();
}

}  // namespace spinlorex
