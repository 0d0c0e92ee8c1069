#include "platform/core/HandOverRequest.h"

#include <algorithm>

#include "platform/core/AsciiText.h"

namespace spinlorex {
namespace {

constexpr std::string_view kGreeting = "SPINLOREX OPEN\n";
constexpr std::string_view kEnd = "\n\n";

bool isPlain(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '-' || c == '.' || c == '_' || c == '~';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string fileUrlOf(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    url.reserve(url.size() + path.size() * 3);
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (isPlain(byte)) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 15];
        }
    }
    return url;
}

std::string pathOfFileUrl(std::string_view url) {
    if (!ascii::startsWithNoCase(url, "file://")) return {};
    url.remove_prefix(7);
    if (ascii::startsWithNoCase(url, "localhost/")) url.remove_prefix(9);
    if (!url.starts_with('/')) return {};  // another host's file, or no path
    std::string path;
    path.reserve(url.size());
    for (size_t i = 0; i < url.size(); ++i) {
        const char c = url[i];
        if (c == '%') {
            if (i + 2 >= url.size()) return {};
            const int high = hexValue(url[i + 1]);
            const int low = hexValue(url[i + 2]);
            if (high < 0 || low < 0) return {};
            const char byte = static_cast<char>(high * 16 + low);
            if (byte == '\0') return {};
            path += byte;
            i += 2;
        } else if (c == '?' || c == '#' || c == '\0' || c == '\r') {
            return {};
        } else {
            path += c;
        }
    }
    return path;
}

std::string handOverRequest(std::span<const std::string> files) {
    std::string request(kGreeting);
    for (const std::string& file : files) {
        request += fileUrlOf(file);
        request += '\n';
    }
    request += '\n';
    return request;
}

HandOverReader::State HandOverReader::add(std::string_view bytes) {
    if (state_ != State::Incomplete) return state_;
    if (bytes.size() > kMaxRequestBytes - bytes_.size()) {
        state_ = State::Refused;
        bytes_.clear();
        return state_;
    }
    bytes_ += bytes;
    // What does not begin as a request is refused at once, not kept until it ends.
    const size_t known = std::min(bytes_.size(), kGreeting.size());
    if (std::string_view(bytes_).substr(0, known) != kGreeting.substr(0, known)) {
        state_ = State::Refused;
        bytes_.clear();
        return state_;
    }
    parse();
    return state_;
}

void HandOverReader::parse() {
    // The greeting's own line end starts the search: "SPINLOREX OPEN\n\n" names no file.
    const size_t end = bytes_.find(kEnd, kGreeting.size() - 1);
    if (end == std::string::npos) return;
    std::string_view lines =
        std::string_view(bytes_).substr(kGreeting.size(), end + 1 - kGreeting.size());
    while (!lines.empty()) {
        const size_t lineEnd = lines.find('\n');
        const std::string_view line = lines.substr(0, lineEnd);
        if (std::string path = pathOfFileUrl(line); !path.empty())
            files_.push_back(std::move(path));
        if (lineEnd == std::string_view::npos) break;
        lines.remove_prefix(lineEnd + 1);
    }
    state_ = State::Whole;
    bytes_.clear();
    bytes_.shrink_to_fit();
}

}  // namespace spinlorex
