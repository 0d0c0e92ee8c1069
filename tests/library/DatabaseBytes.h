#pragma once

// Builds and inspects database files byte by byte, independently of the code under test.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace spinlorex::test {

using Bytes = std::vector<unsigned char>;

inline void put32(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

inline uint32_t get32(const Bytes& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes.at(at + i);
    return value;
}

inline Bytes freeBlock(uint32_t size) {
    Bytes block;
    put32(block, size);
    put32(block, 0);
    block.resize(size < 8 ? 8 : size, 0);  // a damaged size below 8 still gets its header
    return block;
}

// A record block; `blockSize` 0 means the size the program itself would write. The nine
// values are 1..9 unless given; only as many as fit in the block are kept.
inline Bytes recordBlock(const std::string& name, const std::string& comment, uint32_t fileSize = 1000,
                         uint32_t blockSize = 0, std::vector<uint32_t> values = {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
    const auto dataLength = static_cast<uint32_t>(12 + name.size() + 1 + comment.size() + 1);
    if (blockSize == 0) blockSize = (dataLength + 51) & ~7u;
    Bytes block;
    put32(block, blockSize);
    put32(block, dataLength);
    put32(block, fileSize);
    put32(block, 0x43000000);  // 128.0f
    put32(block, 20240101);
    block.insert(block.end(), name.begin(), name.end());
    block.push_back(0);
    block.insert(block.end(), comment.begin(), comment.end());
    block.push_back(0);
    for (uint32_t value : values) put32(block, value);
    block.resize(blockSize, 0);
    return block;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace spinlorex::test
