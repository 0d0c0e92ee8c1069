#include "desk/display/QtDeskView.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>

#include <QtCore/QString>
#include <QtCore/QStringDecoder>
#include <QtGui/QPainter>

#include "desk/display/InfoTemplate.h"
#include "desk/display/OptionLines.h"
#include "platform/text/TextDraw.h"
#include "skin/picture/Skin.h"

namespace spinlorex {
namespace {

using display::Point;
using display::Rect;
namespace tx = text;

constexpr int kDeskWidth = 800;
constexpr int kDeskHeight = 600;
// The recorder's status is cut to what its buffer has always held.
constexpr size_t kRecordStatusBytes = 511;

QColor colourOf(SkinColour c) {
    return QColor(static_cast<int>(redOf(c)), static_cast<int>(greenOf(c)),
                  static_cast<int>(blueOf(c)));
}

QRect toQRect(const Rect& r) { return QRect(r.left, r.top, r.width(), r.height()); }

Rect placement(const SkinControl& c) { return {c.left, c.top, c.right, c.bottom}; }

// Text from skins, tags and file names: UTF-8 when it is, else the 8-bit text of older
// skins and tags.
QString toQString(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return s;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The pixel height a skin's font size asks for: negative sizes mean the same height, 0
// the desk's usual one.
int pixelSize(int32_t size) {
    if (size == 0) return 14;
    const int64_t h = std::llabs(int64_t{size});
    return static_cast<int>(h > 1000 ? 1000 : h);
}

QFont deskFont(const std::string& family, int32_t size) {
    QFont font(QString::fromStdString(family));
    font.setPixelSize(pixelSize(size));
    font.setWeight(QFont::Normal);
    return font;
}

// Lines as the desk has always drawn them: one pixel, the end point left out.
QPen linePen(const QColor& colour) {
    QPen pen(colour);
    pen.setWidth(1);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

std::string_view cutAtCharacter(std::string_view s, size_t bytes) {
    if (s.size() <= bytes) return s;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

}  // namespace

QtDeskView::QtDeskView(Surface& desk, Skin& skin, Invalidate invalidate)
    : desk_(desk), skin_(&skin), invalidate_(std::move(invalidate)) {
    makeFontsAndPens();
}

QtDeskView::~QtDeskView() = default;

void QtDeskView::setSkin(Skin& skin) {
    skin_ = &skin;
    makeFontsAndPens();
    lastHand_ = {};
    lastBarLine_ = {};
    shownInfo_ = {};
}

void QtDeskView::makeFontsAndPens() {
    const SkinValues& v = skin_->values();
    fonts_[SimpleInfos] = deskFont(v.fontName, v.fontSizeSimpleInfos);
    fonts_[ExtendedInfos] = deskFont(v.fontName, v.fontSizeExtendedInfos);
    fonts_[Title] = deskFont(v.fontName, v.fontSizeTitle);
    fonts_[Author] = deskFont(v.fontName, v.fontSizeAuthor);
    fonts_[Text] = deskFont(v.fontName, v.fontSizeText);
    handPen_ = linePen(Qt::white);
    cuePen_ = linePen(colourOf(v.cueColor));
    if (QPainter* p = desk_.painter()) {
        p->setFont(fonts_[Text]);
        p->setPen(handPen_);
        p->setBackgroundMode(Qt::TransparentMode);
        p->setRenderHint(QPainter::Antialiasing, false);
    }
}

void QtDeskView::invalidate(const QRect& r) {
    if (r.isEmpty() || !invalidate_) return;
    invalidate_(r);
}

void QtDeskView::invalidate(const Rect& r) {
    if (!r.empty()) invalidate(toQRect(r));
}

void QtDeskView::restore(const Rect& r) {
    if (!r.empty())
        copyRect(desk_, r.left, r.top, skin_->picture, r.left, r.top, r.width(), r.height());
}

void QtDeskView::drawSegment(Point from, Point to, const QPen& pen) {
    QPainter* p = desk_.painter();
    if (p == nullptr || from == to) return;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(pen);
    p->drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
    p->restore();
}

void QtDeskView::drawBackground() {
    copyRect(desk_, 0, 0, skin_->picture, 0, 0, kDeskWidth, kDeskHeight);
    lastHand_ = {};
    lastBarLine_ = {};
    shownInfo_ = {};
    invalidate(QRect(0, 0, kDeskWidth, kDeskHeight));
}

void QtDeskView::drawControl(int id, bool on) {
    shownInfo_ = {};  // a control's look may reach into a panel
    drawControlLook(desk_, *skin_, id, on);
    invalidate(placement(skin_->control(id)));
}

void QtDeskView::restoreControl(int id) {
    shownInfo_ = {};
    const Rect r = placement(skin_->control(id));
    restore(r);
    invalidate(r);
}

// ---- Discs ----

void QtDeskView::drawDisc(int deck, float position, float cuePoint, bool trackOpen) {
    if (deck < 0 || deck > 1) return;
    const SkinControl& disc = skin_->control(ctl::Disc1 + deck);
    if (disc.width <= 0 || disc.height <= 0) return;  // the skin has no such disc
    if (disc.radius >= 0)
        drawDiscHand(deck, position, cuePoint, trackOpen);
    else
        drawBarLine(deck, position, cuePoint, trackOpen);
}

void QtDeskView::drawDiscHand(int deck, float position, float cuePoint, bool trackOpen) {
    const SkinControl& disc = skin_->control(ctl::Disc1 + deck);
    const Point centre{disc.hitLeft, disc.hitTop};
    const Point end = display::handEnd(position, disc.radius);
    if (end == lastHand_[deck]) return;

    const Rect erased = display::handEraseRect(centre, lastHand_[deck], end);
    restore(erased);
    drawSegment(centre, {centre.x + end.x, centre.y + end.y}, handPen_);
    invalidate(erased);
    lastHand_[deck] = end;

    if (!trackOpen) return;
    const display::CueMark mark = display::cueMark(centre, cuePoint, disc.radius);
    if (display::cueMarkTouched(mark, erased)) drawSegment(mark.inner, mark.outer, cuePen_);
}

void QtDeskView::drawBarLine(int deck, float position, float cuePoint, bool trackOpen) {
    const SkinControl& disc = skin_->control(ctl::Disc1 + deck);
    const Rect bar{disc.hitLeft, disc.hitTop, disc.hitRight, disc.hitBottom};
    const int32_t line = display::barLine(bar.left, bar.right, position);
    if (line == lastBarLine_[deck]) return;

    // The strip comes back from the disc's own off-look, at the same offset inside it.
    const Rect strip = display::barStrip(bar, lastBarLine_[deck], line);
    if (!strip.empty())
        copyRect(desk_, strip.left, strip.top, skin_->picture, disc.offX + strip.left - disc.x,
                 disc.offY + strip.top - disc.y, strip.width(), strip.height());
    if (line != 0) {
        const int32_t x = bar.left + line - 1;
        drawSegment({x, bar.top}, {x, bar.bottom}, handPen_);
    }
    invalidate(strip);
    lastBarLine_[deck] = line;

    if (!trackOpen) return;
    const int32_t cueX = display::barCueX(bar.left, bar.right, cuePoint);
    if (cueX >= strip.left && cueX < strip.right)
        drawSegment({cueX, bar.top}, {cueX, (bar.top + bar.bottom) / 2}, cuePen_);
}

void QtDeskView::redrawCueMark(int deck, float cuePoint, bool trackOpen) {
    if (deck < 0 || deck > 1) return;
    const SkinControl& disc = skin_->control(ctl::Disc1 + deck);
    lastHand_[deck] = {};
    lastBarLine_[deck] = 0;
    const Rect whole = placement(disc);
    restore(whole);
    if (trackOpen && disc.width > 0) {
        if (disc.radius >= 0) {
            const display::CueMark mark =
                display::cueMark({disc.hitLeft, disc.hitTop}, cuePoint, disc.radius);
            drawSegment(mark.inner, mark.outer, cuePen_);
        } else {
            const int32_t cueX = display::barCueX(disc.hitLeft, disc.hitRight, cuePoint);
            drawSegment({cueX, disc.hitTop}, {cueX, (disc.hitTop + disc.hitBottom) / 2}, cuePen_);
        }
    }
    invalidate(whole);
}

// ---- Knobs ----

void QtDeskView::drawSliderKnob(int sliderId, int32_t oldPosition, int32_t newPosition) {
    if (sliderId < ctl::Pitch1 || sliderId > ctl::Level2) return;
    const SkinControl& slider = skin_->control(sliderId);
    const SkinControl& knob = skin_->control(ctl::VerticalFader1 + (sliderId - ctl::Pitch1) % 2);
    const int32_t w = knob.width, h = knob.height;
    if (w <= 0 || h <= 0) return;

    const int32_t x = slider.hitLeft;
    const int32_t oldY = display::sliderKnobY(slider.hitTop, slider.hitBottom, h, oldPosition);
    const int32_t newY = display::sliderKnobY(slider.hitTop, slider.hitBottom, h, newPosition);
    // The slider's on-look is its background without a knob.
    copyRect(desk_, x, oldY, skin_->picture, slider.onX + x - slider.x,
             slider.onY + oldY - slider.y, w, h);
    copyRect(desk_, x, newY, skin_->picture, knob.offX, knob.offY, w, h);
    invalidate(Rect{x, oldY, x + w, oldY + h}.united({x, newY, x + w, newY + h}));
}

void QtDeskView::drawCrossfaderKnob(int32_t oldValue, int32_t newValue) {
    const SkinControl& fader = skin_->control(ctl::Crossfader);
    const SkinControl& knob = skin_->control(ctl::HorizontalFader);
    const int32_t w = knob.width, h = knob.height;
    if (w <= 0 || h <= 0) return;

    const int32_t y = fader.hitTop;
    const int32_t oldX = display::crossfaderKnobX(fader.hitLeft, fader.hitRight, w, oldValue);
    const int32_t newX = display::crossfaderKnobX(fader.hitLeft, fader.hitRight, w, newValue);
    const Rect before{oldX, y, oldX + w, y + h};
    restore(before);
    copyRect(desk_, newX, y, skin_->picture, knob.offX, knob.offY, w, h);
    invalidate(before.united({newX, y, newX + w, y + h}));
}

// ---- Information panel and titles ----

namespace {

// Draws the template's runs, each from its start to the panel's right and bottom.
class PanelWriter final : public display::InfoSink {
public:
    PanelWriter(QPainter& painter, const Rect& panel) : painter_(painter), panel_(panel) {}

    void segment(int32_t x, int32_t y, std::string_view text) override {
        const Rect r{panel_.left + x, panel_.top + y, panel_.right, panel_.bottom};
        if (r.empty()) return;
        tx::drawText(painter_, toQRect(r), toQString(text),
                     tx::kLeft | tx::kTop | tx::kEndEllipsis);
    }

private:
    QPainter& painter_;
    Rect panel_;
};

}  // namespace

void QtDeskView::drawDeckInfo(int deck, const DeckInfo& info) {
    if (deck < 0 || deck > 1) return;
    QPainter* p = desk_.painter();
    const Rect panel = placement(skin_->control(ctl::Infos1 + deck));
    if (p == nullptr || panel.empty()) return;
    if (shownInfo_[static_cast<size_t>(deck)] == info) return;
    shownInfo_[static_cast<size_t>(deck)] = info;
    restore(panel);

    const SkinValues& v = skin_->values();
    p->save();
    p->setBackgroundMode(Qt::TransparentMode);
    p->setClipRect(toQRect(panel));
    if (info.status != 0) {
        const std::string_view message = display::statusMessage(info.status);
        if (!message.empty()) {
            p->setFont(fonts_[SimpleInfos]);
            p->setPen(colourOf(v.fontColorSimpleInfos));
            const QString text = toQString(message);
            constexpr tx::TextFlags kFlags =
                tx::kWordBreak | tx::kCentre | tx::kNoPrefix | tx::kEndEllipsis;
            QRect r =
                tx::measureText(fonts_[SimpleInfos], toQRect(panel), text, kFlags | tx::kCalcRect);
            r.translate(0, (panel.height() - r.height()) / 2);
            tx::drawText(*p, r, text, kFlags);
        }
    } else {
        const bool extended = info.extended;
        p->setFont(fonts_[extended ? ExtendedInfos : SimpleInfos]);
        p->setPen(colourOf(extended ? v.fontColorExtendedInfos : v.fontColorSimpleInfos));
        PanelWriter writer(*p, panel);
        display::interpretInfoTemplate(extended ? v.extendedInfos : v.simpleInfos, info, writer);
    }
    p->restore();
    invalidate(panel);
}

void QtDeskView::drawDeckTitle(int deck, const std::string& artist, const std::string& title) {
    if (deck < 0 || deck > 1) return;
    QPainter* p = desk_.painter();
    const Rect area = placement(skin_->control(ctl::Title1 + deck));
    if (p == nullptr || area.empty()) return;
    restore(area);
    if (!artist.empty() || !title.empty()) {
        const SkinValues& v = skin_->values();
        p->save();
        p->setBackgroundMode(Qt::TransparentMode);
        p->setFont(fonts_[Title]);
        p->setPen(colourOf(v.fontColorTitle));
        if (!artist.empty()) {
            // The artist takes a band as high as the title font's size above the title.
            const int32_t band = std::clamp(area.top + v.fontSizeTitle, area.top, area.bottom);
            tx::drawText(*p, toQRect({area.left, band, area.right, area.bottom}), toQString(title),
                         tx::kSingleLine | tx::kCentre | tx::kNoPrefix | tx::kEndEllipsis);
            p->setFont(fonts_[Author]);
            p->setPen(colourOf(v.fontColorAuthor));
            tx::drawText(*p, toQRect({area.left, area.top, area.right, band}), toQString(artist),
                         tx::kSingleLine | tx::kCentre | tx::kNoPrefix);
        } else {
            tx::drawText(*p, toQRect(area), toQString(title),
                         tx::kWordBreak | tx::kCentre | tx::kNoPrefix | tx::kEndEllipsis);
        }
        p->restore();
    }
    // Also when there is nothing to write, so the screen loses the old title too.
    invalidate(area);
}

// ---- Options panel and recorder status ----

void QtDeskView::drawOptionsPanel() {
    QPainter* p = desk_.painter();
    const Rect panel = placement(skin_->control(ctl::FilesWindow));
    if (p == nullptr) return;
    restore(panel);

    const QFont& font = fonts_[Text];
    p->save();
    p->setBackgroundMode(Qt::TransparentMode);
    p->setFont(font);
    p->setPen(colourOf(skin_->values().fontColorOptions));
    for (int32_t id : display::kOptionLines) {
        SkinControl& c = skin_->model.controls[static_cast<size_t>(id)];
        const display::OptionText option = display::optionText(id, settings());
        const QString label = toQString(option.label);
        const QString value = toQString(option.value);
        const int32_t m = (c.left + c.right) / 2;

        // The line reads as one phrase around m; only the text itself reacts to the mouse.
        const QRect fromMiddle = toQRect({m, c.top, c.right, c.bottom});
        c.hitLeft =
            m - tx::measureText(font, fromMiddle, label, tx::kCalcRect | tx::kNoPrefix).width();
        tx::drawText(*p, toQRect({c.left, c.top, m, c.bottom}), label,
                     tx::kRight | tx::kVCentre | tx::kNoPrefix);
        c.hitRight =
            m + tx::measureText(font, fromMiddle, value, tx::kCalcRect | tx::kNoPrefix).width();
        tx::drawText(*p, fromMiddle, value, tx::kLeft | tx::kVCentre | tx::kNoPrefix);
    }
    // The desk's own options below, each in the same way.
    for (int32_t k = 0; k < display::kExtraOptionCount; ++k) {
        const Rect box = display::extraOptionBox(skin_->model, k);
        if (box.empty()) continue;
        const display::OptionText option = display::extraOptionText(k, settings());
        const int32_t m = (box.left + box.right) / 2;
        tx::drawText(*p, toQRect({box.left, box.top, m, box.bottom}), toQString(option.label),
                     tx::kRight | tx::kVCentre | tx::kNoPrefix);
        tx::drawText(*p, toQRect({m, box.top, box.right, box.bottom}), toQString(option.value),
                     tx::kLeft | tx::kVCentre | tx::kNoPrefix);
    }
    p->restore();
    invalidate(panel);
}

void QtDeskView::drawRecordStatus(const std::string& text) {
    QPainter* p = desk_.painter();
    if (p == nullptr) return;
    const Rect area = placement(skin_->control(ctl::RecordStatus));
    restore(area);
    if (text.empty()) {  // nothing records: the panel's own picture
        invalidate(area);
        return;
    }
    p->save();
    p->setBackgroundMode(Qt::TransparentMode);
    p->setFont(fonts_[Text]);
    p->setPen(colourOf(skin_->values().fontColorRecord));
    tx::drawText(*p, toQRect(area), toQString(cutAtCharacter(text, kRecordStatusBytes)),
                 tx::kCentre | tx::kNoPrefix);
    p->restore();
    invalidate(area);
}

}  // namespace spinlorex
