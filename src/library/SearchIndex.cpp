#include "library/SearchIndex.h"

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>
#include <utility>

#include "library/LibraryLayout.h"
#include "library/SearchFileWriter.h"
#include "library/TrackDatabase.h"
#include "library/TrackList.h"
#include "library/TrackNaming.h"
#include "library/TrackTags.h"
#include "platform/core/AsciiText.h"
#include "platform/core/WholeFile.h"

namespace spinlorex {
namespace {

// The largest file whose line offsets fit the index's 32-bit spans (with the guard bytes).
constexpr uint64_t kMaxFileSize = std::numeric_limits<uint32_t>::max() - 2;

}  // namespace

std::vector<std::string> parseSearchTerms(std::string_view text) {
    text = text.substr(0, kMaxSearchText);
    std::vector<std::string> terms;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        if (text.size() > 2) terms.push_back(ascii::toUpper(text.substr(1, text.size() - 2)));
        return terms;
    }
    while (true) {
        const size_t space = text.find(' ');
        const std::string_view term = text.substr(0, space);
        if (term.empty()) break;
        terms.push_back(ascii::toUpper(term));
        if (space == std::string_view::npos) break;
        text.remove_prefix(space + 1);
    }
    return terms;
}

SearchIndex::SearchIndex(const std::string& homeFolder) : path_(homeFolder + "/" + kFileName) {}

SearchIndex::~SearchIndex() = default;

SearchIndex::LoadResult SearchIndex::load() {
    results_.clear();
    results_.shrink_to_fit();
    lines_.clear();
    lineFacts_.clear();
    lines_.shrink_to_fit();
    text_.clear();
    text_.shrink_to_fit();
    textSize_ = 0;

    std::string text;
    switch (readWholeFile(path_, text, kMaxFileSize)) {
        case FileRead::Read:
            break;
        case FileRead::Missing:
            return LoadResult::Missing;
        default:
            return LoadResult::Unreadable;
    }
    const size_t size = text.size();
    text.push_back('\0');  // with the string's own end, two zero bytes behind the text

    // Every CR and LF becomes a string end, so that no term matches across two lines; a
    // zero byte that was in the file stays part of its line.
    char* const bytes = text.data();
    lines_.reserve(static_cast<size_t>(std::count(bytes, bytes + size, '\n')) + 1);
    size_t begin = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && bytes[i] != '\r' && bytes[i] != '\n') continue;
        bytes[i] = '\0';
        if (i > begin)
            lines_.push_back({static_cast<uint32_t>(begin), static_cast<uint32_t>(i - begin)});
        begin = i + 1;
    }
    text_ = std::move(text);
    textSize_ = size;
    return LoadResult::Loaded;
}

void SearchIndex::adoptText(SearchIndex&& loaded) {
    text_ = std::exchange(loaded.text_, {});
    textSize_ = std::exchange(loaded.textSize_, 0);
    lines_ = std::move(loaded.lines_);
    lineFacts_.clear();
    loaded.lines_.clear();
    results_.clear();
    refreshResults();
}

size_t SearchIndex::removeLinesWithKey(std::string_view key) {
    results_.clear();
    size_t removed = 0;
    for (LineSpan& span : lines_) {
        if (span.length == 0 || lineKey({text_.data() + span.begin, span.length}) != key) continue;
        span.length = 0;
        ++removed;
    }
    return removed;
}

bool SearchIndex::anyLineWithKey(std::string_view key) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].length != 0 && lineKey(line(i)) == key) return true;
    }
    return false;
}

void SearchIndex::writeRemainingLines(SearchFileWriter& out) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].length != 0) out.writeLine(line(i));
    }
}

void SearchIndex::runSearch(std::string_view text) {
    const std::string_view typed = text.substr(0, std::min(text.size(), kMaxSearchText));
    if (isPreciseSearch(typed)) {
        terms_.clear();
        query_ = parseSearchQuery(typed);
    } else {
        query_.reset();
        terms_ = parseSearchTerms(text);
    }
    refreshResults();
}

// Marks the lines that hold `term`: a Horspool search over the whole text, the letters a
// to z of the text upper-cased as they are compared.
void SearchIndex::markMatches(std::string_view term, std::vector<bool>& matched) const {
    const size_t m = term.size();
    std::array<size_t, 256> shift;
    shift.fill(m);
    for (size_t i = 0; i + 1 < m; ++i) {
        // The term is upper-cased; the text's lower-case letters shift alike.
        shift[static_cast<unsigned char>(term[i])] = m - 1 - i;
        shift[static_cast<unsigned char>(ascii::lower(term[i]))] = m - 1 - i;
    }
    const char* const text = text_.data();
    const char lastOfTerm = term[m - 1];
    size_t line = 0;
    size_t at = 0;
    while (at + m <= textSize_) {
        const char last = text[at + m - 1];
        if (ascii::upper(last) == lastOfTerm) {
            size_t i = 0;
            while (i + 1 < m && ascii::upper(text[at + i]) == term[i]) ++i;
            if (i + 1 >= m) {
                // Found: mark the line and go on after its end.
                while (line < lines_.size() && lines_[line].begin + lines_[line].length <= at)
                    ++line;
                if (line == lines_.size()) return;
                if (lines_[line].begin <= at) {
                    matched[line] = true;
                    at = lines_[line].begin + lines_[line].length;
                    continue;
                }
                ++at;  // in a removed line
                continue;
            }
        }
        at += shift[static_cast<unsigned char>(last)];
    }
}

void SearchIndex::refreshResults() {
    results_.clear();
    if (!loaded()) return;
    if (query_) {
        if (lineFacts_.size() != lines_.size()) {
            lineFacts_.assign(lines_.size(), SearchFacts{});
            if (facts_)
                for (size_t i = 0; i < lines_.size(); ++i)
                    if (lines_[i].length != 0) lineFacts_[i] = facts_(line(i));
        }
        for (size_t i = lines_.size(); i-- > 0;) {
            if (lines_[i].length != 0 && matchesQuery(*query_, line(i), lineFacts_[i]))
                results_.push_back(static_cast<uint32_t>(i));
        }
        return;
    }
    if (terms_.empty()) {
        results_.reserve(lines_.size());
        for (size_t i = lines_.size(); i-- > 0;) {
            if (lines_[i].length != 0) results_.push_back(static_cast<uint32_t>(i));
        }
        return;
    }
    std::vector<bool> matched(lines_.size(), false);
    for (const std::string& term : terms_) markMatches(term, matched);
    for (size_t i = lines_.size(); i-- > 0;) {
        if (matched[i]) results_.push_back(static_cast<uint32_t>(i));
    }
    results_.shrink_to_fit();
}

std::string SearchIndex::resultText(size_t row, int column, KeyNotation notation) const {
    const SearchLine fields = parseSearchLine(resultLine(row));
    if (column >= kColumns) {
        const SearchFacts facts = facts_ ? facts_(resultLine(row)) : SearchFacts{};
        TrackEntry entry;
        if (facts.tags != nullptr) entry.tags = std::make_shared<const TrackTags>(*facts.tags);
        if (column - kColumns + kFirstExtraColumn == kColumnKey && facts.key)
            return keyText(*facts.key, notation);
        return rowText(entry, column - kColumns + kFirstExtraColumn, notation);
    }
    switch (column) {
        case kTitle:
        case kArtist: {
            const SearchFacts facts = facts_ ? facts_(resultLine(row)) : SearchFacts{};
            ArtistTitle names = shownArtistTitle(facts.tags, fields.fileName, fileNamesOnly_);
            return column == kTitle ? std::move(names.title) : std::move(names.artist);
        }
        case kDisc:
            return fields.kind == SearchLine::Kind::Disc ? std::string(fields.key) : std::string();
        case kPath:
            return shownFolderOf(fields);
        default:
            return {};
    }
}

void SearchIndex::sortResults(int column) {
    if (column < 0 || column >= kColumns + kAddedColumnCount) return;
    std::vector<uint32_t> order(results_.size());
    std::iota(order.begin(), order.end(), 0u);
    if (column >= kColumns) {
        // The added columns sort as the lists do (the key round the wheel, years and
        // lengths as numbers, rows without the value last), on the tags and keys known.
        resultSortKey_ = nextSortKey(resultSortKey_, column - kColumns + kFirstExtraColumn);
        std::vector<LibraryRow> rows(results_.size());
        for (size_t row = 0; row < results_.size(); ++row) {
            const SearchFacts facts = facts_ ? facts_(resultLine(row)) : SearchFacts{};
            if (facts.tags == nullptr && !facts.key) continue;
            auto tags = facts.tags != nullptr ? std::make_shared<TrackTags>(*facts.tags)
                                              : std::make_shared<TrackTags>();
            if (facts.key) tags->key = keyText(*facts.key, KeyNotation::Camelot);
            rows[row].entry.tags = std::move(tags);
        }
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return sortsBefore(resultSortKey_, rows[a], rows[b]);
        });
    } else {
        resultSortKey_ = resultSortKey_ == column ? column + 8 : column;
        const bool descending = resultSortKey_ >= 8;
        std::vector<std::string> keys(results_.size());
        for (size_t row = 0; row < results_.size(); ++row)
            keys[row] = ascii::toUpper(resultText(row, column));
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            return descending ? keys[b] < keys[a] : keys[a] < keys[b];
        });
    }
    std::vector<uint32_t> sorted(results_.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = results_[order[i]];
    results_ = std::move(sorted);
}

bool SearchIndex::resultsDescending() const {
    const int key =
        resultSortKey_ >= kSortExtraColumns ? resultSortKey_ - kSortExtraColumns : resultSortKey_;
    return key >= kSortDescending;
}

TrackEntry SearchIndex::resultEntry(size_t row, std::string_view cdDrive,
                                    TrackDatabase& database) const {
    return searchLineEntry(resultLine(row), cdDrive, database);
}

bool SearchIndex::takeScanQuestion() {
    if (loaded() || askedToScan_) return false;
    askedToScan_ = true;
    return true;
}

TrackEntry searchLineEntry(std::string_view line, std::string_view cdDrive,
                           TrackDatabase& database) {
    const SearchLine fields = parseSearchLine(line);
    TrackEntry entry;
    entry.path = trackPathOf(fields, cdDrive);
    ArtistTitle names = splitArtistTitle(fields.fileName);
    entry.artist = std::move(names.artist);
    entry.title = std::move(names.title);
    entry.record = database.findOrAdd(fields.fileName, fields.size);
    return entry;
}

}  // namespace spinlorex
