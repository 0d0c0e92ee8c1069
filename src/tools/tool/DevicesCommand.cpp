// spinlorex-tool devices: the output devices of a sound backend, as the sound
// configuration offers them, with the channels each offers and the output modes it serves.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/sound/SoundSystem.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"

namespace spinlorex::tool {

int devicesCommand(const Args& args) {
    ArgParser a(args, {"--audio"}, {});
    if (!a.ok() || !a.positional().empty()) {
        std::fprintf(stderr, "usage: spinlorex-tool devices [--audio portaudio|null|wav:PATH]\n");
        return 2;
    }
    const auto choice = a.value("--audio");
    auto system =
        choice ? sound::soundSystemFromChoice(*choice) : sound::soundSystemFromEnvironment();
    if (!system) {
        std::fprintf(stderr,
                     "spinlorex-tool: unknown sound backend '%s' (portaudio, null or wav:PATH)\n",
                     choice ? choice->c_str() : std::getenv("SPINLOREX_AUDIO"));
        return 2;
    }
    const auto devices = system->devices();
    if (devices.empty()) {
        std::fprintf(stderr, "spinlorex-tool: no output device (%s)\n", system->backendName());
        return 1;
    }
    // Four channels serve the 3D-card modes (3, 5, 9); any device serves the others, and
    // the two-card modes (2, 4, 8) take a second one with --device2.
    for (const sound::DeviceInfo& device : devices) {
        const std::string id = device.id ? sound::toHex(*device.id) : "default";
        const char* modes = device.channels >= 4   ? "modes 0-10"
                            : device.channels >= 2 ? "modes 0-2, 4, 6-8, 10"
                                                   : "-";
        std::printf("%-32s %c %2d ch  %-21s %s\n", id.c_str(), device.isDefault ? '*' : ' ',
                    device.channels, modes, device.description.c_str());
    }
    return 0;
}

}  // namespace spinlorex::tool
