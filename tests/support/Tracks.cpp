#include "support/Tracks.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "support/TempDir.h"

namespace spinlorex::test {
namespace {

std::mutex g_mutex;
std::map<std::string, std::string> g_made;

std::string key(const synth::Params& p, const char* kind, int32_t extra) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s-%.3f-%.3f-%d-%d-%u-%d-%.3f-%d", kind, p.bpm, p.seconds,
                  p.sampleRate, p.channels, p.seed, p.introBeats, p.gain, extra);
    return buf;
}

template <typename Write>
std::string make(const synth::Params& p, const char* kind, int32_t extra, const char* ext, Write write) {
    std::lock_guard lock(g_mutex);
    const std::string k = key(p, kind, extra);
    if (auto it = g_made.find(k); it != g_made.end()) return it->second;
    const std::string path = fixtureDir() + "/" + k + ext;
    if (!write(path, synth::render(p))) throw std::runtime_error("cannot write fixture " + path);
    g_made.emplace(k, path);
    return path;
}

}  // namespace

std::string fixtureDir() {
    static TempDir dir;
    return dir.path().string();
}

std::string makeWav(const synth::Params& p, int32_t bits) {
    return make(p, "wav", bits, ".wav", [&](const std::string& path, const std::vector<float>& s) {
        return synth::writeWav(path, s, p.sampleRate, p.channels, bits);
    });
}

std::string makeMp3(const synth::Params& p, int32_t kbps) {
    return make(p, "mp3", kbps, ".mp3", [&](const std::string& path, const std::vector<float>& s) {
        return synth::writeMp3(path, s, p.sampleRate, p.channels, kbps);
    });
}

}  // namespace spinlorex::test
