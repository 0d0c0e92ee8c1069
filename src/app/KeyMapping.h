#pragma once

class QKeyEvent;

namespace spinlorex {

// The Windows virtual-key code the desk's keyboard table speaks, for a Qt key press;
// 0 for keys the table has no code for.
int virtualKeyOf(const QKeyEvent& event);

}  // namespace spinlorex
