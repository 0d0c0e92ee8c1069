// Plain pictures of the right sizes for the artwork that is not drawn yet.

#include "Artwork.h"
#include "Paint.h"

namespace art {

namespace {
QImage plain(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(format == QImage::Format_RGB32 ? colour::backBottom : QColor(Qt::transparent));
    return image;
}
}  // namespace

QImage startup() { return plain(400, 300); }
QImage icon(int size) { return plain(size, size, QImage::Format_ARGB32); }
QImage cursor(Cursor) { return plain(32, 32, QImage::Format_ARGB32); }
QImage contactSheet(const QList<NamedPicture>&) { return plain(16, 16); }

}  // namespace art
