#include "library/TrackDatabase.h"

#include <ctime>
#include <functional>
#include <iterator>

#include "library/DatabaseFile.h"
#include "platform/core/FatalError.h"

namespace spinlorex {
namespace {

const char* const kFileSystemError = "Error in the file system driver";
const char* const kNoMemory = "Not enough memory";
const char* const kCorrupted = "The internal database is corrupted";

std::string_view fileNameOf(std::string_view path) {
#ifdef _WIN32
    const size_t separator = path.find_last_of("/\\");
#else
    const size_t separator = path.rfind('/');
#endif
    std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    // Names are stored zero-terminated; nothing after a zero byte could be found again.
    return name.substr(0, name.find('\0'));
}

}  // namespace

TrackDatabase::TrackDatabase() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) today_ = packDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

TrackDatabase::~TrackDatabase() { close(); }

uint32_t TrackDatabase::packDate(int year, int month, int day) {
    return static_cast<uint32_t>(((year * 16) + month) * 64 + day);
}

bool TrackDatabase::hasFile() const { return file_ != nullptr; }

bool TrackDatabase::readOnly() const { return file_ != nullptr && file_->readOnly(); }

bool TrackDatabase::open(const std::string& folder) {
    close();
    file_ = DatabaseFile::open(folder + "/" + kFileName);
    if (!file_) return true;  // no database at all: every record starts new, silently

    const char* failure = nullptr;
    const DatabaseFile::ReadResult result = file_->readRecords(records_);
    rebuildIndex();
    switch (result) {
        case DatabaseFile::ReadResult::Ok: return true;
        case DatabaseFile::ReadResult::IoError: failure = kFileSystemError; break;
        case DatabaseFile::ReadResult::NoMemory: failure = kNoMemory; break;
        case DatabaseFile::ReadResult::Corrupted: failure = kCorrupted; break;
    }
    setFatalError(failure);
    // The program stops now; a file known to be damaged is not written to.
    file_.reset();
    return false;
}

void TrackDatabase::close() {
    for (TrackRecord& record : records_) {
        if (!record.analysis) continue;
        if (file_) file_->writeRecord(record);
        record.analysis.reset();
        record.refCount = 0;
    }
    index_.clear();
    records_.clear();
    file_.reset();
}

size_t TrackDatabase::KeyHash::operator()(const Key& key) const noexcept {
    return std::hash<std::string_view>{}(key.name) ^ (size_t{key.fileSize} * 0x9E3779B97F4A7C15ull);
}

void TrackDatabase::rebuildIndex() {
    index_.clear();
    index_.reserve(static_cast<size_t>(std::distance(records_.begin(), records_.end())));
    // From the head: a key met again later in the list keeps its first record.
    for (TrackRecord& record : records_) index_.emplace(Key{record.name, record.fileSize}, &record);
}

TrackRecord* TrackDatabase::findOrAdd(std::string_view path, uint32_t fileSize) {
    const std::string_view name = fileNameOf(path);
    if (const auto found = index_.find(Key{name, fileSize}); found != index_.end()) return found->second;
    TrackRecord& record = records_.emplace_front();
    record.fileSize = fileSize;
    record.name.assign(name);
    index_.emplace(Key{record.name, record.fileSize}, &record);
    return &record;
}

TrackAnalysis* TrackDatabase::acquireAnalysis(TrackRecord* record) {
    if (record == nullptr) return nullptr;
    if (!record->analysis) {
        record->analysis = std::make_unique<TrackAnalysis>();
        record->analysis->owner = record;
        if (file_ && !file_->readOnly() && record->fileOffset != TrackRecord::kNeverWritten)
            file_->readStoredAnalysis(*record, *record->analysis);
    }
    record->lastUsedDate = today_;
    ++record->refCount;
    return record->analysis.get();
}

bool TrackDatabase::storeMeasures(TrackRecord* record, const TrackMeasures& measures) {
    if (record == nullptr || record->analysis) return false;
    // The block as acquireAnalysis makes it, for as long as the write takes; the date and
    // the holders are left alone.
    record->analysis = std::make_unique<TrackAnalysis>();
    record->analysis->owner = record;
    if (file_ && !file_->readOnly() && record->fileOffset != TrackRecord::kNeverWritten)
        file_->readStoredAnalysis(*record, *record->analysis);
    adoptMeasures(*record->analysis, measures);
    if (file_) file_->writeRecord(*record);
    record->analysis.reset();
    return true;
}

void TrackDatabase::releaseAnalysis(TrackRecord* record) {
    if (record == nullptr || !record->analysis) return;
    if (record->refCount > 1) {
        --record->refCount;
        return;
    }
    record->refCount = 0;
    // A failed write is not reported: the record simply is not (or not newly) stored.
    if (file_) file_->writeRecord(*record);
    record->analysis.reset();
}

}  // namespace spinlorex
