#pragma once

// The request a second start of the desk sends to the desk that runs already, over a local
// socket: "SPINLOREX OPEN", then each file as a "file://" URL, one per line, then an empty
// line. Every byte of a name that is not a plain URL character travels percent-escaped, so
// any name arrives byte for byte, also one that is not UTF-8. Qt-free; any one thread.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace spinlorex {

// The request that hands `files` (absolute paths) over.
std::string handOverRequest(std::span<const std::string> files);

// A "file://" URL of an absolute path; every byte but letters, digits, "/" and "-._~"
// percent-escaped.
std::string fileUrlOf(std::string_view path);

// The path of a "file:" URL with an empty host or "localhost", its percent escapes
// decoded; empty for anything else (another scheme or host, a bad escape, a query or a
// fragment, a zero byte, no absolute path).
std::string pathOfFileUrl(std::string_view url);

// Reads one request as its bytes arrive, in pieces of any size.
class HandOverReader {
public:
    static constexpr size_t kMaxRequestBytes = 4 << 20;
    enum class State {
        Incomplete,  // more bytes to come
        Whole,       // files() holds the files named
        Refused,     // not a request, or larger than kMaxRequestBytes: drop the sender
    };

    State add(std::string_view bytes);
    State state() const { return state_; }
    // The paths of a whole request, in its order; lines that name no local file are left
    // out.
    const std::vector<std::string>& files() const { return files_; }

private:
    void parse();

    std::string bytes_;
    State state_ = State::Incomplete;
    std::vector<std::string> files_;
};

}  // namespace spinlorex
