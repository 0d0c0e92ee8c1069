#include "audio/Mp3Reader.h"

#include <mpg123.h>
#include <sys/stat.h>

#include <algorithm>
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
    if (mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0) != MPG123_OK ||
        mpg123_param(h, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0.0) != MPG123_OK ||
        mpg123_format_none(h) != MPG123_OK)
        return false;
    // Signed 16-bit at whatever rate and channel count the stream has: the conversion to
    // 44100 stereo is ours.
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i) {
        if (mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) !=
            MPG123_OK)
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
    channels_ = 0;
    totalSamples_ = 0;
    frame_ = nullptr;
    frameFrames_ = frameUsed_ = frameChannels_ = 0;
    atStart_ = false;
    endStream();
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
    // The probe decodes the first frame, for the stream's format and as proof that it
    // decodes at all.
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    const bool decodes = mpg123_scan(h) == MPG123_OK && decodeFrame() == 1 &&
                         mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK;
    const off_t length = decodes ? mpg123_length(h) : 0;
    if (!decodes || rate <= 0 || rate > std::numeric_limits<int32_t>::max() || length <= 0) {
        close();
        return 0;
    }
    channels_ = channels;
    totalSamples_ = length;
    atStart_ = true;
    // Keep the probed frame: beginStream starts reading at frame 0, which is where it is.
    const int32_t seconds =
        beginStream(static_cast<int32_t>(rate), length, static_cast<uint64_t>(st.st_size));
    if (seconds == 0) close();
    return seconds;
}

int32_t Mp3Reader::decodeFrame() {
    mpg123_handle* h = handle_.get();
    for (int call = 0; call < kMaxCalls; ++call) {
        off_t num = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int err = mpg123_decode_frame(h, &num, &audio, &bytes);
        if (err == MPG123_OK || err == MPG123_NEW_FORMAT) {
            // A stream may switch between mono and stereo; a changed rate would need
            // another conversion and counts as an error.
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK ||
                (channels != 1 && channels != 2) || (sourceRate() != 0 && rate != sourceRate()))
                return -1;
            if (err == MPG123_NEW_FORMAT || bytes == 0) continue;  // nothing to hand out yet
            frame_ = reinterpret_cast<const int16_t*>(audio);
            frameChannels_ = channels;
            frameFrames_ =
                static_cast<int32_t>(bytes / (sizeof(int16_t) * static_cast<size_t>(channels)));
            frameUsed_ = 0;
            return 1;
        }
        if (err == MPG123_NEED_MORE) continue;
        if (err == MPG123_DONE) return 0;
        return -1;
    }
    return -1;
}

int32_t Mp3Reader::readFrames(float* dest, int32_t frames) {
    if (!open_) return -1;
    atStart_ = false;
    int32_t done = 0;
    while (done < frames) {
        if (frameUsed_ == frameFrames_) {
            const int32_t r = decodeFrame();
            if (r < 0) return -1;
            if (r == 0) break;
        }
        const int32_t n = std::min(frames - done, frameFrames_ - frameUsed_);
        const int16_t* in = frame_ + static_cast<ptrdiff_t>(frameUsed_) * frameChannels_;
        float* out = dest + 2 * done;
        if (frameChannels_ == 2) {
            fromPcm16(in, out, 2 * n);
        } else {
            for (int32_t i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = in[i];
        }
        frameUsed_ += n;
        done += n;
    }
    return done;
}

bool Mp3Reader::seekFrames(int64_t frame) {
    if (!open_) return false;
    // Right after open the decoder already stands at the start with the first frame in
    // hand; leaving it there keeps the output identical to a straight decode.
    if (atStart_ && frame == 0) return true;
    atStart_ = false;
    frame_ = nullptr;
    frameFrames_ = frameUsed_ = 0;
    return mpg123_seek(handle_.get(), static_cast<off_t>(frame), SEEK_SET) >= 0;
}

}  // namespace spinlorex
