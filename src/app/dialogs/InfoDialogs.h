#pragma once

#include "app/dialogs/DeskDialog.h"

namespace spinlorex {

class DialogHost;

// The about box's text: the program and its version, then a notice and where to find it.
QString aboutText();
// The about box: a message box titled "Spinlorex" over the desk.
void showAboutBox(QWidget* desk);

// "Shortcuts": the desk's keys in two columns, one "label<TAB>key" per line.
class ShortcutCard : public DeskDialog {
public:
    static constexpr const char* kLeftColumn =
        "Play:\tSPACE\nPause:\tP\nMem:\tM\nStop:\tS\nLoop:\tL\nSkip Beat:\tN\nSync Beat:\tENTER\n\n"
        "Magic Sync:\tESCAPE";
    static constexpr const char* kRightColumn =
        "Pitch up:\tUP\nPitch down:\tDOWN\nBig pitch up:\tPG.UP\nBig pitch down:\tPG.DOWN\n\n"
        "Shift left:\tLEFT\nShift right:\tRIGHT\n\nWindows:\tF1..F6\n\n"
        "Waveforms:\tW\nZoom in:\tZ\nZoom out:\tX";
    static constexpr const char* kLoopColumn =
        "Beat loop on/off:\tB\nHalve / double loop:\tJ / K\nMove loop back / on:\tG / H\n"
        "Loop in / out:\tI / O\nReloop / exit:\tR\n\nHot cue 1..8:\t1..8\n"
        "Delete hot cue:\tD, then 1..8\n\nDeck 1 key down / up:\tF9 / F10\n"
        "Deck 2 key down / up:\tF11 / F12\n\nPreview in headphones:\tV";

    explicit ShortcutCard(QWidget* desk);
};

void showShortcutCard(QWidget* desk);

// The options panel's dialog lines (78 skin, 80 sound configuration, 81 about, 83
// shortcuts); other ids open nothing here.
void openOptionDialog(DialogHost& host, int optionId);

}  // namespace spinlorex
