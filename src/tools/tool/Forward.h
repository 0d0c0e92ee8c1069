#pragma once

#include <string>

#include "tools/tool/Commands.h"

namespace spinlorex::tool {

// Replaces this process with `program` from the tool's own folder, given `args`; returns
// (with a message) only when that fails.
int forwardTo(const std::string& program, const Args& args);

}  // namespace spinlorex::tool
