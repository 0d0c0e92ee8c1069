#pragma once

#include <cstdint>

// The narrow interfaces through which a deck reaches the desk and the main window.

namespace spinlorex {

// What a deck asks of the desk that holds it.
class DeskControl {
public:
    virtual ~DeskControl() = default;

    // Main thread: clamp into pitchMin..pitchMax and apply to the deck (and its slider).
    virtual void setDeckPitch(int deck, int32_t pitch) = 0;
    // Main thread: apply a level 0..256 to the deck (and its slider).
    virtual void setDeckLevel(int deck, int32_t level) = 0;
    // Any thread, the sound thread included: must not block, lock or allocate.
    // 0 normal, 153 error in the MP3 data, 156 file cannot be opened, 157 deck empty,
    // 158 the file is being opened.
    virtual void setDeckStatus(int deck, uint32_t status) = 0;
    // Main thread.
    virtual int32_t pitchMin() const = 0;
    virtual int32_t pitchMax() const = 0;
};

// Deck status codes.
inline constexpr uint32_t kStatusNormal = 0;
inline constexpr uint32_t kStatusDecodeError = 153;
inline constexpr uint32_t kStatusCannotOpen = 156;
inline constexpr uint32_t kStatusEmpty = 157;
inline constexpr uint32_t kStatusLoading = 158;

// Messages the sound thread posts to the main window.
inline constexpr int kMessageStartDeck = 1068;   // start the deck now (automatic mix)
inline constexpr int kMessageTrackEnded = 1069;  // the deck reached the end of its track

class DeskNotifier {
public:
    virtual ~DeskNotifier() = default;
    // Sound thread: queue `message` for the main window with the deck index. Must not
    // block, lock or allocate; the main window handles it later on its own thread.
    virtual void post(int message, int deck) = 0;
};

}  // namespace spinlorex
