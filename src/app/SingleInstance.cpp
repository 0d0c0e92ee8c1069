#include "app/SingleInstance.h"

#include <unistd.h>

#include <QtCore/QDir>
#include <QtCore/QStandardPaths>

namespace spinlorex {

SingleInstance::SingleInstance(const QString& lockFolder) {
    QString folder = lockFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    const QString name = QString("spinlorex-%1").arg(::getuid());
    socketPath_ = folder + "/" + name + ".socket";
    lock_ = std::make_unique<QLockFile>(folder + "/" + name + ".lock");
    lock_->setStaleLockTime(0);  // only a dead owner's lock is stale
    held_ = lock_->tryLock(0);
}

}  // namespace spinlorex
