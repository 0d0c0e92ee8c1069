#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include <QtGui/QImage>
#include <QtGui/QPainter>

#include "platform/core/FatalError.h"
#include "platform/surface/Surface.h"
#include "resources/Resources.h"
#include "support/Files.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        clearFatalError();
    }
    void TearDown() override { clearFatalError(); }

    static std::string message() { return fatalError() != nullptr ? fatalError() : "(none)"; }
};

QRgb pixel(const Surface& s, int x, int y) { return s.image().pixel(x, y) & 0xFFFFFF; }

TEST_F(SurfaceTest, BlankIsBlackAndImpossibleSizesFailAtTheImageStep) {
    Surface s;
    ASSERT_TRUE(s.buildBlank(30, 20));
    EXPECT_TRUE(s.ready());
    EXPECT_EQ(s.width(), 30);
    EXPECT_EQ(s.height(), 20);
    EXPECT_EQ(pixel(s, 29, 19), 0u);
    EXPECT_EQ(fatalError(), nullptr);

    for (const auto& [w, h] :
         std::initializer_list<std::pair<int, int>>{{0, 10}, {10, -1}, {INT_MAX, INT_MAX}}) {
        clearFatalError();
        Surface bad;
        EXPECT_FALSE(bad.buildBlank(w, h));
        EXPECT_EQ(message(), "Impossible to load the graphics") << w << " x " << h;
        EXPECT_FALSE(bad.ready());
        EXPECT_EQ(bad.painter(), nullptr);
        bad.release();  // partly built: a context without a picture
        bad.release();
    }
}

TEST_F(SurfaceTest, BuildersNeverClearAPendingMessage) {
    setFatalError("earlier failure");
    Surface s;
    EXPECT_TRUE(s.buildBlank(4, 4));
    EXPECT_STREQ(fatalError(), "earlier failure");
}

TEST_F(SurfaceTest, FileBuilderReadsAPictureAndCallsEveryUnreadableFileAnInvalidSkin) {
    test::TempDir dir;
    QImage source(3, 2, QImage::Format_RGB32);
    source.fill(qRgb(10, 20, 30));
    source.setPixel(2, 1, qRgb(200, 100, 50));
    ASSERT_TRUE(source.save(QString::fromStdString(dir.file("p.bmp")), "BMP"));

    Surface s;
    ASSERT_TRUE(s.buildFromFile(dir.file("p.bmp")));
    EXPECT_EQ(s.width(), 3);
    EXPECT_EQ(s.height(), 2);
    EXPECT_EQ(pixel(s, 0, 0), 0x0A141Eu);
    EXPECT_EQ(pixel(s, 2, 1), 0xC86432u);

    // A missing file is an invalid skin file, not a graphics failure.
    Surface missing;
    EXPECT_FALSE(missing.buildFromFile(dir.file("absent.bmp")));
    EXPECT_EQ(message(), "Invalid skin file");

    clearFatalError();
    test::writeFile(dir.file("junk.bmp"), {'B', 'M', 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3});
    Surface junk;
    EXPECT_FALSE(junk.buildFromFile(dir.file("junk.bmp")));
    EXPECT_EQ(message(), "Invalid skin file");
}

TEST_F(SurfaceTest, ResourceBuilder) {
    resources::initialise();
    Surface skin;
    ASSERT_TRUE(skin.buildFromResource(resources::kDefaultSkin));
    EXPECT_EQ(skin.width(), 800);
    EXPECT_EQ(skin.height(), 830);

    for (const char* path : {":/no/such/picture.png", static_cast<const char*>(nullptr)}) {
        clearFatalError();
        Surface missing;
        EXPECT_FALSE(missing.buildFromResource(path));
        EXPECT_EQ(message(), "Impossible to load the graphics");
    }
}

TEST_F(SurfaceTest, RawPixelsAre555BottomRowFirst) {
    test::TempDir dir;
    // 2 x 2: stored rows are bottom then top. Top bit set on one pixel: it is ignored.
    test::Bytes raw;
    test::put16(raw, 0x7C00);           // bottom left: pure red
    test::put16(raw, 0x03E0);           // bottom right: pure green
    test::put16(raw, 0x001F | 0x8000);  // top left: pure blue
    test::put16(raw, 0x4210);           // top right: 16, 16, 16 of 31
    test::writeFile(dir.file("p.raw"), raw);

    Surface s;
    ASSERT_TRUE(s.buildFromRawPixels(dir.file("p.raw").c_str(), 2, 2));
    EXPECT_EQ(pixel(s, 0, 1), 0xFF0000u);
    EXPECT_EQ(pixel(s, 1, 1), 0x00FF00u);
    EXPECT_EQ(pixel(s, 0, 0), 0x0000FFu);
    EXPECT_EQ(pixel(s, 1, 0), 0x848484u);

    // Resource "0": a black picture of the size asked for.
    Surface none;
    ASSERT_TRUE(none.buildFromRawPixels(nullptr, 5, 4));
    EXPECT_EQ(none.width(), 5);
    EXPECT_EQ(pixel(none, 4, 3), 0u);
    EXPECT_EQ(fatalError(), nullptr);
}

TEST_F(SurfaceTest, RawPixelFailuresInStepOrder) {
    test::TempDir dir;
    test::writeFile(dir.file("short.raw"), test::Bytes(2 * 2 * 2 - 1, 0xFF));

    // The picture exists before the data is looked for; the release frees it.
    for (const std::string& path : {dir.file("absent.raw"), dir.file("short.raw")}) {
        clearFatalError();
        Surface s;
        EXPECT_FALSE(s.buildFromRawPixels(path.c_str(), 2, 2));
        EXPECT_EQ(message(), "Impossible to load the graphics") << path;
        EXPECT_EQ(s.width(), 2);
        s.release();
        EXPECT_EQ(s.width(), 0);
    }

    clearFatalError();
    Surface s;
    EXPECT_FALSE(s.buildFromRawPixels(dir.file("absent.raw").c_str(), 0, 2));
    EXPECT_EQ(message(), "Error in the video driver");  // the size fails before the data
}

TEST_F(SurfaceTest, CopyRectReplacesPixelsAndClipsAtEveryEdge) {
    Surface source, target;
    ASSERT_TRUE(source.buildBlank(4, 4));
    ASSERT_TRUE(target.buildBlank(6, 6));
    source.painter()->fillRect(0, 0, 4, 4, QColor(1, 2, 3));
    source.painter()->fillRect(2, 2, 2, 2, QColor(200, 0, 0));

    // A block reaching past the source's top-left and past the target's right edge.
    ASSERT_TRUE(copyRect(target, 3, 3, source, -1, -1, 10, 10));
    EXPECT_EQ(pixel(target, 3, 3), 0u);  // nothing in the source there
    EXPECT_EQ(pixel(target, 4, 4), 0x010203u);
    EXPECT_EQ(pixel(target, 5, 5), 0x010203u);
    EXPECT_EQ(pixel(target, 2, 2), 0u);

    // An empty block copies nothing (not the whole picture).
    Surface fresh;
    ASSERT_TRUE(fresh.buildBlank(4, 4));
    ASSERT_TRUE(copyRect(fresh, 0, 0, source, 0, 0, 0, 4));
    EXPECT_EQ(pixel(fresh, 0, 0), 0u);

    // Wild coordinates neither overflow nor copy.
    EXPECT_TRUE(copyRect(fresh, INT_MAX, INT_MIN, source, INT_MIN, INT_MAX, INT_MAX, INT_MAX));
    EXPECT_EQ(pixel(fresh, 0, 0), 0u);

    // Overlapping copy inside one picture.
    ASSERT_TRUE(copyRect(source, 1, 1, source, 2, 2, 2, 2));
    EXPECT_EQ(pixel(source, 1, 1), 0xC80000u);
    EXPECT_EQ(pixel(source, 3, 3), 0xC80000u);

    // Whatever the painter was left with, a copy replaces the pixels exactly.
    fresh.painter()->setOpacity(0.5);
    ASSERT_TRUE(copyRect(fresh, 0, 0, source, 3, 3, 1, 1));
    EXPECT_EQ(pixel(fresh, 0, 0), 0xC80000u);
    EXPECT_EQ(fresh.painter()->opacity(), 0.5);
}

TEST_F(SurfaceTest, CopiesNeedAReadyTargetAndAMoveKeepsThePainter) {
    Surface source, unbuilt;
    ASSERT_TRUE(source.buildBlank(2, 2));
    EXPECT_FALSE(copyRect(unbuilt, 0, 0, source, 0, 0, 2, 2));
    EXPECT_FALSE(copyRect(source, 0, 0, unbuilt, 0, 0, 2, 2));

    // The painter still draws into the picture after the surface moved.
    Surface assigned;
    ASSERT_TRUE(assigned.buildBlank(8, 8));
    assigned = Surface(std::move(source));
    EXPECT_EQ(assigned.width(), 2);
    assigned.painter()->fillRect(0, 0, 1, 1, QColor(7, 7, 7));
    EXPECT_EQ(pixel(assigned, 0, 0), 0x070707u);
}

}  // namespace
}  // namespace spinlorex
