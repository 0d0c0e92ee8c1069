#include "audio/Mp3Reader.h"

#include <mpg123.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "audio/SampleConvert.h"

namespace spinlorex {
namespace {

// The decoder may ask to be called again (new format, more input); that many calls in all
// before a frame counts as an error.
constexpr int kMaxCalls = 16;

// Older libmpg123 wants one global initialisation; newer ones ignore it.
void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

bool configure(mpg123_handle* h) {
    if (mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS | MPG123_AUTO_RESAMPLE, 0.0) != MPG123_OK ||
        mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0) != MPG123_OK ||
        mpg123_format_none(h) != MPG123_OK)
        return false;
    // Signed 16-bit at whatever rate and channel count the stream has: the conversion to
    // 44100 stereo is ours.
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        if (mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
            return false;
    }
    return count > 0;
}

}  // namespace

void Mp3Reader::HandleDeleter::operator()(mpg123_handle_struct* h) const { mpg123_delete(h); }

Mp3Reader::Mp3Reader() {
    initLibrary();
    int err = MPG123_OK;
    handle_.reset(mpg123_new(nullptr, &err));
    // Without a usable decoder every open fails.
    if (handle_ && !configure(handle_.get())) handle_.reset();
}

Mp3Reader::~Mp3Reader() { close(); }

void Mp3Reader::close() {
    if (open_) mpg123_close(handle_.get());
    open_ = false;
    probed_ = false;
    sampleRate_ = channels_ = samplesPerFrame_ = 0;
    totalSamples_ = 0;
    carryNeed_ = carryCount_ = 0;
    position_ = 0.0f;
    duration_ = 0;
    fileSize_ = 0;
}

int32_t Mp3Reader::open(const std::string& path) {
    close();
    if (!handle_) return 0;
    mpg123_handle* h = handle_.get();
    // Only regular files: opening a FIFO would block the loading thread.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    if (mpg123_open(h, path.c_str()) != MPG123_OK) return 0;
    open_ = true;

    // The scan walks the frame headers once, for the exact length and a full seek index.
    int err = mpg123_scan(h);
    off_t num = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    if (err == MPG123_OK) {
        // Probe: decode the first frame for the stream's format.
        for (int call = 0; call < kMaxCalls; ++call) {
            err = mpg123_decode_frame(h, &num, &audio, &bytes);
            const bool again = err == MPG123_NEW_FORMAT || err == MPG123_NEED_MORE || (err == MPG123_OK && bytes == 0);
            if (!again) break;
        }
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    const off_t length = err == MPG123_OK ? mpg123_length(h) : 0;
    const int spf = mpg123_spf(h);
    if (err != MPG123_OK || bytes == 0 || mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK ||
        rate <= 0 || rate > std::numeric_limits<int32_t>::max() / kBlockFrames ||
        (channels != 1 && channels != 2) || spf <= 0 || length <= 0 ||
        length / rate == 0) {
        close();
        return 0;
    }
    probed_ = true;
    probedAudio_ = audio;
    probedBytes_ = bytes;
    probedNum_ = num;
    sampleRate_ = static_cast<int32_t>(rate);
    channels_ = channels;
    samplesPerFrame_ = spf;
    totalSamples_ = length;
    carryNeed_ = (kBlockFrames * sampleRate_ + kSampleRate - 1) / kSampleRate;
    carryCount_ = 0;
    duration_ = static_cast<int32_t>(std::min<int64_t>(length / rate, std::numeric_limits<int32_t>::max()));
    fileSize_ = static_cast<uint32_t>(std::min<int64_t>(st.st_size, std::numeric_limits<uint32_t>::max()));
    position_ = 0.0f;
    return duration_;
}

int32_t Mp3Reader::deliver(int16_t* dest, int32_t room, const unsigned char* audio, size_t bytes, int64_t num) {
    const size_t frameBytes = static_cast<size_t>(channels_) * sizeof(int16_t);
    const size_t n = bytes / frameBytes;
    if (n > static_cast<size_t>(room)) return kError;
    std::memcpy(dest, audio, n * frameBytes);
    if (channels_ == 1) expandMono(dest, static_cast<int32_t>(n));
    position_ = static_cast<float>(static_cast<double>((num + 1) * static_cast<int64_t>(n)) /
                                   static_cast<double>(totalSamples_));
    return static_cast<int32_t>(n);
}

int32_t Mp3Reader::decodeFrame(int16_t* dest, int32_t room) {
    if (probed_) {
        probed_ = false;
        return deliver(dest, room, probedAudio_, probedBytes_, probedNum_);
    }
    mpg123_handle* h = handle_.get();
    for (int call = 0; call < kMaxCalls; ++call) {
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int err = mpg123_decode_frame(h, &num, &audio, &bytes);
        if (err == MPG123_OK) {
            if (bytes == 0) continue;  // nothing to deliver yet; counts as a call
            return deliver(dest, room, audio, bytes, num);
        }
        if (err == MPG123_NEW_FORMAT) {
            // A stream may switch between mono and stereo; the rate stays the one the
            // block conversion was chosen for, so a changed rate shows as a wrong frame
            // length below.
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK ||
                (channels != 1 && channels != 2))
                return kError;
            channels_ = channels;
            continue;
        }
        if (err == MPG123_NEED_MORE) continue;
        if (err == MPG123_DONE) return kEnd;
        return kError;
    }
    return kError;
}

int32_t Mp3Reader::decodeBlock(int16_t* dest) {
    if (!open_) return kError;
    if (sampleRate_ == kSampleRate) {
        const int32_t n = decodeFrame(dest, kBlockFrames);
        if (n <= 0) return n;
        return n == kBlockFrames ? kDone : kError;
    }
    if (sampleRate_ < kSampleRate) {
        const int32_t n = decodeFrame(dest, kBlockFrames);
        if (n <= 0) return n;
        if (n != sampleRate_ * kBlockFrames / kSampleRate) return kError;
        stretchTo1152(dest, n, sampleRate_);
        return kDone;
    }
    if (sampleRate_ <= 2 * kSampleRate) return decodeDecimated(dest);
    return kError;
}

// Rates above 44100: whole MPEG frames gather in the carry buffer, each block takes every
// (rate / 44100)-th frame of it, and what the block did not reach stays for the next one,
// so blocks follow each other without drift.
int32_t Mp3Reader::decodeDecimated(int16_t* dest) {
    // Fill until the block's whole span is there (1254 frames at 48000).
    while (carryCount_ < carryNeed_) {
        const int32_t n = decodeFrame(&carry_[static_cast<size_t>(carryCount_) * kChannels], kCarryFrames - carryCount_);
        if (n <= 0) return n;
        carryCount_ += n;
    }
    int32_t acc = 0;
    int32_t cur = 0;
    for (int32_t i = 0; i < kBlockFrames; ++i) {
        dest[2 * i] = carry_[static_cast<size_t>(2 * cur)];
        dest[2 * i + 1] = carry_[static_cast<size_t>(2 * cur + 1)];
        acc -= sampleRate_;
        if (acc < 0) {
            const int32_t k = (kSampleRate - 1 - acc) / kSampleRate;
            acc += k * kSampleRate;
            cur += k;
        }
    }
    carryCount_ -= cur;
    std::memmove(carry_.data(), &carry_[static_cast<size_t>(cur) * kChannels],
                 static_cast<size_t>(carryCount_) * kBytesPerFrame);
    return kDone;
}

int32_t Mp3Reader::seek(float fraction) {
    // One block early, so the deck can decode a block and skip to the exact frame.
    double target = 0.0;
    if (duration_ > 0) target = static_cast<double>(fraction) - kBlockFrames / (static_cast<double>(duration_) * kSampleRate);
    if (!(target > 0.0)) target = 0.0;  // also NaN
    if (open_) {
        const double sample = std::min(target, 1.0) * static_cast<double>(totalSamples_);
        const off_t frame = static_cast<off_t>(sample) / samplesPerFrame_;
        // Right after open the decoder already stands at the start with the first frame
        // in hand; leaving it there keeps the output identical to a straight decode.
        if (!(probed_ && frame == 0)) {
            mpg123_seek_frame(handle_.get(), frame, SEEK_SET);
            probed_ = false;
        }
    }
    carryCount_ = 0;
    position_ = static_cast<float>(target);
    return 1;
}

}  // namespace spinlorex
