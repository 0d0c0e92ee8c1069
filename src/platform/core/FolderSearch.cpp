#include "platform/core/FolderSearch.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace spinlorex {

std::string runningProgramFolder() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

bool isInsideFolder(const fs::path& inner, const fs::path& outer) {
    std::error_code e1, e2;
    const fs::path a = fs::weakly_canonical(inner, e1), b = fs::weakly_canonical(outer, e2);
    if (e1 || e2) return false;
    return std::mismatch(b.begin(), b.end(), a.begin(), a.end()).first == b.end();
}

std::vector<std::string> existingFolders(const std::vector<fs::path>& candidates) {
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

}  // namespace spinlorex
