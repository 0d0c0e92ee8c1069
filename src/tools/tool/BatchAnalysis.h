#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "audio/WholeTrackAnalysis.h"

namespace spinlorex::tool {

// Analyses whole files on `jobs` threads, each with readers of its own, and hands every
// result to `inOrder` on the calling thread in the order of `paths`, each as soon as it
// and all before it are done. `progress`, when given, is called on the calling thread
// with the number of files done whenever it grows. After a stop signal no file is begun
// and no further result handed on.
void analyseInOrder(const std::vector<std::string>& paths, int jobs,
                    const std::function<void(size_t index, const WholeTrackResult&)>& inOrder,
                    const std::function<void(size_t done)>& progress = {});

// The default number of jobs: the machine's cores.
int defaultJobs();

}  // namespace spinlorex::tool
