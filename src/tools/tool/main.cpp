// spinlorex-tool: the command-line companion of the desk. It drives the program's own
// classes headless: batch analysis, offline rendering, synthetic tracks, settings.

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/tool/Commands.h"
#include "tools/tool/Forward.h"

namespace {

void usage() {
    std::fprintf(
        stderr,
        "usage: spinlorex-tool COMMAND [ARGS]\n"
        "  analyze [--db FOLDER] [--jobs N] FILE...\n"
        "                                    measure tempo and beats, one JSON line per file,\n"
        "                                    N files at a time (default: one per core)\n"
        "  render [--pitch N] [--master-tempo] [--from F] [--seconds S] [--dsp PLUGIN[:MODULE]]\n"
        "         IN OUT.wav                 render a deck at pitch N (4096 = normal), maybe\n"
        "                                    through a DSP plug-in module\n"
        "  play [options] FILE1 [FILE2]       play on the decks through the sound card\n"
        "  mix [--long-mix L] [--curve C] [--master-tempo] A B [C ...] OUT.wav\n"
        "                                    A, then the playlist B, C, ... mixed automatically,\n"
        "                                    beat-matched, offline (a playlist file .m3u/.pls\n"
        "                                    stands for its tracks)\n"
        "  generate [options] OUT            write a synthetic track (WAV or MP3)\n"
        "  demo FOLDER                       write the three demo tracks\n"
        "  settings [--file SETTINGS.reg]    print the effective settings as a save writes them\n"
        "  devices [--audio BACKEND]         list the output devices (BACKEND: portaudio, null,\n"
        "                                    wav:PATH; default SPINLOREX_AUDIO, else portaudio)\n"
        "  skin-check [--home DIR] [NAME]    load skin NAME from home folder DIR (default: .), or\n"
        "                                    the built-in skin, as the desk would, and list it\n"
        "  scan [--home DIR] [--cd NAME] [--mp3] [--wav] [--flac-ogg] PATH...\n"
        "                                    record the MP3/WAV files of the drives holding PATHs\n"
        "                                    (or of the disc at PATH, named NAME) in the search "
        "file\n"
        "  search [--home DIR] TEXT          the search's result rows: title, artist, disc, "
        "folder\n"
        "  waveform IN OUT.png [--width W] [--height H]\n"
        "                                    the track's overview as the desk draws it\n"
        "  midi [--seconds S]                print each message of the MIDI input ports with the\n"
        "                                    desk action its mapping binds it to (until Ctrl-C)\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        usage();
        return argc < 2 ? 2 : 0;
    }
    const std::string command = argv[1];
    const spinlorex::tool::Args args(argv + 2, argv + argc);
    if (command == "analyze") return spinlorex::tool::analyzeCommand(args);
    if (command == "render") return spinlorex::tool::renderCommand(args);
    if (command == "play") return spinlorex::tool::playCommand(args);
    if (command == "mix") return spinlorex::tool::mixCommand(args);
    if (command == "generate") return spinlorex::tool::generateCommand(args);
    if (command == "demo") return spinlorex::tool::demoCommand(args);
    if (command == "settings") return spinlorex::tool::settingsCommand(args);
    if (command == "skin-check") return spinlorex::tool::forwardTo("spinlorex-skin-check", args);
    if (command == "devices") return spinlorex::tool::devicesCommand(args);
    if (command == "scan") return spinlorex::tool::scanCommand(args);
    if (command == "search") return spinlorex::tool::searchCommand(args);
    if (command == "waveform") return spinlorex::tool::waveformCommand(args);
    if (command == "midi") return spinlorex::tool::midiCommand(args);
    std::fprintf(stderr, "spinlorex-tool: unknown command '%s'\n", command.c_str());
    usage();
    return 2;
}
