#include "app/dialogs/ScanDialogs.h"

#include <QtCore/QRegularExpression>
#include <QtGui/QRegularExpressionValidator>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDialogButtonBox>
#include <QtWidgets/QFormLayout>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStyle>
#include <QtWidgets/QVBoxLayout>

#include "app/dialogs/StopWindow.h"
#include "library/ScanJob.h"
#include "library/SearchIndex.h"
#include "library/SearchLine.h"
#include "platform/settings/Settings.h"

namespace spinlorex {
namespace {

using drives::DriveType;

QIcon driveIcon(DriveType type) {
    QStyle* style = QApplication::style();
    switch (type) {
        case DriveType::CdRom:
            return style->standardIcon(QStyle::SP_DriveCDIcon);
        case DriveType::Removable:
            return style->standardIcon(QStyle::SP_DriveFDIcon);
        case DriveType::Remote:
            return style->standardIcon(QStyle::SP_DriveNetIcon);
        case DriveType::Fixed:
            break;
    }
    return style->standardIcon(QStyle::SP_DriveHDIcon);
}

// Mount points need not be UTF-8; what cannot be decoded shows as a replacement mark.
QString shown(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string_view withoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
    return path;
}

void showMessage(QWidget* owner, const char* text) {
    QMessageBox box(QMessageBox::Warning, "Spinlorex", text, QMessageBox::Ok, owner);
    box.exec();
}

// Disables the dialog's own controls (not the dialog: the Stop window is its child) for
// the time of a walk.
class ControlsOff {
public:
    ControlsOff(QWidget& dialog, bool& scanning) : dialog_(dialog), scanning_(scanning) {
        scanning_ = true;
        for (QWidget* child : dialog_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isWindow()) child->setEnabled(false);
        }
    }
    ~ControlsOff() {
        for (QWidget* child : dialog_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->setEnabled(true);
        scanning_ = false;
    }
    ControlsOff(const ControlsOff&) = delete;
    ControlsOff& operator=(const ControlsOff&) = delete;

private:
    QWidget& dialog_;
    bool& scanning_;
};

ScanJob::Result runScan(QWidget& dialog, bool& scanning, ScanJob& job) {
    const ControlsOff off(dialog, scanning);
    return runWithStopWindow(&dialog, job);
}

// A stopped scan wrote what it found: the search reads the file again.
bool wroteTheFile(ScanJob::Result result) {
    return result == ScanJob::Result::Done || result == ScanJob::Result::Stopped;
}

// While a walk runs, closing the dialog means Stop.
void stopInstead(QWidget& dialog) {
    if (auto* window = dialog.findChild<StopWindow*>()) window->stopButton().click();
}

}  // namespace

ScanHardDiskDialog::ScanHardDiskDialog(QWidget* desk, std::string homeFolder,
                                       std::vector<drives::Drive> drives)
    : DeskDialog(desk, "Auto Search of MP3 files on the hard drive"),
      home_(std::move(homeFolder)),
      drives_(std::move(drives)) {
    auto* question = new QLabel(kNothingChecked);
    list_ = new QListWidget;
    question->setBuddy(list_);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setMinimumSize(300, 160);
    // A drive whose mount point no line could carry is not offered.
    for (const drives::Drive& drive : drives_) {
        if (!driveKeyOf(drive.root)) continue;
        auto* item = new QListWidgetItem(driveIcon(drive.type), shown(drive.root), list_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(drive.type == DriveType::Fixed ? Qt::Checked : Qt::Unchecked);
        offered_.push_back(drive.root);
    }
    mp3_ = new QCheckBox("MP3 Files");
    wav_ = new QCheckBox("WAV Files");
    sndfile_ = new QCheckBox("FLAC/Ogg Files");
    mp3_->setChecked(true);
    wav_->setChecked(true);
    sndfile_->setChecked(true);
    ok_ = new QPushButton("OK");
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &ScanHardDiskDialog::accept);
    // A scan of no kind of file would only remove the drives' lines.
    const auto updateOk = [this] {
        ok_->setEnabled(mp3_->isChecked() || wav_->isChecked() || sndfile_->isChecked());
    };
    connect(mp3_, &QCheckBox::toggled, this, updateOk);
    connect(wav_, &QCheckBox::toggled, this, updateOk);
    connect(sndfile_, &QCheckBox::toggled, this, updateOk);

    auto* kinds = new QHBoxLayout;
    kinds->addWidget(mp3_);
    kinds->addWidget(wav_);
    kinds->addWidget(sndfile_);
    kinds->addStretch();
    kinds->addWidget(ok_);
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(question);
    layout->addWidget(list_);
    layout->addLayout(kinds);
    setFixedLayout(layout);
}

void ScanHardDiskDialog::accept() {
    if (scanning_) return;
    std::vector<std::string> chosen;
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->checkState() == Qt::Checked)
            chosen.push_back(offered_[static_cast<size_t>(row)]);
    }
    if (chosen.empty()) {
        showMessage(this, kNothingChecked);
        return;
    }
    const int mask = (mp3_->isChecked() ? kScanMp3 : 0) | (wav_->isChecked() ? kScanWav : 0) |
                     (sndfile_->isChecked() ? kScanSndfile : 0);
    const std::unique_ptr<ScanJob> job = hardDiskScan(home_, chosen, drives_, mask);
    const ScanJob::Result result = runScan(*this, scanning_, *job);
    // Thrown away: the program is closing, and there is nothing to tell.
    if (result != ScanJob::Result::Abandoned && !wroteTheFile(result))
        showMessage(this, kCreationError);
    done(wroteTheFile(result) ? 1 : 0);
}

void ScanHardDiskDialog::reject() {
    if (scanning_)
        stopInstead(*this);
    else
        DeskDialog::reject();
}

ScanCdDialog::ScanCdDialog(QWidget* desk, std::string homeFolder, std::vector<drives::Drive> drives)
    : DeskDialog(desk, "Auto scan of mp3 files"),
      home_(std::move(homeFolder)),
      drives_(std::move(drives)) {
    drive_ = new QComboBox;
    drive_->setMinimumWidth(260);
    int chosen = -1;
    const std::string_view cdDrive = withoutTrailingSlash(settings().cdDrive);
    for (const drives::Drive& drive : drives_) {
        if (!cdDrive.empty() && withoutTrailingSlash(drive.root) == cdDrive)
            chosen = drive_->count();
        drive_->addItem(driveIcon(drive.type), shown(drive.root));
    }
    drive_->setCurrentIndex(chosen);  // none when the setting names no drive of the list

    SearchIndex index(home_);
    runOnWorker(*this, [&index] { index.load(); });
    name_ = new QLineEdit(QString::fromStdString(proposeDiscName(index)));
    name_->setMaxLength(static_cast<int>(kMaxDiscName));
    // A disc name starts its lines and ends at their first "=": see isValidDiscName.
    name_->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[^=:/\\r\\n][^=:\\r\\n]*"), name_));
    name_->selectAll();

    scan_ = new QPushButton("Scan");
    scan_->setDefault(true);
    connect(scan_, &QPushButton::clicked, this, &ScanCdDialog::accept);

    auto* form = new QFormLayout;
    form->addRow("Drive :", drive_);
    form->addRow("Name :", name_);
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addLayout(form);
    layout->addWidget(scan_, 0, Qt::AlignRight);
    setFixedLayout(layout);
}

void ScanCdDialog::accept() {
    if (scanning_) return;
    const int row = drive_->currentIndex();
    if (row < 0) {
        drive_->setFocus();
        return;
    }
    const QByteArray typed = name_->text().toUtf8();
    const std::string name(typed.constData(), static_cast<size_t>(typed.size()));
    if (!isValidDiscName(name)) {
        name_->setFocus();
        return;
    }
    const std::string& root = drives_[static_cast<size_t>(row)].root;
    settings().cdDrive = root;

    bool exists = false;
    runOnWorker(*this, [this, &name, &exists] {
        SearchIndex index(home_);
        index.load();
        exists = index.anyLineWithKey(name);
    });
    if (!isVisible()) return;  // closed meanwhile: the program is closing
    if (exists) {
        QMessageBox question(QMessageBox::Question, "Spinlorex", kReplaceQuestion,
                             QMessageBox::Yes | QMessageBox::No, this);
        if (question.exec() != QMessageBox::Yes) return;
    }
    const std::unique_ptr<ScanJob> job = discScan(home_, name, root, exists, drives_);
    done(wroteTheFile(runScan(*this, scanning_, *job)) ? 1 : 0);
}

void ScanCdDialog::reject() {
    if (scanning_)
        stopInstead(*this);
    else
        DeskDialog::reject();
}

bool scanHardDisks(QWidget* desk) {
    std::vector<drives::Drive> drives = drives::listDrives();
    if (drives.empty()) return false;
    ScanHardDiskDialog dialog(desk, settings().homeFolder, std::move(drives));
    return dialog.exec() == 1;
}

bool scanCd(QWidget* desk) {
    ScanCdDialog dialog(desk, settings().homeFolder, drives::listDrives());
    return dialog.exec() == 1;
}

bool offerHardDiskScan(QWidget* desk, SearchIndex& index) {
    if (!index.takeScanQuestion()) return false;
    QMessageBox question(QMessageBox::Question, "Spinlorex", kScanQuestion,
                         QMessageBox::Yes | QMessageBox::No, desk);
    return question.exec() == QMessageBox::Yes && scanHardDisks(desk);
}

}  // namespace spinlorex
