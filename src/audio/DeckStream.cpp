#include "audio/DeckStream.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"
#include "audio/AutomaticStart.h"
#include "audio/StudioStretch.h"
#include "library/TrackDatabase.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// A mark of the analysis (a fraction of the track), 0 without one.
float markOf(const TrackAnalysis* analysis, std::atomic<float> TrackAnalysis::*mark) {
    return analysis != nullptr ? (analysis->*mark).load(relaxed) : 0.0f;
}

}  // namespace

DeckStream::DeckStream(int deckIndex, TrackDatabase& database, DeskControl& desk,
                       DeskNotifier& notifier, Readers readers)
    : DeckState(deckIndex),
      database_(database),
      desk_(desk),
      notifier_(notifier),
      readers_(std::move(readers)),
      decoder_(deckIndex, desk),
      renderer_(decoder_, kHighestPitch) {}

DeckStream::~DeckStream() = default;

// ---------------------------------------------------------------------------------------
// Requests

void DeckStream::issue(DeckRequest::Code code, int32_t intArg, float floatArg) {
    requests_.issue({code, intArg, floatArg});
}

bool DeckStream::serviceDeck() {
    if (requests_.serveWaiting()) return true;
    if (closed_) return false;
    if (jog_.active()) return jogPass();
    const double turns = wheel();
    if (turns != seenTurns_) {
        // A playing deck's wheel turned: a nudge.
        if (playing_.load(relaxed) && position_.load(relaxed) >= 0.0f) {
            enterJog(DeckJog::Mode::Bend);
            if (jog_.active()) return jogPass();
        }
        seenTurns_ = turns;
    }
    return renderPass() || decoder_.decodeAhead();
}

void DeckStream::serveRequest(const DeckRequest& request) {
    switch (request.code) {
        case DeckRequest::kOpenAt:
            dropJog();
            decoder_.history().clear();
            closed_ = false;
            decoder_.forgetLoop();
            seekTo(request.floatArg);
            break;
        case DeckRequest::kClose:
            dropJog();
            closed_ = true;
            decoder_.stopDecoding();
            decoder_.forgetLoop();
            publishLoop();
            [[fallthrough]];
        case DeckRequest::kPause:
            if (jog_.mode() == DeckJog::Mode::Bend) leaveJog();
            if (playing_.load(relaxed)) {
                // Under the hand the deck stays heard; the release decides.
                if (OutputDevice* out = output(); out != nullptr && !jog_.active())
                    out->deckStopped(deckIndex_);
                playing_.store(false, relaxed);
            }
            break;
        case DeckRequest::kPlay:
            if (!playing_.load(relaxed)) {
                if (OutputDevice* out = output(); out != nullptr && !jog_.active())
                    out->deckStarted(deckIndex_);
                playing_.store(true, relaxed);
            }
            break;
        case DeckRequest::kTouchWheel:
            if (closed_) break;
            if (request.intArg != 0) {
                enterJog(DeckJog::Mode::Scratch);
            } else if (jog_.mode() == DeckJog::Mode::Scratch) {
                // A playing deck runs up to its tempo on the way back (inside a loop at
                // once, so that the loop goes on wrapping).
                if (playing_.load(relaxed) && !decoder_.looping())
                    enterJog(DeckJog::Mode::Bend);
                else
                    leaveJog();
            }
            break;
        case DeckRequest::kMoveFinely:
            if (!closed_ && !jog_.active()) {
                const int64_t heard = decoder_.heardFrame();
                const int64_t last = trackFrames_.load(relaxed) - 1;
                if (heard >= 0) seekToFrameNow(std::clamp<int64_t>(heard + request.frame, 0, last));
            }
            break;
        case DeckRequest::kSeek:
            dropJog();
            seekTo(request.floatArg);
            break;
        case DeckRequest::kSeekFrame:
            dropJog();
            if (!closed_) seekToFrameNow(request.frame);
            break;
        case DeckRequest::kSetLoop:
            leaveJog();
            if (!closed_)
                loopNow({request.frame, request.length}, static_cast<LoopEntry>(request.intArg));
            break;
        case DeckRequest::kEndLoop:
            leaveJog();
            if (!closed_ && decoder_.looping()) {
                const int64_t heard = decoder_.heardFrame();
                if (heard >= 0 && decoder_.endLoop(heard))
                    moved(heard);
                else
                    stopNoPosition();
            }
            break;
        case DeckRequest::kShift:
            leaveJog();
            if (!closed_ && renderer_.shift(request.intArg)) afterMove(false);
            break;
        case DeckRequest::kNudge:
            leaveJog();
            if (!closed_ && renderer_.nudge(request.intArg)) afterMove(true);
            break;
        case DeckRequest::kSetPitch:
            pitch_.store(request.intArg, relaxed);
            renderer_.setPitch(renderPitch());
            if (jog_.mode() == DeckJog::Mode::Bend) jog_.setBaseRate(ownRate());
            if (!closed_) rerender();
            break;
        case DeckRequest::kSetPitchTrim:
            pitchTrim_.store(request.intArg, relaxed);
            renderer_.setPitch(renderPitch());
            if (jog_.mode() == DeckJog::Mode::Bend) jog_.setBaseRate(ownRate());
            if (!closed_) rerender();
            break;
        case DeckRequest::kSetKeyShift:
            keyShift_.store(request.intArg, relaxed);
            if (!closed_) rerender();
            break;
        case DeckRequest::kSetDsp:
            renderer_.setEffect(request.dsp);
            if (!closed_) rerender();
            break;
        case DeckRequest::kRefresh:
            if (!closed_) rerender();
            break;
        case DeckRequest::kSetTempoByHand:
            if (TrackAnalysis* a = decoder_.analyser().analysis())
                setHandTempo(*a, request.floatArg);
            break;
        case DeckRequest::kAdoptMeasures:
            if (TrackAnalysis* a = decoder_.analyser().analysis()) {
                spinlorex::adoptMeasures(*a, *request.measures);
                decoder_.analyser().setAnalysis(a);  // its copy of the peak level follows
            }
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------
// Caller-thread operations

void DeckStream::beginLoad(const TrackEntry& entry) {
    issue(DeckRequest::kClose);
    decoder_.history().allocate();  // once: the sound thread never allocates
    if (track_) {
        if (track_->record != nullptr) database_.releaseAnalysis(track_->record);
        track_.reset();
    }
    if (TrackReader* old = decoder_.reader()) old->close();
    decoder_.setReader(nullptr);
    openedElsewhere_.reset();

    track_ = entry;
    tempoKnownAtLoad_ = false;
    playWhenLoaded_ = false;
    decoder_.analyser().resetForTrack();
    mixedOut_.store(false, relaxed);
    awaitingStart_.store(true, relaxed);
    duration_.store(-1, relaxed);
    trackFrames_.store(0, relaxed);
    position_.store(-1.0f, relaxed);
    loading_.store(true, relaxed);
    setPitchTrim(0);  // a lock on the track before ends with it
    setKeyShift(0);   // a key shift belongs to the track it was made for
    desk_.setDeckStatus(deckIndex_, kStatusLoading);
}

bool DeckStream::loadTrack(const TrackEntry& entry) {
    beginLoad(entry);
    TrackReader* reader = readers_.forPath(entry.path);
    const int32_t seconds = reader != nullptr ? reader->open(entry.path) : 0;
    return finishLoad(reader, seconds);
}

bool DeckStream::completeLoad(std::unique_ptr<TrackReader> reader, int32_t seconds) {
    if (!loading()) return false;
    openedElsewhere_ = std::move(reader);
    return finishLoad(openedElsewhere_.get(), seconds);
}

bool DeckStream::finishLoad(TrackReader* reader, int32_t seconds) {
    loading_.store(false, relaxed);
    if (reader == nullptr || seconds <= 0) {
        openedElsewhere_.reset();
        desk_.setDeckStatus(deckIndex_, kStatusCannotOpen);
        // An empty deck waits for nothing: a drop on it needs no question.
        awaitingStart_.store(false, relaxed);
        playWhenLoaded_ = false;
        return false;
    }
    decoder_.setReader(reader);
    duration_.store(seconds, relaxed);
    decoder_.setTrackFrames(std::max<int64_t>(reader->totalFrames(), 1));
    trackFrames_.store(std::max<int64_t>(reader->totalFrames(), 1), relaxed);

    if (track_->record == nullptr || track_->record->fileSize == 0)
        track_->record = database_.findOrAdd(track_->path, reader->fileSize());
    TrackAnalysis* analysis = database_.acquireAnalysis(track_->record);
    decoder_.analyser().setAnalysis(analysis);
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
    issue(DeckRequest::kOpenAt, 0, start);
    if (playWhenLoaded_) {
        playWhenLoaded_ = false;
        play();
    }
    return true;
}

void DeckStream::play() {
    if (loading()) {
        playWhenLoaded_ = true;
        return;
    }
    if (position() >= 0.0f) issue(DeckRequest::kPlay);
    awaitingStart_.store(false, relaxed);
}

void DeckStream::pause() {
    playWhenLoaded_ = false;
    if (position() >= 0.0f) issue(DeckRequest::kPause);
}

void DeckStream::cycleCue() {
    if (duration() < 0) return;
    if (playing()) {
        issue(DeckRequest::kPause);
        cueCycle_.store(0, relaxed);
    }
    float target = 0.0f;
    switch (cueCycle()) {
        case 0:
            target = markOf(analysis(), &TrackAnalysis::cuePoint);
            cueCycle_.store(target == 0.0f ? 2 : 1, relaxed);
            break;
        case 1:
            target = 0.0f;
            cueCycle_.store(2, relaxed);
            break;
        default:
            target = markOf(analysis(), &TrackAnalysis::firstStrongBeat);
            cueCycle_.store(0, relaxed);
            break;
    }
    issue(DeckRequest::kSeek, 0, target);
}

void DeckStream::storeCue() {
    const float heard = position();
    if (heard < 0.0f) return;
    if (TrackAnalysis* a = analysis()) a->cuePoint.store(heard, relaxed);
}

void DeckStream::goToCue() {
    if (duration() >= 0) issue(DeckRequest::kSeek, 0, markOf(analysis(), &TrackAnalysis::cuePoint));
}

void DeckStream::seekAndPlay(float position) {
    if (duration() < 0) return;
    issue(DeckRequest::kSeek, 0, position);
    // A seek that left no position (the end of the track, or a block that would not
    // decode) stopped the deck: starting it then would play the emptied ring's silence.
    if (!playing() && this->position() >= 0.0f) issue(DeckRequest::kPlay);
    awaitingStart_.store(false, relaxed);
}

void DeckStream::seekToFrame(int64_t frame) {
    if (duration() >= 0) requests_.issue({.code = DeckRequest::kSeekFrame, .frame = frame});
}
void DeckStream::setLoop(const LoopSpan& loop, LoopEntry entry) {
    if (duration() < 0 || !loop.valid()) return;
    requests_.issue({.code = DeckRequest::kSetLoop,
                     .intArg = static_cast<int32_t>(entry),
                     .frame = loop.start,
                     .length = loop.length});
}
void DeckStream::endLoop() {
    if (looping()) issue(DeckRequest::kEndLoop);
}
void DeckStream::seek(float position) {
    if (duration() < 0) return;
    issue(DeckRequest::kSeek, 0, position);
}

void DeckStream::finish() { issue(DeckRequest::kSeek, 0, 1.0f); }

void DeckStream::setPitch(int32_t pitch) {
    pitch = std::clamp(pitch, kLowestPitch, kHighestPitch);
    if (pitch != this->pitch()) issue(DeckRequest::kSetPitch, pitch);
}

void DeckStream::setLevel(int32_t level) {
    level = std::clamp(level, 0, kFullLevel);
    if (level == this->level()) return;
    if (OutputDevice* out = output()) out->applyDeckLevel(deckIndex_, level);
    level_.store(level, relaxed);
}

void DeckStream::shift(int32_t frames) {
    if (position() >= 0.0f) issue(DeckRequest::kShift, frames);
}

void DeckStream::setKeyShift(int32_t semitones) {
    semitones = std::clamp(semitones, -StudioStretch::kMaxKeyShift, StudioStretch::kMaxKeyShift);
    if (semitones != keyShift()) issue(DeckRequest::kSetKeyShift, semitones);
}

void DeckStream::setPitchTrim(int32_t trim) {
    trim = std::clamp(trim, -kMaxPitchTrim, kMaxPitchTrim);
    if (trim != pitchTrim()) issue(DeckRequest::kSetPitchTrim, trim);
}

void DeckStream::touchWheel(bool touched) {
    if (position() >= 0.0f || scratching()) issue(DeckRequest::kTouchWheel, touched ? 1 : 0);
}

void DeckStream::moveFinely(int64_t frames) {
    if (position() >= 0.0f && frames != 0)
        requests_.issue({.code = DeckRequest::kMoveFinely, .frame = frames});
}

void DeckStream::nudge(int32_t frames) {
    if (position() >= 0.0f) issue(DeckRequest::kNudge, frames);
}

void DeckStream::setDspPlugin(std::unique_ptr<DspHook> plugin) {
    if (plugin.get() == ownedDsp_.get()) return;
    effectOff_ = false;
    requests_.issue({.code = DeckRequest::kSetDsp, .dsp = plugin.get()});
    // The sound thread has switched: the old effect is no longer called.
    std::unique_ptr<DspHook> previous = std::move(ownedDsp_);
    ownedDsp_ = std::move(plugin);
    previous.reset();
}

void DeckStream::setEffectOn(bool on) {
    if (ownedDsp_ == nullptr || on == !effectOff_) return;
    effectOff_ = !on;
    requests_.issue({.code = DeckRequest::kSetDsp, .dsp = on ? ownedDsp_.get() : nullptr});
}

void DeckStream::refresh() {
    if (position() >= 0.0f) issue(DeckRequest::kRefresh);
}

double DeckStream::effectiveBpm() const {
    if (!track_ || track_->record == nullptr) return 0.0;
    const double bpm = track_->record->shownBpm();
    if (bpm < 1.0 || bpm > 999.0) return bpm;
    return bpm * pitch() / kNormalPitch;
}

int32_t DeckStream::effectiveLoudness() const {
    const TrackAnalysis* a = analysis();
    if (!track_ || a == nullptr) return 0;
    return a->loudnessPeak.load(relaxed) * level();
}

bool DeckStream::matchPitchToOtherDeck() {
    if (!track_ || track_->record == nullptr || other_ == nullptr) return false;
    const double other = other_->effectiveBpm();
    const double own = track_->record->shownBpm();
    if (!(other >= 1.0 && other <= 999.0 && own >= 1.0 && own <= 999.0)) return false;
    double ratio = other / own;
    while (ratio > 1.5) ratio *= 0.5;
    while (ratio < 0.75) ratio *= 2.0;
    const auto candidate = static_cast<int32_t>(ratio * kNormalPitch);
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
    requests_.issue({.code = DeckRequest::kAdoptMeasures, .measures = &measures});
}

bool DeckStream::setTempoByHand(float bpm) {
    if (analysis() == nullptr) return false;
    issue(DeckRequest::kSetTempoByHand, 0, bpm);
    return true;
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
// Sound thread: seeking, rendering, the heard position

void DeckStream::seekTo(float fraction) {
    // Nothing lies before the start: a damaged cue point must not seek there.
    if (!(fraction > 0.0f)) fraction = 0.0f;
    if (fraction >= 1.0f) {
        position_.store(-1.0f, relaxed);
        decoder_.stopDecoding();
        decoder_.forgetLoop();
        publishLoop();
        if (playing_.load(relaxed)) {
            if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
        }
        playing_.store(false, relaxed);
        return;
    }
    if (decoder_.reader() == nullptr) return;
    if (!decoder_.seek(fraction)) {
        position_.store(-1.0f, relaxed);
        publishLoop();
        playing_.store(false, relaxed);
        if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
        return;
    }
    position_.store(fraction, relaxed);
    publishLoop();
    rerender();
}

void DeckStream::seekToFrameNow(int64_t frame) {
    const int64_t total = trackFrames_.load(relaxed);
    if (frame >= total) {
        seekTo(1.0f);
        return;
    }
    frame = std::max<int64_t>(frame, 0);
    if (decoder_.reader() == nullptr) return;
    if (decoder_.seekFrame(frame))
        moved(frame);
    else
        stopNoPosition();
}
void DeckStream::loopNow(const LoopSpan& loop, LoopEntry entry) {
    const int64_t heard = decoder_.heardFrame();
    if (heard < 0 || decoder_.reader() == nullptr || !loop.valid()) return;
    int64_t from = heard;
    if (entry == LoopEntry::Carry && decoder_.looping()) from += loop.start - decoder_.loop().start;
    if (entry == LoopEntry::Restart) from = loop.start;
    const double past = static_cast<double>(from - loop.start);
    if (past >= loop.length)  // beyond the end: as far into the loop as whole rounds leave
        from = loop.start + static_cast<int64_t>(std::fmod(past, loop.length));
    if (decoder_.startLoop(loop, from))
        moved(from);
    else
        stopNoPosition();
}
void DeckStream::moved(int64_t heard) {
    position_.store(
        static_cast<float>(static_cast<double>(heard) /
                           static_cast<double>(std::max<int64_t>(trackFrames_.load(relaxed), 1))),
        relaxed);
    publishLoop();
    rerender();
}
void DeckStream::stopNoPosition() {
    position_.store(-1.0f, relaxed);
    publishLoop();
    if (playing_.load(relaxed)) {
        if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
    }
    playing_.store(false, relaxed);
}
void DeckStream::publishLoop() {
    const bool looping = decoder_.looping();
    loopLength_.store(looping ? decoder_.loop().length : 0.0, relaxed);
    loopStart_.store(looping ? decoder_.loop().start : -1, relaxed);
}
void DeckStream::rerender() {
    // Under the hand the wheel's chunks are what is heard; the pitch counts again after.
    if (jog_.active()) return;
    renderer_.restart(playing_.load(relaxed));
    renderPass();
    if (playing_.load(relaxed)) {
        if (OutputDevice* out = output()) out->resyncDeck(deckIndex_);
    }
}

bool DeckStream::renderPass() {
    return renderer_.renderPass(renderPitch(), options_.masterTempo(), options_.highQuality(),
                                keyShift_.load(relaxed));
}

int32_t DeckStream::renderPitch() const {
    return std::clamp(pitch_.load(relaxed) + pitchTrim_.load(relaxed), kLowestPitch, kHighestPitch);
}

void DeckStream::afterMove(bool preview) {
    renderPass();
    if (playing_.load(relaxed)) {
        if (OutputDevice* out = output()) out->resyncDeck(deckIndex_);
        return;
    }
    updateHeardPosition(renderer_.playIndex());
    if (!preview) return;
    if (OutputDevice* out = output()) out->preview(deckIndex_, renderer_.playIndex(), kBlockFrames);
}

void DeckStream::updateHeardPosition(int32_t newIndex) {
    if (jog_.active()) {
        renderer_.setHeardIndex(newIndex);
        const double heard = jog_.heardAt(newIndex, kOutputFrames);
        const auto total = static_cast<double>(std::max<int64_t>(trackFrames_.load(relaxed), 1));
        position_.store(static_cast<float>(std::min(heard / total, 1.0)), relaxed);
        return;
    }
    const int32_t k = renderer_.heardAt(newIndex, renderPitch());
    if (k == decoder_.heardIndex()) return;

    const float heard = decoder_.hear(k);
    position_.store(heard, relaxed);
    if (heard < 0.0f) {
        stopAtEnd();
        return;
    }
    const TrackAnalysis* a = analysis();
    AutomaticStartCheck check;
    check.heard = heard;
    check.autoMix = options_.autoMix();
    check.longMix = options_.longMix();
    check.mixedOut = mixedOut();
    check.playing = playing();
    check.otherPlaying = other_ == nullptr || other_->playing();
    check.seconds = duration_.load(relaxed);
    check.lastStrongBeat = a != nullptr ? a->lastStrongBeat.load(relaxed) : 0.0f;
    check.pitch = pitch();
    check.looping = looping();
    if (automaticStartDue(check)) notifier_.post(kMessageStartDeck, 1 - deckIndex_);
}

void DeckStream::stopAtEnd() {
    playing_.store(false, relaxed);
    if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
    cueCycle_.store(0, relaxed);
    notifier_.post(kMessageTrackEnded, deckIndex_);
}

}  // namespace spinlorex

namespace spinlorex {

// ---------------------------------------------------------------------------------------
// Sound thread: the jog wheel

double DeckStream::ownRate() const { return static_cast<double>(renderPitch()) / kNormalPitch; }

void DeckStream::enterJog(DeckJog::Mode mode) {
    const double turns = wheel();
    const bool bend = mode == DeckJog::Mode::Bend;
    // A nudge counts the turn that started it; a scratch follows the wheel from the touch.
    const double from = bend ? seenTurns_ : turns;
    seenTurns_ = turns;
    if (jog_.active()) {
        jog_.start(mode, jog_.position(), jog_.rate(), bend ? ownRate() : 0.0, from);
    } else {
        const int64_t heard = decoder_.heardFrame();
        if (heard < 0 || decoder_.reader() == nullptr || !decoder_.history().allocated()) return;
        const bool playing = playing_.load(relaxed);
        renderer_.cutAtHeard();
        jog_.forget();
        jog_.start(mode, static_cast<double>(heard), playing ? ownRate() : 0.0,
                   bend ? ownRate() : 0.0, from);
        if (OutputDevice* out = output()) {
            // A paused deck is heard while the hand moves it.
            if (playing)
                out->resyncDeck(deckIndex_);
            else
                out->deckStarted(deckIndex_);
        }
    }
    scratching_.store(!bend, relaxed);
}

bool DeckStream::jogPass() {
    if (jog_.settled()) {
        leaveJog();
        return true;
    }
    const double turns = wheel();
    seenTurns_ = turns;
    bool rendered = false;
    while (renderer_.lead() < DeckJog::kLeadFrames) {
        jog_.render(renderer_.writePoint(), DeckJog::kChunkFrames, renderer_.writeIndex(),
                    kOutputFrames, turns, decoder_.history(), *decoder_.reader(),
                    trackFrames_.load(relaxed));
        renderer_.commit(DeckJog::kChunkFrames);
        rendered = true;
    }
    return rendered;
}

void DeckStream::leaveJog() {
    if (!jog_.active()) return;
    auto frame =
        static_cast<int64_t>(std::llround(jog_.heardAt(renderer_.playIndex(), kOutputFrames)));
    const bool bend = jog_.mode() == DeckJog::Mode::Bend;
    dropJog();
    // Left by hand past the end, the deck stays on the last frame; played there, it ends.
    if (!bend) frame = std::clamp<int64_t>(frame, 0, trackFrames_.load(relaxed) - 1);
    if (bend && decoder_.looping()) {
        // A nudge within a loop goes on wrapping: past the end, as far in as whole rounds.
        const LoopSpan& loop = decoder_.loop();
        const double past = static_cast<double>(frame - loop.start);
        if (past >= loop.length)
            frame = loop.start + static_cast<int64_t>(std::fmod(past, loop.length));
    }
    seekToFrameNow(frame);
}

void DeckStream::dropJog() {
    if (!jog_.active()) return;
    jog_.stop();
    scratching_.store(false, relaxed);
    if (!playing_.load(relaxed)) {
        if (OutputDevice* out = output()) out->deckStopped(deckIndex_);
    }
}

}  // namespace spinlorex
