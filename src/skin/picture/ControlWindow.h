#pragma once

// Child widgets that sit on a skin control's rectangle: the library's lists, the search
// box, the rhythm window. The widget type stands for the window class; style, name and
// child identifier are whatever the caller sets on the widget afterwards.
//
// Main thread only (widgets need the QApplication).

#include <cstdint>
#include <utility>

#include <QtWidgets/QWidget>

#include "skin/SkinModel.h"

namespace spinlorex {

// Moves and sizes `widget` to the control's placement (x, y, width, height); a negative
// size counts as empty. Nothing happens for a null widget or an id outside the table.
// Qt repaints what the move uncovers when it sees fit.
void moveControlWindow(const SkinModel& skin, QWidget* widget, int32_t id);

// Creates a W as a child of `parent` (which owns it), built from `args` followed by the
// parent as its constructors take it, and places it on control `id`. Visibility is the
// caller's: a child made before its parent is shown appears with it, after that it needs
// show().
template <class W = QWidget, class... Args>
W* createControlWindow(const SkinModel& skin, int32_t id, QWidget* parent, Args&&... args) {
    W* widget = new W(std::forward<Args>(args)..., parent);
    moveControlWindow(skin, widget, id);
    return widget;
}

}  // namespace spinlorex
