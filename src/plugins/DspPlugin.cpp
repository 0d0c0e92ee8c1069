#include "plugins/DspPlugin.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "platform/core/WholeFile.h"

namespace spinlorex {
// ---------------------------------------------------------------------------------------

SharedLibrary::SharedLibrary(const std::string& path) {
    if (path.empty()) return;
    // dlopen searches the library path for a bare name; a plug-in is always a file.
    const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        reset();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

void SharedLibrary::reset() {
    if (handle_ != nullptr) ::dlclose(handle_);
    handle_ = nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

MemoryCopy& MemoryCopy::operator=(MemoryCopy&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void MemoryCopy::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
}

MemoryCopy MemoryCopy::of(const std::string& path) {
    std::string image;
    if (readWholeFile(path, image) != FileRead::Read) return {};
    MemoryCopy copy;
    copy.fd_ = ::memfd_create("spinlorex-dsp", MFD_CLOEXEC);
    if (copy.fd_ < 0) return {};
    if (!writeAll(copy.fd_, image)) return {};
    copy.path_ = "/proc/self/fd/" + std::to_string(copy.fd_);
    return copy;
}

SpinlorexDspHeaderFunction findHeaderFunction(const SharedLibrary& library) {
    void* found = library.symbol(SPINLOREX_DSP_HEADER_FUNCTION);
    if (found == nullptr) found = library.symbol(SPINLOREX_DSP_HEADER_FUNCTION_OLD);
    return reinterpret_cast<SpinlorexDspHeaderFunction>(found);
}

// ---------------------------------------------------------------------------------------

DspPlugin::DspPlugin(const std::string& path, int32_t moduleIndex, void* parentWindow) {
    if (path.empty()) return;
    copy_ = MemoryCopy::of(path);
    if (!copy_.empty()) library_ = SharedLibrary(copy_.path());
    if (library_) {
        loadedFrom_ = copy_.path();
    } else {
        // No memory files here (or they may not hold code): the plug-in itself, shared by
        // the decks that use it.
        copy_.reset();
        library_ = SharedLibrary(path);
        if (library_) loadedFrom_ = path;
    }
    if (!library_) return;
    const SpinlorexDspHeaderFunction headerFunction = findHeaderFunction(library_);
    if (headerFunction == nullptr) return;
    const SpinlorexDspHeader* header = headerFunction();
    if (header == nullptr || header->getModule == nullptr) return;
    SpinlorexDspModule* module = header->getModule(moduleIndex);
    if (module == nullptr) return;
    module->parentWindow = parentWindow;
    module->instance = library_.handle();
    if (module->init != nullptr) module->init(module);
    module_ = module;
    path_ = path;
    moduleIndex_ = moduleIndex;
}

DspPlugin::~DspPlugin() {
    if (module_ != nullptr && module_->quit != nullptr) module_->quit(module_);
    // The members then unload the library and let its copy go, in that order.
}

int32_t DspPlugin::modifySamples(int16_t* samples, int32_t frames) {
    if (module_ == nullptr || module_->modifySamples == nullptr || frames <= 0) return frames;
    const int returned = module_->modifySamples(module_, samples, frames, 16, 2, 44100);
    // The buffer holds twice the frames given; a larger claim would read past it.
    return std::clamp<int32_t>(returned, 0, 2 * frames);
}

void DspPlugin::configure() {
    if (module_ != nullptr && module_->config != nullptr) module_->config(module_);
}

std::unique_ptr<DspPlugin> makeDspPlugin(const std::string& path, int32_t moduleIndex,
                                         void* parentWindow) {
    auto plugin = std::make_unique<DspPlugin>(path, moduleIndex, parentWindow);
    if (!plugin->hasModule()) return nullptr;
    return plugin;
}

}  // namespace spinlorex
