// One player per user: a second start hands its paths to the running player
// through a local socket and ends; a start while the player is hidden in
// resident mode wakes it; any program may ask the player to close.
//
// Wire format, one message per connection: a kind byte ('F' files ready,
// 'X' exit request), a 32-bit big-endian payload length, the payload (the
// paths in UTF-8, NUL-separated, absolute; empty for 'X' and for a start
// without paths). The player answers with one byte, 'A', as soon as the
// message is whole, before it acts on it.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace sonfara::shell {

class InstanceChannel : public QObject {
    Q_OBJECT
  public:
    enum class StartResult {
        kListening,   // this process is the player; messages arrive as signals
        kHandedOver,  // a running player took the paths; this process should end
        kNoChannel,   // no socket could be set up; run as a player without one
    };
    enum class SendResult { kDelivered, kNoListener, kNoAnswer, kFailed };
    enum class Message : char { kFilesReady = 'F', kExitRequest = 'X' };

    static constexpr qsizetype kMaxPayload = 4 * 1024 * 1024;

    // The socket in a private folder of $XDG_RUNTIME_DIR (mode 0700), or of
    // the temporary folder when that is unset, or of the user's cache
    // folder when the first one is not ours; "" when none is safe.
    static QString DefaultSocketPath();

    explicit InstanceChannel(QString socketPath = DefaultSocketPath(), QObject* parent = nullptr);
    ~InstanceChannel() override;

    const QString& SocketPath() const { return socketPath_; }

    // Start-up: hands `paths` (possibly none) to a running player, else
    // listens. A socket left by a crashed player is removed and taken over.
    StartResult Start(const QStringList& paths);

    // Client side, blocking; for the start-up and for tools that close the player.
    static SendResult Send(const QString& socketPath, Message kind, const QStringList& paths,
                           int timeoutMs = 10000);

    // Set by the resident hide; the next files-ready message wakes the
    // player (wakeRequested) and clears it.
    void SetResidentHidden(bool hidden) { residentHidden_ = hidden; }
    bool ResidentHidden() const { return residentHidden_; }

    // The first step of the orderly exit: a start from now on finds no
    // listener and becomes a player of its own. Messages half received are dropped.
    void StopListening();
    bool IsListening() const;

  signals:
    // All emitted on the thread that owns the channel (the UI thread).
    // A start while running: raise the windows, then open `paths` if any.
    void filesHanded(const QStringList& paths);
    // A start while resident-hidden: show the windows again; with no paths
    // the song display is emptied.
    void wakeRequested(const QStringList& paths);
    // Close as the exit menu entry does.
    void exitRequested();

  private:
    bool Listen();
    void Accept();
    void Dispatch(QLocalSocket* socket, char kind, const QByteArray& payload);

    QString socketPath_;
    QLocalServer* server_ = nullptr;
    int open_ = 0;  // connections being read
    bool residentHidden_ = false;
};

}  // namespace sonfara::shell
