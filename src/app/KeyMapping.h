#pragma once

class QKeyEvent;

namespace spinlorex {

// The Windows virtual-key code the desk's keyboard table speaks, for a Qt key press;
// 0 for keys the table has no code for. Letters of non-Latin layouts give the code of the
// Latin letter at the same place on the keyboard.
int virtualKeyOf(const QKeyEvent& event);

// 'A'..'Z' for the native key code (xkb) of a letter key by its place on a Latin
// keyboard; 0 for any other key.
int letterAtKeyPosition(unsigned int scanCode);

}  // namespace spinlorex
