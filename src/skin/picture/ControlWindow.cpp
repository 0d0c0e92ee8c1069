#include "skin/picture/ControlWindow.h"

#include <algorithm>

namespace spinlorex {

void moveControlWindow(const SkinModel& skin, QWidget* widget, int32_t id) {
    if (widget == nullptr || id < 0 || id >= kControlCount) return;
    const SkinControl& c = skin.control(id);
    widget->setGeometry(c.x, c.y, std::max(c.width, 0), std::max(c.height, 0));
}

}  // namespace spinlorex
