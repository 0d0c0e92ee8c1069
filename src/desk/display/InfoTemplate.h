#pragma once

// The information panel's template language and its values: a skin's template such as
// "%29Left: %left\n\nBPM: %Pbpm" turned into runs of text, each with the place where it
// starts inside the panel. Qt-free; the Qt view draws the runs.
//
// Main thread only. Runs ten times a second for both decks, so one pass over the
// template, no allocation, the output collected in a buffer on the stack.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "desk/display/DeckInfo.h"

namespace spinlorex::display {

// Flags in front of a key: P track time / the tempo without pitch / the level without the
// fader; L the analyser's local values; B beats instead of minutes.
inline constexpr uint32_t kFlagP = 1;
inline constexpr uint32_t kFlagL = 2;
inline constexpr uint32_t kFlagB = 4;

// The longest run of text between two position codes, in bytes; what goes beyond is cut
// (on a character boundary), so a runaway template cannot overrun the buffer.
inline constexpr size_t kInfoSegmentCapacity = 496;

// Receives the runs of a template in order. Text is UTF-8 with CR LF (or lone CR / LF)
// between lines; (x, y) is the run's start relative to the panel's top-left corner. The
// text is only valid during the call. Runs are never empty.
class InfoSink {
public:
    virtual void segment(int32_t x, int32_t y, std::string_view text) = 0;

protected:
    ~InfoSink() = default;
};

// Interprets `templ` for one deck (escapes, %-keys with flags, position codes).
// A "\N" escape gives the character with code point N, encoded as UTF-8 (code 0 and codes
// that are no character give nothing).
void interpretInfoTemplate(std::string_view templ, const DeckInfo& info, InfoSink& sink);

// A time value (tenths of a second) as the panel prints it: heard at the deck's pitch
// unless P; "mm:ss.t" (minutes may have more digits, '-' in front when negative), or with
// B the number of beats at the track's tempo ("--" without a tempo). Written into `out`,
// cut to fit; returns the written text.
std::string_view formatInfoValue(int32_t tenths, uint32_t flags, const DeckInfo& info,
                                 std::span<char> out);

// The panel's message for a deck status: 153, 156, 157 and 158 (a file being opened) have
// one (lines separated by LF), every other code none (empty).
std::string_view statusMessage(uint32_t status);

}  // namespace spinlorex::display
