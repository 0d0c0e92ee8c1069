#pragma once

#include <QtCore/QObject>

namespace spinlorex {

class MixingDesk;

// Gives the desk's keyboard handler the first look at every key pressed anywhere in the
// program; a key it consumes goes no further (no text reaches an edit field).
class KeyFilter : public QObject {
public:
    explicit KeyFilter(MixingDesk& desk) : desk_(desk) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MixingDesk& desk_;
};

}  // namespace spinlorex
