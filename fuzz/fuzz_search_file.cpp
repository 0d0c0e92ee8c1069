// Feeds arbitrary bytes to the search as its search file: searches, shows and sorts every
// result, builds dragged entries, lists the "Delete a CD" rows, then deletes one of them
// and checks that the rewritten file holds exactly the other lines, byte for byte.

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "library/ScanJob.h"
#include "library/SearchIndex.h"
#include "library/TrackDatabase.h"

using namespace spinlorex;

namespace {

std::vector<std::string> linesOf(const SearchIndex& index) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < index.lineCount(); ++i) {
        if (!index.line(i).empty()) lines.emplace_back(index.line(i));
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "spinlorex-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return 0;
    // The first bytes, up to a zero byte, are the typed search text.
    const auto* bytes = reinterpret_cast<const char*>(data);
    const size_t textEnd = std::min<size_t>(std::find(bytes, bytes + size, '\0') - bytes, 64);
    const std::string typed(bytes, textEnd);
    const size_t fileStart = std::min(size, textEnd + 1);
    std::ofstream(folder + "/" + SearchIndex::kFileName, std::ios::binary)
        .write(bytes + fileStart, static_cast<std::streamsize>(size - fileStart));

    SearchIndex index(folder);
    if (index.load() == SearchIndex::LoadResult::Loaded) {
        index.runSearch(typed);
        TrackDatabase database;
        for (size_t row = 0; row < index.resultCount() && row < 64; ++row) {
            for (int column = 0; column < SearchIndex::kColumns; ++column)
                (void)index.resultText(row, column);
            (void)index.resultEntry(row, "/media/cdrom", database);
        }
        for (int column = 0; column < SearchIndex::kColumns; ++column) index.sortResults(column);
        (void)proposeDiscName(index);

        const std::vector<DiscRow> rows = discRows(index);
        if (!rows.empty()) {
            const std::string gone = rows[rows.size() / 2].key;
            std::vector<std::string> expected;
            for (const std::string& line : linesOf(index)) {
                if (lineKey(line) != gone) expected.push_back(line);
            }
            const std::vector<std::string> keys = {gone};
            if (deleteDiscs(index, keys)) {
                SearchIndex again(folder);
                again.load();
                if (linesOf(again) != expected) abort();
            }
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
