#include "player/shell/instance_channel.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QtEndian>
#include <memory>

#include "player/platform/user_files.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sonfara::shell {
namespace {

constexpr int kHeaderSize = 5;
constexpr char kAnswer = 'A';
// A peer that connects and then says nothing must not hold a connection open.
constexpr int kReceiveTimeoutMs = 10000;
// Connections read at once; more are closed as they come, so a flood can
// never run the process out of descriptors (the server would then close
// and delete its socket).
constexpr int kMaxConnections = 64;

#ifdef Q_OS_UNIX
// A folder only this user can enter: created with mode 0700, or an existing
// one that is ours, not a symbolic link, and closed to others.
bool PrivateFolder(const QString& folder) {
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) return false;
    return true;
}
#endif

QByteArray EncodePaths(const QStringList& paths) {
    QByteArray payload;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (i > 0) payload.append('\0');
        payload.append(paths[i].toUtf8());
    }
    return payload;
}

QStringList DecodePaths(const QByteArray& payload) {
    QStringList paths;
    for (const QByteArray& part : payload.split('\0')) {
        if (!part.isEmpty()) paths.push_back(QString::fromUtf8(part));
    }
    return paths;
}

}  // namespace

QString InstanceChannel::DefaultSocketPath() {
#ifdef Q_OS_UNIX
    const QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QStringList folders;
    if (!base.isEmpty() && QDir(base).exists()) {
        folders << base + QStringLiteral("/sonfara");
    } else {
        folders << QDir::tempPath() + QStringLiteral("/sonfara-%1").arg(::getuid());
    }
    // Someone else may have taken the name first (or put a link there):
    // then a folder in this user's own cache, which every start picks alike.
    const QString cache = QString::fromStdString(platform::UserCacheFolder());
    folders << cache + QStringLiteral("/sonfara-runtime");
    for (const QString& folder : folders) {
        const QString path = folder + QStringLiteral("/instance");
        if (folder.startsWith(cache)) QDir().mkpath(cache);
        // A socket address holds at most 107 bytes.
        if (QFile::encodeName(path).size() < 108 && PrivateFolder(folder)) return path;
    }
    return {};
#else
    return QStringLiteral("sonfara-instance");
#endif
}

InstanceChannel::InstanceChannel(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

InstanceChannel::~InstanceChannel() {
    StopListening();
}

InstanceChannel::SendResult InstanceChannel::Send(const QString& socketPath, Message kind,
                                                  const QStringList& paths, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs)) {
        const auto error = socket.error();
        if (error == QLocalSocket::ServerNotFoundError ||
            error == QLocalSocket::ConnectionRefusedError) {
            return SendResult::kNoListener;
        }
        return SendResult::kFailed;
    }
    const QByteArray payload = EncodePaths(paths);
    if (payload.size() > kMaxPayload) return SendResult::kFailed;
    QByteArray message(kHeaderSize, '\0');
    message[0] = static_cast<char>(kind);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), message.data() + 1);
    message.append(payload);
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(timeoutMs)) return SendResult::kNoAnswer;
    }
    if (!socket.waitForReadyRead(timeoutMs)) return SendResult::kNoAnswer;
    char answer = 0;
    return socket.getChar(&answer) && answer == kAnswer ? SendResult::kDelivered
                                                        : SendResult::kNoAnswer;
}

InstanceChannel::StartResult InstanceChannel::Start(const QStringList& paths) {
    if (socketPath_.isEmpty()) return StartResult::kNoChannel;
    // Two players starting at once must not both remove and re-create the socket.
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    lock.tryLock(5000);
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (Send(socketPath_, Message::kFilesReady, paths)) {
            case SendResult::kDelivered:
                return StartResult::kHandedOver;
            case SendResult::kNoListener:
                // Nothing answers: no player, or a socket left by a crashed one.
                QLocalServer::removeServer(socketPath_);
                return Listen() ? StartResult::kListening : StartResult::kNoChannel;
            case SendResult::kNoAnswer:
                continue;  // the player may have begun its exit meanwhile
            case SendResult::kFailed:
                return StartResult::kNoChannel;
        }
    }
    return StartResult::kNoChannel;
}

bool InstanceChannel::Listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::Accept);
    return true;
}

bool InstanceChannel::IsListening() const {
    return server_ && server_->isListening();
}

void InstanceChannel::StopListening() {
    if (!server_) return;
    server_->close();  // also removes the socket file
    // Connections still being read belong to the server; they go with it.
    const auto sockets = server_->findChildren<QLocalSocket*>();
    for (QLocalSocket* socket : sockets) socket->abort();
    server_->deleteLater();
    server_ = nullptr;
}

void InstanceChannel::Accept() {
    while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
        if (open_ >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        auto buffer = std::make_shared<QByteArray>();
        QTimer::singleShot(kReceiveTimeoutMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto receive = [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() < kHeaderSize) return;
            const quint32 length = qFromBigEndian<quint32>(buffer->constData() + 1);
            const char kind = buffer->at(0);
            if (length > kMaxPayload ||
                (kind != char(Message::kFilesReady) && kind != char(Message::kExitRequest))) {
                socket->abort();
                return;
            }
            if (buffer->size() < kHeaderSize + qsizetype(length)) return;
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            Dispatch(socket, kind, buffer->mid(kHeaderSize, length));
        };
        connect(socket, &QLocalSocket::readyRead, this, receive);
        if (socket->bytesAvailable() > 0) receive();
    }
}

// The answer goes first: the sender ends at once, whatever the request
// then shows (a message box must not keep a second start waiting).
void InstanceChannel::Dispatch(QLocalSocket* socket, char kind, const QByteArray& payload) {
    if (socket->state() == QLocalSocket::ConnectedState) {
        socket->putChar(kAnswer);
        socket->flush();
        socket->disconnectFromServer();
    }
    if (kind == char(Message::kExitRequest)) {
        emit exitRequested();
        return;
    }
    if (residentHidden_) {
        residentHidden_ = false;
        emit wakeRequested(DecodePaths(payload));
    } else {
        emit filesHanded(DecodePaths(payload));
    }
}

}  // namespace sonfara::shell
