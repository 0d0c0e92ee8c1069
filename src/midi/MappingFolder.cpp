#include "midi/MappingFolder.h"

#include <algorithm>
#include <filesystem>

#include "midi/MidiPorts.h"
#include "platform/core/FolderSearch.h"
#include "platform/core/WholeFile.h"

namespace fs = std::filesystem;

namespace spinlorex::midi {

namespace {

constexpr uint64_t kMaxFileBytes = 1 << 20;

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
        if (isInsideFolder(exeFolder, SPINLOREX_BUILD_DIR))
            candidates.emplace_back(SPINLOREX_SOURCE_MAPPINGS);
#endif
    }
    return existingFolders(candidates);
}

std::vector<MappingFile> readMappings(const std::vector<std::string>& folders,
                                      const std::string& userFolder) {
    std::vector<MappingFile> files;
    for (const std::string& folder : folders) {
        const auto isMapping = [](std::string_view name) {
            return name.size() > 4 && name.ends_with(".map");
        };
        for (const std::string& path : filesOfFolder(folder, isMapping)) {
            MappingFile file;
            file.path = path;
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
        text = "# Learned by Spinlorex; edit freely (docs/user-guide.md: \"Controllers\").\nname " +
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
