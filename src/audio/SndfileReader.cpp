#include "audio/SndfileReader.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <vector>

namespace spinlorex {
namespace {

using S = StereoMixdown;

// Where libsndfile's channel-map entries stand, as speaker positions.
uint32_t speakerOf(int entry) {
    switch (entry) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
            return S::kFrontLeft;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
            return S::kFrontRight;
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER:
            return S::kFrontCentre;
        case SF_CHANNEL_MAP_REAR_CENTER:
            return S::kBackCentre;
        case SF_CHANNEL_MAP_REAR_LEFT:
            return S::kBackLeft;
        case SF_CHANNEL_MAP_REAR_RIGHT:
            return S::kBackRight;
        case SF_CHANNEL_MAP_LFE:
            return S::kLowFrequency;
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
            return S::kFrontLeftOfCentre;
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
            return S::kFrontRightOfCentre;
        case SF_CHANNEL_MAP_SIDE_LEFT:
            return S::kSideLeft;
        case SF_CHANNEL_MAP_SIDE_RIGHT:
            return S::kSideRight;
        case SF_CHANNEL_MAP_TOP_CENTER:
            return S::kTopCentre;
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
            return S::kTopFrontLeft;
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
            return S::kTopFrontRight;
        case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
            return S::kTopFrontCentre;
        case SF_CHANNEL_MAP_TOP_REAR_LEFT:
            return S::kTopBackLeft;
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
            return S::kTopBackRight;
        case SF_CHANNEL_MAP_TOP_REAR_CENTER:
            return S::kTopBackCentre;
        default:
            return 0;
    }
}

// The channel orders the formats define for 3 to 8 channels. FLAC's follows the WAV mask
// order; Vorbis (and Opus, which takes it over) puts the centre between left and right.
constexpr uint32_t kFlacMasks[9] = {0, 0, 0, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
constexpr std::array<std::array<uint32_t, 8>, 9> kVorbisOrders = {{
    {},
    {},
    {},
    {S::kFrontLeft, S::kFrontCentre, S::kFrontRight},
    {S::kFrontLeft, S::kFrontRight, S::kBackLeft, S::kBackRight},
    {S::kFrontLeft, S::kFrontCentre, S::kFrontRight, S::kBackLeft, S::kBackRight},
    {S::kFrontLeft, S::kFrontCentre, S::kFrontRight, S::kBackLeft, S::kBackRight, S::kLowFrequency},
    {S::kFrontLeft, S::kFrontCentre, S::kFrontRight, S::kSideLeft, S::kSideRight, S::kBackCentre,
     S::kLowFrequency},
    {S::kFrontLeft, S::kFrontCentre, S::kFrontRight, S::kSideLeft, S::kSideRight, S::kBackLeft,
     S::kBackRight, S::kLowFrequency},
}};

}  // namespace

void SndfileReader::FileCloser::operator()(sf_private_tag* f) const { sf_close(f); }

SndfileReader::SndfileReader() = default;
SndfileReader::~SndfileReader() { close(); }

void SndfileReader::close() {
    file_.reset();
    channels_ = format_ = 0;
    frames_ = next_ = 0;
    vorbis_ = false;
    samples_.reset();
    endStream();
}

StereoMixdown SndfileReader::mixdownFor() const {
    std::vector<int> map(static_cast<size_t>(channels_));
    if (sf_command(file_.get(), SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
        std::vector<uint32_t> positions;
        for (int entry : map) positions.push_back(speakerOf(entry));
        return StereoMixdown::forPositions(positions.data(), channels_);
    }
    if (channels_ < 3 || channels_ > 8) return StereoMixdown::forMask(channels_, 0);
    if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC)
        return StereoMixdown::forMask(channels_, kFlacMasks[channels_]);
    if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG)
        return StereoMixdown::forPositions(kVorbisOrders[static_cast<size_t>(channels_)].data(),
                                           channels_);
    return StereoMixdown::forMask(channels_, 0);
}

int32_t SndfileReader::open(const std::string& path) {
    close();
    // Only regular files: opening a FIFO would block the loading thread.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    SF_INFO info{};
    file_.reset(sf_open(path.c_str(), SFM_READ, &info));
    if (!file_ || info.channels < 1 || info.channels > StereoMixdown::kMaxChannels ||
        info.samplerate <= 0 || info.frames <= 0 || info.frames == SF_COUNT_MAX ||
        info.seekable == 0) {
        close();
        return 0;
    }
    channels_ = info.channels;
    format_ = info.format;
    frames_ = info.frames;
    vorbis_ = (format_ & SF_FORMAT_SUBMASK) == SF_FORMAT_VORBIS;
    // Longer than any final page of a real stream (pages hold at most 64 KiB).
    vorbisTailFrames_ = 4 * static_cast<int64_t>(info.samplerate);
    mixdown_ = mixdownFor();
    samples_ = std::make_unique<float[]>(static_cast<size_t>(kMaxReadFrames) *
                                         static_cast<size_t>(channels_));
    // Samples in 16-bit scale straight from the decoder: integer data exactly, float data
    // unclipped (clipping comes last).
    sf_command(file_.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    sf_command(file_.get(), SFC_SET_CLIPPING, nullptr, SF_FALSE);
    // The first seek sets up the decoder's seek buffers; done here, the sound thread's seeks
    // find them made. (Where it lands does not matter: damage further on is found in play.)
    sf_seek(file_.get(), std::min<sf_count_t>(frames_ - 1, 4096), SEEK_SET);
    next_ = 0;
    if (sf_seek(file_.get(), 0, SEEK_SET) != 0) {
        close();
        return 0;
    }
    const int32_t seconds =
        beginStream(info.samplerate, frames_, static_cast<uint64_t>(st.st_size));
    if (seconds == 0) close();
    return seconds;
}

int32_t SndfileReader::readFrames(float* dest, int32_t frames) {
    if (!file_) return -1;
    float* samples = channels_ == 2 ? dest : samples_.get();
    const sf_count_t got = sf_readf_float(file_.get(), samples, frames);
    // These formats know their length: data that stops short of it is damaged, whether or
    // not the decoder says so (Ogg streams just end at a broken page).
    if (got < frames && (sf_error(file_.get()) != SF_ERR_NO_ERROR || next_ + got < frames_))
        return -1;
    next_ += got;
    const auto n = static_cast<int32_t>(got);
    for (int32_t i = 0; i < n * channels_; ++i) samples[i] *= 32768.0f;
    if (channels_ != 2) mixdown_.apply(samples, dest, n);
    return n;
}

bool SndfileReader::seekFrames(int64_t frame) {
    if (!file_) return false;
    next_ = std::clamp<int64_t>(frame, 0, frames_);
    if (!vorbis_) return sf_seek(file_.get(), next_, SEEK_SET) == next_;
    // libsndfile's Vorbis seeks land wrong now and then unless made from the start, and
    // inside the final page always land late (by the samples the page trims). So: from the
    // start each time, and near the end to a point before the last page, decoding on from
    // there.
    const int64_t from = std::min(next_, std::max<int64_t>(0, frames_ - vorbisTailFrames_));
    if (sf_seek(file_.get(), 0, SEEK_SET) != 0 || sf_seek(file_.get(), from, SEEK_SET) != from)
        return false;
    for (int64_t at = from; at < next_;) {
        const auto n = static_cast<sf_count_t>(std::min<int64_t>(next_ - at, kMaxReadFrames));
        if (sf_readf_float(file_.get(), samples_.get(), n) != n) return false;
        at += n;
    }
    return true;
}

}  // namespace spinlorex
