#include "app/SecondStart.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace brimlet {

namespace {

constexpr char kShow[] = "show\n";
constexpr char kShown[] = "shown\n";
constexpr char kNoWindow[] = "no window\n";
constexpr int kMaxRequest = 64;
constexpr int kAnswerMs = 3000;

}  // namespace

QString secondStartSocketPath(const QString& folder) {
    const QByteArray digest =
        QCryptographicHash::hash(QDir(folder).absolutePath().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(runtime.isEmpty() ? QDir::tempPath() : runtime)
        .filePath(QStringLiteral("brimlet-%1").arg(QString::fromLatin1(digest)));
}

SecondStartListener::SecondStartListener(const QString& folder, std::function<bool()> show,
                                         QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), show_(std::move(show)) {
    const QString path = secondStartSocketPath(folder);
    // Only the holder of the folder's lock listens, so a socket left behind
    // by a Brimlet that ended abruptly is taken over.
    QLocalServer::removeServer(path);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(path);
    connect(server_, &QLocalServer::newConnection, this, &SecondStartListener::answer);
}

SecondStartListener::~SecondStartListener() {
    server_->close();
}

bool SecondStartListener::isListening() const {
    return server_->isListening();
}

void SecondStartListener::answer() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A caller that never says anything is let go.
        QTimer::singleShot(kAnswerMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine() && socket->bytesAvailable() < kMaxRequest) return;
            const QByteArray request = socket->readLine(kMaxRequest);
            const bool shown = request == kShow && show_();
            socket->write(shown ? kShown : kNoWindow);
            socket->disconnectFromServer();
        });
    }
}

bool askRunningBrimletToShow(const QString& folder) {
    QLocalSocket socket;
    socket.connectToServer(secondStartSocketPath(folder));
    const QDeadlineTimer deadline(kAnswerMs);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return false;
    socket.write(kShow);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
    while (!socket.canReadLine() && socket.bytesAvailable() < kMaxRequest) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return socket.readLine(kMaxRequest) == kShown;
}

}  // namespace brimlet
