#pragma once

#include <QtWidgets/QWidget>

#include "platform/surface/Surface.h"

namespace spinlorex {

// The start-up picture: a borderless 400 x 300 window, on top, in the middle of the
// screen, shown while the desk is being built. It paints nothing while a fatal error is
// pending.
class StartupPicture : public QWidget {
public:
    StartupPicture();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Surface picture_;
};

}  // namespace spinlorex
