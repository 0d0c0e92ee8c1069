#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <QtGui/QImage>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QWidget>

#include "platform/core/FatalError.h"
#include "resources/Resources.h"
#include "skin/picture/ControlWindow.h"
#include "skin/picture/Skin.h"
#include "support/Files.h"
#include "support/QtApp.h"

namespace spinlorex {
namespace {

constexpr QRgb kSkinColour = 0x336699;

// A named skin written into a temporary home folder.
class SkinLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::qtApp();
        clearFatalError();
    }
    void TearDown() override { clearFatalError(); }

    void writePicture(const std::string& name, int width, int height) {
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(kSkinColour);
        picture.setPixel(width - 1, height - 1, qRgb(1, 2, 3));
        ASSERT_TRUE(picture.save(QString::fromStdString(home.file(name + ".bmp")), "BMP"));
    }
    void writeDescription(const std::string& name, const std::string& text) {
        test::writeFile(home.file(name + ".ini"), test::Bytes(text.begin(), text.end()));
    }
    std::string message() const { return fatalError() != nullptr ? fatalError() : "(none)"; }

    test::TempDir home;
};

const std::string kDescription =
    "Version=1\r\n"
    "FontName=Dejavu Sans / the desk's face\r\n"
    "FontColorTitle=#00FF80\r\n"
    "FontSizeTitle=18\r\n"
    "MixNowAlwaysVisible=true\r\n"
    "ExtendedInfos=%time\\n%Pbpm\r\n"
    "[files window]\r\n"
    "Pos=100,200,600,320\r\n"
    "[Play1]\r\n"
    "Pos=10,20,30,40\r\n"
    "Down=10,620\r\n"
    "Mouse=25,40,15\r\n";

QRgb pixel(const Surface& s, int x, int y) { return s.image().pixel(x, y) & 0xFFFFFF; }

QRgb stripPixel(int x, int y) {
    resources::initialise();
    return QImage(resources::kButtonStrip).pixel(x, y) & 0xFFFFFF;
}

TEST_F(SkinLoaderTest, DefaultSkin) {
    Skin skin;
    ASSERT_TRUE(loadSkin(skin, "", home.path().string()));
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_EQ(skin.picture.width(), 800);
    EXPECT_EQ(skin.picture.height(), 830 + 48);
    EXPECT_EQ(skin.stripTop(), 830);
    EXPECT_EQ(skin.model.controls, defaultSkinControls());
    EXPECT_EQ(skin.values(), SkinValues{});
    EXPECT_EQ(pixel(skin.picture, 5, 830 + 5), stripPixel(5, 5));
}

TEST_F(SkinLoaderTest, NamedSkinFromItsTwoFiles) {
    writePicture("small", 640, 480);
    writeDescription("small", kDescription);
    Skin skin;
    ASSERT_TRUE(loadSkin(skin, "small", home.path().string())) << message();

    // 640 x 480 grows to 800 x 600, the strip below it; what the picture lacks is black.
    EXPECT_EQ(skin.picture.width(), 800);
    EXPECT_EQ(skin.picture.height(), 648);
    EXPECT_EQ(pixel(skin.picture, 0, 0), kSkinColour);
    EXPECT_EQ(pixel(skin.picture, 639, 479), 0x010203u);
    EXPECT_EQ(pixel(skin.picture, 640, 0), 0u);
    EXPECT_EQ(pixel(skin.picture, 0, 599), 0u);
    EXPECT_EQ(pixel(skin.picture, 671, 647), stripPixel(671, 47));
    EXPECT_EQ(pixel(skin.picture, 672, 600), 0u);  // the strip is only 672 wide

    const SkinValues& v = skin.values();
    EXPECT_EQ(v.fontName, "Dejavu Sans");
    EXPECT_EQ(v.fontColorTitle, skinRgb(0, 255, 0x80));
    EXPECT_EQ(v.fontSizeTitle, 18);
    EXPECT_EQ(v.extendedInfos, "%time\\n%Pbpm");
    EXPECT_EQ(v.simpleInfos, kDefaultSimpleInfos);

    const SkinControl& play = skin.control(ctl::Play1);
    EXPECT_EQ((std::array{play.x, play.offX, play.onX, play.onY, play.hitLeft, play.radius}),
              (std::array{10, 10, 10, 620, 25, 15}));
    EXPECT_EQ(skin.control(ctl::Mix).panelMask, kMaskAlways);
    EXPECT_EQ(skin.control(ctl::Pause1), SkinControl::absent(kMaskAlways));
    // The library area is derived from the files window, with the strip at row 600.
    EXPECT_EQ(skin.control(ctl::SearchText).left, 250);
    EXPECT_EQ(skin.control(ctl::SetHomeFolder).offY, 600);
    EXPECT_EQ(hitTest(skin, 25, 54, 0, 1), ctl::Play1);

    // A bigger picture keeps its size and moves the strip (and the looks in it) down.
    writePicture("big", 900, 700);
    writeDescription("big", kDescription);
    Skin big;
    ASSERT_TRUE(loadSkin(big, "big", home.path().string())) << message();
    EXPECT_EQ(big.picture.width(), 900);
    EXPECT_EQ(big.picture.height(), 748);
    EXPECT_EQ(pixel(big.picture, 899, 699), 0x010203u);
    EXPECT_EQ((std::pair{big.control(ctl::Save).offY, big.control(ctl::Save).onY}),
              (std::pair{700, 724}));
}

TEST_F(SkinLoaderTest, RefusalsAreInvalidSkinFiles) {
    writePicture("nodescription", 800, 600);
    writeDescription("nopicture", kDescription);
    writeDescription("badpicture", kDescription);
    test::writeFile(home.file("badpicture.bmp"), {'B', 'M', 1, 2, 3});
    writePicture("noversion", 800, 600);
    writeDescription("noversion", "[files window]\nPos=1,2,3,4\n");
    writePicture("nofiles", 800, 600);
    writeDescription("nofiles", "Version=1\n");

    for (const char* name :
         {"nodescription", "nopicture", "badpicture", "noversion", "nofiles", "absent"}) {
        clearFatalError();
        Skin skin;
        EXPECT_FALSE(loadSkin(skin, name, home.path().string())) << name;
        EXPECT_EQ(message(), "Invalid skin file") << name;
    }
}

TEST_F(SkinLoaderTest, StartUpFallsBackToTheDefaultSkin) {
    writePicture("nofiles", 800, 600);
    writeDescription("nofiles", "Version=1\n");
    Skin skin;
    ASSERT_TRUE(loadSkinOrDefault(skin, "nofiles", home.path().string()));
    EXPECT_EQ(fatalError(), nullptr);
    EXPECT_EQ(skin.model.controls, defaultSkinControls());
    EXPECT_EQ(skin.picture.height(), 878);
}

TEST_F(SkinLoaderTest, ControlLooksAndWindows) {
    Skin skin;
    ASSERT_TRUE(loadSkin(skin, "", home.path().string()));
    Surface desk;
    ASSERT_TRUE(desk.buildBlank(800, 600));
    ASSERT_TRUE(drawControlLook(desk, skin, ctl::Close, true));  // on look at (763, 600)
    EXPECT_EQ(desk.image().pixel(770, 5), skin.picture.image().pixel(770, 605));

    if (test::qtApp() == nullptr) GTEST_SKIP() << "no QApplication for widgets";
    QWidget desktop;
    auto* rhythm = createControlWindow(skin.model, ctl::RhythmWindow, &desktop);
    EXPECT_EQ(rhythm->parentWidget(), &desktop);
    EXPECT_EQ(rhythm->geometry(), QRect(22, 10, 750, 110));
    auto* search =
        createControlWindow<QLineEdit>(skin.model, ctl::SearchText, &desktop, QString("text"));
    EXPECT_EQ(search->text(), "text");
    EXPECT_EQ(search->geometry(), QRect(232, 358, 335, 24));

    SkinModel other = skin.model;
    other.controls[ctl::RhythmWindow].x = 40;
    moveControlWindow(other, rhythm, ctl::RhythmWindow);
    EXPECT_EQ(rhythm->geometry(), QRect(40, 10, 750, 110));
    moveControlWindow(other, rhythm, kControlCount);  // outside the table: left alone
    EXPECT_EQ(rhythm->geometry(), QRect(40, 10, 750, 110));
    moveControlWindow(other, rhythm, ctl::Reserved1);  // absent: an empty widget, no harm
    EXPECT_EQ(rhythm->size(), QSize(0, 0));
    moveControlWindow(other, nullptr, ctl::RhythmWindow);
}

#ifdef SPINLOREX_TOOL_PATH
// The command-line check loads skins the way the desk does.
std::pair<int, std::string> runTool(const std::string& arguments) {
    const std::string command =
        std::string(SPINLOREX_TOOL_PATH) + " skin-check " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST_F(SkinLoaderTest, SkinCheckCommand) {
    const auto [defaultStatus, defaultOut] = runTool("");
    EXPECT_EQ(defaultStatus, 0) << defaultOut;
    EXPECT_NE(defaultOut.find("picture: 800 x 878\n"), std::string::npos);
    EXPECT_NE(
        defaultOut.find(
            "\n6 \"play1\" 224 312 29 29 224 312 253 341 224 312 224 792 238 326 -1 -1 14 -1\n"),
        std::string::npos);

    writePicture("small", 640, 480);
    writeDescription("small", kDescription);
    const auto [status, out] = runTool("--home " + home.path().string() + " small");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("picture: 800 x 648\n"), std::string::npos);
    EXPECT_NE(out.find("FontName: \"Dejavu Sans\"\n"), std::string::npos);
    EXPECT_NE(out.find("ExtendedInfos: \"%time\\\\n%Pbpm\"\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n86 \"window drag\" -1"), std::string::npos);

    const auto [refusedStatus, refusedOut] = runTool("--home " + home.path().string() + " absent");
    EXPECT_EQ(refusedStatus, 1);
    EXPECT_NE(refusedOut.find("Invalid skin file"), std::string::npos);
}
#endif

}  // namespace
}  // namespace spinlorex
