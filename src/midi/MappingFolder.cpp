#include "midi/MappingFolder.h"

#include <algorithm>
#include <filesystem>

#include "midi/MidiPorts.h"
#include "platform/core/WholeFile.h"

namespace fs = std::filesystem;

namespace spinlorex::midi {

namespace {

constexpr uint64_t kMaxFileBytes = 1 << 20;

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
            std::string text;
            switch (readWholeFile(path, text, kMaxFileBytes)) {
                case FileRead::Read:
                    file.read = parseMapping(text);
                    break;
                case FileRead::TooLarge:
                    file.read.errors.push_back("the file is larger than 1 MB: not a mapping");
                    break;
                default:
                    file.read.errors.push_back("cannot be read");
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
    const FileRead read = readWholeFile(path, text, kMaxFileBytes);
    if (read == FileRead::Read) {
        if (!text.empty() && text.back() != '\n') text += '\n';
    } else if (read != FileRead::Missing) {
        error = "cannot read " + path;
        return false;
    } else {
        const std::string name = MidiPorts::stableName(portName);
        text = "# Learned by Spinlorex; edit freely (see the README's \"Controllers\").\nname " +
               name + "\nport " + name + "\n";
    }
    text += line + "\n";
    if (!replaceFile(path, text, FileReplacement::Folder::Create)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace spinlorex::midi
