#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/CaptureOutput.h"
#include "audio/DeckLinks.h"
#include "audio/DeckPair.h"
#include "audio/LoopedSource.h"
#include "audio/SoundThread.h"
#include "library/TrackDatabase.h"
#include "tools/tool/ToolDesk.h"

namespace spinlorex::tool {

// The program's own decks, database and sound loop, run headless and as fast as the
// machine allows: deck 1 plays into a capture output instead of a sound card. The tool's
// commands load a track, play it and collect what the deck rendered and measured.
// Opens the internal database in `folder` for a tool that stores what it learns. False,
// with the reason on stderr, when nothing can be stored there (no such folder, no rights,
// another program holds the file). A damaged file is set aside and said so.
bool openToolDatabase(TrackDatabase& database, const std::string& folder);

class OfflineSession : private DeskNotifier, private CaptureSink {
public:
    // Receives deck 1's rendered frames; returns false once it wants no more.
    using FrameSink = bool (*)(void* context, const int16_t* frames, int32_t count);

    // With a database of the caller's, what the decks learn stays there after the session.
    explicit OfflineSession(TrackDatabase* database = nullptr);
    ~OfflineSession() override;

    // Opens the internal database in `folder` (read and written like the desk's). False,
    // with the reason on stderr, when nothing can be stored there (no such folder, no
    // rights, another program holds the file). A damaged file is set aside and said so.
    bool openDatabase(const std::string& folder);

    // Loads `path` on deck 1 through the deck's own load. Returns the deck status.
    uint32_t load(const std::string& path);
    // Plays deck 1 from `from` (round `loop` when given) until the track ends or the sink
    // wants no more.
    void playUntilDone(float from, FrameSink sink, void* context, const LoopSpan* loop = nullptr);
    // Holds deck 1's wheel from `from` (the deck paused: it follows the wheel alone) until
    // the sink says no more; the sink turns the wheel (DeckStream::turnWheel).
    void scratchUntilDone(float from, FrameSink sink, void* context);

    DeckStream& deck() { return decks_[0]; }
    uint32_t status() const { return desk_.status(0); }
    void setPitch(int32_t pitch) { desk_.setDeckPitch(0, pitch); }
    int32_t pitchMin() const { return desk_.pitchMin(); }
    int32_t pitchMax() const { return desk_.pitchMax(); }

private:
    // The end of deck 1's track finishes playUntilDone.
    void post(int message, int deck) override;
    void captured(int deck, const int16_t* frames, int32_t count) override;

    TrackDatabase ownDatabase_;
    TrackDatabase& database_;
    ToolDesk desk_;
    DeckPair decks_;
    CaptureOutput output_;
    SoundThread soundThread_;
    std::atomic<bool> done_{false};
    FrameSink sink_ = nullptr;
    void* sinkContext_ = nullptr;
};

}  // namespace spinlorex::tool
