#pragma once

// Every picture of the program, drawn from code.

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtGui/QImage>

namespace art {

QImage defaultSkin();  // 800 x 830: the desk in rows 0..599, alternative looks below
// The 800 x 600 desk composed from the default skin as the program shows it at start-up.
QImage deskPreview(const QImage& skin);
QImage buttonStrip();   // 672 x 48: library buttons, off looks on top, on looks below
QImage startup();       // 400 x 300
QImage tooltip();       // 29 x 30, key colour in the top-left pixel
QImage icon(int size);  // square program icon
// The sizes in which the icon is installed into the desktop's hicolor icon theme.
inline constexpr int kIconThemeSizes[] = {16, 24, 32, 48, 64, 128, 256, 512};

enum class Cursor { Drag, Drop, NoDrop };
// 32 x 32 with alpha, hot spot at (1, 1); `several` shows a stack of records (a drag of
// several tracks).
QImage cursor(Cursor kind, bool several = false);

// 64 x 16 with alpha: the library rows' four 16 x 16 icons side by side: played before,
// never played, in the history, playlist file.
QImage libraryIcons();

QImage soundCard(int kind);    // 87 x 90: 0 one card, 1 card with 3D sound, 2 two cards
QImage soundOutput(int kind);  // 105 x 90: 0 speakers, 1 with headphones, 2 external mixer

// The key colour of the tooltip balloon: what is not balloon.
inline constexpr unsigned kTooltipKey = 0xffff00ff;

struct NamedPicture {
    QString name;
    QImage image;
};
// A documentation sheet showing every picture, scaled up where small, with its name.
QImage contactSheet(const QList<NamedPicture>& pictures);

}  // namespace art
