#include "plugins/DspPlugin.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

namespace spinlorex {
namespace {

// Reads the whole file; false on any failure or a short read.
bool readWholeFile(const std::string& path, std::vector<char>& data) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        data.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (ok && done < data.size()) {
            const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else done += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    return ok;
}

bool writeAll(int fd, const std::vector<char>& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

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

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

void TemporaryFile::remove() {
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
}

TemporaryFile copyToTempFile(const std::string& path) {
    std::vector<char> image;
    if (!readWholeFile(path, image)) return {};

    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return {};
    std::string name = (folder / "spdXXXXXX").string();
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return {};
    TemporaryFile copy(name);  // from here on a failed copy is deleted
    const bool written = writeAll(fd, image);
    if (::close(fd) != 0 || !written) return {};
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
    tempCopy_ = copyToTempFile(path);
    library_ = SharedLibrary(tempCopy_.empty() ? path : tempCopy_.path());
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
    // The members then unload the library and delete its copy, in that order.
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
