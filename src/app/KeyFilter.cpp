#include "app/KeyFilter.h"

#include <QtGui/QKeyEvent>

#include "app/KeyMapping.h"
#include "desk/MixingDesk.h"

namespace spinlorex {

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int virtualKey = virtualKeyOf(*key);
        // Each press is offered once: as the press itself (the override stage would offer
        // it twice when a shortcut system is listening).
        if (event->type() == QEvent::KeyPress && virtualKey != 0 && desk_.onKeyDown(virtualKey)) return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace spinlorex
