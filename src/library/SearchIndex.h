#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/SearchLine.h"
#include "library/SearchQuery.h"
#include "library/TrackRecord.h"

namespace spinlorex {

class SearchFileWriter;
class TrackDatabase;

// The search terms of a typed text (at most kMaxSearchText bytes are read), upper-cased in
// the letters a to z only:
// - phrase form: a text of two or more bytes that begins and ends with a double quote
//   gives what lies between them as the one term, spaces included (nothing between them:
//   no term);
// - word form (otherwise, a lone double quote too): every space ends a term, and the list
//   ends at the first empty term, so words after a double space are not searched and a
//   text that begins with a space has no term at all, which matches every line.
inline constexpr size_t kMaxSearchText = 255;
std::vector<std::string> parseSearchTerms(std::string_view text);

// The search file "mp3DataBase.txt" of the home folder held whole in memory: one buffer
// with the file's bytes, its lines as offsets into it, and the search's results as line
// numbers pointing into it, newest line first. See SearchLine.h for the lines.
//
// One thread at a time: the search panel's index lives on the main thread, the copies that
// a scan or "Delete a CD" reads and rewrites on their worker threads.
class SearchIndex {
public:
    static constexpr const char* kFileName = "mp3DataBase.txt";
    enum Column { kTitle = 0, kArtist = 1, kDisc = 2, kPath = 3, kColumns = 4 };

    // The search file of `homeFolder`; nothing is read yet.
    explicit SearchIndex(const std::string& homeFolder);
    ~SearchIndex();

    const std::string& path() const { return path_; }

    enum class LoadResult { Loaded, Missing, Unreadable };
    // Drops the text and the results and reads the file again; its empty lines are
    // skipped, CR, LF or both end a line. A missing or unreadable file (or one beyond
    // 4 GB) leaves no text.
    LoadResult load();
    bool loaded() const { return !text_.empty(); }
    // Takes the text of an index of the same file loaded elsewhere (a worker thread reads
    // it, so the desk never waits on the disk) and makes the results of this index's
    // terms anew. The other index is left empty.
    void adoptText(SearchIndex&& loaded);

    size_t lineCount() const { return lines_.size(); }
    // An empty view for a line removed since the load.
    std::string_view line(size_t index) const {
        return {text_.data() + lines_[index].begin, lines_[index].length};
    }

    // Removes, in memory, every line of a drive or disc (see lineKey); returns how many.
    // The results are emptied.
    size_t removeLinesWithKey(std::string_view key);
    bool anyLineWithKey(std::string_view key) const;
    // Writes every line still there, each followed by CR LF.
    void writeRemainingLines(SearchFileWriter& out) const;

    // --- the search ---

    // New terms from the typed text, then refreshResults(). A text in the precise form
    // (isPreciseSearch) becomes a query whose every term must match instead.
    void runSearch(std::string_view text);
    const std::vector<std::string>& terms() const { return terms_; }
    bool precise() const { return query_.has_value(); }

    // What the precise form knows of a line's track beside the line (its tags, tempo,
    // key); without it only the line is searched.
    using FactsLookup = std::function<SearchFacts(std::string_view line)>;
    void setFactsLookup(FactsLookup lookup) {
        facts_ = std::move(lookup);
        factsChanged();
    }
    // What the lookup says of the lines may have changed (tags were read): the next
    // precise search asks it again. The answers are kept from one search to the next.
    void factsChanged() { lineFacts_.clear(); }
    // The result columns "Title" and "Artist" come from the file names alone, tags aside.
    void setFileNamesOnly(bool only) { fileNamesOnly_ = only; }

    // Every line that holds at least one term (letters a to z compared without case,
    // every other byte as it is; the whole line, disc, folders and size alike), or every
    // line when there are no terms, newest (last in the file) first.
    void refreshResults();

    size_t resultCount() const { return results_.size(); }
    std::string_view resultLine(size_t row) const { return line(results_[row]); }
    // The texts of the result columns "Title", "Artist" (from the tags where the facts
    // lookup has them, see shownArtistTitle), "Disc" and "Path".
    // Columns kColumns.. are the lists' added ones (TrackList.h's Album..Length, shifted),
    // from the facts: empty where none are known.
    std::string resultText(size_t row, int column,
                           KeyNotation notation = KeyNotation::Camelot) const;

    // A click on a column header: that column's key, or the column + 8 when the last key
    // was exactly the column; keys below 8 sort A to Z, from 8 on Z to A, letters compared
    // without case. The key starts at 0, so the first click on "Title" sorts Z to A. The
    // added columns (kColumns on) take the files list's keys for them (16 on).
    void sortResults(int column);
    int resultSortKey() const { return resultSortKey_; }
    bool resultsDescending() const;

    // The entry of a result dragged to a deck or the playlist: its file (a disc's under
    // `cdDrive`), artist and title from its file name, and its record by file name and size.
    TrackEntry resultEntry(size_t row, std::string_view cdDrive, TrackDatabase& database) const;

    // True once per index, the first time it is asked while no search file is loaded: the
    // search panel then offers a hard-disk scan.
    bool takeScanQuestion();

private:
    struct LineSpan {
        uint32_t begin;
        uint32_t length;  // 0 once removed
    };
    void markMatches(std::string_view term, std::vector<bool>& matched) const;

    std::string path_;
    std::string text_;  // the file, then two zero bytes
    size_t textSize_ = 0;
    std::vector<LineSpan> lines_;
    std::vector<std::string> terms_;
    std::optional<SearchQuery> query_;
    FactsLookup facts_;
    std::vector<SearchFacts> lineFacts_;  // per line, once a precise search asked
    bool fileNamesOnly_ = false;
    std::vector<uint32_t> results_;
    int resultSortKey_ = 0;
    bool askedToScan_ = false;
};

// Builds a track entry for one line of the search file (see SearchIndex::resultEntry).
TrackEntry searchLineEntry(std::string_view line, std::string_view cdDrive,
                           TrackDatabase& database);

}  // namespace spinlorex
