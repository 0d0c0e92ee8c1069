#pragma once

#include <QtCore/QObject>

#include <functional>

#include "audio/AnalysisWorker.h"

namespace spinlorex {

// Carries the analysis worker's word that a result waits to the main thread: a queued call
// on the main thread's event loop runs `deliver` there. Calls still queued when the pump
// goes are dropped with it.
class AnalysisPump : public QObject, public AnalysisWorker::Listener {
public:
    explicit AnalysisPump(std::function<void()> deliver) : deliver_(std::move(deliver)) {}

    // Worker thread.
    void analysisReady() override;

private:
    std::function<void()> deliver_;
};

}  // namespace spinlorex
