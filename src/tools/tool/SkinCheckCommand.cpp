// spinlorex-tool skin-check: loads a skin as the desk does (the named skin's description
// and picture from the home folder, or the built-in default) and lists what the desk will
// use: the picture's size, the skin-wide values and the 87 control records. A refused skin
// prints the loader's message and exits 1.

#include <cstdio>
#include <string>
#include <string_view>

#include <QtGui/QGuiApplication>

#include "platform/core/FatalError.h"
#include "skin/picture/Skin.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"

namespace spinlorex::tool {
namespace {

// A C-style quoted string: the templates' real line feeds show as \n, a backslash of the
// template language as \\, and the listing keeps one line per value.
std::string quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

void printColour(const char* key, SkinColour c) {
    std::printf("%s: %u,%u,%u\n", key, redOf(c), greenOf(c), blueOf(c));
}

void printValues(const SkinValues& v) {
    const auto flag = [](const char* key, bool on) {
        std::printf("%s: %s\n", key, on ? "true" : "false");
    };
    const auto number = [](const char* key, int32_t n) { std::printf("%s: %d\n", key, n); };
    const auto text = [](const char* key, const std::string& s) {
        std::printf("%s: %s\n", key, quote(s).c_str());
    };
    flag("PlayPause", v.playPause);
    flag("CueStop", v.cueStop);
    flag("PitchLevel", v.pitchLevel);
    flag("MixNowAlwaysVisible", v.mixNowAlwaysVisible);
    text("FontName", v.fontName);
    printColour("FontColor", v.fontColor);
    printColour("FontBackColor", v.fontBackColor);
    printColour("FontColorTitle", v.fontColorTitle);
    printColour("FontColorAuthor", v.fontColorAuthor);
    printColour("FontColorSimpleInfos", v.fontColorSimpleInfos);
    printColour("FontColorExtendedInfos", v.fontColorExtendedInfos);
    printColour("FontColorOptions", v.fontColorOptions);
    printColour("FontColorRecord", v.fontColorRecord);
    printColour("CueColor", v.cueColor);
    number("FontSizeTitle", v.fontSizeTitle);
    number("FontSizeSimpleInfos", v.fontSizeSimpleInfos);
    number("FontSizeExtendedInfos", v.fontSizeExtendedInfos);
    number("FontSizeAuthor", v.fontSizeAuthor);
    number("FontSizeText", v.fontSizeText);
    number("RhythmBackColor", v.rhythmBackColor);
    number("RhythmColor1", v.rhythmColor1);
    number("RhythmColor2", v.rhythmColor2);
    number("RhythmColor3", v.rhythmColor3);
    text("SimpleInfos", v.simpleInfos);
    text("ExtendedInfos", v.extendedInfos);
}

void printControls(const SkinModel& model) {
    std::printf(
        "# id name x y width height left top right bottom offX offY onX onY"
        " hitLeft hitTop hitRight hitBottom radius panelMask\n");
    for (int32_t id = 0; id < kControlCount; ++id) {
        std::string line = std::to_string(id) + " " + quote(controlName(id));
        for (const int32_t field : model.control(id).fields()) line += " " + std::to_string(field);
        std::printf("%s\n", line.c_str());
    }
}

}  // namespace

int skinCheckCommand(const Args& args) {
    ArgParser a(args, {"--home"}, {});
    if (!a.ok() || a.positional().size() > 1) {
        std::fprintf(stderr, "usage: spinlorex-tool skin-check [--home DIR] [NAME]\n");
        return 2;
    }
    const std::string name = a.positional().empty() ? std::string() : a.positional().front();
    const std::string home = a.value("--home").value_or(".");

    // Pictures are read through Qt's image readers; no window is ever shown.
    int argc = 3;
    char program[] = "spinlorex-tool", option[] = "-platform", platform[] = "offscreen";
    char* argv[] = {program, option, platform, nullptr};
    QGuiApplication app(argc, argv);

    Skin skin;
    if (!loadSkin(skin, name, home)) {
        const char* message = fatalError();
        std::fprintf(stderr, "spinlorex-tool skin-check: %s\n",
                     message != nullptr ? message : "the skin was refused");
        return 1;
    }
    std::printf("skin: %s\n", name.empty() ? "(default)" : quote(name).c_str());
    std::printf("picture: %d x %d\n", skin.picture.width(), skin.picture.height());
    printValues(skin.values());
    printControls(skin.model);
    return 0;
}

}  // namespace spinlorex::tool
