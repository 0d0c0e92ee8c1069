#include "platform/volume/SystemVolume.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/core/WholeFile.h"

namespace spinlorex {
namespace {

constexpr const char* kFirstLine = "spinlorex volumes 1";

// Names end up between tabs, one control a line.
bool storable(const std::string& text) {
    return text.find_first_of("\t\n\r") == std::string::npos && !text.empty();
}

bool processRuns(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

SystemVolume::SystemVolume(std::unique_ptr<MixerAccess> mixer, std::string restoreFile)
    : mixer_(std::move(mixer)), restoreFile_(std::move(restoreFile)) {}

bool SystemVolume::writeRestoreFile() const {
    std::ostringstream text;
    text << kFirstLine << "\npid " << ::getpid() << "\n";
    for (const Saved& record : records_) {
        text << record.control.card << '\t' << record.control.name << '\t';
        for (size_t i = 0; i < record.values.size(); ++i)
            text << (i != 0 ? " " : "") << record.values[i];
        text << '\n';
    }
    // Durable and whole before any control is raised; the user's own.
    return replaceFile(restoreFile_, text.str(), FileReplacement::Folder::Create, 0600);
}

void SystemVolume::saveAndMaximise() {
    records_.clear();
    // Visited from the last control to the first; restore goes the same way.
    std::vector<MixerAccess::Control> controls =
        mixer_ ? mixer_->controls() : std::vector<MixerAccess::Control>{};
    std::reverse(controls.begin(), controls.end());
    for (const MixerAccess::Control& control : controls) {
        if (!storable(control.card) || !storable(control.name)) continue;
        Saved record{control, {}};
        if (!mixer_->read(control, record.values)) continue;
        records_.push_back(std::move(record));
    }
    saved_ = true;
    // Nothing is raised that could not be put back after a crash.
    if (!restoreFile_.empty() && !records_.empty() && !writeRestoreFile()) {
        records_.clear();
        return;
    }
    for (const Saved& record : records_) mixer_->maximise(record.control);
}

void SystemVolume::putBack(const std::vector<Saved>& records) {
    // A card that went away meanwhile is skipped; nothing beyond the saved records is touched.
    const std::vector<MixerAccess::Control> present = mixer_->controls();
    for (const Saved& record : records) {
        const bool stillThere =
            std::any_of(present.begin(), present.end(), [&](const MixerAccess::Control& c) {
                return c.card == record.control.card && c.name == record.control.name;
            });
        if (stillThere) mixer_->write(record.control, record.values);
    }
}

void SystemVolume::restore() {
    if (!saved_) return;
    putBack(records_);
    if (!restoreFile_.empty() && !records_.empty()) ::unlink(restoreFile_.c_str());
    records_.clear();
    saved_ = false;
}

bool SystemVolume::restoreLeftover(bool force) {
    if (restoreFile_.empty() || !mixer_) return false;
    std::ifstream in(restoreFile_);
    if (!in) return false;
    std::string line;
    if (!std::getline(in, line) || line != kFirstLine) return false;  // not ours: left alone
    long pid = 0;
    if (std::getline(in, line) && line.starts_with("pid ")) pid = std::atol(line.c_str() + 4);
    // A desk that still runs (another copy) restores its own.
    if (!force && pid != ::getpid() && processRuns(pid)) return false;
    std::vector<Saved> records;
    while (std::getline(in, line)) {
        const size_t tab1 = line.find('\t');
        const size_t tab2 =
            tab1 == std::string::npos ? std::string::npos : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) continue;
        Saved record{{line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1)}, {}};
        std::istringstream values(line.substr(tab2 + 1));
        for (long v = 0; values >> v;) record.values.push_back(v);
        if (!record.values.empty()) records.push_back(std::move(record));
    }
    putBack(records);
    ::unlink(restoreFile_.c_str());
    return true;
}

}  // namespace spinlorex
