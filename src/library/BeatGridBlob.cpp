#include "library/BeatGridBlob.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace spinlorex {
namespace {

constexpr size_t kSectionBytes = 24;

void putDouble(std::vector<unsigned char>& out, double value) {
    const auto bits = std::bit_cast<uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8)
        out.push_back(static_cast<unsigned char>(bits >> shift));
}

double getDouble(const unsigned char* in) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | in[i];
    return std::bit_cast<double>(bits);
}

}  // namespace

std::vector<unsigned char> encodeGridSections(const std::vector<GridSection>& sections) {
    std::vector<unsigned char> blob;
    blob.reserve(sections.size() * kSectionBytes);
    for (const GridSection& section : sections) {
        putDouble(blob, section.start);
        putDouble(blob, section.firstBeat);
        putDouble(blob, section.beatLength);
    }
    return blob;
}

std::optional<std::vector<GridSection>> decodeGridSections(std::span<const unsigned char> blob) {
    if (blob.size() % kSectionBytes != 0) return std::nullopt;
    std::vector<GridSection> sections;
    sections.reserve(blob.size() / kSectionBytes);
    for (size_t at = 0; at < blob.size(); at += kSectionBytes) {
        const GridSection section{getDouble(&blob[at]), getDouble(&blob[at + 8]),
                                  getDouble(&blob[at + 16])};
        if (!std::isfinite(section.start) || !std::isfinite(section.firstBeat) ||
            !std::isfinite(section.beatLength) || section.beatLength <= 0.0)
            return std::nullopt;
        sections.push_back(section);
    }
    return sections;
}

}  // namespace spinlorex
