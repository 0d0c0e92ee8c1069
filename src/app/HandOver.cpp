#include "app/HandOver.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QTimer>
#include <QtNetwork/QLocalServer>
#include <QtNetwork/QLocalSocket>

#include <memory>

#include "platform/core/HandOverRequest.h"

namespace spinlorex {

namespace {

constexpr const char* kAnswer = "OK";

}  // namespace

HandOverServer::HandOverServer(const QString& socketPath, FilesHandler onFiles)
    : server_(std::make_unique<QLocalServer>()), onFiles_(std::move(onFiles)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath);
    if (!server_->listen(socketPath)) return;
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto reader = std::make_shared<HandOverReader>();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, reader] {
                if (reader->state() != HandOverReader::State::Incomplete) return;
                const QByteArray bytes = socket->readAll();
                switch (reader->add({bytes.constData(), static_cast<size_t>(bytes.size())})) {
                    case HandOverReader::State::Incomplete:
                        return;
                    case HandOverReader::State::Refused:
                        socket->abort();
                        return;
                    case HandOverReader::State::Whole:
                        break;
                }
                socket->write(QByteArray(kAnswer) + "\n");
                socket->disconnectFromServer();
                // Taken from the loop: a question the files may raise does not hold the
                // sender waiting for its answer.
                if (!reader->files().empty())
                    QTimer::singleShot(0, server_.get(), [this, taken = reader->files()]() mutable {
                        onFiles_(std::move(taken));
                    });
            });
        }
    });
}

HandOverServer::~HandOverServer() = default;

bool HandOverServer::listening() const { return server_->isListening(); }

bool handOverFiles(const QString& socketPath, const std::vector<std::string>& files,
                   int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) return false;
    socket.write(QByteArray::fromStdString(handOverRequest(files)));
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (socket.bytesToWrite() > 0 && !socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
        if (!socket.waitForReadyRead(int(deadline.remainingTime()))) return false;
        answer += socket.readAll();
    }
    return answer.startsWith(kAnswer);
}

}  // namespace spinlorex
