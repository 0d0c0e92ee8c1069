#include "library/SearchLine.h"

#include <algorithm>
#include <limits>

namespace spinlorex {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The size after the path's last ",", when what follows it is a number (a minus sign
// first for the sizes beyond 2 GB that 32-bit writers printed as negative).
std::optional<uint32_t> sizeAfterComma(std::string_view tail) {
    const bool negative = tail.starts_with('-');
    if (negative) tail.remove_prefix(1);
    if (tail.empty() || !std::all_of(tail.begin(), tail.end(), isDigit)) return std::nullopt;
    uint64_t value = 0;
    for (char c : tail) {
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > std::numeric_limits<uint32_t>::max()) {
            // The decks clamp a larger file's size the same way.
            if (!negative) return std::numeric_limits<uint32_t>::max();
            return std::nullopt;
        }
    }
    if (negative) return static_cast<uint32_t>(static_cast<int32_t>(-static_cast<int64_t>(value)));
    return static_cast<uint32_t>(value);
}

}  // namespace

SearchLine parseSearchLine(std::string_view line) {
    SearchLine out;
    std::string_view pathPart = line;
    if (line.starts_with('/')) {
        if (const size_t colon = line.find(":/"); colon != std::string_view::npos) {
            out.kind = SearchLine::Kind::Drive;
            out.key = line.substr(0, colon + 1);
        }
    } else {
        const size_t equals = line.find('=');
        const size_t colon = line.find(':');
        if (equals != std::string_view::npos && equals < colon) {
            out.kind = SearchLine::Kind::Disc;
            out.key = line.substr(0, equals);
            pathPart = line.substr(equals + 1);
        } else if (colon != std::string_view::npos) {
            out.kind = SearchLine::Kind::Drive;
            out.key = line.substr(0, colon + 1);
        }
    }
    if (out.kind == SearchLine::Kind::Drive) pathPart = line.substr(out.key.size());

    out.path = pathPart;
    if (const size_t comma = pathPart.rfind(','); comma != std::string_view::npos) {
        if (const auto size = sizeAfterComma(pathPart.substr(comma + 1))) {
            out.size = *size;
            out.path = pathPart.substr(0, comma);
        }
    }
    out.separator = out.path.starts_with('\\') ? '\\' : '/';
    const size_t last = out.path.rfind(out.separator);
    out.folder = last == std::string_view::npos ? std::string_view() : out.path.substr(0, last);
    out.fileName = last == std::string_view::npos ? out.path : out.path.substr(last + 1);
    return out;
}

std::string joinWithOneSlash(std::string_view first, std::string_view second) {
    if (first.empty()) return std::string(second);
    if (second.empty()) return std::string(first);
    std::string joined(first);
    if (joined.ends_with('/') && second.starts_with('/'))
        second.remove_prefix(1);
    else if (!joined.ends_with('/') && !second.starts_with('/'))
        joined += '/';
    joined += second;
    return joined;
}

namespace {

// A drive key of this system: a mount point and ":".
bool isMountKey(std::string_view key) { return key.starts_with('/'); }

std::string_view mountPointOf(std::string_view key) { return key.substr(0, key.size() - 1); }

}  // namespace

std::string trackPathOf(const SearchLine& line, std::string_view cdDrive) {
    switch (line.kind) {
        case SearchLine::Kind::Disc: {
            std::string fromRoot(line.path);
            // A disc scanned on Windows reads the same from this system's drive.
            if (line.separator == '\\') std::replace(fromRoot.begin(), fromRoot.end(), '\\', '/');
            return joinWithOneSlash(cdDrive, fromRoot);
        }
        case SearchLine::Kind::Drive:
            if (isMountKey(line.key)) return joinWithOneSlash(mountPointOf(line.key), line.path);
            return std::string(line.key) + std::string(line.path);
        case SearchLine::Kind::Plain:
            break;
    }
    return std::string(line.path);
}

std::string shownFolderOf(const SearchLine& line) {
    if (line.kind != SearchLine::Kind::Drive) return std::string(line.folder);
    if (!isMountKey(line.key)) return std::string(line.key) + std::string(line.folder);
    if (line.folder.empty()) return std::string(mountPointOf(line.key));
    return joinWithOneSlash(mountPointOf(line.key), line.folder);
}

std::optional<std::string> driveKeyOf(std::string_view root) {
    while (root.size() > 1 && root.ends_with('/')) root.remove_suffix(1);
    if (!root.starts_with('/') || root.find(":/") != std::string_view::npos ||
        root.find_first_of("\r\n") != std::string_view::npos)
        return std::nullopt;
    return std::string(root) + ":";
}

bool isValidDiscName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxDiscName && !name.starts_with('/') &&
           name.find_first_of("=:\r\n") == std::string_view::npos;
}

}  // namespace spinlorex
