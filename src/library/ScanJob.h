#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "library/ScanWalk.h"
#include "platform/drives/Drives.h"

namespace spinlorex {

class SearchFileWriter;
class SearchIndex;

// One scan of the search file of a home folder. The lines of the drives or the disc being
// scanned go; every other line is written again first, then the walk adds the new lines
// after them. Everything is written to a new file that takes the old one's place when the
// scan ends, also when it is stopped (what was found so far stays, the replaced lines
// stay gone); until then the old file stays whole. A scan thrown away (the program is
// closing, or the job is destroyed while it runs without a stop) removes the new file and
// leaves the old one exactly as it was: a few lines found in the first second never
// replace a drive's whole list.
class ScanJob {
public:
    struct Root {
        std::string path;    // the folder walked: a drive's mount point
        std::string prefix;  // what each of its lines begins with ("/media/x:", "CD1=")
    };
    enum class Result {
        Done,
        Stopped,         // the new file holds what was found until the stop
        Abandoned,       // thrown away: the old file is as it was
        CreationFailed,  // the old file could not be read or the new one not created
        WriteFailed,     // the new file could not be written whole; the old one stays
    };

    ScanJob(std::string homeFolder, std::vector<std::string> replacedKeys, std::vector<Root> roots,
            int mask, WalkLimits limits);
    // A walk still running is thrown away, unless a stop was asked for (then what it
    // found is kept, as after Stop); either way it is waited for.
    ~ScanJob();
    ScanJob(const ScanJob&) = delete;
    ScanJob& operator=(const ScanJob&) = delete;

    // On the calling thread, once: reads the search file, creates the new one beside it,
    // writes the kept lines, walks every root in turn (the remaining roots are skipped
    // once stopped), then puts the file in place, or removes it when the observer asks to
    // abandon.
    Result run(ScanObserver& observer);

    // run() on a worker thread, observed and ended through progress(): reading the old
    // file and writing the new one never hold up the calling thread. Main thread.
    void start();
    ScanProgress& progress() { return progress_; }
    // Main thread, after start().
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Main thread: waits for the worker; the result of run().
    Result wait();
    // Main thread: throws the scan away and waits for the worker. The result is Abandoned,
    // or what the scan had ended with when it was over already.
    Result abandon();

    // Files written by the walk.
    uint64_t filesFound() const { return found_.load(std::memory_order_relaxed); }
    // Lines of the replaced drives or disc removed before the walk (once run() has read
    // the file).
    size_t linesReplaced() const { return replaced_.load(std::memory_order_relaxed); }

private:
    bool prepare();

    std::string homeFolder_;
    std::vector<std::string> replacedKeys_;
    std::vector<Root> roots_;
    int mask_;
    WalkLimits limits_;
    std::unique_ptr<SearchIndex> kept_;
    std::unique_ptr<SearchFileWriter> out_;
    std::atomic<size_t> replaced_{0};
    ScanProgress progress_;
    std::thread worker_;
    Result result_ = Result::Done;
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> found_{0};
};

// The hard-disk scan of the drives `chosen` (roots of some of `drives`): their lines are
// replaced, each walk stays on its drive. Drives whose mount point no line can carry
// (see driveKeyOf) are left out.
std::unique_ptr<ScanJob> hardDiskScan(const std::string& homeFolder,
                                      std::span<const std::string> chosen,
                                      std::span<const drives::Drive> drives, int mask);

// The scan of the disc at `root` under `name` (see isValidDiscName), MP3 and WAV files
// unless `mask` says otherwise; `replace` drops the disc's old lines first.
std::unique_ptr<ScanJob> discScan(const std::string& homeFolder, const std::string& name,
                                  const std::string& root, bool replace,
                                  std::span<const drives::Drive> drives, int mask = kScanAllTracks);

// The name the disc scan proposes: the first "CD<n>", n = 1 to 998, that no line uses,
// else "CD999".
std::string proposeDiscName(const SearchIndex& index);

// The drive that holds `path` (the one with the longest mount point above it, links
// followed); none when no drive does.
std::optional<drives::Drive> driveHolding(const std::string& path,
                                          std::span<const drives::Drive> drives);

// One row of "Delete a CD": a disc's name or a drive's key, and its number of lines.
struct DiscRow {
    std::string key;
    size_t lines = 0;
};
// One row per drive and per disc, in the order they first appear in the file.
std::vector<DiscRow> discRows(const SearchIndex& index);

// Removes every line of the given drives and discs and writes the search file again.
// False when the file could not be written (it is left as it was). Any one thread.
bool deleteDiscs(SearchIndex& index, std::span<const std::string> keys);

}  // namespace spinlorex
