#include "audio/DeckStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/AudioFormat.h"
#include "audio/PitchRender.h"
#include "library/TrackDatabase.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

int32_t renderSpanFor(int32_t pitch) { return std::max(3600, pitch * kRenderFrames / 4096) + 2246; }

// The render scratch holds one source span at the highest pitch the deck takes, and the
// frames before it that varispeed reads.
const int32_t kScratchFrames = kVarispeedHistory + renderSpanFor(DeckStream::kHighestPitch);

// (a - b) mod m, in 0..m-1.
int32_t wrapDiff(int32_t a, int32_t b, int32_t m) {
    const int32_t d = (a - b) % m;
    return d < 0 ? d + m : d;
}

void copyFrames(int16_t* to, const int16_t* from, int32_t frames) {
    std::memcpy(to, from, static_cast<size_t>(frames) * kBytesPerFrame);
}

}  // namespace

DeckStream::DeckStream(int deckIndex, TrackDatabase& database, DeskControl& desk,
                       DeskNotifier& notifier, Readers readers)
    : deckIndex_(deckIndex),
      database_(database),
      desk_(desk),
      notifier_(notifier),
      readers_(std::move(readers)),
      analyser_(timeline_),
      outputRing_(new int16_t[(kOutputFrames + kOverflowFrames) * 2]()),
      decodedRing_(new int16_t[kDecodedFrames * 2]()),
      tailBuffer_(new int16_t[kCrossfadeFrames * 2]()),
      scratch_(new int16_t[static_cast<size_t>(kScratchFrames) * 2]()) {
    timeline_.unfilledFrames.store(kDecodedFrames, relaxed);
}

DeckStream::~DeckStream() = default;

// ---------------------------------------------------------------------------------------
// Requests

void DeckStream::issue(Request code, int32_t intArg, float floatArg) {
    std::lock_guard serial(requestSerial_);
    requestInt_.store(intArg, relaxed);
    requestFloat_.store(floatArg, relaxed);
    if (servedInline_.load(std::memory_order_acquire)) {
        // No sound thread runs: the caller is the only one at the deck's buffers.
        serveRequest(code);
        return;
    }
    // Release: the arguments (and anything the caller prepared) are visible to the sound
    // thread once it sees the code.
    request_.store(code, std::memory_order_release);
    if (std::binary_semaphore* wake = wake_.load(relaxed)) wake->release();
    requestDone_.acquire();
}

bool DeckStream::serviceDeck() {
    const int32_t code = request_.load(std::memory_order_acquire);
    if (code != kNoRequest) {
        serveRequest(code);
        request_.store(kNoRequest, relaxed);
        requestDone_.release();
        return true;
    }
    if (closed_) return false;
    return renderPass() || decodeAhead();
}

void DeckStream::serveRequest(int32_t code) {
    switch (code) {
        case kOpenAt:
            closed_ = false;
            seekTo(requestFloat_.load(relaxed));
            break;
        case kClose:
            closed_ = true;
            timeline_.decoding.store(false, relaxed);
            [[fallthrough]];
        case kPause:
            if (playing_.load(relaxed)) {
                if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
                playing_.store(false, relaxed);
            }
            break;
        case kPlay:
            if (!playing_.load(relaxed)) {
                if (OutputDevice* out = output()) out->deckStarted(deckIndex_);
                playing_.store(true, relaxed);
            }
            break;
        case kSeek:
            seekTo(requestFloat_.load(relaxed));
            break;
        case kShift:
            if (!closed_) shiftNow(requestInt_.load(relaxed));
            break;
        case kNudge:
            if (!closed_) nudgeNow(requestInt_.load(relaxed));
            break;
        case kSetPitch: {
            const int32_t p = requestInt_.load(relaxed);
            pitch_.store(p, relaxed);
            renderSpan_ = renderSpanFor(p);
            if (!closed_) rerender();
            break;
        }
        case kSetDsp:
            dsp_ = pendingDsp_.load(relaxed);
            if (!closed_) rerender();
            break;
        case kRefresh:
            if (!closed_) rerender();
            break;
        case kAdoptMeasures:
            if (TrackAnalysis* a = analyser_.analysis()) {
                spinlorex::adoptMeasures(*a, *pendingMeasures_.load(relaxed));
                analyser_.setAnalysis(a);  // its copy of the peak level follows
            }
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------
// Caller-thread operations

bool DeckStream::loadTrack(const TrackEntry& entry) {
    issue(kClose);
    if (track_) {
        if (track_->record != nullptr) database_.releaseAnalysis(track_->record);
        track_.reset();
    }
    if (reader_ != nullptr) reader_->close();

    track_ = entry;
    tempoKnownAtLoad_ = false;
    analyser_.resetForTrack();
    mixedOut_.store(false, relaxed);
    awaitingStart_.store(true, relaxed);

    reader_ = readers_.forPath(entry.path);
    const int32_t seconds = reader_ != nullptr ? reader_->open(entry.path) : 0;
    if (seconds <= 0) {
        desk_.setDeckStatus(deckIndex_, kStatusCannotOpen);
        duration_.store(-1, relaxed);
        position_.store(-1.0f, relaxed);
        return false;
    }
    duration_.store(seconds, relaxed);
    trackFrames_ = std::max<int64_t>(reader_->totalFrames(), 1);

    if (track_->record == nullptr || track_->record->fileSize == 0)
        track_->record = database_.findOrAdd(entry.path, reader_->fileSize());
    TrackAnalysis* analysis = database_.acquireAnalysis(track_->record);
    analyser_.setAnalysis(analysis);
    tempoKnownAtLoad_ = analysis->bpmConfidence.load(relaxed) != 0;

    const float cue = analysis->cuePoint.load(relaxed);
    float start = cue;
    cueCycle_.store(cue != 0.0f ? 1 : 2, relaxed);
    const float firstBeat = analysis->firstStrongBeat.load(relaxed);
    if (get(settings().autoMix) != 0 && start < firstBeat) {
        cueCycle_.store(0, relaxed);
        start = firstBeat;
    }
    // A point in the second half (or nonsense from a damaged record) starts at the top.
    if (!(start >= 0.0f && start < 0.5f)) start = 0.0f;
    position_.store(start, relaxed);

    applyAutomaticMatching(true);

    // Cleared before the open: a decode error met while opening (or right after, on the
    // sound thread) must stay visible.
    desk_.setDeckStatus(deckIndex_, kStatusNormal);
    issue(kOpenAt, 0, start);
    return true;
}

void DeckStream::play() {
    if (position() >= 0.0f) issue(kPlay);
    awaitingStart_.store(false, relaxed);
}

void DeckStream::pause() {
    if (position() >= 0.0f) issue(kPause);
}

float DeckStream::cuePoint() const {
    const TrackAnalysis* a = analysis();
    return a != nullptr ? a->cuePoint.load(relaxed) : 0.0f;
}

float DeckStream::firstStrongBeat() const {
    const TrackAnalysis* a = analysis();
    return a != nullptr ? a->firstStrongBeat.load(relaxed) : 0.0f;
}

void DeckStream::cycleCue() {
    if (duration() < 0) return;
    if (playing()) {
        issue(kPause);
        cueCycle_.store(0, relaxed);
    }
    float target = 0.0f;
    switch (cueCycle()) {
        case 0:
            target = cuePoint();
            cueCycle_.store(target == 0.0f ? 2 : 1, relaxed);
            break;
        case 1:
            target = 0.0f;
            cueCycle_.store(2, relaxed);
            break;
        default:
            target = firstStrongBeat();
            cueCycle_.store(0, relaxed);
            break;
    }
    issue(kSeek, 0, target);
}

void DeckStream::storeCue() {
    const float heard = position();
    if (heard < 0.0f) return;
    if (TrackAnalysis* a = analysis()) a->cuePoint.store(heard, relaxed);
}

void DeckStream::goToCue() {
    if (duration() >= 0) issue(kSeek, 0, cuePoint());
}

void DeckStream::seekAndPlay(float position) {
    if (duration() < 0) return;
    issue(kSeek, 0, position);
    // A seek that left no position (the end of the track, or a block that would not
    // decode) stopped the deck: starting it then would play the emptied ring's silence.
    if (!playing() && this->position() >= 0.0f) issue(kPlay);
    awaitingStart_.store(false, relaxed);
}

void DeckStream::finish() { issue(kSeek, 0, 1.0f); }

void DeckStream::setPitch(int32_t pitch) {
    pitch = std::clamp(pitch, kLowestPitch, kHighestPitch);
    if (pitch != this->pitch()) issue(kSetPitch, pitch);
}

void DeckStream::setLevel(int32_t level) {
    level = std::clamp(level, 0, kFullLevel);
    if (level == this->level()) return;
    if (OutputDevice* out = output()) out->applyDeckLevel(deckIndex_, level);
    level_.store(level, relaxed);
}

void DeckStream::shift(int32_t frames) {
    if (position() >= 0.0f) issue(kShift, frames);
}

void DeckStream::nudge(int32_t frames) {
    if (position() >= 0.0f) issue(kNudge, frames);
}

void DeckStream::setDspPlugin(std::unique_ptr<DspHook> plugin) {
    if (plugin.get() == ownedDsp_.get()) return;
    pendingDsp_.store(plugin.get(), relaxed);
    issue(kSetDsp);
    // The sound thread has switched: the old effect is no longer called.
    std::unique_ptr<DspHook> previous = std::move(ownedDsp_);
    ownedDsp_ = std::move(plugin);
    previous.reset();
}

void DeckStream::refresh() {
    if (position() >= 0.0f) issue(kRefresh);
}

double DeckStream::effectiveBpm() const {
    if (!track_ || track_->record == nullptr) return 0.0;
    const double bpm = track_->record->currentBpm();
    if (bpm < 1.0 || bpm > 999.0) return bpm;
    return bpm * pitch() / 4096.0;
}

int32_t DeckStream::effectiveLoudness() const {
    const TrackAnalysis* a = analysis();
    if (!track_ || a == nullptr) return 0;
    return a->loudnessPeak.load(relaxed) * level();
}

bool DeckStream::matchPitchToOtherDeck() {
    if (!track_ || track_->record == nullptr || other_ == nullptr) return false;
    const double other = other_->effectiveBpm();
    const double own = track_->record->currentBpm();
    if (!(other >= 1.0 && other <= 999.0 && own >= 1.0 && own <= 999.0)) return false;
    double ratio = other / own;
    while (ratio > 1.5) ratio *= 0.5;
    while (ratio < 0.75) ratio *= 2.0;
    const auto candidate = static_cast<int32_t>(ratio * 4096.0);
    if (candidate < desk_.pitchMin() || candidate > desk_.pitchMax()) return false;
    desk_.setDeckPitch(deckIndex_, candidate);
    return true;
}

void DeckStream::applyAutomaticMatching(bool atLoad) {
    const bool autoPitch = get(settings().autoBpm) != 0;
    if ((autoPitch || atLoad) && !(autoPitch && matchPitchToOtherDeck()))
        desk_.setDeckPitch(deckIndex_, kNormalPitch);
    if (get(settings().autoLevel) != 0 && !matchLevelToOtherDeck())
        desk_.setDeckLevel(deckIndex_, kFullLevel);
}

void DeckStream::adoptMeasures(const TrackMeasures& measures) {
    if (analysis() == nullptr) return;
    pendingMeasures_.store(&measures, relaxed);
    issue(kAdoptMeasures);
}

bool DeckStream::matchLevelToOtherDeck() {
    if (!track_ || other_ == nullptr) return false;
    const int32_t reference = other_->effectiveLoudness();
    if (reference == 0) return false;
    const TrackAnalysis* a = analysis();
    const int32_t own = a != nullptr ? a->loudnessPeak.load(relaxed) : 0;
    if (own == 0) return false;
    const int32_t level = reference / own;
    desk_.setDeckLevel(deckIndex_, level < 0 ? 0 : std::min(level, kFullLevel));
    return true;
}

// ---------------------------------------------------------------------------------------
// Sound thread: decoding

bool DeckStream::decodeAhead() {
    int32_t free = timeline_.keepFrom.load(relaxed) - timeline_.decodeWrite.load(relaxed);
    if (free < 1) free += kDecodedFrames;
    if (free < kMinFreeBlocksToDecode * kBlockFrames) return false;

    int16_t* block = &decodedRing_[static_cast<size_t>(timeline_.decodeWrite.load(relaxed)) * 2];
    if (timeline_.decoding.load(relaxed)) {
        timeline_.blockPositions[blockCursor_] = reader_->position();
        const int32_t result = reader_->decodeBlock(block);
        if (result == TrackReader::kError) desk_.setDeckStatus(deckIndex_, kStatusDecodeError);
        if (result <= 0) {
            timeline_.decoding.store(false, relaxed);
            return false;
        }
    } else {
        timeline_.blockPositions[blockCursor_] = -1.0f;
        std::memset(block, 0, kBlockFrames * kBytesPerFrame);
    }
    analyser_.feedBlock(block);
    advanceDecodeWrite();
    const int32_t unfilled = timeline_.unfilledFrames.load(relaxed);
    if (unfilled > 0) timeline_.unfilledFrames.store(unfilled - kBlockFrames, relaxed);
    return true;
}

void DeckStream::advanceDecodeWrite() {
    int32_t write = timeline_.decodeWrite.load(relaxed) + kBlockFrames;
    ++blockCursor_;
    if (write >= kDecodedFrames) {
        write = 0;
        blockCursor_ = 0;
    }
    timeline_.decodeWrite.store(write, relaxed);
}

void DeckStream::zeroDecodedRing(float blockPosition) {
    std::memset(decodedRing_.get(), 0, static_cast<size_t>(kDecodedFrames) * kBytesPerFrame);
    timeline_.blockPositions.fill(blockPosition);
}

void DeckStream::seekTo(float fraction) {
    // Nothing lies before the start: a damaged cue point must not seek there.
    if (!(fraction > 0.0f)) fraction = 0.0f;
    if (fraction >= 1.0f) {
        position_.store(-1.0f, relaxed);
        timeline_.decoding.store(false, relaxed);
        if (playing_.load(relaxed)) {
            if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
        }
        playing_.store(false, relaxed);
        return;
    }
    if (reader_ == nullptr) return;
    zeroDecodedRing(0.0f);
    const int32_t write = timeline_.decodeWrite.load(relaxed);
    if (fraction == 0.0f) {
        reader_->seek(0.0f);
        position_.store(0.0f, relaxed);
        analyser_.resetSignal();
        timeline_.unfilledFrames.store(kDecodedFrames, relaxed);
        timeline_.keepFrom.store(write, relaxed);
        timeline_.decoding.store(true, relaxed);
        rerender();
        return;
    }

    reader_->seek(fraction);
    analyser_.resetSignal();
    timeline_.blockPositions[blockCursor_] = reader_->position();
    int16_t* block = &decodedRing_[static_cast<size_t>(write) * 2];
    const int32_t result = reader_->decodeBlock(block);
    if (result == TrackReader::kError) desk_.setDeckStatus(deckIndex_, kStatusDecodeError);
    if (result <= 0) {
        position_.store(-1.0f, relaxed);
        playing_.store(false, relaxed);
        timeline_.decoding.store(false, relaxed);
        if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
        return;
    }
    analyser_.feedBlock(block);
    advanceDecodeWrite();
    timeline_.unfilledFrames.store(kDecodedFrames - kBlockFrames, relaxed);
    // The reader stopped at the end of the block; the heard frame lies as many frames
    // before that end as the frame `fraction` designates lies before the reader's frame.
    const int64_t target =
        std::llround(static_cast<double>(fraction) * static_cast<double>(trackFrames_));
    const auto back =
        static_cast<int32_t>(std::clamp<int64_t>(reader_->nextFrame() - target, 0, kBlockFrames));
    int32_t keep = timeline_.decodeWrite.load(relaxed) - back;
    if (keep < 0) keep += kDecodedFrames;
    timeline_.keepFrom.store(keep, relaxed);
    position_.store(fraction, relaxed);
    timeline_.decoding.store(true, relaxed);
    rerender();
}

// ---------------------------------------------------------------------------------------
// Sound thread: rendering

void DeckStream::rerender() {
    int16_t* tail = tailBuffer_.get();
    if (playing_.load(relaxed)) {
        // Keep what is being heard as the tail, so master tempo fades from it.
        const int32_t first = std::min(kCrossfadeFrames, kOutputFrames - outputPlayIndex_);
        copyFrames(tail, &outputRing_[static_cast<size_t>(outputPlayIndex_) * 2], first);
        copyFrames(tail + first * 2, outputRing_.get(), kCrossfadeFrames - first);
    } else {
        std::memset(tail, 0, kCrossfadeFrames * kBytesPerFrame);
    }
    renderRead_ = timeline_.keepFrom.load(relaxed);
    outputWriteIndex_ = outputPlayIndex_;
    unwrittenFrames_ = kOutputFrames;
    dspInputFrames_ = 0;
    varispeedPhase_ = 0;
    tempoPhase_ = 0;
    renderPass();
    if (playing_.load(relaxed)) {
        if (OutputDevice* out = output()) out->resyncDeck(deckIndex_);
    }
}

bool DeckStream::renderPass() {
    // Room: keep a quarter of the ring free, more when an effect may lengthen the chunk.
    int32_t free = wrapDiff(outputPlayIndex_, outputWriteIndex_, kOutputFrames);
    if (free == 0) free = kOutputFrames;
    if (free <= kOutputKeepFree + (dsp_ != nullptr ? kRenderFrames : 0)) return false;

    // Source: renderSpan decoded frames ahead of the read point.
    while (wrapDiff(timeline_.decodeWrite.load(relaxed), renderRead_, kDecodedFrames) <
           renderSpan_) {
        if (!decodeAhead()) return false;
    }
    // Varispeed also reads a few frames before the read point: those the ring holds there.
    const int16_t* src = &decodedRing_[static_cast<size_t>(renderRead_) * 2];
    if (renderRead_ < kVarispeedHistory || renderRead_ + renderSpan_ > kDecodedFrames) {
        const int32_t from = wrapDiff(renderRead_, kVarispeedHistory, kDecodedFrames);
        const int32_t span = kVarispeedHistory + renderSpan_;
        const int32_t first = std::min(span, kDecodedFrames - from);
        copyFrames(scratch_.get(), &decodedRing_[static_cast<size_t>(from) * 2], first);
        copyFrames(scratch_.get() + first * 2, decodedRing_.get(), span - first);
        src = scratch_.get() + kVarispeedHistory * 2;
    }

    int16_t* out = &outputRing_[static_cast<size_t>(outputWriteIndex_) * 2];
    const int32_t pitch = pitch_.load(relaxed);
    int32_t count = 0;
    int32_t consumed = 0;
    if (get(settings().masterTempo) == 0) {
        consumed = renderVarispeed(src, out, kRenderFrames, pitch, varispeedPhase_);
        count = kRenderFrames;
    } else {
        const MasterTempoChunk chunk =
            renderMasterTempo(tailBuffer_.get(), src, out, pitch, tempoPhase_);
        count = chunk.frames;
        consumed = chunk.consumed;
    }

    if (dsp_ != nullptr) {
        dspInputFrames_ += count;
        // Every chunk goes through the effect: one skipped would be heard dry. An effect
        // being replaced is still safe to call here: its caller destroys it only after
        // this thread has served the switch, so after this pass.
        const int32_t returned = dsp_->modifySamples(out, count);
        // Never past the overflow space, whatever the effect claims.
        count = std::clamp(returned, 0, kOutputFrames + kOverflowFrames - outputWriteIndex_);
    }

    unwrittenFrames_ = std::max(0, unwrittenFrames_ - count);
    outputWriteIndex_ += count;
    if (outputWriteIndex_ >= kOutputFrames) {
        outputWriteIndex_ -= kOutputFrames;
        copyFrames(outputRing_.get(), &outputRing_[static_cast<size_t>(kOutputFrames) * 2],
                   outputWriteIndex_);
    }
    renderRead_ += consumed;
    if (renderRead_ >= kDecodedFrames) renderRead_ -= kDecodedFrames;
    return true;
}

// ---------------------------------------------------------------------------------------
// Sound thread: the heard position

void DeckStream::updateHeardPosition(int32_t newIndex) {
    int32_t lead = wrapDiff(outputWriteIndex_, newIndex, kOutputFrames);
    if (dsp_ != nullptr) {
        // The lead is in the effect's output frames; turn it back into source frames.
        const int32_t heard = wrapDiff(newIndex, outputPlayIndex_, kOutputFrames);
        const int32_t span = heard + lead;
        if (span >= 4) {
            lead =
                static_cast<int32_t>(static_cast<int64_t>(lead / 4) * dspInputFrames_ / (span / 4));
            dspInputFrames_ = lead;
        }
    }
    int32_t k = renderRead_ -
                static_cast<int32_t>((static_cast<int64_t>(pitch_.load(relaxed)) * lead) >> 12);
    while (k < 0) k += kDecodedFrames;
    outputPlayIndex_ = newIndex;
    if (k == timeline_.keepFrom.load(relaxed)) return;

    timeline_.keepFrom.store(k, relaxed);
    const float heard = static_cast<float>(timeline_.blockPositions[k / kBlockFrames] +
                                           (k % kBlockFrames) / static_cast<double>(trackFrames_));
    position_.store(heard, relaxed);
    if (heard < 0.0f) {
        stopAtEnd();
        return;
    }
    checkAutomaticStart(heard);
}

void DeckStream::stopAtEnd() {
    playing_.store(false, relaxed);
    if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
    cueCycle_.store(0, relaxed);
    notifier_.post(kMessageTrackEnded, deckIndex_);
}

void DeckStream::checkAutomaticStart(float heard) {
    if (get(settings().autoMix) == 0 || mixedOut() || !playing() || heard < 0.8f) return;
    if (other_ == nullptr || other_->playing()) return;
    const int32_t seconds = duration_.load(relaxed);
    if (seconds > 0) {
        const TrackAnalysis* a = analysis();
        const float lastBeat = a != nullptr ? a->lastStrongBeat.load(relaxed) : 0.0f;
        const double mixEnd =
            heard + (get(settings().longMix) + 32) * pitch() * 0.2 / 4096 / seconds;
        if (lastBeat > mixEnd) return;
    }
    notifier_.post(kMessageStartDeck, 1 - deckIndex_);
}

// ---------------------------------------------------------------------------------------
// Sound thread: moving the heard point

void DeckStream::moveBackward(int32_t frames, int32_t room, bool fillUnwritten) {
    frames = std::max(frames, -room);
    const int32_t from = wrapDiff(outputPlayIndex_ + frames, 0, kOutputFrames);
    outputPlayIndex_ = from;
    if (fillUnwritten && room + frames < unwrittenFrames_) {
        // Frames never written since the last restart would replay stale audio: silence.
        int32_t count = unwrittenFrames_ - (room + frames);
        int32_t at = from;
        while (count > 0) {
            const int32_t run = std::min(count, kOutputFrames - at);
            std::memset(&outputRing_[static_cast<size_t>(at) * 2], 0,
                        static_cast<size_t>(run) * kBytesPerFrame);
            count -= run;
            at = 0;
        }
    }
}

void DeckStream::moveForward(int32_t frames) {
    frames = std::min(frames, wrapDiff(outputWriteIndex_, outputPlayIndex_, kOutputFrames));
    outputPlayIndex_ = (outputPlayIndex_ + frames) % kOutputFrames;
}

void DeckStream::afterMove() {
    renderPass();
    if (playing_.load(relaxed)) {
        if (OutputDevice* out = output()) out->resyncDeck(deckIndex_);
    } else {
        updateHeardPosition(outputPlayIndex_);
    }
}

void DeckStream::shiftNow(int32_t frames) {
    if (frames < 0) {
        int32_t room = wrapDiff(outputPlayIndex_, outputWriteIndex_, kOutputFrames);
        if (room == 0) room = kOutputFrames;
        room -= 1;
        if (room < 1) return;
        moveBackward(frames, room, true);
    } else if (frames >= 1) {
        moveForward(frames);
    } else {
        return;
    }
    afterMove();
}

void DeckStream::nudgeNow(int32_t frames) {
    const int32_t before = outputPlayIndex_;
    if (frames < 0) {
        int32_t room = wrapDiff(outputPlayIndex_, outputWriteIndex_, kOutputFrames);
        if (room == 0) room = kOutputFrames;
        room -= unwrittenFrames_ + 1;
        if (room < 1) return;
        moveBackward(frames, room, false);
    } else if (frames >= 1) {
        moveForward(frames);
    }
    if (outputPlayIndex_ == before) return;
    renderPass();
    if (playing_.load(relaxed)) {
        if (OutputDevice* out = output()) out->resyncDeck(deckIndex_);
    } else {
        updateHeardPosition(outputPlayIndex_);
        if (OutputDevice* out = output()) out->preview(deckIndex_, outputPlayIndex_, kBlockFrames);
    }
}

}  // namespace spinlorex
