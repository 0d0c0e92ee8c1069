#include "platform/text/TextDraw.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QtCore/QString>
#include <QtGui/QFont>
#include <QtGui/QFontMetrics>
#include <QtGui/QPainter>
#include <QtGui/QTextCharFormat>
#include <QtGui/QTextLayout>

namespace spinlorex::text {
namespace {

// One line as it will be drawn, with the positions of its underlined characters.
struct Line {
    QString text;
    int width = 0;
    std::vector<qsizetype> underlines;
};

struct Paragraph {
    QString text;
    std::vector<qsizetype> underlines;
};

// A line that never wraps is laid out in a width no text reaches.
constexpr qreal kUnbounded = 1.0e7;

bool has(TextFlags flags, TextFlags flag) { return (flags & flag) != 0; }

// Splits at CR LF, LF or CR (a single line keeps them as blanks) and takes out the '&'
// prefixes.
std::vector<Paragraph> splitParagraphs(QStringView text, TextFlags flags) {
    std::vector<Paragraph> out(1);
    const bool prefixes = !has(flags, kNoPrefix);
    const bool single = has(flags, kSingleLine);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            if (single)
                out.back().text += u' ';
            else
                out.emplace_back();
            continue;
        }
        if (prefixes && c == u'&') {
            if (++i >= text.size()) break;  // a trailing prefix shows nothing
            if (text[i] != u'&') out.back().underlines.push_back(out.back().text.size());
            out.back().text += text[i];
            continue;
        }
        out.back().text += c;
    }
    if (out.size() == 1 && out[0].text.isEmpty()) out.clear();  // no text, no line
    return out;
}

// Natural width through the same layout engine that draws (tabs included).
int advance(const QFont& font, const QString& text) {
    if (text.isEmpty()) return 0;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setLineWidth(kUnbounded);
    const qreal width = line.isValid() ? line.naturalTextWidth() : 0.0;
    layout.endLayout();
    return static_cast<int>(std::ceil(width));
}

void addLine(std::vector<Line>& lines, const QFont& font, const Paragraph& p, qsizetype start,
             qsizetype length) {
    Line line;
    line.text = p.text.mid(start, length);
    while (!line.text.isEmpty() && line.text.back().isSpace()) line.text.chop(1);
    for (qsizetype u : p.underlines)
        if (u >= start && u - start < line.text.size()) line.underlines.push_back(u - start);
    line.width = advance(font, line.text);
    lines.push_back(std::move(line));
}

std::vector<Line> layLines(const QFont& font, const std::vector<Paragraph>& paragraphs, int width,
                           TextFlags flags) {
    std::vector<Line> lines;
    const bool wrap = has(flags, kWordBreak) && !has(flags, kSingleLine) && width > 0;
    for (const Paragraph& p : paragraphs) {
        if (!wrap || p.text.isEmpty()) {
            addLine(lines, font, p, 0, p.text.size());
            continue;
        }
        QTextLayout layout(p.text, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        std::vector<std::pair<qsizetype, qsizetype>> ranges;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            ranges.emplace_back(line.textStart(), line.textLength());
        }
        layout.endLayout();
        for (auto [start, length] : ranges) addLine(lines, font, p, start, length);
    }
    return lines;
}

void elide(Line& line, const QFont& font, const QString& text, int width) {
    line.text = QFontMetrics(font).elidedText(text, Qt::ElideRight, std::max(width, 0));
    // The ellipsis itself is never underlined.
    std::erase_if(line.underlines, [&](qsizetype u) { return u >= line.text.size() - 1; });
    line.width = advance(font, line.text);
}

// Lines wider than the rectangle end in an ellipsis; with word breaks, the last line that
// fits also ends in one when more lines follow.
void applyEllipsis(std::vector<Line>& lines, const QFont& font, const QRect& rect, int lineHeight,
                   TextFlags flags) {
    if (!has(flags, kEndEllipsis)) return;
    for (Line& line : lines)
        if (line.width > rect.width()) elide(line, font, line.text, rect.width());
    if (!has(flags, kWordBreak) || has(flags, kSingleLine) || lineHeight <= 0) return;
    const size_t fitting = static_cast<size_t>(std::max(rect.height(), 0) / lineHeight);
    if (fitting == 0 || lines.size() <= fitting) return;
    Line& last = lines[fitting - 1];
    // Joined with what follows, the line is sure not to fit and gets its ellipsis.
    elide(last, font, last.text + u' ' + lines[fitting].text, rect.width());
    lines.resize(fitting);
}

int lineHeightOf(const QFont& font) { return QFontMetrics(font).height(); }

QRect neededRect(const std::vector<Line>& lines, const QRect& rect, int lineHeight,
                 TextFlags flags) {
    int widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);
    const int width = has(flags, kWordBreak) && !has(flags, kSingleLine)
                          ? std::max(widest, rect.width())
                          : widest;
    return QRect(rect.left(), rect.top(), width, static_cast<int>(lines.size()) * lineHeight);
}

void drawLine(QPainter& painter, const QFont& font, const Line& line, QPointF at) {
    QTextLayout layout(line.text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    if (!line.underlines.empty()) {
        QList<QTextLayout::FormatRange> formats;
        for (qsizetype u : line.underlines) {
            QTextLayout::FormatRange range;
            range.start = static_cast<int>(u);
            range.length = 1;
            range.format.setFontUnderline(true);
            formats.append(range);
        }
        layout.setFormats(formats);
    }
    layout.beginLayout();
    QTextLine textLine = layout.createLine();
    if (textLine.isValid()) {
        textLine.setLineWidth(kUnbounded);
        textLine.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
    layout.draw(&painter, at);
}

}  // namespace

QRect measureText(const QFont& font, const QRect& rect, QStringView text, TextFlags flags) {
    const int lineHeight = lineHeightOf(font);
    std::vector<Line> lines = layLines(font, splitParagraphs(text, flags), rect.width(), flags);
    applyEllipsis(lines, font, rect, lineHeight, flags);
    return neededRect(lines, rect, lineHeight, flags);
}

QRect drawText(QPainter& painter, const QRect& rect, QStringView text, TextFlags flags) {
    const QFont font = painter.font();
    if (has(flags, kCalcRect)) return measureText(font, rect, text, flags);

    const int lineHeight = lineHeightOf(font);
    std::vector<Line> lines = layLines(font, splitParagraphs(text, flags), rect.width(), flags);
    applyEllipsis(lines, font, rect, lineHeight, flags);
    const int blockHeight = static_cast<int>(lines.size()) * lineHeight;

    int y = rect.top();
    if (has(flags, kVCentre))
        y += (rect.height() - blockHeight) / 2;
    else if (has(flags, kBottom))
        y += rect.height() - blockHeight;

    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    if (!has(flags, kNoClip)) painter.setClipRect(rect, Qt::IntersectClip);
    QRect occupied;
    for (const Line& line : lines) {
        int x = rect.left();
        if (has(flags, kCentre))
            x += (rect.width() - line.width) / 2;
        else if (has(flags, kRight))
            x += rect.width() - line.width;
        if (!line.text.isEmpty()) drawLine(painter, font, line, QPointF(x, y));
        occupied |= QRect(x, y, line.width, lineHeight);  // empty lines add nothing
        y += lineHeight;
    }
    painter.restore();
    return occupied;
}

}  // namespace spinlorex::text
