// spinlorex-artwork: draws every built-in picture of Spinlorex into a folder, at build time.
// Usage: spinlorex-artwork OUTPUT_FOLDER

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QPainter>

#include <cstdio>

namespace {

bool save(const QImage& image, const QString& folder, const QString& name) {
    const QString path = folder + "/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "spinlorex-artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage blank(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: spinlorex-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QColor desk(28, 30, 36);
    bool ok = true;
    ok &= save(blank(800, 830, desk), out, "skin/default.png");
    ok &= save(blank(672, 48, desk), out, "skin/buttons.png");
    ok &= save(blank(400, 300, desk), out, "startup.png");
    ok &= save(blank(29, 30, QColor(255, 0, 255)), out, "tooltip.png");
    for (int i = 0; i < 3; ++i) {
        ok &= save(blank(87, 90, desk), out, QString("sound/card%1.png").arg(i));
        ok &= save(blank(105, 90, desk), out, QString("sound/output%1.png").arg(i));
    }
    ok &= save(blank(64, 64, desk), out, "icon.png");
    for (const char* name : {"cursors/drag.png", "cursors/drop.png", "cursors/nodrop.png"})
        ok &= save(blank(32, 32, QColor(0, 0, 0, 0)), out, name);
    return ok ? 0 : 1;
}
