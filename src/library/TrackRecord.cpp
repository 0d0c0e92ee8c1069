#include "library/TrackRecord.h"

#include "library/ShownTempo.h"
#include "library/TrackNaming.h"
#include "library/TrackTags.h"

#include <bit>

namespace spinlorex {

uint32_t TrackAnalysis::storedWord(int index) const {
    constexpr auto relaxed = std::memory_order_relaxed;
    switch (index) {
        case 0:
            return static_cast<uint32_t>(reserved.load(relaxed));
        case 1:
            return std::bit_cast<uint32_t>(firstStrongBeat.load(relaxed));
        case 2:
            return std::bit_cast<uint32_t>(lastStrongBeat.load(relaxed));
        case 3:
            return std::bit_cast<uint32_t>(cuePoint.load(relaxed));
        case 4:
            return static_cast<uint32_t>(firstStrongBeatLevel.load(relaxed));
        case 5:
            return static_cast<uint32_t>(lastStrongBeatLevel.load(relaxed));
        case 6:
            return static_cast<uint32_t>(bpmConfidence.load(relaxed));
        case 7:
            return static_cast<uint32_t>(peakLevel.load(relaxed));
        case 8:
            return static_cast<uint32_t>(loudnessPeak.load(relaxed));
        default:
            return 0;
    }
}

void TrackAnalysis::setStoredWord(int index, uint32_t word) {
    constexpr auto relaxed = std::memory_order_relaxed;
    const auto asInt = static_cast<int32_t>(word);
    switch (index) {
        case 0:
            reserved.store(asInt, relaxed);
            break;
        case 1:
            firstStrongBeat.store(std::bit_cast<float>(word), relaxed);
            break;
        case 2:
            lastStrongBeat.store(std::bit_cast<float>(word), relaxed);
            break;
        case 3:
            cuePoint.store(std::bit_cast<float>(word), relaxed);
            break;
        case 4:
            firstStrongBeatLevel.store(asInt, relaxed);
            break;
        case 5:
            lastStrongBeatLevel.store(asInt, relaxed);
            break;
        case 6:
            bpmConfidence.store(asInt, relaxed);
            break;
        case 7:
            peakLevel.store(asInt, relaxed);
            break;
        case 8:
            loudnessPeak.store(asInt, relaxed);
            break;
        default:
            break;
    }
}

TrackAnalysis::StoredWords TrackAnalysis::storedWords() const {
    StoredWords words{};
    for (int i = 0; i < kStoredValues; ++i) words[static_cast<size_t>(i)] = storedWord(i);
    return words;
}

void TrackAnalysis::setStoredWords(const StoredWords& words) {
    for (int i = 0; i < kStoredValues; ++i) setStoredWord(i, words[static_cast<size_t>(i)]);
}

float TrackRecord::shownBpm() const {
    return shownTempo(currentBpm(), gridBpm.load(std::memory_order_relaxed));
}

void attachGrid(TrackRecord& record, std::shared_ptr<const BeatGrid> grid) {
    constexpr int kConfidenceWord = 6;  // bpmConfidence, in the stored order
    const int32_t confidence = record.analysis
                                   ? record.analysis->bpmConfidence.load(std::memory_order_relaxed)
                                   : static_cast<int32_t>(record.storedValues[kConfidenceWord]);
    const bool handSet = confidence == TrackAnalysis::kHandSetConfidence;
    record.gridBpm.store(grid && !handSet ? confidentGridBpm(*grid) : 0.0f,
                         std::memory_order_relaxed);
    record.grid = std::move(grid);
}

std::optional<MusicalKey> trackKeyOf(const TrackRecord* record, const TrackTags* tags) {
    if (record != nullptr && record->grid)
        if (const auto found = keyOfCode(record->grid->key)) return found;
    if (tags != nullptr) return parseKey(tags->key);
    return std::nullopt;
}

const std::string* trackComment(const TrackRecord* record) {
    if (record == nullptr) return nullptr;
    return record->commentOverride ? &*record->commentOverride : &record->comment;
}

std::string_view trackRecordName(std::string_view path) {
    const std::string_view name = fileNameOf(path);
    return name.substr(0, name.find('\0'));
}

}  // namespace spinlorex
