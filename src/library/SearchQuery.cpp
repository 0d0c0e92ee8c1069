#include "library/SearchQuery.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

#include "library/SearchLine.h"
#include "platform/core/AsciiText.h"

namespace spinlorex {
namespace {

constexpr double kCloseTempo = 0.06;  // bpm:~ reaches 6 % either way
constexpr double kExactTempo = 0.5;

// `needle` (already lower-cased) within `hay`, hay's ASCII letters compared without case.
bool holds(std::string_view hay, std::string_view needle) {
    if (needle.empty()) return true;
    if (hay.size() < needle.size()) return false;
    const char first = needle[0];
    const char firstUpper = ascii::upper(first);
    const size_t last = hay.size() - needle.size();
    for (size_t at = 0; at <= last; ++at) {
        if (hay[at] != first && hay[at] != firstUpper) continue;
        size_t i = 1;
        while (i < needle.size() && ascii::lower(hay[at + i]) == needle[i]) ++i;
        if (i == needle.size()) return true;
    }
    return false;
}

struct FieldName {
    std::string_view name;
    SearchQuery::Field field;
};
constexpr std::array<FieldName, 7> kFields = {{
    {"artist", SearchQuery::Field::Artist},
    {"title", SearchQuery::Field::Title},
    {"album", SearchQuery::Field::Album},
    {"genre", SearchQuery::Field::Genre},
    {"key", SearchQuery::Field::Key},
    {"bpm", SearchQuery::Field::Bpm},
    {"year", SearchQuery::Field::Year},
}};

std::optional<SearchQuery::Field> fieldNamed(std::string_view name) {
    const std::string lower = ascii::toLower(name);
    for (const FieldName& f : kFields)
        if (f.name == lower) return f.field;
    return std::nullopt;
}

// One token of the text: its leading "-", its field name, and its value with the quotes
// that began a phrase taken off.
struct Token {
    bool exclude = false;
    std::optional<SearchQuery::Field> field;
    std::string value;
    bool quoted = false;
};

// Splits at spaces outside phrases. A quote opens a phrase at the start of a token's value
// (after "-" and "field:"), closes it at the next quote (or the end of the text); anywhere
// else it is a character of the word.
std::vector<Token> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') ++at;
        if (at >= text.size()) break;
        Token token;
        if (text[at] == '-' && at + 1 < text.size() && text[at + 1] != ' ') {
            token.exclude = true;
            ++at;
        }
        // A field name runs to ":" within the word.
        size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != ':' && text[end] != '"') ++end;
        if (end < text.size() && text[end] == ':' && end > at) {
            if (auto field = fieldNamed(text.substr(at, end - at))) {
                token.field = field;
                at = end + 1;
            }
        }
        if (at < text.size() && text[at] == '"') {
            token.quoted = true;
            const size_t close = text.find('"', at + 1);
            const size_t stop = close == std::string_view::npos ? text.size() : close;
            token.value.assign(text.substr(at + 1, stop - at - 1));
            at = close == std::string_view::npos ? text.size() : close + 1;
        } else {
            end = at;
            while (end < text.size() && text[end] != ' ') ++end;
            token.value.assign(text.substr(at, end - at));
            at = end;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::optional<double> number(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const std::string s(text);
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !(value >= 0.0) || value > 1e6) return std::nullopt;
    return value;
}

// "120-130", "120-", "-130", "126" (to `exact` either way) or "~126" (to `close` of it).
bool readRange(std::string_view value, double exact, SearchQuery::Term& term) {
    if (value.starts_with('~')) {
        const auto centre = number(value.substr(1));
        if (!centre) return false;
        term.low = *centre * (1.0 - kCloseTempo);
        term.high = *centre * (1.0 + kCloseTempo);
        return true;
    }
    const size_t dash = value.find('-');
    if (dash == std::string_view::npos) {
        const auto centre = number(value);
        if (!centre) return false;
        term.low = *centre - exact;
        term.high = *centre + exact;
        return true;
    }
    const std::string_view from = value.substr(0, dash);
    const std::string_view to = value.substr(dash + 1);
    const auto low = from.empty() ? std::optional<double>(0.0) : number(from);
    const auto high = to.empty() ? std::optional<double>(1e6) : number(to);
    if (!low || !high || (from.empty() && to.empty())) return false;
    // Bounds typed the wrong way round mean the same range.
    term.low = std::min(*low, *high);
    term.high = std::max(*low, *high);
    return true;
}

bool termMatches(const SearchQuery::Term& term, std::string_view line, const SearchFacts& facts) {
    if (term.unreadable) return false;
    const TrackTags* tags = facts.tags;
    switch (term.field) {
        case SearchQuery::Field::Any:
            return holds(line, term.text) ||
                   (tags != nullptr &&
                    (holds(tags->artist, term.text) || holds(tags->title, term.text) ||
                     holds(tags->album, term.text) || holds(tags->genre, term.text) ||
                     holds(tags->comment, term.text)));
        case SearchQuery::Field::Artist:
        case SearchQuery::Field::Title: {
            // The tag itself where there is one; the file name's split only without.
            if (tags != nullptr && tags->named()) {
                const std::string& tagged =
                    term.field == SearchQuery::Field::Artist ? tags->artist : tags->title;
                if (!tagged.empty()) return holds(tagged, term.text);
            }
            const ArtistTitle shown = shownArtistTitle(tags, parseSearchLine(line).fileName, false);
            return holds(term.field == SearchQuery::Field::Artist ? shown.artist : shown.title,
                         term.text);
        }
        case SearchQuery::Field::Album:
            return tags != nullptr && holds(tags->album, term.text);
        case SearchQuery::Field::Genre:
            return tags != nullptr && holds(tags->genre, term.text);
        case SearchQuery::Field::Key: {
            const std::optional<MusicalKey> key = facts.key         ? facts.key
                                                  : tags != nullptr ? parseKey(tags->key)
                                                                    : std::nullopt;
            return key && (term.compatible ? keysCompatible(term.key, *key) : *key == term.key);
        }
        case SearchQuery::Field::Bpm:
            return facts.bpm > 0.0f && facts.bpm >= term.low && facts.bpm <= term.high;
        case SearchQuery::Field::Year:
            return tags != nullptr && tags->year > 0 && tags->year >= term.low &&
                   tags->year <= term.high;
    }
    return false;
}

}  // namespace

bool isPreciseSearch(std::string_view text) {
    const bool onePhrase = text.size() >= 2 && text.front() == '"' && text.back() == '"' &&
                           text.find('"', 1) == text.size() - 1;
    if (onePhrase) return false;
    for (const Token& token : tokenize(text))
        if (token.exclude || token.field || token.quoted) return true;
    return false;
}

SearchQuery parseSearchQuery(std::string_view text) {
    SearchQuery query;
    for (Token& token : tokenize(text)) {
        SearchQuery::Term term;
        term.exclude = token.exclude;
        term.field = token.field.value_or(SearchQuery::Field::Any);
        if (token.value.empty()) continue;  // "bpm:" and "" ask for nothing
        switch (term.field) {
            case SearchQuery::Field::Key: {
                const bool compatible = token.value.starts_with('~');
                const auto key = parseKey(std::string_view(token.value).substr(compatible ? 1 : 0));
                term.unreadable = !key;
                term.key = key.value_or(MusicalKey{});
                term.compatible = compatible;
                break;
            }
            case SearchQuery::Field::Bpm:
                term.unreadable = !readRange(token.value, kExactTempo, term);
                break;
            case SearchQuery::Field::Year:
                term.unreadable = !readRange(token.value, 0.0, term);
                break;
            default:
                term.text = ascii::toLower(token.value);
        }
        query.terms.push_back(std::move(term));
    }
    return query;
}

bool matchesQuery(const SearchQuery& query, std::string_view line, const SearchFacts& facts) {
    for (const SearchQuery::Term& term : query.terms)
        if (termMatches(term, line, facts) == term.exclude) return false;
    return true;
}

}  // namespace spinlorex
