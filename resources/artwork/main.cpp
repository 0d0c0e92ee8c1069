// spinlorex-artwork: draws every built-in picture of Spinlorex into a folder, at build time.
// Usage: spinlorex-artwork OUTPUT_FOLDER [--docs DOCS_FOLDER]
//        spinlorex-artwork --icons ICON_THEME_FOLDER
// With --docs it also writes the documentation pictures: the desk as first seen
// (default-skin.png) and a sheet of every picture (artwork-sheet.png). With --icons it
// writes the program icon in the sizes of a desktop icon theme, as
// <size>x<size>/apps/spinlorex.png.

#include "Artwork.h"
#include "Paint.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtGui/QGuiApplication>

#include <cstdio>

namespace {

bool save(const QImage& image, const QString& folder, const QString& name) {
    const QString path = folder + "/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "spinlorex-artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QList<art::NamedPicture> allPictures() {
    QList<art::NamedPicture> list{
        {"skin/default.png", art::defaultSkin()},
        {"skin/buttons.png", art::buttonStrip()},
        {"startup.png", art::startup()},
        {"tooltip.png", art::tooltip()},
    };
    for (int i = 0; i < 3; ++i)
        list.append({QString("sound/card%1.png").arg(i), art::soundCard(i)});
    for (int i = 0; i < 3; ++i)
        list.append({QString("sound/output%1.png").arg(i), art::soundOutput(i)});
    list.append({"icon.png", art::icon(64)});
    list.append({"cursors/drag.png", art::cursor(art::Cursor::Drag)});
    list.append({"cursors/drop.png", art::cursor(art::Cursor::Drop)});
    list.append({"cursors/nodrop.png", art::cursor(art::Cursor::NoDrop)});
    list.append({"cursors/drop-several.png", art::cursor(art::Cursor::Drop, true)});
    list.append({"cursors/nodrop-several.png", art::cursor(art::Cursor::NoDrop, true)});
    list.append({"library/icons.png", art::libraryIcons()});
    return list;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--icons") {
        const QString theme = QString::fromLocal8Bit(argv[2]);
        bool ok = true;
        for (const int size : art::kIconThemeSizes)
            ok &= save(art::icon(size), theme, QString("%1x%1/apps/spinlorex.png").arg(size));
        return ok ? 0 : 1;
    }
    const bool docs = argc == 4 && QByteArray(argv[2]) == "--docs";
    if (argc != 2 && !docs) {
        std::fprintf(stderr, "usage: spinlorex-artwork OUTPUT_FOLDER [--docs DOCS_FOLDER]\n");
        return 2;
    }
    art::loadFonts();
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QList<art::NamedPicture> pictures = allPictures();
    bool ok = true;
    for (const art::NamedPicture& picture : pictures) ok &= save(picture.image, out, picture.name);
    if (docs) {
        const QString folder = QString::fromLocal8Bit(argv[3]);
        ok &= save(pictures.front().image.copy(0, 0, 800, 600), folder, "default-skin.png");
        ok &= save(art::contactSheet(pictures), folder, "artwork-sheet.png");
    }
    return ok ? 0 : 1;
}
