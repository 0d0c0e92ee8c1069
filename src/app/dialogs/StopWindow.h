#pragma once

#include <QtWidgets/QDialog>

#include <cstdint>
#include <functional>
#include <string>

#include "library/ScanJob.h"

class QLabel;
class QPushButton;

namespace spinlorex {

// The small window without title bar shown while a scan walks: the folder being scanned
// (shortened in the middle when long), the number of files found so far, and "Stop",
// which ends the walk after the current file or folder and keeps what it found.
class StopWindow : public QDialog {
public:
    static constexpr const char* kTitle = "Scanning";

    StopWindow(QWidget* owner, ScanProgress& progress);

    void showProgress(const std::string& folder, uint64_t count);

    QLabel& folderText() { return *folder_; }
    QLabel& countText() { return *count_; }
    QPushButton& stopButton() { return *stop_; }

    // Escape means Stop; the window stays until the walk has ended.
    void reject() override;

protected:
    // Closing it from the window manager means Stop too. A close that does not come from
    // the user is the desk closing its windows because the program ends: the scan is
    // thrown away and the search file stays as it was.
    void closeEvent(QCloseEvent* event) override;

private:
    ScanProgress& progress_;
    QLabel* folder_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* stop_ = nullptr;
};

// Runs the scan on its worker thread while the Stop window over `owner` shows its
// progress; the program's windows keep drawing (and the desk playing) meanwhile. Returns
// when the walk has ended, with its result. When the application quits meanwhile (its
// event loops all end), the scan is thrown away. Main thread.
ScanJob::Result runWithStopWindow(QWidget* owner, ScanJob& job);

// Runs `work` (a read or a rewrite of the search file) on a worker thread while the
// program's windows keep drawing, `busy` disabled under the wait cursor; returns once the
// work is done, also when the application quits meanwhile. Main thread.
void runOnWorker(QWidget& busy, const std::function<void()>& work);

}  // namespace spinlorex
