#include "library/ScanJob.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "library/SearchFileWriter.h"
#include "library/SearchIndex.h"
#include "library/SearchLine.h"

namespace spinlorex {

ScanJob::ScanJob(std::string homeFolder, std::vector<std::string> replacedKeys,
                 std::vector<Root> roots, int mask, WalkLimits limits)
    : homeFolder_(std::move(homeFolder)),
      replacedKeys_(std::move(replacedKeys)),
      roots_(std::move(roots)),
      mask_(mask),
      limits_(std::move(limits)) {}

ScanJob::~ScanJob() {
    if (!worker_.joinable()) return;
    if (!progress_.stopRequested()) progress_.requestAbandon();
    worker_.join();
}

bool ScanJob::prepare() {
    kept_ = std::make_unique<SearchIndex>(homeFolder_);
    // A file that is there but cannot be read is not replaced by one without its lines.
    if (kept_->load() == SearchIndex::LoadResult::Unreadable) return false;
    out_ = std::make_unique<SearchFileWriter>(kept_->path());
    if (!out_->open()) return false;
    if (kept_->loaded()) {
        size_t replaced = 0;
        for (const std::string& key : replacedKeys_) replaced += kept_->removeLinesWithKey(key);
        replaced_.store(replaced, std::memory_order_relaxed);
    }
    return true;
}

ScanJob::Result ScanJob::run(ScanObserver& observer) {
    const bool prepared = prepare();
    // The new file goes with the writer: renamed into place by commit(), removed otherwise.
    const auto finish = [this, &observer](Result result) {
        if (observer.abandonRequested()) result = Result::Abandoned;
        if (result != Result::Abandoned && !out_->commit()) result = Result::WriteFailed;
        kept_.reset();
        out_.reset();
        return result;
    };
    if (!prepared) {
        kept_.reset();
        out_.reset();
        return Result::CreationFailed;
    }
    if (observer.abandonRequested()) return finish(Result::Abandoned);
    if (kept_->loaded()) kept_->writeRemainingLines(*out_);
    kept_.reset();  // the walk may take long: its memory is not needed meanwhile
    uint64_t count = 0;
    bool stopped = false;
    for (const Root& root : roots_) {
        if (observer.stopRequested()) {
            stopped = true;
            break;
        }
        count += scanFolder(root.path, root.prefix, *out_, observer, mask_, limits_, count);
        found_.store(count, std::memory_order_relaxed);
    }
    stopped = stopped || observer.stopRequested();
    return finish(stopped ? Result::Stopped : Result::Done);
}

void ScanJob::start() {
    worker_ = std::thread([this] {
        result_ = run(progress_);
        finished_.store(true, std::memory_order_release);
    });
}

ScanJob::Result ScanJob::wait() {
    if (worker_.joinable()) worker_.join();
    return result_;
}

ScanJob::Result ScanJob::abandon() {
    progress_.requestAbandon();
    return wait();
}

namespace {

WalkLimits limitsOf(std::span<const drives::Drive> drives) {
    WalkLimits limits;
    for (const drives::Drive& drive : drives) limits.otherRoots.insert(drive.root);
    return limits;
}

}  // namespace

std::unique_ptr<ScanJob> hardDiskScan(const std::string& homeFolder,
                                      std::span<const std::string> chosen,
                                      std::span<const drives::Drive> drives, int mask) {
    std::vector<std::string> keys;
    std::vector<ScanJob::Root> roots;
    for (const std::string& root : chosen) {
        const std::optional<std::string> key = driveKeyOf(root);
        if (!key) continue;
        keys.push_back(*key);
        roots.push_back({root, *key});
    }
    return std::make_unique<ScanJob>(homeFolder, std::move(keys), std::move(roots), mask,
                                     limitsOf(drives));
}

std::unique_ptr<ScanJob> discScan(const std::string& homeFolder, const std::string& name,
                                  const std::string& root, bool replace,
                                  std::span<const drives::Drive> drives, int mask) {
    std::vector<std::string> keys;
    if (replace) keys.push_back(name);
    return std::make_unique<ScanJob>(homeFolder, std::move(keys),
                                     std::vector<ScanJob::Root>{{root, name + "="}}, mask,
                                     limitsOf(drives));
}

std::string proposeDiscName(const SearchIndex& index) {
    std::unordered_set<std::string_view> taken;
    for (size_t i = 0; i < index.lineCount(); ++i) {
        const SearchLine line = parseSearchLine(index.line(i));
        if (line.kind == SearchLine::Kind::Disc) taken.insert(line.key);
    }
    for (int n = 1; n < 999; ++n) {
        std::string name = "CD" + std::to_string(n);
        if (!taken.contains(name)) return name;
    }
    return "CD999";
}

std::optional<drives::Drive> driveHolding(const std::string& path,
                                          std::span<const drives::Drive> drives) {
    std::error_code ec;
    const std::string real = std::filesystem::weakly_canonical(path, ec).string();
    if (ec) return std::nullopt;
    const drives::Drive* best = nullptr;
    for (const drives::Drive& drive : drives) {
        const bool above = drive.root == "/" || real == drive.root ||
                           (real.starts_with(drive.root) && real[drive.root.size()] == '/');
        if (above && (best == nullptr || drive.root.size() > best->root.size())) best = &drive;
    }
    if (best == nullptr) return std::nullopt;
    return *best;
}

std::vector<DiscRow> discRows(const SearchIndex& index) {
    std::vector<DiscRow> rows;
    std::unordered_map<std::string_view, size_t> rowOfKey;
    for (size_t i = 0; i < index.lineCount(); ++i) {
        const std::string_view line = index.line(i);
        if (line.empty()) continue;
        const std::string_view key = lineKey(line);
        const auto [at, added] = rowOfKey.try_emplace(key, rows.size());
        if (added) rows.push_back({std::string(key), 0});
        ++rows[at->second].lines;
    }
    return rows;
}

bool deleteDiscs(SearchIndex& index, std::span<const std::string> keys) {
    for (const std::string& key : keys) index.removeLinesWithKey(key);
    SearchFileWriter out(index.path());
    if (!out.open()) return false;
    index.writeRemainingLines(out);
    return out.commit();
}

}  // namespace spinlorex
