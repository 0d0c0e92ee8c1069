#pragma once

#include <vector>

class QHeaderView;

namespace spinlorex {

// The added columns (Album, Genre, Year, Key, Length) of the library's lists: which show
// and how wide, kept in the "Added Columns" setting and alike in every list. A right-click
// on a list's header offers them, each with a tick; a width dragged is kept.
//
// Main thread only.
class AddedColumns {
public:
    // The list whose header this is shows the chosen columns now and follows the choice.
    void follow(QHeaderView& header);
    // Every list shows what the setting says (after the setting changed elsewhere).
    void apply();

private:
    void toggle(int column);
    void widthChanged(int column, int width);

    std::vector<QHeaderView*> headers_;
    bool applying_ = false;  // our own resizes are not a user's
};

}  // namespace spinlorex
