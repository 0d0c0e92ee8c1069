#pragma once

#include <cstdint>
#include <forward_list>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "library/TrackMeasures.h"
#include "library/TrackRecord.h"

namespace spinlorex {

class DatabaseFile;
class DatabaseWriter;

// Owns every TrackRecord and TrackAnalysis of the run and keeps them in the internal
// database file "spinlorex Internal Database." of the home folder. The file is written
// by a thread of its own (DatabaseWriter): a record's write hands over a copy of it and
// returns at once, and close() waits for every write handed over.
//
// Main thread only, except that the sound thread writes into held analysis blocks and
// into records' `bpm` (atomics).
class TrackDatabase {
public:
    static constexpr const char* kFileName = "spinlorex Internal Database.";

    // Computes `today` from the local calendar date.
    TrackDatabase();
    // Closes (writing every held analysis block) if still open.
    ~TrackDatabase();

    TrackDatabase(const TrackDatabase&) = delete;
    TrackDatabase& operator=(const TrackDatabase&) = delete;

    // Opens the file in `folder` (created when absent) and reads every record. Falls back
    // to read-only when the file cannot be opened for writing, and to no file at all when
    // it cannot be opened. A damaged file never stops the program: every record that can
    // be read is kept, the damaged file is set aside under a dated name beside it and a
    // new one made of those records takes its place; a file that cannot be read to its end
    // is let go after the records read so far. notice() then tells the user. Returns
    // false only when memory runs out, after storing "Not enough memory" with
    // setFatalError().
    bool open(const std::string& folder);

    // What the user should be told once the program is up about the last open(): the
    // damaged file set aside and where, or that nothing learnt will be stored and why.
    // Empty when all is well (also when another running program holds the file).
    const std::string& notice() const { return notice_; }
    // Records reach the file (it is open for writing).
    bool writable() const;

    // Writes every record that still holds an analysis block, waits until every write
    // handed over is in the file, frees every record, forgets the record filler and closes
    // the file. Safe to call twice.
    void close();

    // Waits until every write handed over so far is in the file (or has failed).
    void flush();

    // The record of the file named by the part of `path` after its last separator, with
    // exactly that size; created (not written) when new.
    TrackRecord* findOrAdd(std::string_view path, uint32_t fileSize);

    // Runs `filler` over each record findOrAdd creates from now on (null: none), so that
    // what another store keeps of a track reaches its record when it is made. The records
    // already there take a walk (walkRecords).
    using RecordFiller = std::function<void(TrackRecord&)>;
    void setRecordFiller(RecordFiller filler) { filler_ = std::move(filler); }

    // The records there are now, newest first, gone through a few at a time, so that
    // 100,000 of them never hold up the main thread for long. Records made after the walk
    // began are not in it. Valid until close().
    class RecordWalk {
    public:
        // Runs `visit` over up to `count` more records; false once none is left.
        bool step(size_t count, const RecordFiller& visit);

    private:
        friend class TrackDatabase;
        std::forward_list<TrackRecord>::iterator next_;
        std::forward_list<TrackRecord>::iterator end_;
    };
    RecordWalk walkRecords();

    // Takes the record's analysis block (creating it with the record's stored values:
    // the file is not read) and marks the record used today.
    TrackAnalysis* acquireAnalysis(TrackRecord* record);

    // Lets a holder go; the last one keeps the block's values as the record's stored
    // values, hands the record to the writer and frees the block.
    void releaseAnalysis(TrackRecord* record);

    // Stores what an analysis of the whole track measured (adoptMeasures: a tempo set by
    // hand stays) and hands the record to the writer, without marking it used. Only for
    // a record whose block nobody holds: a deck analysing into a held block must adopt
    // the measures itself. False, nothing changed, when the block is held.
    bool storeMeasures(TrackRecord* record, const TrackMeasures& measures);

    // Packed date of the day the database was created: ((year * 16) + month) * 64 + day.
    uint32_t today() const { return today_; }
    static uint32_t packDate(int year, int month, int day);

    bool hasFile() const;
    bool readOnly() const;

    // Records, newest first.
    const std::forward_list<TrackRecord>& records() const { return records_; }

private:
    // A record's key: its name (viewing the record's own text, which never changes) and
    // its file size. Lookups build one from the caller's text, without copying it.
    struct Key {
        std::string_view name;
        uint32_t fileSize;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const noexcept;
    };
    void rebuildIndex();
    // open() before the index is built over what it read.
    bool openFile(const std::string& folder);
    bool recoverDamaged(const std::string& path);
    // Keeps the held block's values as the record's stored values, frees the block and
    // hands the record to the writer.
    void storeAndFree(TrackRecord& record);

    std::forward_list<TrackRecord> records_;
    // Every record by key; where the file holds a key twice, the record found first in
    // list order (the one read last), as a walk of the list would find it.
    std::unordered_map<Key, TrackRecord*, KeyHash> index_;
    // A file opened read-only, or one being opened; a writable one belongs to writer_.
    std::unique_ptr<DatabaseFile> file_;
    std::unique_ptr<DatabaseWriter> writer_;
    uint32_t today_ = 0;
    std::string notice_;
    RecordFiller filler_;
};

}  // namespace spinlorex
