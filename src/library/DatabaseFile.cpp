#include "library/DatabaseFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

namespace spinlorex {
namespace {

constexpr uint64_t kNeverWritten = TrackRecord::kNeverWritten;
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
    const size_t size = zero ? static_cast<size_t>(static_cast<const char*>(zero) - start) : available;
    return {start, size};
}

int64_t asSigned(uint32_t value) { return static_cast<int32_t>(value); }

}  // namespace

std::unique_ptr<DatabaseFile> DatabaseFile::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        // Only a lock held by another process makes us a reader. A file system without
        // locks still gets a working database; the single-instance rule guards it then.
        if (locked == 0 || errno != EWOULDBLOCK) return std::unique_ptr<DatabaseFile>(new DatabaseFile(fd, false));
        ::close(fd);
    }
    // O_NONBLOCK so that a FIFO in the file's place cannot hang the start-up.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    return std::unique_ptr<DatabaseFile>(new DatabaseFile(fd, true));
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
        const ssize_t n = ::pwrite(fd_, bytes + done, allowed - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        done += static_cast<size_t>(n);
    }
    return allowed == length;
}

bool DatabaseFile::currentSize(uint64_t& size) const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || info.st_size < 0) return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

DatabaseFile::HeaderRead DatabaseFile::readHeader(uint64_t offset, Header& header) const {
    unsigned char bytes[kHeaderSize];
    size_t got = 0;
    if (!readAt(offset, bytes, sizeof bytes, got)) return HeaderRead::Failed;
    if (got == 0) return HeaderRead::End;
    if (got < sizeof bytes) return HeaderRead::Failed;  // cut short by the end of the file
    header.blockSize = load32(bytes);
    header.dataLength = load32(bytes + 4);
    return HeaderRead::Ok;
}

bool DatabaseFile::writeHeader(uint64_t offset, uint32_t blockSize, uint32_t dataLength) {
    unsigned char bytes[kHeaderSize];
    store32(bytes, blockSize);
    store32(bytes + 4, dataLength);
    return writeAt(offset, bytes, sizeof bytes);
}

DatabaseFile::ReadResult DatabaseFile::readRecords(std::forward_list<TrackRecord>& records) {
    uint64_t fileSize = 0;
    if (!currentSize(fileSize)) return ReadResult::IoError;

    uint64_t offset = 0;
    for (;;) {
        unsigned char header[kHeaderSize];
        size_t got = 0;
        if (!readAt(offset, header, sizeof header, got)) return ReadResult::IoError;
        if (got == 0) return ReadResult::Ok;
        if (got != sizeof header) return ReadResult::Corrupted;
        // A block must start where a 32-bit fileOffset can name it.
        if (offset >= kNeverWritten) return ReadResult::Corrupted;

        const uint32_t blockSize = load32(header);
        const uint32_t dataLength = load32(header + 4);
        if (dataLength == 0) {
            if (blockSize < kHeaderSize) return ReadResult::Corrupted;
            offset += blockSize;
            continue;
        }
        if (asSigned(dataLength) < kMinDataLength) return ReadResult::Corrupted;
        if (asSigned(blockSize) < asSigned(dataLength) + 12) return ReadResult::Corrupted;
        // Data that cannot be in the file is damage, not a reason to allocate.
        const uint64_t dataStart = offset + kHeaderSize;
        if (dataStart > fileSize || dataLength > fileSize - dataStart) return ReadResult::Corrupted;

        std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[dataLength]);
        if (!data) return ReadResult::NoMemory;
        if (!readAt(offset + kHeaderSize, data.get(), dataLength, got)) return ReadResult::IoError;
        if (got != dataLength) return ReadResult::Corrupted;

        const std::string_view name = zeroTerminated(data.get(), dataLength, kFixedDataSize);
        const std::string_view comment = zeroTerminated(data.get(), dataLength, kFixedDataSize + name.size() + 1);
        try {
            std::string ownName(name);
            std::string ownComment(comment);
            TrackRecord& record = records.emplace_front();
            record.fileOffset = static_cast<uint32_t>(offset);
            record.fileSize = load32(data.get());
            record.bpm.store(std::bit_cast<float>(load32(data.get() + 4)), std::memory_order_relaxed);
            record.lastUsedDate = load32(data.get() + 8);
            record.name = std::move(ownName);
            record.comment = std::move(ownComment);
        } catch (const std::bad_alloc&) {
            return ReadResult::NoMemory;
        }
        offset += blockSize;
    }
}

void DatabaseFile::readStoredAnalysis(const TrackRecord& record, TrackAnalysis& analysis) {
    if (readOnly_ || record.fileOffset == kNeverWritten) return;
    Header header;
    if (readHeader(record.fileOffset, header) != HeaderRead::Ok) return;
    const int64_t dataLength = asSigned(header.dataLength);
    const int64_t blockSize = asSigned(header.blockSize);
    if (dataLength < kMinDataLength || blockSize < dataLength + 12) return;

    const auto tail = static_cast<uint64_t>(blockSize - dataLength - kHeaderSize);
    unsigned char values[kStoredValuesSize];
    size_t got = 0;
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(tail, sizeof values));
    if (!readAt(record.fileOffset + kHeaderSize + static_cast<uint64_t>(dataLength), values, wanted, got)) return;
    for (size_t i = 0; i < got / 4; ++i) analysis.setStoredWord(static_cast<int>(i), load32(values + 4 * i));
}

std::vector<unsigned char> DatabaseFile::encodeRecord(const TrackRecord& record) {
    const std::string_view name = upToZero(record.name);
    const std::string_view comment = upToZero(*trackComment(&record));
    const uint64_t dataLength = kFixedDataSize + name.size() + 1 + comment.size() + 1;
    // Content (header, data, values) rounded up to a multiple of 8.
    const uint64_t blockSize = (dataLength + kHeaderSize + kStoredValuesSize + 7) & ~uint64_t{7};
    if (blockSize > static_cast<uint64_t>(kMaxBlockSize)) return {};

    std::vector<unsigned char> block(blockSize, 0);
    unsigned char* p = block.data();
    store32(p, static_cast<uint32_t>(blockSize));
    store32(p + 4, static_cast<uint32_t>(dataLength));
    store32(p + 8, record.fileSize);
    store32(p + 12, std::bit_cast<uint32_t>(record.currentBpm()));
    store32(p + 16, record.lastUsedDate);
    std::memcpy(p + 20, name.data(), name.size());
    std::memcpy(p + 20 + name.size() + 1, comment.data(), comment.size());

    const TrackAnalysis defaults;
    const TrackAnalysis& values = record.analysis ? *record.analysis : defaults;
    unsigned char* stored = p + kHeaderSize + dataLength;
    for (int i = 0; i < TrackAnalysis::kStoredValues; ++i) store32(stored + 4 * i, values.storedWord(i));
    return block;
}

bool DatabaseFile::mergeFollowingFree(uint64_t next, uint64_t& size) const {
    for (;;) {
        Header header;
        switch (readHeader(next, header)) {
            case HeaderRead::Failed: return false;
            case HeaderRead::End: return true;
            case HeaderRead::Ok: break;
        }
        if (header.dataLength != 0) return true;
        if (header.blockSize < kHeaderSize) return false;  // a chain that does not advance is damaged
        // The merged size has to fit in one header; what does not fit stays a block of its own.
        if (size + header.blockSize > std::numeric_limits<uint32_t>::max()) return true;
        size += header.blockSize;
        next += header.blockSize;
    }
}

void DatabaseFile::zeroFill(uint64_t from, uint64_t to) {
    // Bytes past the end of the file do not exist; writing them would only grow the file.
    uint64_t end = 0;
    if (!currentSize(end)) return;
    to = std::min(to, end);
    static const unsigned char zeros[4096] = {};
    while (from < to) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(to - from, sizeof zeros));
        if (!writeAt(from, zeros, chunk)) return;
        from += chunk;
    }
}

bool DatabaseFile::freeStretch(uint64_t offset, uint64_t size) {
    if (!mergeFollowingFree(offset + size, size)) return false;
    if (!writeHeader(offset, static_cast<uint32_t>(size), 0)) return false;
    zeroFill(offset + kHeaderSize, offset + size);
    return true;
}

bool DatabaseFile::placeBlock(uint64_t offset, uint64_t room, const std::vector<unsigned char>& block) {
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
    // chain stays as it was until that header is rewritten last.
    if (leftover != 0) {
        if (!mergeFollowingFree(offset + room, leftover)) return false;
        if (!writeHeader(offset + size, static_cast<uint32_t>(leftover), 0)) return false;
    }
    if (!writeAt(offset + kHeaderSize, block.data() + kHeaderSize, block.size() - kHeaderSize)) return false;
    if (!writeAt(offset, header, sizeof header)) return false;
    if (leftover != 0) zeroFill(offset + size + kHeaderSize, offset + size + leftover);
    return true;
}

bool DatabaseFile::placeFirstFit(const std::vector<unsigned char>& block, uint32_t& placedAt) {
    const uint64_t size = block.size();
    uint64_t offset = 0;
    for (;;) {
        Header header;
        const HeaderRead read = readHeader(offset, header);
        if (read == HeaderRead::Failed) return false;
        if (read == HeaderRead::End) break;
        if (header.blockSize < kHeaderSize) return false;  // a chain that does not advance is damaged
        if (header.dataLength == 0 && asSigned(header.blockSize) >= static_cast<int64_t>(size)) {
            if (offset >= kNeverWritten) return false;
            if (!placeBlock(offset, header.blockSize, block)) return false;
            placedAt = static_cast<uint32_t>(offset);
            return true;
        }
        offset += header.blockSize;
    }

    // The chain must end exactly at the end of the file: a last block that runs past it is
    // damage, and appending after it would leave a hole or an unreachable block.
    uint64_t end = 0;
    if (!currentSize(end) || offset != end) return false;
    if (end + size > kNeverWritten) return false;
    if (!writeAt(end, block.data(), block.size())) {
        // Cut off whatever part of the block reached the file, so the chain ends as before.
        while (::ftruncate(fd_, static_cast<off_t>(end)) != 0 && errno == EINTR) {
        }
        return false;
    }
    placedAt = static_cast<uint32_t>(end);
    return true;
}

bool DatabaseFile::writeRecord(TrackRecord& record) {
    if (readOnly_) return false;
    const std::vector<unsigned char> block = encodeRecord(record);
    if (block.empty()) return false;

    if (record.fileOffset != kNeverWritten) {
        Header old;
        if (readHeader(record.fileOffset, old) != HeaderRead::Ok) return false;
        if (old.blockSize < kHeaderSize || old.blockSize > kMaxBlockSize) return false;
        if (old.blockSize >= block.size()) return placeBlock(record.fileOffset, old.blockSize, block);
        if (!freeStretch(record.fileOffset, old.blockSize)) return false;
        // The old block is free from here on and may be reused by anything; if placing the
        // record fails below, it must not keep pointing there.
        record.fileOffset = TrackRecord::kNeverWritten;
    }
    uint32_t placedAt = 0;
    if (!placeFirstFit(block, placedAt)) return false;
    record.fileOffset = placedAt;
    return true;
}

}  // namespace spinlorex
