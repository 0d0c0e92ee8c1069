#pragma once

#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "library/TrackRecord.h"

namespace spinlorex {

// The internal database file: a chain of blocks from offset 0 to the end of the file, no
// file header. Every block starts with two little-endian 32-bit words, `blockSize` (the
// whole block) and `dataLength` (0 = free block). A record block carries
//   fileSize, bpm, lastUsedDate, name\0, comment\0      (dataLength bytes)
//   the nine stored analysis values                     (36 bytes)
//   padding up to blockSize
// Blocks are reused first fit; freed space is merged with the free blocks that follow it.
//
// A record is never overwritten where it stands: its new version is written to a free
// block after the old one (or appended), made durable, and only then is the old block
// freed. Bytes are first written where the current headers skip over them, and the one
// 8-byte header that makes them reachable is written last (a write that small, inside the
// file and aligned, lands whole); an append is first a free block and becomes a record
// when its header's second word is written. So a crash or a power cut at any moment
// leaves every record as it was or as it became:
//   - the old and the new version may both be in the file; the later one in the file is
//     the newer, and reading keeps only it (freeing the stale block);
//   - an append cut short leaves a free block running past the end of the file, which
//     reading cuts off again.
//
// Reading learns where every record's block and every free block lies; writing keeps
// that map, so a write looks its places up in memory and reads nothing from the file.
// Records are known by their address (never read through), which stays the same as long
// as the file is open.
//
// One thread at a time: the one that opens and reads it, then (for TrackDatabase) its
// writer thread alone.
class DatabaseFile {
public:
    enum class ReadResult { Ok, IoError, NoMemory, Corrupted };

    static constexpr uint32_t kHeaderSize = 8;
    // The offset of a record that has no block in the file.
    static constexpr uint32_t kNeverWritten = 0xFFFFFFFFu;
    static constexpr uint32_t kFixedDataSize = 12;  // fileSize, bpm, lastUsedDate
    static constexpr uint32_t kStoredValuesSize = 4 * TrackAnalysis::kStoredValues;

    // Decides how many of the `length` bytes about to be written at `offset` reach the
    // file; fewer than `length` makes that write fail after the prefix. Tests use it to
    // fail any single write the way a full disk or a failing device would.
    using WriteGate = std::function<size_t(uint64_t offset, size_t length)>;

    // Opens `path` for reading and writing (created when absent) under an exclusive lock.
    // When it cannot be opened for writing, or another process holds the lock, it is
    // opened for reading only. Null when it cannot be opened at all; `error` (when given)
    // then holds the errno, and for a file opened read-only the reason it is not written.
    static std::unique_ptr<DatabaseFile> open(const std::string& path, int* error = nullptr);

    ~DatabaseFile();
    DatabaseFile(const DatabaseFile&) = delete;
    DatabaseFile& operator=(const DatabaseFile&) = delete;

    bool readOnly() const { return readOnly_; }
    // Read-only because another running program writes the file (not for lack of rights).
    bool inUseElsewhere() const { return inUseElsewhere_; }

    // Reads every record block from offset 0, its stored values included, putting each
    // record at the head of `records` (so the list ends in reverse file order). Records
    // read before an error stay in the list. Of two blocks of one track (name and size)
    // only the later is kept; when writable, the earlier is freed and a free block cut
    // short at the end of the file is cut off. Only after it returned Ok can records be
    // written, and only the records it read or records made since (while they exist).
    ReadResult readRecords(std::forward_list<TrackRecord>& records);

    // For a file that readRecords() found damaged: every record block that can still be
    // read, before and after the damage, re-encoded in file order (one per track, the
    // later one kept), and the matching records (never written: they belong to no file).
    ReadResult salvage(std::forward_list<TrackRecord>& records,
                       std::vector<std::vector<unsigned char>>& blocks);

    // Sets the damaged file at `path` aside under `asidePath` (a new name beside it) and
    // puts a new file made of `blocks` in its place, durably. False when that cannot be
    // done; the damaged file is then left as it was.
    static bool replaceDamaged(const std::string& path, const std::string& asidePath,
                               const std::vector<std::vector<unsigned char>>& blocks);

    // Stores `block` (encodeRecord's, of `record`) as the record's new version in the
    // first free block after its old one that fits, or at the end, then frees the old
    // block. Returns false when the new version was not made durable: the old block is
    // then kept untouched (a new one written all the same is the later in the file).
    // Never reads through `record`.
    bool writeBlock(const TrackRecord* record, const std::vector<unsigned char>& block);
    // writeBlock of the record as it is now.
    bool writeRecord(const TrackRecord& record) {
        return writeBlock(&record, encodeRecord(record));
    }

    // Where the record's block starts, or kNeverWritten.
    uint32_t offsetOf(const TrackRecord& record) const;

    void setWriteGate(WriteGate gate) { writeGate_ = std::move(gate); }

    // The block a record would be stored as (header included, padded to its blockSize),
    // with its held analysis block's values, else its stored values; empty when the name
    // and comment are too long for the format.
    static std::vector<unsigned char> encodeRecord(const TrackRecord& record);

private:
    struct Block {
        uint32_t offset = 0;
        uint32_t size = 0;
    };
    class ChunkedReader;
    enum class Placed { No, Durably, NotDurably };

    DatabaseFile(int fd, bool readOnly, bool inUseElsewhere)
        : fd_(fd), readOnly_(readOnly), inUseElsewhere_(inUseElsewhere) {}

    ReadResult readChain(std::forward_list<TrackRecord>& records, std::vector<Block>& staleBlocks);
    bool readAt(uint64_t offset, void* buffer, size_t length, size_t& got) const;
    bool writeAt(uint64_t offset, const void* data, size_t length);
    bool sync();
    bool currentSize(uint64_t& size) const;
    void cutAt(uint64_t size);
    bool writeHeader(uint64_t offset, uint32_t blockSize, uint32_t dataLength);
    uint64_t mergedFreeSize(uint64_t next, uint64_t size) const;
    void takeFreeBlocks(uint64_t from, uint64_t to);
    void zeroFill(uint64_t from, uint64_t to);
    bool freeStretch(uint64_t offset, uint64_t size);
    Placed placeBlock(uint64_t offset, uint64_t room, const std::vector<unsigned char>& block,
                      uint32_t& placedSize);
    bool append(const std::vector<unsigned char>& block);
    Placed placeFirstFit(const std::vector<unsigned char>& block, uint64_t from, Block& placed);

    int fd_ = -1;
    bool readOnly_ = false;
    bool inUseElsewhere_ = false;
    WriteGate writeGate_;
    // What reading found and writing keeps: valid once readRecords() returned Ok.
    bool mapped_ = false;
    std::unordered_map<const TrackRecord*, Block> blocks_;
    std::map<uint64_t, uint32_t> free_;  // free blocks by offset: their sizes
    uint64_t end_ = 0;                   // where the chain, and the file, end
};

}  // namespace spinlorex
