#pragma once

// Reading a skin's description file: a sectioned text of the program's own. Lines outside
// any control's section set the skin-wide values; a section named after a control sets
// that control's placement, looks and mouse area. Malformed lines are skipped without a
// word; a description is refused only for a missing "Version" (or one below 1) or a
// "files window" without a placement.
//
// Main thread only. Qt-free: the fuzz target drives it without a display.

#include <cstdint>
#include <string>
#include <string_view>

#include "skin/SkinModel.h"

namespace spinlorex {

enum class DescriptionVerdict {
    Accepted,
    CannotOpen,     // the file could not be opened
    NoVersion,      // "Version" missing or below 1
    NoFilesWindow,  // "files window" has no placement
};

// The longest line read at once; a longer one goes on as the next line.
inline constexpr size_t kMaxDescriptionLine = 511;

// Reads a description line by line into `model`. Construction puts the skin-wide values to
// their defaults and every control to -1 with its table mask; feed it the lines as they
// come (each at most kMaxDescriptionLine bytes, the line feed included when there is one)
// and call finish() once.
class SkinDescriptionParser {
public:
    explicit SkinDescriptionParser(SkinModel& model);

    void line(std::string_view text);

    // Sets the "mix" mask from "MixNowAlwaysVisible" and says whether the skin is refused.
    // The library area (53..85) is not derived here: that needs the picture's height.
    DescriptionVerdict finish();

private:
    void controlKey(std::string_view key, std::string_view value);
    void skinKey(std::string_view key, std::string_view value);

    SkinModel& model_;
    int32_t current_ = -1;  // the control whose section we are in; -1 none
    bool versionSeen_ = false;
    int32_t version_ = 0;
};

// The whole description at once, cut into lines as a file reader would.
DescriptionVerdict readSkinDescription(std::string_view text, SkinModel& model);

// The description file at `path`, read line by line.
DescriptionVerdict readSkinDescriptionFile(const std::string& path, SkinModel& model);

}  // namespace spinlorex
