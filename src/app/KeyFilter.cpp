#include "app/KeyFilter.h"

#include <QtGui/QKeyEvent>
#include <QtWidgets/QApplication>

#include "app/KeyMapping.h"
#include "desk/MixingDesk.h"

namespace spinlorex {

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    // A dialog's keys are its own: the desk's shortcuts wait until it is closed.
    if (QApplication::activeModalWidget() != nullptr) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int virtualKey = virtualKeyOf(*key);
        // Each press is offered once: as the press itself (the override stage would offer
        // it twice when a shortcut system is listening).
        if (event->type() == QEvent::KeyPress && virtualKey != 0 &&
            desk_.input().onKeyDown(virtualKey))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace spinlorex
