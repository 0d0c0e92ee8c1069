#include "midi/MappingFolder.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "midi/MidiPorts.h"

namespace fs = std::filesystem;

namespace spinlorex::midi {

namespace {

constexpr std::uintmax_t kMaxFileBytes = 1 << 20;

std::string runningProgramFolder() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

bool isInside(const fs::path& inner, const fs::path& outer) {
    std::error_code e1, e2;
    const fs::path a = fs::weakly_canonical(inner, e1), b = fs::weakly_canonical(outer, e2);
    if (e1 || e2) return false;
    return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

}  // namespace

std::vector<std::string> mappingFolders(const std::string& userFolder,
                                        const std::string& executableFolder) {
    std::vector<fs::path> candidates;
    if (!userFolder.empty()) candidates.emplace_back(userFolder);
    const std::string exeFolder =
        executableFolder.empty() ? runningProgramFolder() : executableFolder;
    if (!exeFolder.empty()) {
        candidates.push_back(fs::path(exeFolder) / ".." / "share" / "spinlorex" / "controllers");
#if defined(SPINLOREX_BUILD_DIR) && defined(SPINLOREX_SOURCE_MAPPINGS)
        if (isInside(exeFolder, SPINLOREX_BUILD_DIR))
            candidates.emplace_back(SPINLOREX_SOURCE_MAPPINGS);
#endif
    }
    std::vector<std::string> folders;
    std::vector<fs::path> seen;
    for (const fs::path& candidate : candidates) {
        std::error_code error;
        if (!fs::is_directory(candidate, error)) continue;
        const fs::path canonical = fs::weakly_canonical(candidate, error);
        if (error || std::find(seen.begin(), seen.end(), canonical) != seen.end()) continue;
        seen.push_back(canonical);
        folders.push_back(candidate.lexically_normal().string());
    }
    return folders;
}

std::vector<MappingFile> readMappings(const std::vector<std::string>& folders,
                                      const std::string& userFolder) {
    std::vector<MappingFile> files;
    for (const std::string& folder : folders) {
        std::vector<fs::path> paths;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error))
            if (it->path().extension() == ".map" && it->is_regular_file(error))
                paths.push_back(it->path());
        std::sort(paths.begin(), paths.end());
        for (const fs::path& path : paths) {
            MappingFile file;
            file.path = path.string();
            file.shipped = folder != userFolder;
            std::error_code sizeError;
            const std::uintmax_t size = fs::file_size(path, sizeError);
            std::ifstream in(path, std::ios::binary);
            if (sizeError || !in) {
                file.read.errors.push_back("cannot be read");
            } else if (size > kMaxFileBytes) {
                file.read.errors.push_back("the file is larger than 1 MB: not a mapping");
            } else {
                std::ostringstream text;
                text << in.rdbuf();
                file.read = parseMapping(text.str());
            }
            files.push_back(std::move(file));
        }
    }
    return files;
}

const MappingFile* mappingForPort(const std::vector<MappingFile>& files,
                                  const std::string& portName) {
    for (const MappingFile& file : files)
        if (matchesPort(file.read.mapping, portName)) return &file;
    return nullptr;
}

bool appendToMapping(const std::string& path, const std::string& portName, const std::string& line,
                     std::string& error) {
    std::string text;
    std::error_code ignored;
    if (fs::exists(path, ignored)) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream read;
        read << in.rdbuf();
        if (!in.good() && !in.eof()) {
            error = "cannot read " + path;
            return false;
        }
        text = read.str();
        if (!text.empty() && text.back() != '\n') text += '\n';
    } else {
        const std::string name = MidiPorts::stableName(portName);
        text = "# Learned by Spinlorex; edit freely (docs/user-guide.md: \"Controllers\").\nname " +
               name + "\nport " + name + "\n";
    }
    text += line + "\n";
    std::error_code made;
    fs::create_directories(fs::path(path).parent_path(), made);
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = "cannot write " + temporary;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    fs::rename(temporary, path, made);
    if (made) {
        error = "cannot write " + path + ": " + made.message();
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

}  // namespace spinlorex::midi
