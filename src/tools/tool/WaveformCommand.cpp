// spinlorex-tool waveform: a track's overview as the desk draws it, written as a PNG
// picture, from the same whole-track pass the desk runs at a load.

#include <png.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/WholeTrackAnalysis.h"
#include "auxwindows/WaveformPainter.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"

namespace spinlorex::tool {
namespace {

// 8-bit RGB rows from the canvas's 0xAARRGGBB pixels. False when the file cannot be written.
bool writePng(const std::string& path, const std::vector<uint32_t>& pixels, int32_t width,
              int32_t height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    bool written = false;
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                     8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
                row[static_cast<size_t>(x) * 3] = static_cast<png_byte>(p >> 16);
                row[static_cast<size_t>(x) * 3 + 1] = static_cast<png_byte>(p >> 8);
                row[static_cast<size_t>(x) * 3 + 2] = static_cast<png_byte>(p);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(png != nullptr ? &png : nullptr, info != nullptr ? &info : nullptr);
    return std::fclose(file) == 0 && written;
}

}  // namespace

int waveformCommand(const Args& args) {
    ArgParser parser(args, {"--width", "--height"}, {});
    const auto width = static_cast<int32_t>(parser.integer("--width", 750, 16, 16384));
    const auto height = static_cast<int32_t>(parser.integer("--height", 40, 4, 4096));
    if (!parser.ok() || parser.positional().size() != 2) {
        std::fprintf(stderr,
                     "usage: spinlorex-tool waveform IN OUT.png [--width W] [--height H]\n");
        return 2;
    }
    const std::string& in = parser.positional()[0];
    const std::string& out = parser.positional()[1];
    const DeckStream::Readers readers = measuringReaders();
    TrackReader* reader = readers.forPath(in);
    WholeTrackResult result;
    if (reader != nullptr)
        result = analyseWholeTrack(*reader, in, nullptr, {.fitGrid = false, .detectKey = false});
    if (result.status != kStatusNormal || !result.waveform) {
        std::fprintf(stderr, "spinlorex-tool: %s cannot be read\n", in.c_str());
        return 1;
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    drawOverview(Canvas{pixels.data(), width, height, width}, WaveView::of(*result.waveform), 0,
                 -1.0, -1.0);
    if (!writePng(out, pixels, width, height)) {
        std::fprintf(stderr, "spinlorex-tool: %s cannot be written\n", out.c_str());
        return 1;
    }
    return 0;
}

}  // namespace spinlorex::tool
