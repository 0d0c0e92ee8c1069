#include "tools/tool/OfflineSession.h"

#include <cmath>

#include <cstdio>

#include "platform/core/FatalError.h"
#include "platform/settings/Settings.h"

namespace spinlorex::tool {

OfflineSession::OfflineSession(TrackDatabase* database)
    : database_(database != nullptr ? *database : ownDatabase_),
      decks_(database_, desk_, *this),
      output_(decks_, *this),
      soundThread_(output_, decks_) {
    desk_.attach(decks_);
    decks_.setOutput(&output_);
    soundThread_.start(std::chrono::microseconds(0), false);
}

OfflineSession::~OfflineSession() {
    soundThread_.stop();
    decks_.setOutput(nullptr);
    // The held analysis goes back to the database (written when it has a file).
    if (const TrackEntry* track = decks_[0].track(); track != nullptr && track->record != nullptr)
        database_.releaseAnalysis(track->record);
    ownDatabase_.close();
}

bool openToolDatabase(TrackDatabase& database, const std::string& folder) {
    clearFatalError();
    if (!database.open(folder)) {
        std::fprintf(stderr, "spinlorex-tool: %s: %s\n", folder.c_str(),
                     fatalError() != nullptr ? fatalError() : "cannot open the database");
        return false;
    }
    // A damaged file set aside, or a folder where nothing can be stored.
    if (!database.notice().empty())
        std::fprintf(stderr, "spinlorex-tool: %s\n", database.notice().c_str());
    if (database.writable()) return true;
    if (database.notice().empty())
        std::fprintf(
            stderr,
            "spinlorex-tool: %s: the internal database is used by another running program\n",
            folder.c_str());
    return false;
}

bool OfflineSession::openDatabase(const std::string& folder) {
    return openToolDatabase(database_, folder);
}

uint32_t OfflineSession::load(const std::string& path) {
    TrackEntry entry;
    entry.path = path;
    decks_[0].loadTrack(entry);
    return status();
}

void OfflineSession::playUntilDone(float from, FrameSink sink, void* context,
                                   const LoopSpan* loop) {
    done_.store(false, std::memory_order_relaxed);
    DeckStream& deck = decks_[0];
    if (loop != nullptr) {
        deck.pause();
        deck.seekToFrame(std::llround(double{from} * static_cast<double>(deck.trackFrames())));
        deck.setLoop(*loop, DeckStream::LoopEntry::Keep);
    }
    sink_ = sink;
    sinkContext_ = context;
    if (loop != nullptr)
        deck.play();
    else
        deck.seekAndPlay(from);
    // A track that cannot be decoded at that point stops at once with no position.
    if (deck.position() >= 0.0f) done_.wait(false, std::memory_order_acquire);
    deck.pause();
    sink_ = nullptr;
}

void OfflineSession::scratchUntilDone(float from, FrameSink sink, void* context) {
    done_.store(false, std::memory_order_relaxed);
    DeckStream& deck = decks_[0];
    deck.pause();
    deck.seek(from);
    sink_ = sink;
    sinkContext_ = context;
    deck.touchWheel(true);
    if (deck.scratching()) done_.wait(false, std::memory_order_acquire);
    deck.touchWheel(false);
    sink_ = nullptr;
}

void OfflineSession::post(int message, int deck) {
    desk_.post(message, deck);
    if (message == kMessageTrackEnded && deck == 0) {
        done_.store(true, std::memory_order_release);
        done_.notify_all();
    }
}

void OfflineSession::captured(int deck, const int16_t* frames, int32_t count) {
    if (deck != 0 || sink_ == nullptr || done_.load(std::memory_order_relaxed)) return;
    if (!sink_(sinkContext_, frames, count)) {
        done_.store(true, std::memory_order_release);
        done_.notify_all();
    }
}

}  // namespace spinlorex::tool
