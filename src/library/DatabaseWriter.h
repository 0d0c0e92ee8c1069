#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "library/DatabaseFile.h"

namespace spinlorex {

// The one thread that writes a database file. The main thread hands it a record's block,
// encoded from the record as it is at that moment, and goes on at once; the writer places
// the blocks in the order they came and makes each durable (two syncs each). A record
// handed over again before its block was written is written once, in its latest state,
// at the place of its first hand-over.
class DatabaseWriter {
public:
    // Takes over `file`, which must have read its records (readRecords() Ok), for writing
    // only. Main thread.
    explicit DatabaseWriter(std::unique_ptr<DatabaseFile> file);
    // Writes every block handed over, then stops the thread. Main thread.
    ~DatabaseWriter();

    DatabaseWriter(const DatabaseWriter&) = delete;
    DatabaseWriter& operator=(const DatabaseWriter&) = delete;

    // Queues `block` (DatabaseFile::encodeRecord of `record`) in place of one of the same
    // record still waiting. Never waits for the disk, only for the queue. Main thread.
    void write(const TrackRecord* record, std::vector<unsigned char> block);

    // Waits until every block handed over before has been written, or has failed.
    // Main thread.
    void flush();

    // Blocks that could not be stored since the start (each a record left as it was in
    // the file). Any thread.
    int failures() const;

private:
    void run();

    std::unique_ptr<DatabaseFile> file_;  // the writer thread's alone once it runs
    mutable std::mutex mutex_;
    std::condition_variable wake_;  // something queued, or stop
    std::condition_variable idle_;  // the queue is empty and nothing is being written
    std::deque<const TrackRecord*> order_;
    std::unordered_map<const TrackRecord*, std::vector<unsigned char>> waiting_;
    bool writing_ = false;
    bool stop_ = false;
    int failures_ = 0;
    std::thread thread_;  // last: starts once everything above exists
};

}  // namespace spinlorex
