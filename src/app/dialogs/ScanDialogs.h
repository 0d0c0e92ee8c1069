#pragma once

#include <string>
#include <vector>

#include "app/dialogs/DeskDialog.h"
#include "platform/drives/Drives.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace spinlorex {

class SearchIndex;

// The scans that fill the search file of a home folder. Each ends with success (1) when
// the search file was written, so that the search reloads it; the desk goes on playing
// and drawing while the walk runs on its worker thread.

// "Auto Search of MP3 files on the hard drive": the drives with check boxes (fixed disks
// checked), "MP3 Files" and "WAV Files". OK replaces the checked drives' lines with what
// their walk finds.
class ScanHardDiskDialog : public DeskDialog {
public:
    static constexpr const char* kNothingChecked = "Check the hard disks you want to scan";
    static constexpr const char* kCreationError = "File creation error";

    ScanHardDiskDialog(QWidget* desk, std::string homeFolder, std::vector<drives::Drive> drives);

    QListWidget& driveList() { return *list_; }
    QCheckBox& mp3Box() { return *mp3_; }
    QCheckBox& wavBox() { return *wav_; }
    QCheckBox& sndfileBox() { return *sndfile_; }
    QPushButton& okButton() { return *ok_; }

    void accept() override;
    // Closing while the walk runs stops it instead.
    void reject() override;

private:
    std::string home_;
    std::vector<drives::Drive> drives_;  // every drive: no walk enters another's folder
    std::vector<std::string> offered_;   // the roots of the list's rows
    QListWidget* list_ = nullptr;
    QCheckBox* mp3_ = nullptr;
    QCheckBox* wav_ = nullptr;
    QCheckBox* sndfile_ = nullptr;  // FLAC, Ogg Vorbis and Opus
    QPushButton* ok_ = nullptr;
    bool scanning_ = false;
};

// "Auto scan of mp3 files": the drive holding the disc ("Drive :", the "CD Drive" setting
// chosen at first), and the disc's name ("Name :", the first free "CD" + n). "Scan"
// records the disc's MP3 and WAV files under that name, after asking before it replaces
// a disc of the same name; the drive becomes the "CD Drive" setting.
class ScanCdDialog : public DeskDialog {
public:
    static constexpr const char* kReplaceQuestion =
        "This CD already exists in the database. Do you want to replace its content ?";

    ScanCdDialog(QWidget* desk, std::string homeFolder, std::vector<drives::Drive> drives);

    QComboBox& driveList() { return *drive_; }
    QLineEdit& nameBox() { return *name_; }
    QPushButton& scanButton() { return *scan_; }

    void accept() override;
    // Closing while the walk runs stops it instead.
    void reject() override;

private:
    std::string home_;
    std::vector<drives::Drive> drives_;
    QComboBox* drive_ = nullptr;
    QLineEdit* name_ = nullptr;
    QPushButton* scan_ = nullptr;
    bool scanning_ = false;
};

// The dialogs over the desk, on the home folder of the settings and this machine's drives;
// true when the search file was written.
bool scanHardDisks(QWidget* desk);
bool scanCd(QWidget* desk);

// The search panel's question when it is first shown without a search file: "Do you want
// Spinlorex to scan your HD for MP3 files ?". Asked once per index; yes runs
// scanHardDisks. True when the search file was written.
bool offerHardDiskScan(QWidget* desk, SearchIndex& index);
inline constexpr const char* kScanQuestion =
    "Do you want Spinlorex to scan your HD for MP3 files ?";

}  // namespace spinlorex
