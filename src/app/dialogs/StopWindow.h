#pragma once

#include <QtWidgets/QDialog>

#include <cstdint>
#include <string>

#include "library/ScanJob.h"

class QLabel;
class QPushButton;

namespace spinlorex {

// The small window without title shown while a scan walks: the folder being scanned
// (shortened in the middle when long), the number of files found so far, and "Stop",
// which ends the walk after the current file or folder.
class StopWindow : public QDialog {
public:
    explicit StopWindow(QWidget* owner);

    void showProgress(const std::string& folder, uint64_t count);

    QLabel& folderText() { return *folder_; }
    QLabel& countText() { return *count_; }
    QPushButton& stopButton() { return *stop_; }

    // Escape (or closing) means Stop; the window stays until the walk has ended.
    void reject() override;

private:
    QLabel* folder_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* stop_ = nullptr;
};

// Runs the prepared scan on its worker thread while the Stop window over `owner` shows
// its progress; the program's windows keep drawing (and the desk playing) meanwhile.
// Returns when the walk has ended, with its result. Main thread.
ScanJob::Result runWithStopWindow(QWidget* owner, ScanJob& job);

}  // namespace spinlorex
