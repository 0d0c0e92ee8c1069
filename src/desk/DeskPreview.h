#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/TrackOpener.h"
#include "desk/DeskContext.h"
#include "library/TrackRecord.h"

namespace spinlorex {

// A library row heard in the headphones before it goes on a deck: the preview player of
// the decks (PreviewPlayer) fed with the row's file, from its first beat or from where the
// DJ pointed. The file opens on a thread of its own (a TrackOpener of the preview's own),
// and nothing of the decks, the history or the records' played dates is touched.
//
// Only an output mode with headphones has somewhere to play it; elsewhere the desk says
// so and plays nothing.
//
// Main thread only.
class DeskPreview {
public:
    static constexpr const char* kNoHeadphones =
        "The preview plays in the headphones: choose a sound configuration with headphones.";

    explicit DeskPreview(DeskContext& context);

    // Opens the previews' files on threads of its own (null: on the main thread, through
    // `readers`). Its answers come in through collectOpened().
    void setOpener(TrackOpener* opener);
    void setReaders(TrackOpener::ReaderFactory readers) { readers_ = std::move(readers); }

    // The preview key: the entry from its first beat (the track start when its beats are
    // not known); the same entry again stops it, another one takes its place.
    void toggle(const TrackEntry& entry);
    // The entry from `fraction` (0..1) of its length.
    void playAt(const TrackEntry& entry, double fraction);
    void stop();
    // A preview opens or sounds.
    bool playing() const;
    // The file previewed (empty when none).
    const std::string& path() const { return path_; }
    // The opener answered: the preview it opened starts.
    void collectOpened();

    // The current output mode has headphones (a pre-listen).
    static bool headphonesInMode();

private:
    // `fraction` < 0: from the first beat.
    void start(const TrackEntry& entry, double fraction);
    void begin(std::unique_ptr<TrackReader> reader);

    DeskContext& context_;
    TrackOpener* opener_ = nullptr;
    TrackOpener::ReaderFactory readers_;
    std::string path_;
    double fraction_ = -1.0;
    double firstBeat_ = 0.0;  // seconds
    bool opening_ = false;
};

}  // namespace spinlorex
