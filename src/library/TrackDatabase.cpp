#include "library/TrackDatabase.h"

#include <unistd.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <iterator>
#include <vector>

#include "library/DatabaseFile.h"
#include "library/DatabaseWriter.h"
#include "platform/core/FatalError.h"

namespace spinlorex {
namespace {

const char* const kFileSystemError = "Error in the file system driver";
const char* const kNoMemory = "Not enough memory";
const char* const kCorrupted = "The internal database is corrupted";

}  // namespace

TrackDatabase::TrackDatabase() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        today_ = packDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

TrackDatabase::~TrackDatabase() { close(); }

uint32_t TrackDatabase::packDate(int year, int month, int day) {
    return static_cast<uint32_t>(((year * 16) + month) * 64 + day);
}

bool TrackDatabase::hasFile() const { return file_ != nullptr || writer_ != nullptr; }

bool TrackDatabase::readOnly() const { return file_ != nullptr && file_->readOnly(); }

bool TrackDatabase::writable() const { return writer_ != nullptr; }

bool TrackDatabase::open(const std::string& folder) {
    const bool opened = openFile(folder);
    rebuildIndex();
    if (file_ && !file_->readOnly()) writer_ = std::make_unique<DatabaseWriter>(std::move(file_));
    return opened;
}

void TrackDatabase::flush() {
    if (writer_) writer_->flush();
}

bool TrackDatabase::openFile(const std::string& folder) {
    close();
    notice_.clear();
    const std::string path = folder + "/" + kFileName;
    int error = 0;
    file_ = DatabaseFile::open(path, &error);
    // No database at all, or one that can only be read for lack of rights: every record
    // starts new or stays as it was, and the user learns that nothing will be kept.
    if (!file_ || (file_->readOnly() && !file_->inUseElsewhere()))
        notice_ = "The internal database cannot be written in " + folder + " (" +
                  std::strerror(error) +
                  ").\nTempos, comments and cue points found now will not be kept.";
    if (!file_) return true;

    switch (file_->readRecords(records_)) {
        case DatabaseFile::ReadResult::Ok:
            return true;
        case DatabaseFile::ReadResult::NoMemory:
            setFatalError(kNoMemory);
            file_.reset();
            return false;
        case DatabaseFile::ReadResult::IoError:
            // A file that cannot be read to its end is not written to either.
            file_.reset();
            notice_ =
                std::string(kFileSystemError) + " while reading\n" + path + "\nThe " +
                std::to_string(std::distance(records_.begin(), records_.end())) +
                " track records read before the error are used; nothing learnt now will be kept.";
            return true;
        case DatabaseFile::ReadResult::Corrupted:
            break;
    }
    return recoverDamaged(path);
}

bool TrackDatabase::recoverDamaged(const std::string& path) {
    records_.clear();
    std::vector<std::vector<unsigned char>> blocks;
    switch (file_->salvage(records_, blocks)) {
        case DatabaseFile::ReadResult::Ok:
            break;
        case DatabaseFile::ReadResult::NoMemory:
            setFatalError(kNoMemory);
            file_.reset();
            return false;
        default:
            break;  // keeps whatever was found
    }
    const std::string count = std::to_string(blocks.size());
    if (file_->readOnly()) {
        // Another program writes it (and sets it aside), or it cannot be written here:
        // what could be read is used, nothing is written to a damaged file.
        const bool elsewhere = file_->inUseElsewhere();
        file_.reset();
        if (!elsewhere)
            notice_ =
                std::string(kCorrupted) + " and cannot be repaired here:\n" + path + "\nThe " +
                count +
                " track records that could be read are used; nothing learnt now will be kept.";
        return true;
    }

    // Set aside under the date and time, beside the database, never over an earlier one.
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    std::string aside = path + "damaged-" + stamp;
    for (int n = 2; ::access(aside.c_str(), F_OK) == 0; ++n)
        aside = path + "damaged-" + stamp + "-" + std::to_string(n);

    // Still locked while it is replaced, so that no other program takes it meanwhile.
    const bool replaced = DatabaseFile::replaceDamaged(path, aside, blocks);
    file_.reset();
    if (!replaced) {
        notice_ = std::string(kCorrupted) + " and could not be set aside:\n" + path + "\nThe " +
                  count +
                  " track records that could be read are used; nothing learnt now will be kept.";
        return true;
    }
    // The new file holds every record that could be read: it is the database from now on.
    records_.clear();
    file_ = DatabaseFile::open(path);
    if (!file_ || file_->readRecords(records_) != DatabaseFile::ReadResult::Ok) {
        file_.reset();
        notice_ = std::string(kCorrupted) + ". It was set aside as\n" + aside +
                  "\nbut its replacement cannot be used.";
        return true;
    }
    notice_ = std::string(kCorrupted) + ". The " + count +
              " track records that could be read are kept; the damaged file was set aside as\n" +
              aside;
    return true;
}

void TrackDatabase::close() {
    for (TrackRecord& record : records_) {
        if (!record.analysis) continue;
        storeAndFree(record);
        record.refCount = 0;
    }
    // Every write handed over reaches the file before the records it names go.
    writer_.reset();
    file_.reset();
    filler_ = nullptr;
    index_.clear();
    records_.clear();
}

void TrackDatabase::storeAndFree(TrackRecord& record) {
    record.storedValues = record.analysis->storedWords();
    record.analysis.reset();
    if (!writer_) return;
    std::vector<unsigned char> block = DatabaseFile::encodeRecord(record);
    // A name and comment too long for the format are never stored.
    if (!block.empty()) writer_->write(&record, std::move(block));
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
    const std::string_view name = trackRecordName(path);
    if (const auto found = index_.find(Key{name, fileSize}); found != index_.end())
        return found->second;
    TrackRecord& record = records_.emplace_front();
    record.fileSize = fileSize;
    record.name.assign(name);
    index_.emplace(Key{record.name, record.fileSize}, &record);
    if (filler_) filler_(record);
    return &record;
}

TrackDatabase::RecordWalk TrackDatabase::walkRecords() {
    // Records are only ever put at the head of the list until close(), so the walk's
    // place stays valid and ends where the list ended when it began.
    RecordWalk walk;
    walk.next_ = records_.begin();
    walk.end_ = records_.end();
    return walk;
}

bool TrackDatabase::RecordWalk::step(size_t count, const RecordFiller& visit) {
    for (; count > 0 && next_ != end_; --count, ++next_) visit(*next_);
    return next_ != end_;
}

TrackAnalysis* TrackDatabase::acquireAnalysis(TrackRecord* record) {
    if (record == nullptr) return nullptr;
    if (!record->analysis) {
        record->analysis = std::make_unique<TrackAnalysis>();
        record->analysis->owner = record;
        record->analysis->setStoredWords(record->storedValues);
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
    record->analysis->setStoredWords(record->storedValues);
    adoptMeasures(*record->analysis, measures);
    storeAndFree(*record);
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
    storeAndFree(*record);
}

}  // namespace spinlorex
