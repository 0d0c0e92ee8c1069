#include "library/MusicalKey.h"

#include <array>
#include <cctype>
#include <cmath>
#include <string>

#include "platform/core/AsciiText.h"

namespace spinlorex {
namespace {

// Camelot number of each tonic, major (B) and minor (A): C major is 8B, A minor 8A, and each
// step round the wheel is a fifth (seven semitones).
int wheelOfTonic(int tonic, bool minor) {
    // A minor (9) and C major (0) both sit at 8.
    const int reference = minor ? 9 : 0;
    const int fifths = (((tonic - reference) * 7) % 12 + 12) % 12;  // 7 is its own inverse mod 12
    return (8 - 1 + fifths) % 12 + 1;
}

constexpr std::array<const char*, 12> kSharpNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                     "F#", "G",  "G#", "A",  "A#", "B"};
constexpr std::array<const char*, 12> kFlatNames = {"C",  "Db", "D",  "Eb", "E",  "F",
                                                    "Gb", "G",  "Ab", "A",  "Bb", "B"};

std::string lower(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (c != ' ') out += ascii::lower(c);
    return out;
}

}  // namespace

int MusicalKey::wheelNumber() const { return wheelOfTonic(tonic, minor); }

MusicalKey MusicalKey::atWheel(int number, bool minor) {
    const int fifths = ((number - 8) % 12 + 12) % 12;
    const int reference = minor ? 9 : 0;
    return {static_cast<int8_t>((reference + fifths * 7) % 12), minor};
}

MusicalKey MusicalKey::transposed(int semitones) const {
    return {static_cast<int8_t>(((tonic + semitones) % 12 + 12) % 12), minor};
}

std::string keyText(MusicalKey key, KeyNotation notation) {
    const int number = key.wheelNumber();
    switch (notation) {
        case KeyNotation::Camelot:
            return std::to_string(number) + (key.minor ? "A" : "B");
        case KeyNotation::OpenKey: {
            // Open Key's 1 is C major / A minor, Camelot's 8.
            const int open = (number + 4) % 12 + 1;
            return std::to_string(open) + (key.minor ? "m" : "d");
        }
        case KeyNotation::Musical:
            break;
    }
    // Minor keys with sharps up to G#, majors with flats where musicians use them.
    const bool flats = key.minor ? (key.tonic == 3 || key.tonic == 10)
                                 : (key.tonic == 1 || key.tonic == 3 || key.tonic == 8 ||
                                    key.tonic == 10 || key.tonic == 6);
    const auto& names = flats ? kFlatNames : kSharpNames;
    return std::string(names[static_cast<size_t>(key.tonic)]) + (key.minor ? " minor" : " major");
}

std::optional<MusicalKey> parseKey(std::string_view text) {
    const std::string t = lower(text);
    if (t.empty()) return std::nullopt;
    if (std::isdigit(static_cast<unsigned char>(t[0])) != 0) {
        size_t used = 0;
        int number = 0;
        while (used < t.size() && std::isdigit(static_cast<unsigned char>(t[used])) != 0 &&
               used < 2)
            number = number * 10 + (t[used++] - '0');
        if (number < 1 || number > 12 || used + 1 != t.size()) return std::nullopt;
        switch (t[used]) {
            case 'a':
                return MusicalKey::atWheel(number, true);
            case 'b':
                return MusicalKey::atWheel(number, false);
            case 'm':
                return MusicalKey::atWheel(number + 7, true);
            case 'd':
                return MusicalKey::atWheel(number + 7, false);
            default:
                return std::nullopt;
        }
    }
    static constexpr std::array<int, 7> kLetters = {9, 11, 0, 2, 4, 5, 7};  // a..g
    if (t[0] < 'a' || t[0] > 'g') return std::nullopt;
    int tonic = kLetters[static_cast<size_t>(t[0] - 'a')];
    std::string_view rest(t);
    rest.remove_prefix(1);
    if (!rest.empty() && (rest[0] == '#' || rest[0] == 'b')) {
        // "b" alone after the letter is a flat; "bm"/"bmin" too (Bbm), but "b" as the
        // whole rest of "Ab" is the same flat.
        tonic += rest[0] == '#' ? 1 : -1;
        rest.remove_prefix(1);
    }
    bool minor = false;
    if (rest == "" || rest == "maj" || rest == "major")
        minor = false;
    else if (rest == "m" || rest == "min" || rest == "minor")
        minor = true;
    else
        return std::nullopt;
    return MusicalKey{static_cast<int8_t>((tonic + 12) % 12), minor};
}

bool keysCompatible(MusicalKey a, MusicalKey b) {
    const int na = a.wheelNumber();
    const int nb = b.wheelNumber();
    if (a.minor != b.minor) return na == nb;
    const int step = ((na - nb) % 12 + 12) % 12;
    return step == 0 || step == 1 || step == 11;
}

MusicalKey keyAtPitch(MusicalKey key, int32_t pitch) {
    if (pitch <= 0) return key;
    const double semitones = 12.0 * std::log2(static_cast<double>(pitch) / 4096.0);
    return key.transposed(static_cast<int>(std::lround(semitones)));
}

std::optional<MusicalKey> keyOfCode(int code) {
    if (code < 1 || code > 24) return std::nullopt;
    return MusicalKey{static_cast<int8_t>((code - 1) % 12), code > 12};
}

int codeOfKey(MusicalKey key) { return key.tonic + 1 + (key.minor ? 12 : 0); }

}  // namespace spinlorex
