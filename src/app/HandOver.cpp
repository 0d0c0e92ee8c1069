#include "app/HandOver.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QTimer>
#include <QtCore/QUrl>
#include <QtNetwork/QLocalServer>
#include <QtNetwork/QLocalSocket>

#include <memory>
#include <optional>

namespace spinlorex {

namespace {

constexpr const char* kGreeting = "SPINLOREX OPEN";
constexpr const char* kAnswer = "OK";

// The files of a whole request (ended by its empty line); nullopt while incomplete, an
// empty list for a request that is not one.
std::optional<std::vector<std::string>> parseRequest(const QByteArray& bytes) {
    if (!bytes.contains("\n\n")) return std::nullopt;
    const QList<QByteArray> lines = bytes.left(bytes.indexOf("\n\n")).split('\n');
    std::vector<std::string> files;
    if (lines.isEmpty() || lines.front() != kGreeting) return files;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QUrl url = QUrl::fromEncoded(lines[i], QUrl::StrictMode);
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    }
    return files;
}

}  // namespace

HandOverServer::HandOverServer(const QString& socketPath, FilesHandler onFiles)
    : server_(std::make_unique<QLocalServer>()), onFiles_(std::move(onFiles)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath);
    if (!server_->listen(socketPath)) return;
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
                buffer->append(socket->readAll());
                if (buffer->size() > kMaxRequestBytes) {
                    socket->abort();
                    return;
                }
                std::optional<std::vector<std::string>> files = parseRequest(*buffer);
                if (!files) return;
                buffer->clear();
                socket->write(QByteArray(kAnswer) + "\n");
                socket->disconnectFromServer();
                // Taken from the loop: a question the files may raise does not hold the
                // sender waiting for its answer.
                if (!files->empty())
                    QTimer::singleShot(0, server_.get(),
                                       [this, taken = std::move(*files)]() mutable {
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
    QByteArray request = QByteArray(kGreeting) + "\n";
    for (const std::string& file : files)
        request += QUrl::fromLocalFile(QString::fromStdString(file)).toEncoded() + "\n";
    request += "\n";
    socket.write(request);
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
