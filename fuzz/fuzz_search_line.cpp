// Feeds arbitrary lines to the search file's line parser. Every part it finds must lie in
// the line where the format puts it (key, separator, path, size), and a line written back
// from the parts the way a scan writes it ("key=path,size" for a disc, "key:path,size"
// for a drive) must parse to the same parts.

#include <stdlib.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "library/SearchLine.h"

using namespace spinlorex;

namespace {

void check(bool condition) {
    if (!condition) abort();
}

bool isNumber(std::string_view text) {
    if (text.starts_with('-')) text.remove_prefix(1);
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The line as a scan writes it: the drive key (with its ":") or the disc name and "=",
// the path, "," and the size when there is one.
std::string written(const SearchLine& parts, bool sized) {
    std::string line(parts.key);
    if (parts.kind == SearchLine::Kind::Disc) line += '=';
    line += parts.path;
    if (sized) line += "," + std::to_string(parts.size);
    return line;
}

void checkLine(std::string_view line) {
    const SearchLine parts = parseSearchLine(line);

    // Key, then path, then the size's text: nothing else, nothing left out.
    std::string_view rest = line;
    check(rest.starts_with(parts.key));
    rest.remove_prefix(parts.key.size());
    switch (parts.kind) {
        case SearchLine::Kind::Disc:
            check(parts.key.find_first_of("=:") == std::string_view::npos);
            check(!parts.key.starts_with('/'));
            check(rest.starts_with('='));
            rest.remove_prefix(1);
            break;
        case SearchLine::Kind::Drive:
            check(parts.key.ends_with(':'));
            check(parts.key.find(':') == parts.key.size() - 1 || parts.key.starts_with('/'));
            break;
        case SearchLine::Kind::Plain:
            check(parts.key.empty());
            break;
    }
    check(rest.starts_with(parts.path));
    const std::string_view sizeText = rest.substr(parts.path.size());
    const bool sized = !sizeText.empty();
    if (sized) check(sizeText.starts_with(',') && isNumber(sizeText.substr(1)));
    if (!sized) check(parts.size == 0);

    // The path is its folder, the separator and its file name.
    check(parts.fileName.find(parts.separator) == std::string_view::npos);
    check(parts.path.ends_with(parts.fileName));
    if (parts.fileName.size() < parts.path.size()) {
        check(parts.path.substr(0, parts.folder.size()) == parts.folder);
        check(parts.path[parts.folder.size()] == parts.separator);
        check(parts.folder.size() + 1 + parts.fileName.size() == parts.path.size());
    } else {
        check(parts.folder.empty());
    }

    // Written back as a scan writes it, the line gives the same parts.
    const std::string again = written(parts, sized);
    const SearchLine reparsed = parseSearchLine(again);
    check(reparsed.kind == parts.kind);
    check(reparsed.key == parts.key);
    check(reparsed.path == parts.path);
    check(reparsed.size == parts.size);
    check(lineKey(again) == parts.key);

    // The texts the lists and the decks make of it.
    (void)trackPathOf(parts, "/media/cdrom");
    (void)shownFolderOf(parts);
    if (parts.kind == SearchLine::Kind::Disc && !parts.key.empty() &&
        parts.key.size() <= kMaxDiscName &&
        parts.key.find_first_of("\r\n") == std::string_view::npos)
        check(isValidDiscName(parts.key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    checkLine(text);  // a line as it stands, line ends and all
    // And line by line, as the search file is read.
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        checkLine(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    if (const auto key = driveKeyOf(std::string_view(reinterpret_cast<const char*>(data), size))) {
        check(key->ends_with(':'));
        check(parseSearchLine(*key + "/a.mp3,1").key == *key);
    }
    return 0;
}
