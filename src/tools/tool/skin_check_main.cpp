// spinlorex-skin-check: the skin checker on its own, so that the engine's command-line tool
// needs no Qt. `spinlorex-tool skin-check ...` runs it.

#include "tools/tool/Commands.h"

int main(int argc, char** argv) {
    return spinlorex::tool::skinCheckCommand(spinlorex::tool::Args(argv + 1, argv + argc));
}
