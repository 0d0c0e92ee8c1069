#include "app/KeyMapping.h"

#include <QtGui/QKeyEvent>

#include <array>
#include <string_view>

namespace spinlorex {

int letterAtKeyPosition(unsigned int scanCode) {
    // The three letter rows of a Latin (US) keyboard and the key code of each row's first
    // key: xkb codes, the Linux input codes plus 8, as Qt gives them on X11 and Wayland.
    struct Row {
        unsigned int firstCode;
        std::string_view letters;
    };
    static constexpr std::array<Row, 3> kRows = {
        {{24, "QWERTYUIOP"}, {38, "ASDFGHJKL"}, {52, "ZXCVBNM"}}};
    for (const Row& row : kRows) {
        if (scanCode >= row.firstCode && scanCode < row.firstCode + row.letters.size())
            return row.letters[scanCode - row.firstCode];
    }
    return 0;
}

int virtualKeyOf(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    // A letter of another script (Cyrillic, Greek, ...) counts as the Latin letter on its
    // key, so the letter shortcuts stay where they are; a Latin layout's own letters (and
    // its other keys) keep their meaning.
    const QString text = event.text();
    if (!text.isEmpty() && text.front().isLetter()) {
        if (const int letter = letterAtKeyPosition(event.nativeScanCode())) return letter;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 112 + (key - Qt::Key_F1);
    switch (key) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        case Qt::Key_Backspace:
            return 8;
        default:
            return 0;
    }
}

}  // namespace spinlorex
