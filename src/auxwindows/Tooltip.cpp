#include "auxwindows/Tooltip.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <QtGui/QFontMetrics>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QRegion>

#include "platform/surface/Surface.h"
#include "resources/Resources.h"

namespace spinlorex {

namespace {

// Any legible small face serves; the application's own at a fixed pixel size keeps the
// balloon's height the same on every desktop.
QFont balloonFont() {
    QFont font;
    font.setPixelSize(12);
    return font;
}

QRegion toRegion(const std::vector<RegionRect>& runs) {
    // United one by one: the runs are not in the banded order QRegion::setRects wants.
    QRegion region;
    for (const RegionRect& r : runs)
        region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    return region;
}

}  // namespace

// The balloon window: paints the composed picture, and passes the mouse on to the desk
// window, which must keep seeing the mouse while the balloon lies under it.
class Tooltip::Balloon : public QWidget {
public:
    Balloon(QWidget* owner, const QImage* picture)
        : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
          owner_(owner),
          picture_(picture) {
        setObjectName("SPINLOREXT");
        setWindowTitle("Spinlorex");
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (picture_->isNull()) return;  // not shown yet: no width known
        QPainter painter(this);
        const QRect r = event->rect();
        painter.drawImage(r.topLeft(), *picture_, r);
    }
    void mousePressEvent(QMouseEvent* event) override { forward(event); }
    void mouseReleaseEvent(QMouseEvent* event) override { forward(event); }
    void mouseMoveEvent(QMouseEvent* event) override { forward(event); }

private:
    void forward(QMouseEvent* event) {
        if (owner_ == nullptr) return;
        if (event->type() != QEvent::MouseMove && event->button() != Qt::LeftButton &&
            event->button() != Qt::RightButton)
            return;
        const QPointF global = event->globalPosition();
        QMouseEvent copy(event->type(), owner_->mapFromGlobal(global), global, event->button(),
                         event->buttons(), event->modifiers(), event->pointingDevice());
        QCoreApplication::sendEvent(owner_, &copy);
    }

    QPointer<QWidget> owner_;
    const QImage* picture_;
};

Tooltip::Tooltip(QWidget* owner) : core_(*this) {
    resources::initialise();
    Surface frame;
    if (!frame.buildFromResource(resources::kTooltip)) return;  // the channel holds why
    frame_ = frame.image().convertToFormat(QImage::Format_RGB32);
    frame555_.reserve(static_cast<size_t>(frame_.width() * frame_.height()));
    for (int y = 0; y < frame_.height(); ++y)
        for (int x = 0; x < frame_.width(); ++x) frame555_.push_back(toRgb555(frame_.pixel(x, y)));

    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] {
        if (balloon_ != nullptr) core_.onTimer();
    });
    balloon_ = new Balloon(owner, &picture_);
}

Tooltip::~Tooltip() {
    delete balloon_.data();  // null when the owner went first
}

void Tooltip::update(int32_t globalX, int32_t globalY, int32_t id, std::string_view text) {
    if (balloon_ != nullptr) core_.update(globalX, globalY, id, text);
}

void Tooltip::hide() {
    if (balloon_ != nullptr) core_.hide();
}

void Tooltip::startTimer(int32_t milliseconds) { timer_->start(milliseconds); }

void Tooltip::stopTimer() { timer_->stop(); }

void Tooltip::measure(std::string_view text, int32_t& width, int32_t& height) {
    const QFontMetrics metrics(balloonFont());
    width = metrics.horizontalAdvance(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    height = metrics.height();
}

void Tooltip::place(BalloonPlace place, int32_t width) {
    if (balloon_ == nullptr) return;
    if (width > 0)
        balloon_->setGeometry(place.x, place.y, width, kBalloonHeight);
    else
        balloon_->move(place.x, place.y);
}

void Tooltip::repaint() {
    if (balloon_ != nullptr) balloon_->update();
}

void Tooltip::present(const BalloonSize& size, std::string_view text) {
    if (balloon_ == nullptr) return;
    const int width = size.width;
    // The frame's left part, its right part at the new right edge, and its plain column
    // stretched between them; the text on top.
    QImage picture(width, kBalloonHeight, QImage::Format_RGB32);
    picture.fill(Qt::black);
    {
        QPainter p(&picture);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(QPoint(0, 0), frame_, QRect(0, 0, kBalloonStretchColumn, kBalloonHeight));
        p.drawImage(QPoint(width - kBalloonRightColumns, 0), frame_,
                    QRect(kBalloonStretchColumn + 1, 0, kBalloonRightColumns, kBalloonHeight));
        p.drawImage(QRect(kBalloonStretchColumn, 0,
                          width - kBalloonStretchColumn - kBalloonRightColumns, kBalloonBoxRows),
                    frame_, QRect(kBalloonStretchColumn, 0, 1, kBalloonBoxRows));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        const QFont font = balloonFont();
        p.setFont(font);
        p.setPen(Qt::black);
        const QFontMetrics metrics(font);
        p.drawText(QPoint(size.margin, size.margin + metrics.ascent()),
                   QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    picture_ = std::move(picture);
    // The window takes the new width where it stands: it was placed with the previous one.
    balloon_->resize(width, kBalloonHeight);
    balloon_->setMask(toRegion(balloonRuns(frame555_, width)));
    balloon_->update();
    balloon_->show();  // a tooltip window comes up on top of the desk
}

void Tooltip::conceal() {
    if (balloon_ == nullptr) return;
    balloon_->hide();
    balloon_->clearMask();
}

}  // namespace spinlorex
