// The instance channel between real processes: shell_instance_helper plays
// the running player and the starting one.
#include "player/shell/instance_channel.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "tests/shell/qt_app.h"

using sonfara::shell::InstanceChannel;

namespace {

constexpr int kLimitMs = 5000;

class InstanceChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureQtApp();
        ASSERT_TRUE(dir_.isValid());
        socket_ = dir_.filePath(QStringLiteral("instance"));
    }
    void TearDown() override {
        for (auto& p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(kLimitMs);
            }
        }
    }

    // Starts a helper on the test's socket and returns it once it has said
    // how it started (first line).
    QProcess* Start(const QStringList& paths, QString* firstLine) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(INSTANCE_HELPER), QStringList{socket_} + paths);
        *firstLine = ReadLine(*p);
        processes_.push_back(std::move(p));
        return processes_.back().get();
    }
    static QString ReadLine(QProcess& p) {
        while (!p.canReadLine()) {
            if (!p.waitForReadyRead(kLimitMs)) return QStringLiteral("<nothing>");
        }
        return QString::fromUtf8(p.readLine()).trimmed();
    }
    static QString Command(QProcess& p, const char* command) {
        p.write(QByteArray(command) + '\n');
        return ReadLine(p);
    }
    // A second start with these paths; true when it handed them over and ended.
    bool HandOver(const QStringList& paths) {
        QString first;
        QProcess* second = Start(paths, &first);
        return first == u"handed" && second->waitForFinished(kLimitMs) && second->exitCode() == 0;
    }

    QTemporaryDir dir_;
    QString socket_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(InstanceChannelTest, SecondStartHandsOverItsPathsAndEnds) {
    QString first;
    QProcess* player = Start({}, &first);
    ASSERT_EQ(first, u"listening");

    const QStringList three = {QStringLiteral("/songs/a.mid"), QStringLiteral("/songs/b c.mid"),
                               QStringLiteral("/曲/で.mid")};
    ASSERT_TRUE(HandOver(three));
    EXPECT_EQ(ReadLine(*player), u"files 3 /songs/a.mid|/songs/b c.mid|/曲/で.mid");

    // Without paths the running player is only brought to the front.
    ASSERT_TRUE(HandOver({}));
    EXPECT_EQ(ReadLine(*player), u"files 0");
}

TEST_F(InstanceChannelTest, StartWakesAResidentHiddenPlayerOnce) {
    QString first;
    QProcess* player = Start({}, &first);
    ASSERT_EQ(first, u"listening");

    ASSERT_EQ(Command(*player, "hide"), u"hidden");
    ASSERT_TRUE(HandOver({QStringLiteral("/songs/x.mid")}));
    EXPECT_EQ(ReadLine(*player), u"wake 1 /songs/x.mid");
    // The wake cleared the hidden state: the next start is an ordinary one.
    ASSERT_TRUE(HandOver({}));
    EXPECT_EQ(ReadLine(*player), u"files 0");

    ASSERT_EQ(Command(*player, "hide"), u"hidden");
    ASSERT_TRUE(HandOver({}));
    EXPECT_EQ(ReadLine(*player), u"wake 0");
}

TEST_F(InstanceChannelTest, ExitRequestClosesThePlayer) {
    QString first;
    QProcess* player = Start({}, &first);
    ASSERT_EQ(first, u"listening");

    EXPECT_EQ(InstanceChannel::Send(socket_, InstanceChannel::Message::kExitRequest, {}),
              InstanceChannel::SendResult::kDelivered);
    EXPECT_EQ(ReadLine(*player), u"exit");
    ASSERT_TRUE(player->waitForFinished(kLimitMs));
    EXPECT_EQ(player->exitCode(), 0);
    EXPECT_EQ(InstanceChannel::Send(socket_, InstanceChannel::Message::kExitRequest, {}),
              InstanceChannel::SendResult::kNoListener);
}

TEST_F(InstanceChannelTest, StartDuringOrderlyExitBecomesAPlayerOfItsOwn) {
    QString first;
    QProcess* ending = Start({}, &first);
    ASSERT_EQ(first, u"listening");
    ASSERT_EQ(Command(*ending, "orderly-exit"), u"stopped");

    QProcess* fresh = Start({QStringLiteral("/songs/new.mid")}, &first);
    EXPECT_EQ(first, u"listening");
    ending->write("quit\n");
    ASSERT_TRUE(ending->waitForFinished(kLimitMs));

    // The first player's end left the new one reachable.
    ASSERT_TRUE(HandOver({QStringLiteral("/songs/later.mid")}));
    EXPECT_EQ(ReadLine(*fresh), u"files 1 /songs/later.mid");
}

TEST_F(InstanceChannelTest, SocketLeftByACrashedPlayerDoesNotBlockAStart) {
    // A bound socket whose owner is gone: the file stays, nobody accepts.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = socket_.toLocal8Bit();
    ASSERT_LT(size_t(native.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, native.constData(), native.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    EXPECT_EQ(InstanceChannel::Send(socket_, InstanceChannel::Message::kFilesReady, {}),
              InstanceChannel::SendResult::kNoListener);

    QString first;
    QProcess* player = Start({}, &first);
    ASSERT_EQ(first, u"listening");
    ASSERT_TRUE(HandOver({QStringLiteral("/songs/a.mid")}));
    EXPECT_EQ(ReadLine(*player), u"files 1 /songs/a.mid");
}

// In one process: what a peer that is not a player sends is refused.
TEST_F(InstanceChannelTest, MalformedMessagesAreDroppedWithoutEffect) {
    InstanceChannel channel(socket_);
    ASSERT_EQ(channel.Start({}), InstanceChannel::StartResult::kListening);
    int received = 0;
    QObject::connect(&channel, &InstanceChannel::filesHanded, [&] { ++received; });
    QObject::connect(&channel, &InstanceChannel::exitRequested, [&] { ++received; });

    const QByteArray unknownKind("Z\0\0\0\0", 5);
    const QByteArray oversize("F\x7f\xff\xff\xff", 5);
    for (const QByteArray& bytes : {unknownKind, oversize}) {
        QLocalSocket peer;
        peer.connectToServer(socket_);
        ASSERT_TRUE(peer.waitForConnected(kLimitMs));
        peer.write(bytes);
        peer.flush();
        EXPECT_TRUE(SpinUntil([&] { return peer.state() == QLocalSocket::UnconnectedState; }));
    }
    EXPECT_EQ(received, 0);
}

// A flood of connections that say nothing: the player keeps listening on
// the same socket, and a real start still gets through afterwards.
TEST_F(InstanceChannelTest, FloodOfIdleConnectionsNeverClosesTheChannel) {
    // Few descriptors, so the flood outnumbers them.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    InstanceChannel channel(socket_);
    ASSERT_EQ(channel.Start({}), InstanceChannel::StartResult::kListening);
    QStringList got;
    QObject::connect(&channel, &InstanceChannel::filesHanded,
                     [&](const QStringList& p) { got = p; });

    std::vector<int> peers;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(socket_).constData(),
                 sizeof address.sun_path - 1);
    for (int i = 0; i < 180; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (fd < 0) break;
        peers.push_back(fd);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        if (i % 16 == 0) QCoreApplication::processEvents();
    }
    SpinUntil([] { return false; }, 200);
    EXPECT_TRUE(channel.IsListening());
    EXPECT_TRUE(QFile::exists(socket_));
    for (int fd : peers) ::close(fd);

    QString first;
    QProcess* second = Start({QStringLiteral("/songs/a.mid")}, &first);
    EXPECT_TRUE(SpinUntil([&] { return !got.isEmpty(); }));
    EXPECT_EQ(got, QStringList{QStringLiteral("/songs/a.mid")});
    second->waitForFinished(kLimitMs);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(InstanceChannelPath, PrivateFolderInTheRuntimeFolder) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString folder = runtime.filePath(QStringLiteral("sonfara"));
    ASSERT_EQ(::mkdir(folder.toLocal8Bit().constData(), 0755), 0);  // too open: closed again

    EXPECT_EQ(InstanceChannel::DefaultSocketPath(), folder + QStringLiteral("/instance"));
    struct stat st {};
    ASSERT_EQ(::stat(folder.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A symbolic link in its place is not trusted: the socket goes to the
    // user's cache folder instead, so there still is one player.
    QTemporaryDir cache;
    ASSERT_TRUE(cache.isValid());
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", (cache.path() + QStringLiteral("/made")).toLocal8Bit());
    ASSERT_EQ(::rmdir(folder.toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink("/tmp", folder.toLocal8Bit().constData()), 0);
    EXPECT_EQ(InstanceChannel::DefaultSocketPath(),
              cache.path() + QStringLiteral("/made/sonfara-runtime/instance"));
    qputenv("XDG_RUNTIME_DIR", saved);
    qputenv("XDG_CACHE_HOME", savedCache);
}

// The runtime folder's "sonfara" taken by another user: the cache folder too.
TEST(InstanceChannelPath, ForeignRuntimeFolderFallsBackToTheCache) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's folder";
    QTemporaryDir runtime, cache;
    ASSERT_TRUE(runtime.isValid() && cache.isValid());
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR"),
                     savedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    const QByteArray taken = runtime.filePath(QStringLiteral("sonfara")).toLocal8Bit();
    ASSERT_EQ(::mkdir(taken.constData(), 0700), 0);
    ASSERT_EQ(::chown(taken.constData(), 65534, 65534), 0);

    EnsureQtApp();
    const QString path = InstanceChannel::DefaultSocketPath();
    EXPECT_EQ(path, cache.path() + QStringLiteral("/sonfara-runtime/instance"));
    InstanceChannel channel(path);
    EXPECT_EQ(channel.Start({}), InstanceChannel::StartResult::kListening);
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("XDG_CACHE_HOME", savedCache);
}

// Without a runtime folder, a shared temporary name that another user took
// first sends the socket to the user's own cache folder.
TEST(InstanceChannelPath, ForeignTemporaryFolderFallsBackToTheCache) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's folder";
    QTemporaryDir tmp, cache;
    ASSERT_TRUE(tmp.isValid() && cache.isValid());
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR"), savedTmp = qgetenv("TMPDIR"),
                     savedCache = qgetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    const QByteArray taken =
        (tmp.path() + QStringLiteral("/sonfara-%1").arg(::getuid())).toLocal8Bit();
    ASSERT_EQ(::mkdir(taken.constData(), 0777), 0);
    ASSERT_EQ(::chown(taken.constData(), 65534, 65534), 0);

    EXPECT_EQ(InstanceChannel::DefaultSocketPath(),
              cache.path() + QStringLiteral("/sonfara-runtime/instance"));
    struct stat st {};
    ASSERT_EQ(::stat(taken.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << "the other user's folder is left alone";
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTmp);
    qputenv("XDG_CACHE_HOME", savedCache);
}

}  // namespace
