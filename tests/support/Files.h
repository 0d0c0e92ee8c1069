#pragma once

// Temporary folders, hand-built binary files (WAV images, database files, damaged MP3s)
// and synthetic tracks encoded as MP3.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/synth/Synth.h"

namespace spinlorex::test {

using Bytes = std::vector<unsigned char>;

// Little-endian words, as the WAV and database formats hold them.
inline void put16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
inline void put32(Bytes& b, uint32_t v) { put16(b, v & 0xFFFF), put16(b, v >> 16); }
inline uint32_t get32(const Bytes& b, size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t{b.at(at + 3)} << 24;
}
inline Bytes slice(const Bytes& b, size_t from, size_t length) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + length));
}
inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Writes the file and returns its path.
inline std::string writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}
inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string name =
            (std::filesystem::temp_directory_path() / "spinlorex-test-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = name;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Encodes a synthetic track as MP3 through LAME and returns its path. Each parameter set is
// encoded once per process, in a folder removed at exit.
inline std::string makeMp3(const synth::Params& p, int32_t kbps = 192) {
    static std::map<std::string, std::string> made;
    static TempDir dir;
    char key[200];
    std::snprintf(key, sizeof key, "%.3f-%.3f-%d-%d-%u-%d-%.3f-%d-%.3f-%d", p.bpm, p.seconds,
                  p.sampleRate, p.channels, p.seed, p.introBeats, p.gain, kbps, p.introBpm,
                  p.introKick ? 1 : 0);
    if (!made.contains(key)) {
        const std::string path = dir.file(std::string(key) + ".mp3");
        if (!synth::writeMp3(path, synth::render(p), p.sampleRate, p.channels, kbps))
            throw std::runtime_error("cannot write fixture " + path);
        made[key] = path;
    }
    return made[key];
}

}  // namespace spinlorex::test
