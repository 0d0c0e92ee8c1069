// Checks the pictures that spinlorex-artwork wrote: every file has its size, the looks the
// desk copies over its controls are really there and differ between off and on, and the
// tooltip's key colour leaves the balloon's shape.
// Usage: spinlorex-artwork-check ARTWORK_FOLDER

#include <QtCore/QRect>
#include <QtGui/QImage>

#include <cstdio>

namespace {

int passed = 0, failed = 0;

void check(bool ok, const char* what, const QString& detail = {}) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s %s\n", what, qPrintable(detail));
    }
}

// Loads a picture; a picture that cannot be read or has another size counts as one
// failure and comes back empty, and the checks of its contents are skipped.
QImage load(const QString& folder, const char* name, QSize size) {
    const QImage image(folder + "/" + name);
    check(image.size() == size, "size",
          QString("%1 is %2 x %3").arg(name).arg(image.width()).arg(image.height()));
    return image.size() == size ? image : QImage();
}

bool uniform(const QImage& image) {
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first) return false;
    return true;
}

// How many pixels differ between two equal-sized pictures.
int differences(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

struct Pair {
    const char* name;
    QRect first;    // one look (size and corner)
    QPoint second;  // the other look's corner
};

void checkSkin(const QImage& skin) {
    // Buttons and lamps: off look, on look (or the two faces that share a place).
    const Pair pairs[] = {
        {"close", {763, 0, 11, 10}, {763, 600}},
        {"minimize", {741, 0, 11, 10}, {741, 600}},
        {"maximize", {752, 0, 11, 10}, {752, 600}},
        {"go1", {169, 281, 51, 51}, {169, 761}},
        {"go2", {580, 281, 51, 51}, {580, 761}},
        {"play1", {224, 312, 29, 29}, {224, 792}},
        {"play2", {547, 312, 29, 29}, {547, 792}},
        {"pause1", {324, 614, 29, 29}, {324, 664}},
        {"pause2", {447, 614, 29, 29}, {447, 664}},
        {"play/pause1", {224, 312, 29, 29}, {324, 614}},
        {"stop1", {262, 322, 23, 23}, {262, 802}},
        {"stop2", {515, 322, 23, 23}, {515, 802}},
        {"mem1", {296, 326, 21, 21}, {296, 806}},
        {"mem2", {483, 326, 21, 21}, {483, 806}},
        {"platine1", {235, 267, 35, 35}, {235, 747}},
        {"platine2", {529, 267, 35, 35}, {529, 747}},
        {"reset pitch1", {250, 192, 11, 11}, {295, 627}},
        {"reset pitch2", {539, 192, 11, 11}, {494, 627}},
        {"menu level1", {166, 622, 32, 30}, {166, 142}},
        {"menu level2", {601, 622, 32, 31}, {601, 142}},
        {"menu pitch1", {166, 172, 32, 30}, {166, 652}},
        {"menu pitch2", {601, 173, 32, 32}, {601, 653}},
        {"pitch/level1", {204, 120, 60, 151}, {204, 600}},
        {"pitch/level2", {536, 120, 60, 151}, {536, 600}},
        {"menu files", {19, 354, 30, 34}, {368, 604}},
        {"menu search", {19, 388, 30, 36}, {368, 638}},
        {"menu playlist", {19, 424, 30, 36}, {368, 674}},
        {"menu record", {19, 460, 30, 36}, {401, 602}},
        {"menu history", {19, 496, 30, 36}, {401, 638}},
        {"menu config", {19, 532, 30, 36}, {401, 674}},
        {"mix", {346, 766, 106, 30}, {346, 799}},
    };
    for (const Pair& pair : pairs) {
        const QImage a = skin.copy(pair.first);
        const QImage b = skin.copy(QRect(pair.second, pair.first.size()));
        check(!uniform(a) && !uniform(b), "look is drawn", pair.name);
        // The looks differ clearly, not in a pixel or two.
        check(differences(a, b) * 30 > a.width() * a.height(), "looks differ", pair.name);
    }
    for (QRect knob : {QRect(285, 660, 23, 36), QRect(495, 675, 24, 20)})
        check(!uniform(skin.copy(knob)), "knob is drawn");
    // The panels the program writes on are plain and dark.
    for (QRect panel :
         {QRect(270, 130, 120, 100), QRect(410, 130, 120, 100), QRect(20, 300, 140, 35),
          QRect(640, 300, 140, 35), QRect(52, 355, 723, 235)}) {
        const QImage area = skin.copy(panel.adjusted(2, 8, -2, -2));
        bool dark = true;
        for (int y = 0; y < area.height(); ++y)
            for (int x = 0; x < area.width(); ++x) dark &= qGray(area.pixel(x, y)) < 24;
        check(dark, "text panel is dark");
    }
    // The volume fader's background shares rows with the select buttons' lit looks: they
    // must agree, or switching the fader would leave a stripe.
    check(skin.copy(204, 747, 60, 4) == skin.copy(204, 267, 60, 4), "fader1 / platine1 rows agree");
    check(skin.copy(536, 747, 60, 4) == skin.copy(536, 267, 60, 4), "fader2 / platine2 rows agree");
}

void checkStrip(const QImage& strip) {
    for (int x : {0, 24, 48, 120, 144, 168, 192, 216, 240, 264})
        check(differences(strip.copy(x, 0, 24, 24), strip.copy(x, 24, 24, 24)) > 100,
              "strip key lit", QString::number(x));
    check(differences(strip.copy(72, 0, 24, 48), strip.copy(96, 0, 24, 48)) > 100,
          "automix switch");
    check(differences(strip.copy(288, 0, 192, 48), strip.copy(480, 0, 192, 48)) > 1000,
          "record button");
}

void checkTooltip(const QImage& tip) {
    const QRgb key = tip.pixel(0, 0);
    check(qRed(key) == 255 && qGreen(key) == 0 && qBlue(key) == 255, "tooltip key is magenta");
    for (int y = 0; y <= 22; ++y)
        check(tip.pixel(22, y) != key, "tooltip stretch column is balloon");
    check(tip.pixel(28, 29) == key && tip.pixel(28, 0) == key, "tooltip corners are key");
    check(tip.pixel(3, 27) != key, "tooltip tail");
    check(tip.pixel(22, 11) != tip.pixel(22, 0), "tooltip box has a border and a fill");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: spinlorex-artwork-check ARTWORK_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (const QImage skin = load(folder, "skin/default.png", {800, 830}); !skin.isNull())
        checkSkin(skin);
    if (const QImage strip = load(folder, "skin/buttons.png", {672, 48}); !strip.isNull())
        checkStrip(strip);
    if (const QImage tip = load(folder, "tooltip.png", {29, 30}); !tip.isNull()) checkTooltip(tip);
    struct Picture {
        const char* name;
        QSize size;
    };
    for (const Picture& p :
         {Picture{"startup.png", {400, 300}}, Picture{"sound/card0.png", {87, 90}},
          Picture{"sound/card1.png", {87, 90}}, Picture{"sound/card2.png", {87, 90}},
          Picture{"sound/output0.png", {105, 90}}, Picture{"sound/output1.png", {105, 90}},
          Picture{"sound/output2.png", {105, 90}}})
        if (const QImage image = load(folder, p.name, p.size); !image.isNull())
            check(!uniform(image), "picture is drawn", p.name);
    if (const QImage icon = load(folder, "icon.png", {64, 64}); !icon.isNull())
        check(icon.hasAlphaChannel() && qAlpha(icon.pixel(0, 0)) == 0, "icon has round corners");
    for (const char* name : {"cursors/drag.png", "cursors/drop.png", "cursors/nodrop.png",
                             "cursors/drop-several.png", "cursors/nodrop-several.png"})
        if (const QImage c = load(folder, name, {32, 32}); !c.isNull())
            check(qAlpha(c.pixel(31, 0)) == 0 && qAlpha(c.pixel(2, 3)) == 255, "cursor shape",
                  name);
    if (const QImage icons = load(folder, "library/icons.png", {64, 16}); !icons.isNull()) {
        for (int i = 0; i < 4; ++i) {
            const QImage one = icons.copy(16 * i, 0, 16, 16);
            check(!uniform(one) && qAlpha(one.pixel(0, 15)) == 0, "row icon drawn, corner clear",
                  "library/icons.png");
            for (int j = 0; j < i; ++j)
                check(one != icons.copy(16 * j, 0, 16, 16), "row icons differ",
                      "library/icons.png");
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
