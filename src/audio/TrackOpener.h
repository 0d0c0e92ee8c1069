#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/TrackReader.h"

namespace spinlorex {

// Opens the tracks the desk loads on threads of their own, so the desk never waits on a
// disk: an MP3's length scan reads the whole file, a sleeping USB disk takes seconds to
// answer and a hung network share may never answer. Each load gets a thread and a reader
// of its own; a newer load of the same deck makes the older one's answer worthless (it is
// dropped when it comes), and a thread stuck in a read is simply left: nothing ever waits
// for it, the desk's close included.
//
// After a successful open the thread also reads the start of the file once, so the sound
// thread's first decode finds it in memory.
//
// Main thread, except the wake callback, which runs on an opening thread.
class TrackOpener {
public:
    // A fresh reader for a file (by its name), or null when none reads it.
    using ReaderFactory = std::function<std::unique_ptr<TrackReader>(const std::string& path)>;
    // Opening thread: an answer is waiting. Must not block (the Qt desk posts an event).
    using Wake = std::function<void()>;

    struct Opened {
        int deck = 0;
        uint64_t ticket = 0;
        std::string path;
        std::unique_ptr<TrackReader> reader;  // open; null when the file could not be opened
        int32_t seconds = 0;                  // what open() returned
    };

    // The standard readers (WAV, MP3, FLAC/Ogg/Opus by the file's name).
    static ReaderFactory standardReaders();

    explicit TrackOpener(Wake wake, ReaderFactory readers = standardReaders());
    // Never waits: answers still to come are dropped, threads still reading are left.
    ~TrackOpener();
    TrackOpener(const TrackOpener&) = delete;
    TrackOpener& operator=(const TrackOpener&) = delete;

    // Starts opening `path` for the deck; its ticket (never 0). An open still under way
    // for the deck is forgotten.
    uint64_t open(int deck, const std::string& path);
    // Forgets the deck's open under way, if any.
    void cancel(int deck);
    // The deck's open under way: its ticket, 0 when none.
    uint64_t pending(int deck) const { return pending_[deck == 1 ? 1 : 0]; }
    // The next answer of an open still wanted; false when none waits. Answers of
    // forgotten opens are dropped here (their files closed on this thread).
    bool take(Opened& out);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    ReaderFactory readers_;
    std::array<uint64_t, 2> pending_{0, 0};
    uint64_t nextTicket_ = 1;
};

}  // namespace spinlorex
