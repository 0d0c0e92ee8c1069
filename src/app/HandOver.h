#pragma once

#include <QtCore/QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;

namespace spinlorex {

// Files given to a second start reach the desk that runs already: the running desk listens
// on a local socket beside its single-instance lock, a second start sends its files there
// (see HandOverRequest.h) and ends; the desk answers "OK". Main thread only.
class HandOverServer {
public:
    using FilesHandler = std::function<void(std::vector<std::string> files)>;
    // Listens at `socketPath`; a socket left there by a desk that died is replaced (the
    // caller holds the single-instance lock, so no desk listens there any more).
    // `onFiles` runs from the event loop once a request is whole and answered.
    HandOverServer(const QString& socketPath, FilesHandler onFiles);
    ~HandOverServer();
    HandOverServer(const HandOverServer&) = delete;
    HandOverServer& operator=(const HandOverServer&) = delete;

    bool listening() const;

private:
    std::unique_ptr<QLocalServer> server_;
    FilesHandler onFiles_;
};

// Sends `files` (absolute paths) to the desk listening at `socketPath`. True once that desk
// answered that it took them; false when none listens or it did not answer within
// `timeoutMs`. Blocks the calling thread meanwhile.
bool handOverFiles(const QString& socketPath, const std::vector<std::string>& files,
                   int timeoutMs = 5000);

}  // namespace spinlorex
