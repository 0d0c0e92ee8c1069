#include "app/AnalysisPump.h"

namespace spinlorex {

void AnalysisPump::analysisReady() {
    QMetaObject::invokeMethod(
        this, [this] { deliver_(); }, Qt::QueuedConnection);
}

}  // namespace spinlorex
