#include "desk/DeskPreview.h"

#include <algorithm>
#include <cmath>

#include "audio/OutputModes.h"
#include "audio/PreviewPlayer.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {
constexpr double kEngineRate = 44100.0;
}  // namespace

DeskPreview::DeskPreview(DeskContext& context)
    : context_(context), readers_(TrackOpener::standardReaders()) {}

void DeskPreview::setOpener(TrackOpener* opener) {
    // An open under way is answered by the opener it was asked of, or never.
    if (opening_) {
        opening_ = false;
        path_.clear();
    }
    opener_ = opener;
}

bool DeskPreview::headphonesInMode() {
    const OutputPlan plan = outputPlanFor(get(settings().outputMode));
    for (int o = 0; o < plan.outputCount; ++o)
        if (plan.outputs[static_cast<size_t>(o)].feed == Feed::PreListen) return true;
    return false;
}

bool DeskPreview::playing() const {
    return !path_.empty() && (opening_ || context_.links.decks.preview().playing());
}

void DeskPreview::toggle(const TrackEntry& entry) {
    if (playing() && entry.path == path_) {
        stop();
        return;
    }
    start(entry, -1.0);
}

void DeskPreview::playAt(const TrackEntry& entry, double fraction) {
    start(entry, std::clamp(fraction, 0.0, 1.0));
}

void DeskPreview::stop() {
    if (opener_ != nullptr) opener_->cancel(0);
    opening_ = false;
    path_.clear();
    context_.links.decks.preview().stop();
}

void DeskPreview::start(const TrackEntry& entry, double fraction) {
    if (!headphonesInMode()) {
        context_.links.shell.tell(kNoHeadphones);
        return;
    }
    stop();
    if (entry.path.empty()) return;
    path_ = entry.path;
    fraction_ = fraction;
    // The first beat of the stored grid: where a DJ would cue the track.
    firstBeat_ = 0.0;
    if (entry.record != nullptr && entry.record->grid && !entry.record->grid->empty())
        firstBeat_ = std::max(0.0, entry.record->grid->sections.front().firstBeat);
    if (opener_ != nullptr) {
        opening_ = true;
        opener_->open(0, path_);
        return;
    }
    std::unique_ptr<TrackReader> reader = readers_ ? readers_(path_) : nullptr;
    if (reader && reader->open(path_) > 0)
        begin(std::move(reader));
    else
        path_.clear();
}

void DeskPreview::collectOpened() {
    if (opener_ == nullptr) return;
    TrackOpener::Opened opened;
    while (opener_->take(opened)) {
        if (!opening_ || opened.path != path_) continue;
        opening_ = false;
        if (opened.reader)
            begin(std::move(opened.reader));
        else
            path_.clear();
    }
}

void DeskPreview::begin(std::unique_ptr<TrackReader> reader) {
    const int64_t total = reader->totalFrames();
    const int64_t from = fraction_ >= 0.0 ? std::llround(fraction_ * static_cast<double>(total))
                                          : std::llround(firstBeat_ * kEngineRate);
    context_.links.decks.preview().play(std::move(reader), std::min(from, total));
}

}  // namespace spinlorex
