// Feeds arbitrary bytes to the reader of the hand-over request, in pieces whose sizes the
// first byte chooses, as a socket may deliver them. Whatever arrives, the reader ends in
// one of its states without holding more than its limit; the files of a whole request are
// absolute paths without zero bytes, and the request a second start would send for them
// reads back as the same files. Any path travels through its URL byte for byte.

#include <stdlib.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/HandOverRequest.h"

using namespace spinlorex;

namespace {

void check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = data[0] + 1u;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    HandOverReader reader;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        if (reader.add(bytes.substr(at, piece)) != HandOverReader::State::Incomplete) break;
    }
    // The same bytes in one piece end the same way.
    HandOverReader whole;
    whole.add(bytes);
    check(whole.state() == reader.state());
    check(whole.files() == reader.files());

    if (reader.state() == HandOverReader::State::Whole) {
        for (const std::string& file : reader.files()) {
            check(file.starts_with('/'));
            check(file.find('\0') == std::string::npos);
        }
        HandOverReader again;
        check(again.add(handOverRequest(reader.files())) == HandOverReader::State::Whole);
        check(again.files() == reader.files());
    }

    // Any absolute path without a zero byte comes back from its URL unchanged.
    std::string path = "/";
    for (const char c : bytes) {
        if (c != '\0') path += c;
    }
    check(pathOfFileUrl(fileUrlOf(path)) == path);
    return 0;
}
