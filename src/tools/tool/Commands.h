#pragma once

#include <string>
#include <vector>

// The sub-commands of spinlorex-tool. Each takes the arguments after its name and returns
// the process's exit status.

namespace spinlorex::tool {

using Args = std::vector<std::string>;

// The exit status of a command that a stop signal (Ctrl-C, SIGTERM, SIGHUP) ended early,
// after it finished in order what it had begun (files completed, records stored).
inline constexpr int kInterrupted = 130;

int generateCommand(const Args& args);
int demoCommand(const Args& args);
int analyzeCommand(const Args& args);
int renderCommand(const Args& args);
int playCommand(const Args& args);
int mixCommand(const Args& args);
int settingsCommand(const Args& args);
// The skin checker's own program (spinlorex-skin-check) runs this.
int skinCheckCommand(const Args& args);
int devicesCommand(const Args& args);
int scanCommand(const Args& args);
int searchCommand(const Args& args);
int waveformCommand(const Args& args);
int midiCommand(const Args& args);

}  // namespace spinlorex::tool
