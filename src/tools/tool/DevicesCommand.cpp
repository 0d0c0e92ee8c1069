// spinlorex-tool devices: the output devices of a sound backend, as the sound
// configuration offers them.

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
    auto system = choice ? sound::soundSystemFromChoice(*choice) : sound::soundSystemFromEnvironment();
    if (!system) {
        std::fprintf(stderr, "spinlorex-tool: unknown sound backend '%s' (portaudio, null or wav:PATH)\n",
                     choice ? choice->c_str() : std::getenv("SPINLOREX_AUDIO"));
        return 2;
    }
    const auto devices = system->devices();
    if (devices.empty()) {
        std::fprintf(stderr, "spinlorex-tool: no output device (%s)\n", system->backendName());
        return 1;
    }
    for (const sound::DeviceInfo& device : devices) {
        const std::string id = device.id ? sound::toHex(*device.id) : "default";
        std::printf("%-32s %c %s\n", id.c_str(), device.isDefault ? '*' : ' ', device.description.c_str());
    }
    return 0;
}

}  // namespace spinlorex::tool
