#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/DspHook.h"
#include "spinlorex/dsp_plugin.h"

namespace spinlorex {

// A loaded shared object, unloaded when the owner goes.
class SharedLibrary {
public:
    SharedLibrary() = default;
    // Loads `path` with every symbol bound now and none shared with other libraries;
    // empty on failure. A path without a folder is taken from the current directory,
    // never from the system's library search path.
    explicit SharedLibrary(const std::string& path);
    ~SharedLibrary() { reset(); }
    SharedLibrary(SharedLibrary&& other) noexcept : handle_(other.handle_) {
        other.handle_ = nullptr;
    }
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    void reset();
    void* handle() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void* symbol(const char* name) const;

private:
    void* handle_ = nullptr;
};

// A private copy of a plug-in file in memory: an anonymous memory file (memfd) holding the
// file's bytes, which the dynamic loader opens as /proc/self/fd/N. It needs no folder at
// all (a temporary folder mounted noexec does not matter) and nothing of it outlives the
// program, however it ends. Held open while a library is loaded from it, so that no two
// loaded copies share a name. Main thread.
class MemoryCopy {
public:
    MemoryCopy() = default;
    // A copy of the whole file at `path`; empty when it cannot be read whole or the system
    // offers no memory files.
    static MemoryCopy of(const std::string& path);
    ~MemoryCopy() { reset(); }
    MemoryCopy(MemoryCopy&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
        other.fd_ = -1;
    }
    MemoryCopy& operator=(MemoryCopy&& other) noexcept;
    MemoryCopy(const MemoryCopy&) = delete;
    MemoryCopy& operator=(const MemoryCopy&) = delete;

    void reset();
    bool empty() const { return fd_ < 0; }
    // "/proc/self/fd/N"; empty for an empty copy.
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// The header function of a loaded plug-in: the current export name first, then the old
// one; null when it exports neither.
SpinlorexDspHeaderFunction findHeaderFunction(const SharedLibrary& library);

// One effect module of a DSP plug-in file, run on one deck. Each holder loads its own
// private copy of the file (a MemoryCopy), so two decks using the same file get
// independent instances; where no copy can be made or loaded, the file itself is loaded.
//
// A holder that could not initialise its module (no such file, not a plug-in, no module
// at that index) holds no module and passes audio through; it still owns and lets go of
// whatever it got as far as (a loaded library, its copy).
//
// Construction, configure and destruction: main thread. modifySamples: sound thread.
class DspPlugin final : public DspHook {
public:
    // Loads a copy of `path` and initialises module `moduleIndex`, handing it
    // `parentWindow` (the desk's main window, or null) and the library's handle. An empty
    // path holds nothing.
    DspPlugin(const std::string& path, int32_t moduleIndex, void* parentWindow = nullptr);
    // The module's quit, then the library is unloaded and the copy deleted.
    ~DspPlugin() override;
    DspPlugin(const DspPlugin&) = delete;
    DspPlugin& operator=(const DspPlugin&) = delete;

    // Sound thread: runs the module on `frames` stereo 16-bit 44100 Hz frames in place and
    // returns the frames the buffer now holds, 0 .. 2 x frames whatever the module
    // claims; without a module, `frames`. No allocation, no locks.
    int32_t modifySamples(int16_t* samples, int32_t frames) override;

    // Main thread: opens the module's settings, if there is a module.
    void configure();

    bool hasModule() const { return module_ != nullptr; }
    // The plug-in's path as given, and the module index; empty and -1 without a module.
    const std::string& path() const { return path_; }
    int32_t moduleIndex() const { return moduleIndex_; }
    // The initialised module record, or null.
    const SpinlorexDspModule* module() const { return module_; }
    // Where the library was loaded from: its private copy ("/proc/self/fd/N") or, when
    // none could be made or loaded, the plug-in file itself; empty when nothing loaded.
    const std::string& loadedFrom() const { return loadedFrom_; }

private:
    std::string path_;
    int32_t moduleIndex_ = -1;
    SpinlorexDspModule* module_ = nullptr;
    std::string loadedFrom_;
    // Declared in this order so that the library is unloaded before its copy goes.
    MemoryCopy copy_;
    SharedLibrary library_;
};

// A holder of module `moduleIndex` of `path`, or null when it holds no module (the
// dialog then gives the deck no plug-in).
std::unique_ptr<DspPlugin> makeDspPlugin(const std::string& path, int32_t moduleIndex,
                                         void* parentWindow = nullptr);

}  // namespace spinlorex
