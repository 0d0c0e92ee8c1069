#include "platform/surface/Surface.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include <QtCore/QByteArray>
#include <QtCore/QFile>
#include <QtCore/QString>
#include <QtGui/QPainter>

#include "platform/core/FatalError.h"

namespace spinlorex {
namespace {

// Every surface is in the screen's own format, so copies between them need no conversion.
constexpr QImage::Format kFormat = QImage::Format_RGB32;

uint32_t expand555(uint32_t pixel) {
    const auto widen = [](uint32_t c) { return (c << 3) | (c >> 2); };
    const uint32_t r = widen((pixel >> 10) & 31);
    const uint32_t g = widen((pixel >> 5) & 31);
    const uint32_t b = widen(pixel & 31);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

bool fail(const char* message) {
    setFatalError(message);
    return false;
}

}  // namespace

Surface::Surface() = default;
Surface::~Surface() { release(); }
Surface::Surface(Surface&& other) noexcept = default;

Surface& Surface::operator=(Surface&& other) noexcept {
    if (this != &other) {
        release();
        painter_ = std::move(other.painter_);
        image_ = std::move(other.image_);
    }
    return *this;
}

bool Surface::createContext() {
    release();
    painter_.reset(new (std::nothrow) QPainter);
    return painter_ != nullptr || fail(kMsgNoGraphicScreen);
}

bool Surface::createImage(int width, int height, const char* failure) {
    // QImage reports an impossible size (not positive, overflowing, or beyond memory) as a
    // null image rather than throwing.
    if (width > 0 && height > 0) image_.reset(new (std::nothrow) QImage(width, height, kFormat));
    if (image_ == nullptr || image_->isNull()) {
        image_.reset();
        return fail(failure);
    }
    image_->fill(Qt::black);
    return true;
}

bool Surface::select() { return painter_->begin(image_.get()) || fail(kMsgVideoDriver); }

bool Surface::buildBlank(int width, int height) {
    return createContext() && createImage(width, height, kMsgCannotLoadGraphics) && select();
}

bool Surface::buildFromFile(const std::string& path) {
    if (!createContext()) return false;
    QImage loaded(QFile::decodeName(path.c_str()));
    if (loaded.isNull()) return fail(kMsgInvalidSkinFile);
    image_.reset(new (std::nothrow) QImage(loaded.convertToFormat(kFormat)));
    if (image_ == nullptr || image_->isNull()) {
        image_.reset();
        return fail(kMsgInvalidSkinFile);
    }
    return select();
}

bool Surface::buildFromResource(const char* resourcePath) {
    if (!createContext()) return false;
    QImage loaded;
    if (resourcePath != nullptr) loaded.load(QString::fromUtf8(resourcePath));
    if (!loaded.isNull()) image_.reset(new (std::nothrow) QImage(loaded.convertToFormat(kFormat)));
    if (image_ == nullptr || image_->isNull()) {
        image_.reset();
        return fail(kMsgCannotLoadGraphics);
    }
    return select();
}

bool Surface::buildFromRawPixels(const char* resourcePath, int width, int height) {
    if (!createContext() || !createImage(width, height, kMsgVideoDriver) || !select()) return false;
    if (resourcePath == nullptr || *resourcePath == '\0') return true;

    QFile file(QString::fromUtf8(resourcePath));
    if (!file.open(QIODevice::ReadOnly)) return fail(kMsgCannotLoadGraphics);
    const qint64 needed = qint64{width} * height * 2;
    const QByteArray data = file.read(needed);
    if (data.size() < needed) return fail(kMsgCannotLoadGraphics);

    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    for (int row = 0; row < height; ++row) {
        // The data's first row is the picture's bottom row.
        auto* line = reinterpret_cast<uint32_t*>(image_->scanLine(height - 1 - row));
        const unsigned char* in = bytes + qint64{row} * width * 2;
        for (int x = 0; x < width; ++x)
            line[x] = expand555(in[2 * x] | uint32_t{in[2 * x + 1]} << 8);
    }
    return true;
}

void Surface::release() {
    if (painter_ != nullptr && painter_->isActive()) painter_->end();
    image_.reset();
    painter_.reset();
}

bool Surface::ready() const {
    return painter_ != nullptr && painter_->isActive() && image_ != nullptr;
}

int Surface::width() const { return image_ != nullptr ? image_->width() : 0; }
int Surface::height() const { return image_ != nullptr ? image_->height() : 0; }

const QImage& Surface::image() const {
    static const QImage none;
    return image_ != nullptr ? *image_ : none;
}

QPainter* Surface::painter() const { return ready() ? painter_.get() : nullptr; }

bool copyRect(Surface& target, int dx, int dy, const Surface& source, int sx, int sy, int width,
              int height) {
    QPainter* painter = target.painter();
    const QImage& from = source.image();
    if (painter == nullptr || from.isNull()) return false;

    // Clip in 64 bits: skin coordinates come from files and may be anything.
    int64_t x = dx, y = dy, fx = sx, fy = sy, w = width, h = height;
    if (fx < 0) x -= fx, w += fx, fx = 0;
    if (fy < 0) y -= fy, h += fy, fy = 0;
    if (x < 0) fx -= x, w += x, x = 0;
    if (y < 0) fy -= y, h += y, y = 0;
    w = std::min({w, int64_t{from.width()} - fx, int64_t{target.width()} - x});
    h = std::min({h, int64_t{from.height()} - fy, int64_t{target.height()} - y});
    // An empty source rectangle would make drawImage copy the whole picture.
    if (w <= 0 || h <= 0) return true;

    const QRect block(static_cast<int>(fx), static_cast<int>(fy), static_cast<int>(w),
                      static_cast<int>(h));
    const QPoint to(static_cast<int>(x), static_cast<int>(y));
    // A copy is exact whatever else the painter holds (opacity, transform, blending); a
    // clip set on it still applies, as it would to any drawing.
    painter->save();
    painter->resetTransform();
    painter->setOpacity(1.0);
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    if (&from == &target.image())
        painter->drawImage(to, from.copy(block));  // overlapping copy within one picture
    else
        painter->drawImage(to, from, block);
    painter->restore();
    return true;
}

}  // namespace spinlorex
