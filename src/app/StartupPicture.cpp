#include "app/StartupPicture.h"

#include <QtGui/QPaintEvent>
#include <QtGui/QPainter>
#include <QtGui/QScreen>

#include "platform/core/FatalError.h"
#include "resources/Resources.h"

namespace spinlorex {

StartupPicture::StartupPicture() {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(400, 300);
    picture_.buildFromResource(resources::kStartup);
    if (const QScreen* screen = this->screen()) {
        const QRect s = screen->geometry();
        const int width = std::max(s.width(), 800);
        const int height = std::max(s.height(), 600);
        move(s.x() + width / 2 - 200, s.y() + height / 2 - 150);
    }
}

void StartupPicture::paintEvent(QPaintEvent* event) {
    if (fatalError() != nullptr || !picture_.ready()) return;
    QPainter painter(this);
    painter.drawImage(event->rect().topLeft(), picture_.image(), event->rect());
}

}  // namespace spinlorex
