// Feeds arbitrary bytes to the database as its file (a damaged one is set aside and
// replaced by the records that could be read), then rewrites records in it (grown,
// shrunk, new) and checks that the file then reads back whole, with no damage found.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"

using spinlorex::TrackDatabase;
using spinlorex::TrackRecord;

namespace {

// Rewrites a record with a comment of `commentLength` bytes, as a deck's release would,
// and waits for the write (so that no version is skipped by the writer's coalescing).
void rewrite(TrackDatabase& db, TrackRecord* record, size_t commentLength) {
    db.acquireAnalysis(record)->cuePoint = 0.25f;
    record->commentOverride = std::string(commentLength, 'c');
    db.releaseAnalysis(record);
    db.flush();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "spinlorex-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return 0;
    {
        std::ofstream out(folder + "/" + TrackDatabase::kFileName, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    bool opened = false;
    {
        TrackDatabase db;
        opened = db.open(folder);
        const size_t shortComment = size > 0 ? data[0] % 16 : 0;
        const size_t longComment = 40 + (size > 1 ? data[1] : 0);
        if (!db.records().empty()) {
            const TrackRecord& first = db.records().front();
            TrackRecord* stored = db.findOrAdd(first.name, first.fileSize);
            rewrite(db, stored, shortComment);
            rewrite(db, stored, longComment);
            db.acquireAnalysis(stored);  // still held at close, which writes it
        }
        rewrite(db, db.findOrAdd("/music/new track.mp3", static_cast<uint32_t>(size)),
                shortComment);
        rewrite(db, db.findOrAdd("another.wav", 7), longComment);
    }
    spinlorex::clearFatalError();

    if (opened) {
        // Whatever the file was, from the first open on it is whole, and every write keeps
        // its block chain valid: it must read back without a word of damage.
        TrackDatabase again;
        if (!again.open(folder) || !again.notice().empty() || !again.writable()) __builtin_trap();
    }
    spinlorex::clearFatalError();

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
