#include "app/DeskWindow.h"

#include <QtCore/QMimeData>
#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtGui/QCloseEvent>
#include <QtGui/QDragEnterEvent>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QResizeEvent>
#include <QtGui/QScreen>
#include <QtGui/QWindow>
#include <QtWidgets/QApplication>

#include "app/TrackNames.h"
#include "desk/MixingDesk.h"
#include "library/AudioFileTypes.h"
#include "platform/settings/Settings.h"
#include "skin/picture/Skin.h"

namespace spinlorex {

QString firstAudioFile(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (isTrackFileName(path.toStdString())) return path;
    }
    return {};
}

DeskWindow::DeskWindow() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle("Spinlorex");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setAcceptDrops(true);
    resize(kWidth, kHeight);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) { followApplicationState(state); });
}

void DeskWindow::attach(const QImage* deskPicture, MixingDesk* desk, const Skin* skin) {
    picture_ = deskPicture;
    desk_ = desk;
    skin_ = skin;
}

QRect DeskWindow::deskArea() const {
    if (!fullScreen_) return QRect(0, 0, kWidth, kHeight);
    const double scale = std::min(width() / double(kWidth), height() / double(kHeight));
    const int w = static_cast<int>(kWidth * scale);
    const int h = static_cast<int>(kHeight * scale);
    return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

QPoint DeskWindow::toDesk(const QPoint& p) const {
    const QRect area = deskArea();
    if (area.width() == kWidth) return p - area.topLeft();
    return QPoint((p.x() - area.x()) * kWidth / std::max(1, area.width()),
                  (p.y() - area.y()) * kHeight / std::max(1, area.height()));
}

QPoint DeskWindow::fromDesk(const QPoint& p) const {
    const QRect area = deskArea();
    if (area.width() == kWidth) return p + area.topLeft();
    return QPoint(area.x() + p.x() * area.width() / kWidth,
                  area.y() + p.y() * area.height() / kHeight);
}

QRect DeskWindow::fromDesk(const QRect& r) const {
    const QPoint topLeft = fromDesk(r.topLeft());
    const QPoint bottomRight = fromDesk(QPoint(r.x() + r.width(), r.y() + r.height()));
    return QRect(topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y()));
}

void DeskWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (deskAreaChanged_) deskAreaChanged_();
}

void DeskWindow::invalidateDesk(const QRect& deskRect) {
    const QRect area = deskArea();
    if (area.width() == kWidth) {
        update(deskRect.translated(area.topLeft()));
        return;
    }
    // Scaled: the rectangle's image, one pixel wider for the smoothing at its edges.
    const double sx = area.width() / double(kWidth);
    const double sy = area.height() / double(kHeight);
    update(QRect(area.x() + int(deskRect.x() * sx) - 1, area.y() + int(deskRect.y() * sy) - 1,
                 int(deskRect.width() * sx) + 3, int(deskRect.height() * sy) + 3));
}

void DeskWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = deskArea();
    if (picture_ == nullptr || picture_->isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    if (area.width() == kWidth && area.height() == kHeight) {
        // The invalid rectangle, copied as it is.
        const QRect r = event->rect().intersected(area);
        painter.drawImage(r.topLeft(), *picture_, r.translated(-area.topLeft()));
    } else {
        painter.fillRect(rect(), Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(area, *picture_);
    }
    if (firstPaint_) {
        auto callback = std::move(firstPaint_);
        firstPaint_ = nullptr;
        callback();
    }
}

void DeskWindow::mousePressEvent(QMouseEvent* event) {
    if (desk_ == nullptr) return;
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    const QPoint p = toDesk(event->position().toPoint());
    desk_->input().onMouseDown(event->button() == Qt::LeftButton, p.x(), p.y());
}

void DeskWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (desk_ == nullptr) return;
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    const QPoint p = toDesk(event->position().toPoint());
    desk_->input().onMouseUp(p.x(), p.y());
}

void DeskWindow::mouseMoveEvent(QMouseEvent* event) {
    if (desk_ == nullptr) return;
    const QPoint p = toDesk(event->position().toPoint());
    const bool held = event->buttons() != Qt::NoButton || event->modifiers() != Qt::NoModifier;
    desk_->input().onMouseMove(p.x(), p.y(), held ? 1 : 0);
}

void DeskWindow::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    // While the quit question is open, its answer is the only way out: a second request
    // (the window manager's close) waits for it.
    if (questionOpen_) {
        event->ignore();
        return;
    }
    if (desk_ != nullptr) {
        bool go = stopping_;
        if (!go) {
            // A close from the window manager goes to the native window, past closeEvent:
            // it is held there until the question has its answer.
            QWindow* native = windowHandle();
            if (native != nullptr) native->installEventFilter(this);
            questionOpen_ = true;
            go = desk_->onCloseRequested();
            questionOpen_ = false;
            if (native != nullptr) native->removeEventFilter(this);
        }
        // Asked to end while the question was open: the desk closes all the same.
        if (!go && !stopping_) {
            event->ignore();
            return;
        }
        if (stopping_) desk_->closePreparation();
    }
    closed_ = true;
    event->accept();
}

bool DeskWindow::eventFilter(QObject* watched, QEvent* event) {
    if (questionOpen_ && event->type() == QEvent::Close && watched == windowHandle()) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void DeskWindow::closeWithoutQuestion() {
    if (closed_ || stopping_) return;
    stopping_ = true;
    // The dialogs' own loops end first (the quit question answers No, a dialog cancels);
    // the desk closes once they have.
    for (int open = 0; open < 16; ++open) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->close()) break;
    }
    QTimer::singleShot(0, this, [this] { close(); });
}

void DeskWindow::followApplicationState(Qt::ApplicationState state) {
    if (!ready_ || get(settings().maximized) == 0) return;
    // Covering the screen only while the program has the user's attention, so other
    // programs can be reached; the program's own dialogs over the desk keep it covered.
    if (state == Qt::ApplicationActive)
        enterFullScreen();
    else
        leaveFullScreen();
}

void DeskWindow::enterFullScreen() {
    if (fullScreen_) return;
    fullScreen_ = true;
    // The window covers the screen (also where no window manager honours the request).
    if (const QScreen* s = screen()) setGeometry(s->geometry());
    showFullScreen();
    update();
    if (deskAreaChanged_) deskAreaChanged_();
}

void DeskWindow::leaveFullScreen() {
    if (!fullScreen_) return;
    fullScreen_ = false;
    showNormal();
    resize(kWidth, kHeight);
    update();
    if (deskAreaChanged_) deskAreaChanged_();
}

int DeskWindow::deckAt(const QPoint& p) const {
    if (skin_ == nullptr) return -1;
    for (int id : {ctl::Disc1, ctl::Disc2, ctl::Infos1, ctl::Infos2, ctl::Title1, ctl::Title2}) {
        const SkinControl& c = skin_->control(id);
        if (c.width <= 0 || c.height <= 0) continue;
        if (p.x() >= c.x && p.x() < c.x + c.width && p.y() >= c.y && p.y() < c.y + c.height)
            return id & 1 ? 1 : 0;
    }
    return -1;
}

void DeskWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !firstAudioFile(event->mimeData()->urls()).isEmpty())
        event->acceptProposedAction();
}

void DeskWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (deckAt(toDesk(event->position().toPoint())) >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void DeskWindow::dropEvent(QDropEvent* event) {
    const int deck = deckAt(toDesk(event->position().toPoint()));
    const QString path = firstAudioFile(event->mimeData()->urls());
    if (deck < 0 || path.isEmpty() || desk_ == nullptr) return;
    event->acceptProposedAction();
    desk_->dropOntoDeck(deck, trackEntryForFile(path.toStdString()));
}

}  // namespace spinlorex
