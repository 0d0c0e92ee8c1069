#include "library/DatabaseFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <deque>
#include <limits>
#include <new>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/core/WholeFile.h"

namespace spinlorex {
namespace {

constexpr uint64_t kNeverWritten = DatabaseFile::kNeverWritten;
constexpr int64_t kMaxBlockSize = std::numeric_limits<int32_t>::max();
// fileSize, bpm, lastUsedDate and at least the two terminating zeros of name and comment.
constexpr int64_t kMinDataLength = DatabaseFile::kFixedDataSize + 2;

uint32_t load32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void store32(unsigned char* p, uint32_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

// Names and comments are zero-terminated in the file, so anything after an embedded zero
// could never be read back.
std::string_view upToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// The text starting at `from` up to its terminating zero or the end of the data.
std::string_view zeroTerminated(const unsigned char* data, size_t length, size_t from) {
    if (from >= length) return {};
    const auto* start = reinterpret_cast<const char*>(data) + from;
    const size_t available = length - from;
    const void* zero = std::memchr(start, 0, available);
    const size_t size =
        zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : available;
    return {start, size};
}

int64_t asSigned(uint32_t value) { return static_cast<int32_t>(value); }

// What tells two tracks apart: the name and the size.
std::string trackKey(const std::string& name, uint32_t fileSize) {
    std::string key = name;
    key.push_back('\0');
    key.append(reinterpret_cast<const char*>(&fileSize), sizeof fileSize);
    return key;
}

// The same, viewing a record's own name (which stays where it is while it is read).
struct TrackKey {
    std::string_view name;
    uint32_t fileSize;
    bool operator==(const TrackKey&) const = default;
};
struct TrackKeyHash {
    size_t operator()(const TrackKey& key) const noexcept {
        return std::hash<std::string_view>{}(key.name) ^
               (size_t{key.fileSize} * 0x9E3779B97F4A7C15ull);
    }
};

// The analysis values a block holds after its data: as many whole words as its `tail`
// bytes (up to nine); the others keep their defaults.
TrackAnalysis::StoredWords storedValuesAt(const unsigned char* values, uint64_t tail) {
    TrackAnalysis::StoredWords words = TrackAnalysis::kDefaultWords;
    const uint64_t count = std::min<uint64_t>(tail / 4, words.size());
    for (uint64_t i = 0; i < count; ++i) words[i] = load32(values + 4 * i);
    return words;
}

}  // namespace

std::unique_ptr<DatabaseFile> DatabaseFile::open(const std::string& path, int* error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    bool inUse = false;
    int reason = errno;
    if (fd >= 0) {
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        // Only a lock held by another process makes us a reader. A file system without
        // locks still gets a working database; the single-instance rule guards it then.
        if (locked == 0 || errno != EWOULDBLOCK)
            return std::unique_ptr<DatabaseFile>(new DatabaseFile(fd, false, false));
        ::close(fd);
        inUse = true;
        reason = EWOULDBLOCK;
    }
    if (error != nullptr) *error = reason;
    // O_NONBLOCK so that a FIFO in the file's place cannot hang the start-up.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    return std::unique_ptr<DatabaseFile>(new DatabaseFile(fd, true, inUse));
}

DatabaseFile::~DatabaseFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool DatabaseFile::readAt(uint64_t offset, void* buffer, size_t length, size_t& got) const {
    got = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (got < length) {
        const ssize_t n = ::pread(fd_, bytes + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool DatabaseFile::writeAt(uint64_t offset, const void* data, size_t length) {
    const size_t allowed = writeGate_ ? std::min(length, writeGate_(offset, length)) : length;
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < allowed) {
        const ssize_t n =
            ::pwrite(fd_, bytes + done, allowed - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<size_t>(n);
    }
    return allowed == length;
}

bool DatabaseFile::sync() {
    int result;
    do {
        result = ::fdatasync(fd_);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

void DatabaseFile::cutAt(uint64_t size) {
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0 && errno == EINTR) {}
}

bool DatabaseFile::currentSize(uint64_t& size) const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || info.st_size < 0) return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool DatabaseFile::writeHeader(uint64_t offset, uint32_t blockSize, uint32_t dataLength) {
    unsigned char bytes[kHeaderSize];
    store32(bytes, blockSize);
    store32(bytes + 4, dataLength);
    return writeAt(offset, bytes, sizeof bytes);
}

// Reads the file front to back in large pieces: one system call per piece, not two per
// block.
class DatabaseFile::ChunkedReader {
public:
    explicit ChunkedReader(const DatabaseFile& file) : file_(file) {}

    // Up to `length` bytes at `offset`, fewer at the end of the file (`got` says how many),
    // valid until the next call. Null when the file cannot be read.
    const unsigned char* view(uint64_t offset, size_t length, size_t& got) {
        if (offset < start_ || offset + length > start_ + filled_) {
            if (buffer_.size() < length) buffer_.resize(length);
            if (buffer_.size() < kPiece) buffer_.resize(kPiece);
            filled_ = 0;
            start_ = offset;
            if (!file_.readAt(offset, buffer_.data(), buffer_.size(), filled_)) return nullptr;
        }
        const auto skip = static_cast<size_t>(offset - start_);
        got = std::min(length, filled_ - skip);
        return buffer_.data() + skip;
    }

private:
    static constexpr size_t kPiece = 256 * 1024;
    const DatabaseFile& file_;
    std::vector<unsigned char> buffer_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
};

DatabaseFile::ReadResult DatabaseFile::readRecords(std::forward_list<TrackRecord>& records) {
    mapped_ = false;
    blocks_.clear();
    free_.clear();
    end_ = 0;
    std::vector<Block> staleBlocks;
    const ReadResult result = readChain(records, staleBlocks);
    if (result != ReadResult::Ok) {
        blocks_.clear();
        free_.clear();
        return result;
    }
    mapped_ = true;
    if (!readOnly_) {
        uint64_t size = 0;
        // A free block cut short by the end of the file (an interrupted append) goes.
        if (currentSize(size) && size > end_) cutAt(end_);
        for (const Block& stale : staleBlocks) freeStretch(stale.offset, stale.size);
    }
    return result;
}

DatabaseFile::ReadResult DatabaseFile::readChain(std::forward_list<TrackRecord>& records,
                                                 std::vector<Block>& staleBlocks) {
    uint64_t fileSize = 0;
    if (!currentSize(fileSize)) return ReadResult::IoError;

    // Two blocks of one track: the later one in the file is the newer (a rewrite that a
    // crash interrupted before it freed the old block).
    std::unordered_map<TrackKey, TrackRecord*, TrackKeyHash> byTrack;
    std::unordered_set<const TrackRecord*> stale;
    ChunkedReader reader(*this);
    const ReadResult result = [&] {
        uint64_t offset = 0;
        try {
            for (;;) {
                size_t got = 0;
                const unsigned char* header = reader.view(offset, kHeaderSize, got);
                if (header == nullptr) return ReadResult::IoError;
                end_ = offset;
                if (got == 0) return ReadResult::Ok;
                if (got != kHeaderSize) return ReadResult::Corrupted;
                // A block must start where a 32-bit offset can name it.
                if (offset >= kNeverWritten) return ReadResult::Corrupted;

                const uint32_t blockSize = load32(header);
                const uint32_t dataLength = load32(header + 4);
                if (dataLength == 0) {
                    if (blockSize < kHeaderSize) return ReadResult::Corrupted;
                    // The last block runs past the end: an append that was cut short, where
                    // the chain ends.
                    if (offset + blockSize > fileSize) return ReadResult::Ok;
                    free_.emplace_hint(free_.end(), offset, blockSize);
                    offset += blockSize;
                    continue;
                }
                if (asSigned(dataLength) < kMinDataLength) return ReadResult::Corrupted;
                if (asSigned(blockSize) < asSigned(dataLength) + 12) return ReadResult::Corrupted;
                // Data that cannot be in the file is damage, not a reason to allocate.
                const uint64_t dataStart = offset + kHeaderSize;
                if (dataStart > fileSize || dataLength > fileSize - dataStart)
                    return ReadResult::Corrupted;
                // A record is always written whole: one that runs past the end hides whatever
                // follows its data.
                if (blockSize > fileSize - offset) return ReadResult::Corrupted;

                const uint64_t tail =
                    std::min<uint64_t>(blockSize - dataLength - kHeaderSize, kStoredValuesSize);
                const size_t wanted = dataLength + static_cast<size_t>(tail);
                const unsigned char* data = reader.view(dataStart, wanted, got);
                if (data == nullptr) return ReadResult::IoError;
                if (got != wanted) return ReadResult::Corrupted;

                const std::string_view name = zeroTerminated(data, dataLength, kFixedDataSize);
                const std::string_view comment =
                    zeroTerminated(data, dataLength, kFixedDataSize + name.size() + 1);
                TrackRecord& record = records.emplace_front();
                record.fileSize = load32(data);
                record.bpm.store(std::bit_cast<float>(load32(data + 4)), std::memory_order_relaxed);
                record.lastUsedDate = load32(data + 8);
                record.name = name;
                record.comment = comment;
                record.storedValues = storedValuesAt(data + dataLength, tail);
                blocks_.emplace(&record, Block{static_cast<uint32_t>(offset), blockSize});
                auto [at, fresh] =
                    byTrack.try_emplace(TrackKey{record.name, record.fileSize}, &record);
                if (!fresh) {
                    const auto older = blocks_.find(at->second);
                    staleBlocks.push_back(older->second);
                    blocks_.erase(older);
                    stale.insert(at->second);
                    at->second = &record;
                }
                offset += blockSize;
            }
        } catch (const std::bad_alloc&) {
            return ReadResult::NoMemory;
        }
    }();

    // (The keys view the names of the records about to go.)
    byTrack.clear();
    if (!stale.empty())
        records.remove_if([&](const TrackRecord& r) { return stale.count(&r) != 0; });
    return result;
}

namespace {

// A record block found in a damaged file, and whether it follows the rules the program
// itself writes by: a name without folder or control characters, the comment's zero the
// data's last byte, no padding beyond what a reused free block leaves.
struct FoundBlock {
    uint32_t blockSize = 0;
    uint32_t dataLength = 0;
    bool strict = false;
};

bool recordBlockAt(const std::vector<unsigned char>& file, uint64_t offset, FoundBlock& found) {
    if (offset + DatabaseFile::kHeaderSize > file.size()) return false;
    const unsigned char* p = file.data() + offset;
    found.blockSize = load32(p);
    found.dataLength = load32(p + 4);
    const int64_t dataLength = asSigned(found.dataLength);
    if (dataLength < kMinDataLength || asSigned(found.blockSize) < dataLength + 12) return false;
    const uint64_t dataStart = offset + DatabaseFile::kHeaderSize;
    if (static_cast<uint64_t>(dataLength) > file.size() - dataStart) return false;

    const unsigned char* data = p + DatabaseFile::kHeaderSize;
    const auto* nameEnd = static_cast<const unsigned char*>(
        std::memchr(data + DatabaseFile::kFixedDataSize, 0,
                    static_cast<size_t>(dataLength) - DatabaseFile::kFixedDataSize));
    found.strict = false;
    if (nameEnd == nullptr || nameEnd == data + DatabaseFile::kFixedDataSize) return true;
    for (const unsigned char* c = data + DatabaseFile::kFixedDataSize; c < nameEnd; ++c)
        if (*c < 0x20 || *c == '/') return true;
    const unsigned char* last = data + dataLength - 1;
    const auto* commentEnd = static_cast<const unsigned char*>(
        std::memchr(nameEnd + 1, 0, static_cast<size_t>(last - nameEnd)));
    const uint64_t written = (static_cast<uint64_t>(dataLength) + DatabaseFile::kHeaderSize +
                              DatabaseFile::kStoredValuesSize + 7) &
                             ~uint64_t{7};
    found.strict = commentEnd == last && found.blockSize < written + DatabaseFile::kHeaderSize;
    return true;
}

}  // namespace

DatabaseFile::ReadResult DatabaseFile::salvage(std::forward_list<TrackRecord>& records,
                                               std::vector<std::vector<unsigned char>>& blocks) {
    uint64_t size = 0;
    if (!currentSize(size)) return ReadResult::IoError;
    // Offsets must fit the 32-bit fileOffset: nothing past that can be a block.
    size = std::min<uint64_t>(size, kNeverWritten);
    std::vector<unsigned char> file;
    try {
        file.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return ReadResult::NoMemory;
    }
    size_t got = 0;
    if (!readAt(0, file.data(), file.size(), got)) return ReadResult::IoError;
    file.resize(got);

    // Along the chain while it holds; from a place where it breaks, byte by byte until a
    // block that the program itself could have written, and along the chain from there.
    struct Found {
        uint64_t offset;
        FoundBlock block;
    };
    std::vector<Found> found;
    uint64_t offset = 0;
    bool chain = true;
    while (offset + kHeaderSize <= file.size()) {
        FoundBlock block;
        const bool isFree = load32(file.data() + offset + 4) == 0;
        if (chain && isFree && load32(file.data() + offset) >= kHeaderSize &&
            offset + load32(file.data() + offset) <= file.size()) {
            offset += load32(file.data() + offset);
            continue;
        }
        if (!isFree && recordBlockAt(file, offset, block) && (chain || block.strict)) {
            found.push_back({offset, block});
            const uint64_t next = offset + block.blockSize;
            // A block that claims to run past the end is followed by a search, not a jump.
            chain = next <= file.size();
            offset = chain ? next : offset + kHeaderSize + block.dataLength;
            continue;
        }
        chain = false;
        ++offset;
    }

    // One block per track: the later one in the file.
    std::unordered_map<std::string, size_t> latest;
    std::deque<TrackRecord> parsed;  // records cannot move: built in place
    std::vector<bool> keep(found.size(), true);
    try {
        for (size_t i = 0; i < found.size(); ++i) {
            const unsigned char* p = file.data() + found[i].offset;
            const FoundBlock& b = found[i].block;
            const unsigned char* data = p + kHeaderSize;
            TrackRecord& record = parsed.emplace_back();
            record.fileSize = load32(data);
            record.bpm.store(std::bit_cast<float>(load32(data + 4)), std::memory_order_relaxed);
            record.lastUsedDate = load32(data + 8);
            record.name = std::string(zeroTerminated(data, b.dataLength, kFixedDataSize));
            record.comment = std::string(
                zeroTerminated(data, b.dataLength, kFixedDataSize + record.name.size() + 1));
            const uint64_t tailStart = found[i].offset + kHeaderSize + b.dataLength;
            const uint64_t tail =
                std::min<uint64_t>({uint64_t{b.blockSize} - b.dataLength - kHeaderSize,
                                    file.size() - tailStart, kStoredValuesSize});
            record.storedValues = storedValuesAt(file.data() + tailStart, tail);
            auto [at, fresh] = latest.try_emplace(trackKey(record.name, record.fileSize), i);
            if (!fresh) {
                keep[at->second] = false;
                at->second = i;
            }
        }
        for (size_t i = 0; i < parsed.size(); ++i) {
            if (!keep[i]) continue;
            std::vector<unsigned char> block = encodeRecord(parsed[i]);
            if (block.empty()) continue;
            blocks.push_back(std::move(block));
            TrackRecord& record = records.emplace_front();
            record.fileSize = parsed[i].fileSize;
            record.bpm.store(parsed[i].currentBpm(), std::memory_order_relaxed);
            record.lastUsedDate = parsed[i].lastUsedDate;
            record.name = parsed[i].name;
            record.comment = parsed[i].comment;
            record.storedValues = parsed[i].storedValues;
        }
    } catch (const std::bad_alloc&) {
        return ReadResult::NoMemory;
    }
    return ReadResult::Ok;
}

bool DatabaseFile::replaceDamaged(const std::string& path, const std::string& asidePath,
                                  const std::vector<std::vector<unsigned char>>& blocks) {
    const std::string temp = path + "rebuilt-" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    bool ok = true;
    for (const std::vector<unsigned char>& block : blocks)
        ok = ok && writeAll(fd, {reinterpret_cast<const char*>(block.data()), block.size()});
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    // The damaged file gets its second name before the new one takes the first, so that a
    // crash in between leaves it in place (and it is set aside again at the next start).
    ok = ok && ::link(path.c_str(), asidePath.c_str()) == 0;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::vector<unsigned char> DatabaseFile::encodeRecord(const TrackRecord& record) {
    const std::string_view name = upToZero(record.name);
    const std::string_view comment = upToZero(*trackComment(&record));
    const uint64_t dataLength = kFixedDataSize + name.size() + 1 + comment.size() + 1;
    // Content (header, data, values) rounded up to a multiple of 8.
    const uint64_t blockSize = (dataLength + kHeaderSize + kStoredValuesSize + 7) & ~uint64_t{7};
    // (Never below the header and values: said so the compiler sees the block is not empty.)
    if (blockSize < kHeaderSize + kStoredValuesSize ||
        blockSize > static_cast<uint64_t>(kMaxBlockSize))
        return {};

    std::vector<unsigned char> block(blockSize, 0);
    unsigned char* p = block.data();
    store32(p, static_cast<uint32_t>(blockSize));
    store32(p + 4, static_cast<uint32_t>(dataLength));
    store32(p + 8, record.fileSize);
    store32(p + 12, std::bit_cast<uint32_t>(record.currentBpm()));
    store32(p + 16, record.lastUsedDate);
    std::memcpy(p + 20, name.data(), name.size());
    std::memcpy(p + 20 + name.size() + 1, comment.data(), comment.size());

    const TrackAnalysis::StoredWords values =
        record.analysis ? record.analysis->storedWords() : record.storedValues;
    unsigned char* stored = p + kHeaderSize + dataLength;
    for (size_t i = 0; i < values.size(); ++i) store32(stored + 4 * i, values[i]);
    return block;
}

uint64_t DatabaseFile::mergedFreeSize(uint64_t next, uint64_t size) const {
    for (auto it = free_.find(next); it != free_.end(); it = free_.find(next)) {
        // The merged size has to fit in one header; what does not fit stays a block of its own.
        if (size + it->second > std::numeric_limits<uint32_t>::max()) break;
        size += it->second;
        next += it->second;
    }
    return size;
}

void DatabaseFile::takeFreeBlocks(uint64_t from, uint64_t to) {
    free_.erase(free_.lower_bound(from), free_.lower_bound(to));
}

void DatabaseFile::zeroFill(uint64_t from, uint64_t to) {
    // Bytes past the end of the file do not exist; writing them would only grow the file.
    to = std::min(to, end_);
    static const unsigned char zeros[4096] = {};
    while (from < to) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(to - from, sizeof zeros));
        if (!writeAt(from, zeros, chunk)) return;
        from += chunk;
    }
}

bool DatabaseFile::freeStretch(uint64_t offset, uint64_t size) {
    const uint64_t merged = mergedFreeSize(offset + size, size);
    if (!writeHeader(offset, static_cast<uint32_t>(merged), 0)) return false;
    takeFreeBlocks(offset, offset + merged);
    free_.emplace(offset, static_cast<uint32_t>(merged));
    zeroFill(offset + kHeaderSize, offset + merged);
    return true;
}

DatabaseFile::Placed DatabaseFile::placeBlock(uint64_t offset, uint64_t room,
                                              const std::vector<unsigned char>& block,
                                              uint32_t& placedSize) {
    const uint64_t size = block.size();
    unsigned char header[kHeaderSize];
    std::memcpy(header, block.data(), sizeof header);

    uint64_t leftover = room - size;
    if (leftover != 0 && leftover < kHeaderSize) {
        // Too small to be a free block of its own: it stays with the record as padding.
        store32(header, static_cast<uint32_t>(room));
        leftover = 0;
    }
    // Everything below lies inside the space the header at `offset` still covers, so the
    // chain stays as it was until that header is rewritten last, once the rest is durable.
    if (leftover != 0) {
        leftover = mergedFreeSize(offset + room, leftover);
        if (!writeHeader(offset + size, static_cast<uint32_t>(leftover), 0)) return Placed::No;
    }
    if (!writeAt(offset + kHeaderSize, block.data() + kHeaderSize, block.size() - kHeaderSize))
        return Placed::No;
    if (!sync()) return Placed::No;
    if (!writeAt(offset, header, sizeof header)) return Placed::No;
    // The chain has changed: so does the map, whatever the sync says.
    takeFreeBlocks(offset, offset + size + leftover);
    if (leftover != 0) free_.emplace(offset + size, static_cast<uint32_t>(leftover));
    placedSize = load32(header);
    if (!sync()) return Placed::NotDurably;
    // The headers the leftover swallowed are cleared only now: until the new header was
    // durable, the old chain still went through them.
    if (leftover != 0) zeroFill(offset + size + kHeaderSize, offset + size + leftover);
    return Placed::Durably;
}

bool DatabaseFile::append(const std::vector<unsigned char>& block) {
    // First as a free block: should the write be cut short, the chain ends in a free block
    // running past the end of the file, which the next reading cuts off.
    std::vector<unsigned char> asFree = block;
    store32(asFree.data() + 4, 0);
    const bool ok = writeAt(end_, asFree.data(), asFree.size()) && sync() &&
                    writeAt(end_, block.data(), kHeaderSize) && sync();
    // Cut off whatever part of the block reached the file, so the chain ends as before.
    if (!ok) {
        cutAt(end_);
        return false;
    }
    end_ += block.size();
    return true;
}

DatabaseFile::Placed DatabaseFile::placeFirstFit(const std::vector<unsigned char>& block,
                                                 uint64_t from, Block& placed) {
    const uint64_t size = block.size();
    for (auto it = free_.lower_bound(from); it != free_.end() && it->first < kNeverWritten; ++it) {
        if (asSigned(it->second) < static_cast<int64_t>(size)) continue;
        const uint64_t offset = it->first;
        uint32_t placedSize = 0;
        const Placed result = placeBlock(offset, it->second, block, placedSize);
        if (result != Placed::No) placed = {static_cast<uint32_t>(offset), placedSize};
        return result;
    }
    if (end_ + size > kNeverWritten) return Placed::No;
    placed = {static_cast<uint32_t>(end_), static_cast<uint32_t>(size)};
    return append(block) ? Placed::Durably : Placed::No;
}

bool DatabaseFile::writeBlock(const TrackRecord* record, const std::vector<unsigned char>& block) {
    if (readOnly_ || !mapped_ || block.size() < kHeaderSize + kStoredValuesSize) return false;
    // The new version goes after the old one, so that the later of two versions in the
    // file is always the newer.
    const auto old = blocks_.find(record);
    const bool hasOld = old != blocks_.end();
    const uint64_t from = hasOld ? uint64_t{old->second.offset} + old->second.size : 0;
    Block placed;
    const Placed result = placeFirstFit(block, from, placed);
    if (result == Placed::No) return false;
    // Only once the new version is durable is the old one given up. Should freeing it
    // fail, or the new version not be known durable, both stay and reading keeps the
    // later; the record's block is the new one either way.
    if (hasOld) {
        if (result == Placed::Durably) freeStretch(old->second.offset, old->second.size);
        old->second = placed;
    } else {
        blocks_.emplace(record, placed);
    }
    return result == Placed::Durably;
}

uint32_t DatabaseFile::offsetOf(const TrackRecord& record) const {
    const auto found = blocks_.find(&record);
    return found == blocks_.end() ? kNeverWritten : found->second.offset;
}

}  // namespace spinlorex
