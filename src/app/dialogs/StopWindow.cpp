#include "app/dialogs/StopWindow.h"

#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtGui/QCloseEvent>
#include <QtGui/QGuiApplication>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

#include <thread>

namespace spinlorex {
namespace {

constexpr int kTextWidth = 420;
constexpr int kRefreshMs = 50;

}  // namespace

StopWindow::StopWindow(QWidget* owner, ScanProgress& progress)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint),  // no title bar
      progress_(progress) {
    // Not shown on the window, but named in task bars and to screen readers.
    setWindowTitle(kTitle);
    setWindowModality(Qt::ApplicationModal);
    folder_ = new QLabel;
    folder_->setTextFormat(Qt::PlainText);
    folder_->setFixedWidth(kTextWidth);
    count_ = new QLabel;
    count_->setTextFormat(Qt::PlainText);
    stop_ = new QPushButton("Stop");
    stop_->setDefault(true);
    connect(stop_, &QPushButton::clicked, this, [this] {
        stop_->setEnabled(false);
        progress_.requestStop();
    });

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(14, 12, 14, 10);
    layout->addWidget(folder_);
    layout->addWidget(count_);
    layout->addWidget(stop_, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setLayout(layout);
    showProgress({}, 0);
}

void StopWindow::showProgress(const std::string& folder, uint64_t count) {
    // Names need not be UTF-8: what cannot be decoded shows as a replacement mark.
    const QString text = QString::fromUtf8(folder.data(), static_cast<qsizetype>(folder.size()));
    folder_->setText(folder_->fontMetrics().elidedText(text, Qt::ElideMiddle, kTextWidth));
    count_->setText(QString("%1 files").arg(count));
}

void StopWindow::reject() {
    if (stop_->isEnabled()) stop_->click();
}

void StopWindow::closeEvent(QCloseEvent* event) {
    if (event->spontaneous())
        reject();
    else
        progress_.requestAbandon();
    event->ignore();
}

ScanJob::Result runWithStopWindow(QWidget* owner, ScanJob& job) {
    StopWindow window(owner, job.progress());
    QEventLoop loop;
    QTimer refresh;
    refresh.setInterval(kRefreshMs);
    QObject::connect(&refresh, &QTimer::timeout, &loop, [&] {
        window.showProgress(job.progress().folder(), job.progress().count());
        if (job.finished()) loop.quit();
    });
    job.start();
    window.show();
    refresh.start();
    loop.exec();
    refresh.stop();
    window.hide();
    // The loop ends before the walk only when the application quits, which ends every
    // event loop: a scan cut short by the program's end is thrown away.
    return job.finished() ? job.wait() : job.abandon();
}

void runOnWorker(QWidget& busy, const std::function<void()>& work) {
    QEventLoop loop;
    const bool wasEnabled = busy.isEnabled();
    busy.setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();  // at once when the application quits; the work is waited for all the same
    worker.join();
    QGuiApplication::restoreOverrideCursor();
    busy.setEnabled(wasEnabled);
}

}  // namespace spinlorex
