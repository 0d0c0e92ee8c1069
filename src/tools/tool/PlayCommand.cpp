// spinlorex-tool play: one or two tracks on the real decks through the real audio engine
// and the output mode's devices (one or two cards), optionally recording the soft mix.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "audio/AudioEngine.h"
#include "audio/AudioFormat.h"
#include "audio/DeckPair.h"
#include "library/TrackDatabase.h"
#include "platform/core/FatalError.h"
#include "platform/core/ProcessSignals.h"
#include "platform/settings/Settings.h"
#include "platform/sound/SoundSystem.h"
#include "recorder/MixRecorder.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"
#include "tools/tool/ToolDesk.h"

namespace spinlorex::tool {
namespace {

const char* const kHardMixCannotRecord =
    "You can't use the recorder when the mix is done in hardware in the sound card. Choose a "
    "configuration in the options panel which allows you to specify 'soft mix'";

}  // namespace

int playCommand(const Args& args) {
    ArgParser a(args,
                {"--output-mode", "--seconds", "--record", "--crossfader", "--level1", "--level2",
                 "--pitch1", "--pitch2", "--device", "--device2", "--select"},
                {"--master-tempo"});
    const auto mode = static_cast<int32_t>(a.integer("--output-mode", 0, 0, 10));
    const double seconds = a.number("--seconds", -1.0, 0.0, 24.0 * 3600);
    const auto crossfader = static_cast<int32_t>(a.integer("--crossfader", 192, 0, 384));
    const int32_t levels[2] = {static_cast<int32_t>(a.integer("--level1", 256, 0, 256)),
                               static_cast<int32_t>(a.integer("--level2", 256, 0, 256))};
    const int32_t pitches[2] = {
        static_cast<int32_t>(a.integer("--pitch1", kNormalPitch, 1, 1 << 20)),
        static_cast<int32_t>(a.integer("--pitch2", kNormalPitch, 1, 1 << 20))};
    const auto selected = static_cast<int>(a.integer("--select", 1, 1, 2)) - 1;
    std::optional<sound::DeviceId> cards[2];
    bool cardsOk = true;
    for (int c = 0; c < 2; ++c) {
        const auto text = a.value(c == 0 ? "--device" : "--device2");
        if (!text || *text == "default") continue;
        cards[c] = sound::deviceIdFromHex(*text);
        if (!cards[c]) {
            std::fprintf(
                stderr, "spinlorex-tool: %s is no device identifier (see spinlorex-tool devices)\n",
                text->c_str());
            cardsOk = false;
        }
    }
    if (!a.ok() || !cardsOk || a.positional().empty() || a.positional().size() > 2) {
        std::fprintf(
            stderr,
            "usage: spinlorex-tool play [--output-mode N] [--seconds S] [--record OUT.wav]\n"
            "       [--crossfader P] [--level1 V] [--level2 V] [--pitch1 N] [--pitch2 N]\n"
            "       [--master-tempo] [--device ID] [--device2 ID] [--select D] FILE1 [FILE2]\n"
            "  N: output mode 0..10 (1, 8, 9, 10 mix in software and can record; 2-10 send\n"
            "  decks or a pre-listen to headphones, an external mixer or a second card);\n"
            "  P: 0..384 (192 = middle); V: 0..256; pitch x 4096 (4096 = normal speed).\n"
            "  ID: a device of spinlorex-tool devices (default: the default device); --device2\n"
            "  is the second card of modes 2, 4 and 8. D: the deck pre-listened to (1 or 2).\n"
            "  SPINLOREX_AUDIO=portaudio|null|wav:PATH chooses the sound system.\n");
        return 2;
    }
    set(settings().outputMode, mode);
    settings().soundCardGuid = cards[0];
    settings().soundCard2Guid = cards[1];
    set(settings().masterTempo, a.flag("--master-tempo") ? 1 : 0);
    set(settings().autoBpm, 0);
    set(settings().autoLevel, 0);
    set(settings().autoMix, 0);

    // Ctrl-C, SIGTERM and SIGHUP stop the playing in order: the recording is finished.
    StopSignals stopSignals;
    std::unique_ptr<sound::SoundSystem> system = sound::soundSystemFromEnvironment();
    if (!system) {
        std::fprintf(stderr, "spinlorex-tool: SPINLOREX_AUDIO names no known sound system\n");
        return 1;
    }
    TrackDatabase database;
    ToolDesk desk;
    DeckPair decks(database, desk, desk);
    desk.attach(decks);
    // The system's volumes are left alone: this is a companion tool, not the desk.
    AudioEngine engine(decks, *system, nullptr);
    if (!engine.start()) {
        std::fprintf(stderr, "spinlorex-tool: %s\n", fatalError());
        return 1;
    }
    if (const auto path = a.value("--record")) {
        if (!engine.output()->canRecord()) {
            std::fprintf(stderr, "spinlorex-tool: %s\n", kHardMixCannotRecord);
            return 1;
        }
        engine.output()->attachRecorder(std::make_unique<MixRecorder>(*path));
    }
    if (const char* failure = engine.secondCardMessage())
        std::fprintf(stderr, "spinlorex-tool: sound card 2: %s; %s\n", failure,
                     engine.secondCardSilent() ? "its output is not heard"
                                               : "it plays on the default device");
    engine.output()->applyCrossfader(crossfader);
    engine.output()->deckSelected(selected);

    const size_t count = a.positional().size();
    bool anyLoaded = false;
    for (size_t d = 0; d < count; ++d) {
        TrackEntry entry;
        entry.path = a.positional()[d];
        const int deck = static_cast<int>(d);
        if (!decks[deck].loadTrack(entry)) {
            std::fprintf(stderr, "spinlorex-tool: %s: the file cannot be opened\n",
                         entry.path.c_str());
            continue;
        }
        anyLoaded = true;
        desk.setDeckPitch(deck, pitches[d]);
        desk.setDeckLevel(deck, levels[d]);
    }
    if (!anyLoaded) return 1;

    for (size_t d = 0; d < count; ++d) decks[static_cast<int>(d)].play();

    const auto start = std::chrono::steady_clock::now();
    auto finished = [&] {
        if (StopSignals::stopRequested()) return true;
        if (seconds >= 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(seconds))
            return true;
        for (size_t d = 0; d < count; ++d)
            if (decks[static_cast<int>(d)].playing()) return false;
        return true;
    };
    while (!finished()) std::this_thread::sleep_for(std::chrono::milliseconds(20));

    for (size_t d = 0; d < count; ++d) decks[static_cast<int>(d)].pause();
    engine.stop();  // finishes the recording
    for (size_t d = 0; d < count; ++d)
        if (desk.status(static_cast<int>(d)) == kStatusDecodeError)
            std::fprintf(stderr, "spinlorex-tool: %s: error in the audio data\n",
                         a.positional()[d].c_str());
    return StopSignals::stopRequested() ? kInterrupted : 0;
}

}  // namespace spinlorex::tool
