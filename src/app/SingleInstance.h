#pragma once

#include <QtCore/QLockFile>
#include <QtCore/QString>

#include <memory>

namespace spinlorex {

// Whether another desk runs: the first desk holds a lock file in the user's runtime
// folder for as long as it runs (a crashed desk's stale lock is taken over), and listens
// beside it for files handed over by later starts.
class SingleInstance {
public:
    // The lock lives in `folder` (the user's runtime folder when empty).
    explicit SingleInstance(const QString& folder = {});
    // True when this process holds the lock (no other desk holds it).
    bool alone() const { return held_; }
    // The socket beside the lock on which the desk holding it takes files (see HandOver.h).
    const QString& socketPath() const { return socketPath_; }

private:
    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

}  // namespace spinlorex
