#pragma once

// An off-screen picture: an RGB32 image with its own painter, which plays the part of the
// drawing context that fonts, pens and composition modes are selected into. The desk
// picture, the skin picture, the button strip and the start-up picture are surfaces.
//
// Each builder goes through its steps in a fixed order and, at the first step that fails,
// stores that step's message with setFatalError() and stops, leaving the surface partly
// built; release() (also run by the destructor) copes with any partial state. A builder
// never clears the fatal error.
//
// Main thread only: QPainter on an image may run elsewhere, but text drawing needs the GUI
// application's font database.

#include <memory>
#include <string>

#include <QtGui/QImage>

class QPainter;

namespace spinlorex {

// The builders' messages (static strings, as the fatal-error channel wants).
inline constexpr const char* kMsgNoGraphicScreen = "Impossible to open the graphic screen";
inline constexpr const char* kMsgCannotLoadGraphics = "Impossible to load the graphics";
inline constexpr const char* kMsgVideoDriver = "Error in the video driver";
inline constexpr const char* kMsgInvalidSkinFile = "Invalid skin file";

class Surface {
public:
    Surface();
    ~Surface();
    Surface(Surface&& other) noexcept;
    Surface& operator=(Surface&& other) noexcept;  // releases what this surface held
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // A black picture of width x height. Steps: context ("Impossible to open the graphic
    // screen"), image of that size ("Impossible to load the graphics"; a size the image
    // cannot have, such as 0 or one too large to allocate, fails here), selection ("Error
    // in the video driver").
    bool buildBlank(int width, int height);

    // A picture file in any format Qt's image reader accepts (BMP first of all). Steps:
    // context, reading the file ("Invalid skin file"), selection.
    bool buildFromFile(const std::string& path);

    // A picture in the Qt resource system; the resource path stands for the resource
    // number. Steps: context, loading ("Impossible to load the graphics"), selection.
    bool buildFromResource(const char* resourcePath);

    // A width x height picture whose pixels come from raw 16-bit data: little-endian
    // 0RRRRRGGGGGBBBBB, bottom row first, width x height x 2 bytes. `resourcePath` names a
    // Qt resource (any path QFile can open serves); null or empty stands for resource
    // number 0, which copies no pixels and leaves the picture black. Steps: context,
    // image ("Error in the video driver"), selection (same message), finding and reading
    // the data, too little of it included ("Impossible to load the graphics").
    bool buildFromRawPixels(const char* resourcePath, int width, int height);

    // Ends the painter, frees the image, then the painter. Harmless on a surface in any
    // state, and more than once.
    void release();

    // True once every step of a builder succeeded (and until release()).
    bool ready() const;
    int width() const;  // 0 without a picture
    int height() const;

    // The picture, for reading (copies from it, pixel checks). Drawing goes through the
    // painter, never through a copy of the image, so that implicit sharing cannot detach
    // the painter's target.
    const QImage& image() const;
    // The painter drawing into the picture; null unless ready(). What is selected into it
    // (font, pen) stays until release, as with a drawing context.
    QPainter* painter() const;

private:
    bool createContext();
    bool createImage(int width, int height, const char* failure);
    bool select();

    // Both live on the heap so that a move keeps the painter's target where it was.
    std::unique_ptr<QPainter> painter_;  // the "drawing context"
    std::unique_ptr<QImage> image_;      // the "bitmap"
};

// Copies a width x height block from (sx, sy) of `source` to (dx, dy) of `target`,
// replacing the pixels there (no blending). Parts of the block outside either picture are
// skipped; the target keeps what it had there. False when the target is not ready or the
// source has no picture.
bool copyRect(Surface& target, int dx, int dy, const Surface& source, int sx, int sy, int width,
              int height);

}  // namespace spinlorex
