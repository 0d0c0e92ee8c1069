// spinlorex-tool scan and search: the desk's scans of drives and discs into the search
// file of a home folder, and the search panel's result rows, from the command line.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "library/ScanJob.h"
#include "library/SearchIndex.h"
#include "library/SearchLine.h"
#include "library/TagCache.h"
#include "platform/core/ProcessSignals.h"
#include "platform/settings/SettingsStore.h"
#include "tools/tool/ArgParser.h"
#include "tools/tool/Commands.h"

namespace spinlorex::tool {
namespace {

// Ctrl-C, SIGTERM and SIGHUP throw the scan away, as closing the desk does: the search
// file stays exactly as it was (a scan cut short would replace a drive's whole list with
// the few lines found so far). On a terminal the current folder and the count are shown
// as the walk goes.
class ToolObserver : public ScanObserver {
public:
    bool stopRequested() override { return StopSignals::stopRequested(); }
    bool abandonRequested() override { return StopSignals::stopRequested(); }
    void enteringFolder(std::string_view folder) override {
        if (!terminal_) return;
        std::fprintf(stderr, "\r\033[K%llu  %.*s", static_cast<unsigned long long>(count_),
                     static_cast<int>(std::min<size_t>(folder.size(), 100)), folder.data());
    }
    void fileWritten(std::string_view, uint64_t count) override { count_ = count; }
    void done() const {
        if (terminal_) std::fprintf(stderr, "\r\033[K");
    }

private:
    const bool terminal_ = isatty(STDERR_FILENO) != 0;
    uint64_t count_ = 0;
};

// The home folder: --home, else the desk's (from the settings file).
std::string homeFolderOf(const ArgParser& a, std::span<const drives::Drive> drives) {
    if (auto home = a.value("--home")) return *home;
    loadSettings(settings(), settingsFilePath(), drives);
    return settings().homeFolder;
}

int runScan(ScanJob& job, const std::string& home) {
    const StopSignals stopSignals;
    ToolObserver observer;
    const ScanJob::Result result = job.run(observer);
    observer.done();
    const std::string file = home + "/" + SearchIndex::kFileName;
    switch (result) {
        case ScanJob::Result::CreationFailed:
            std::fprintf(stderr, "spinlorex-tool: File creation error (%s)\n", file.c_str());
            return 1;
        case ScanJob::Result::WriteFailed:
            std::fprintf(stderr, "spinlorex-tool: %s could not be written; it is left as it was\n",
                         file.c_str());
            return 1;
        case ScanJob::Result::Abandoned:
        case ScanJob::Result::Stopped:  // not here: every interrupt abandons
            std::fprintf(stderr, "spinlorex-tool: interrupted; %s is left as it was\n",
                         file.c_str());
            return kInterrupted;
        case ScanJob::Result::Done:
            break;
    }
    std::printf("%zu lines replaced, %llu files found\n", job.linesReplaced(),
                static_cast<unsigned long long>(job.filesFound()));
    return 0;
}

}  // namespace

int scanCommand(const Args& args) {
    ArgParser a(args, {"--home", "--cd"}, {"--mp3", "--wav", "--flac-ogg"});
    const auto name = a.value("--cd");
    if (!a.ok() || a.positional().empty() || (name && a.positional().size() != 1)) {
        std::fprintf(stderr,
                     "usage: spinlorex-tool scan [--home DIR] [--cd NAME] [--mp3] [--wav] "
                     "[--flac-ogg] PATH...\n");
        return 2;
    }
    int mask = (a.flag("--mp3") ? kScanMp3 : 0) | (a.flag("--wav") ? kScanWav : 0) |
               (a.flag("--flac-ogg") ? kScanSndfile : 0);
    if (mask == 0) mask = kScanAllTracks;
    const std::vector<drives::Drive> drives = drives::listDrives();
    const std::string home = homeFolderOf(a, drives);

    if (name) {
        if (!isValidDiscName(*name)) {
            std::fprintf(stderr,
                         "spinlorex-tool: a disc name is 1 to 253 bytes without \"=\", \":\" or "
                         "line ends, and "
                         "does not begin with \"/\"\n");
            return 2;
        }
        const std::string& root = a.positional().front();
        std::error_code ec;
        if (!std::filesystem::is_directory(root, ec)) {
            std::fprintf(stderr, "spinlorex-tool: %s is not a folder\n", root.c_str());
            return 2;
        }
        return runScan(*discScan(home, *name, root, true, drives, mask), home);
    }

    std::vector<std::string> roots;
    for (const std::string& path : a.positional()) {
        const auto drive = driveHolding(path, drives);
        if (!drive || !driveKeyOf(drive->root)) {
            std::fprintf(stderr, "spinlorex-tool: %s is on no drive that can be scanned\n",
                         path.c_str());
            return 2;
        }
        if (std::find(roots.begin(), roots.end(), drive->root) == roots.end())
            roots.push_back(drive->root);
    }
    for (const std::string& root : roots) std::printf("scanning the drive at %s\n", root.c_str());
    std::fflush(stdout);
    return runScan(*hardDiskScan(home, roots, drives, mask), home);
}

int searchCommand(const Args& args) {
    ArgParser a(args, {"--home"}, {});
    if (!a.ok()) {
        std::fprintf(stderr, "usage: spinlorex-tool search [--home DIR] TEXT\n");
        return 2;
    }
    std::string text;
    for (const std::string& word : a.positional()) text += (text.empty() ? "" : " ") + word;
    const std::string home = homeFolderOf(a, drives::listDrives());
    SearchIndex index(home);
    if (index.load() != SearchIndex::LoadResult::Loaded) {
        std::fprintf(stderr, "spinlorex-tool: %s cannot be read\n", index.path().c_str());
        return 1;
    }
    // The precise form also searches the tags the track store keeps of the scanned files.
    const TagsByPath tags = readCachedTags(home);
    const std::string cdDrive = "/";
    index.setFactsLookup([&tags, &cdDrive](std::string_view line) {
        SearchFacts facts;
        const auto found = tags.find(trackPathOf(parseSearchLine(line), cdDrive));
        if (found == tags.end()) return facts;
        facts.tags = &found->second;
        facts.bpm = found->second.bpm;
        return facts;
    });
    index.runSearch(text);
    std::string row;
    for (size_t i = 0; i < index.resultCount(); ++i) {
        row.clear();
        for (int column = 0; column < SearchIndex::kColumns; ++column) {
            if (column > 0) row += '\t';
            row += index.resultText(i, column);
        }
        row += '\n';
        std::fwrite(row.data(), 1, row.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace spinlorex::tool
