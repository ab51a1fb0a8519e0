// The MPRIS service on a private bus daemon, called as a desktop widget
// would: over the bus, from a second connection.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QProcess>
#include <algorithm>
#include <csignal>
#include <thread>

#include "player/shell/media_target.h"
#include "player/shell/mpris_service.h"
#include "player/shell/qt_platform.h"
#include "tests/session/session_fixture.h"
#include "tests/shell/qt_app.h"

using namespace sonfara::shell;
using sonfara::platform::RepeatMode;

namespace {

class FakeTarget : public MediaControlTarget {
  public:
    MediaState state;
    QStringList calls;

    MediaState State() const override { return state; }
    void Play() override { calls << "Play"; }
    void Pause() override { calls << "Pause"; }
    void PlayPause() override { calls << "PlayPause"; }
    void Stop() override { calls << "Stop"; }
    void Next() override { calls << "Next"; }
    void Previous() override { calls << "Previous"; }
    void SetPosition(qint64 us) override { calls << QStringLiteral("SetPosition %1").arg(us); }
    QString OpenPaths(const QStringList& p) override {
        calls << "Open " + p.join(u'|');
        return openError;
    }
    QString openError;
    void Raise() override { calls << "Raise"; }
    void Quit() override { calls << "Quit"; }
    void SetRate(double r) override { calls << QStringLiteral("SetRate %1").arg(r); }
    void SetRepeatMode(RepeatMode m) override {
        calls << QStringLiteral("SetRepeatMode %1").arg(int(m));
        state.repeatMode = m;
    }
};

// A bus daemon of this test's own, ended with the test suite.
class PrivateBus {
  public:
    PrivateBus() {
        // The daemon ends with this process, also when a test crashes.
        daemon_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000)) return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) daemon_.kill();
    }
    const QString& Address() const { return address_; }

  private:
    QProcess daemon_;
    QString address_;
};

class MprisTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        EnsureQtApp();
        bus_ = new PrivateBus;
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(QStringLiteral("player"));
        QDBusConnection::disconnectFromBus(QStringLiteral("widget"));
        delete bus_;
    }
    void SetUp() override {
        if (bus_->Address().isEmpty()) GTEST_SKIP() << "dbus-daemon could not be started";
        target_.state = Playing();
        service_ = std::make_unique<MprisService>(
            target_, QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("player")));
        ASSERT_TRUE(service_->Register());
    }

    static MediaState Playing() {
        MediaState s;
        s.status = MediaState::Status::kPlaying;
        s.loaded = true;
        s.positionUs = 10'000'000;
        s.lengthUs = 60'000'000;
        s.title = QStringLiteral("夏の歌");
        s.filePath = QStringLiteral("/songs/natsu uta.mid");
        s.listIndex = 2;
        s.listCount = 3;
        return s;
    }
    static QDBusConnection Widget() {
        return QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("widget"));
    }
    QDBusMessage Call(const char* interface, const char* method, const QVariantList& args = {}) {
        QDBusMessage m =
            QDBusMessage::createMethodCall(service_->ServiceName(), MprisService::kObjectPath,
                                           QLatin1String(interface), QLatin1String(method));
        m.setArguments(args);
        return Widget().call(m, QDBus::BlockWithGui, 5000);
    }
    QVariant Get(const char* interface, const char* property) {
        QDBusMessage reply = Call("org.freedesktop.DBus.Properties", "Get",
                                  {QLatin1String(interface), QLatin1String(property)});
        if (reply.type() != QDBusMessage::ReplyMessage) return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QDBusMessage Set(const char* property, const QVariant& value) {
        return Call("org.freedesktop.DBus.Properties", "Set",
                    {QLatin1String(MprisService::kPlayerInterface), QLatin1String(property),
                     QVariant::fromValue(QDBusVariant(value))});
    }
    QDBusMessage Player(const char* method, const QVariantList& args = {}) {
        return Call(MprisService::kPlayerInterface, method, args);
    }

    static PrivateBus* bus_;
    FakeTarget target_;
    std::unique_ptr<MprisService> service_;
};
PrivateBus* MprisTest::bus_ = nullptr;

TEST_F(MprisTest, IdentityStatusAndMetadata) {
    EXPECT_EQ(service_->ServiceName(), u"org.mpris.MediaPlayer2.sonfara");
    EXPECT_EQ(Get(MprisService::kRootInterface, "Identity").toString(), u"Sonfara");
    EXPECT_TRUE(Get(MprisService::kRootInterface, "CanQuit").toBool());
    EXPECT_EQ(Get(MprisService::kPlayerInterface, "PlaybackStatus").toString(), u"Playing");
    EXPECT_EQ(Get(MprisService::kPlayerInterface, "Position").toLongLong(), 10'000'000);
    EXPECT_DOUBLE_EQ(Get(MprisService::kPlayerInterface, "MinimumRate").toDouble(), 0.1);

    const QVariantMap meta =
        qdbus_cast<QVariantMap>(Get(MprisService::kPlayerInterface, "Metadata"));
    EXPECT_EQ(meta.value("xesam:title").toString(), u"夏の歌");
    EXPECT_EQ(meta.value("mpris:length").toLongLong(), 60'000'000);
    EXPECT_EQ(meta.value("xesam:url").toString(), u"file:///songs/natsu%20uta.mid");
    EXPECT_EQ(qdbus_cast<QDBusObjectPath>(meta.value("mpris:trackid")).path(),
              u"/org/sonfara/track/2");

    // A second player on the same bus still gets a name of its own.
    FakeTarget other;
    MprisService second(other,
                        QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("second")));
    ASSERT_TRUE(second.Register());
    EXPECT_TRUE(second.ServiceName().startsWith(u"org.mpris.MediaPlayer2.sonfara.instance"));
    // Without a bus the player simply runs without the service.
    MprisService none(other, QDBusConnection(QStringLiteral("no such connection")));
    EXPECT_FALSE(none.Register());
}

TEST_F(MprisTest, TransportCommandsReachTheTarget) {
    for (const char* m : {"Play", "Pause", "PlayPause", "Stop", "Next", "Previous"}) Player(m);
    Player("Seek", {qlonglong(2'000'000)});
    Player("Seek", {qlonglong(-60'000'000)});  // before the start: position 0
    Player("Seek", {qlonglong(55'000'000)});   // past the end: next song
    const QString track = QStringLiteral("/org/sonfara/track/2");
    Player("SetPosition", {QVariant::fromValue(QDBusObjectPath("/org/sonfara/track/1")),
                           qlonglong(5'000'000)});  // another track: ignored
    Player("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(61'000'000)});
    Player("SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(5'000'000)});
    Player("OpenUri", {QStringLiteral("file:///songs/%E6%98%A5.mid")});
    EXPECT_EQ(Player("OpenUri", {QStringLiteral("https://example.invalid/a.mid")}).type(),
              QDBusMessage::ErrorMessage);
    Call(MprisService::kRootInterface, "Raise");
    Call(MprisService::kRootInterface, "Quit");
    SpinUntil([&] { return target_.calls.contains("Quit"); });

    EXPECT_EQ(target_.calls,
              (QStringList{"Play", "Pause", "PlayPause", "Stop", "Next", "Previous",
                           "SetPosition 12000000", "SetPosition 0", "Next", "SetPosition 5000000",
                           QStringLiteral("Open /songs/春.mid"), "Raise", "Quit"}));
}

TEST_F(MprisTest, LoopShuffleAndRateFollowTheRepeatMode) {
    const struct {
        int mode;
        const char* loop;
        bool shuffle;
    } table[] = {
        {0, "Playlist", false}, {1, "Track", false}, {2, "Playlist", true}, {3, "None", false}};
    for (const auto& row : table) {
        target_.state.repeatMode = RepeatMode(row.mode);
        EXPECT_EQ(Get(MprisService::kPlayerInterface, "LoopStatus").toString(),
                  QLatin1String(row.loop));
        EXPECT_EQ(Get(MprisService::kPlayerInterface, "Shuffle").toBool(), row.shuffle);
    }

    target_.state.repeatMode = RepeatMode::kList;
    Set("LoopStatus", QStringLiteral("Track"));      // -> 1
    Set("Shuffle", true);                            // -> 2
    Set("LoopStatus", QStringLiteral("Playlist"));   // stays random: 2
    Set("Shuffle", false);                           // -> 0
    Set("LoopStatus", QStringLiteral("None"));       // -> 3
    Set("LoopStatus", QStringLiteral("Sometimes"));  // unknown: ignored
    Set("Rate", 0.05);                               // below the minimum: ignored
    Set("Rate", 1.5);
    EXPECT_EQ(target_.calls, (QStringList{"SetRepeatMode 1", "SetRepeatMode 2", "SetRepeatMode 2",
                                          "SetRepeatMode 0", "SetRepeatMode 3", "SetRate 1.5"}));
}

// What clients may send that the player must not take at face value, and
// the answers they wait for.
TEST_F(MprisTest, HostileArgumentsAndOpenFailuresAreAnsweredAtOnce) {
    Player("Seek", {qlonglong(INT64_MAX)});  // past the end without overflow: next
    Player("Seek", {qlonglong(INT64_MIN)});  // to the start
    EXPECT_EQ(Player("OpenUri", {QStringLiteral("file:///d/a%00b.mid")}).type(),
              QDBusMessage::ErrorMessage);
    target_.openError = QStringLiteral("対応ファイルではありません");
    const QDBusMessage failed = Player("OpenUri", {QStringLiteral("file:///d/x.mid")});
    ASSERT_EQ(failed.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(failed.errorMessage(), target_.openError);
    EXPECT_EQ(target_.calls, (QStringList{"Next", "SetPosition 0", "Open /d/x.mid"}));

    target_.state.listCount = 1;  // one song: Next and Previous change nothing
    EXPECT_FALSE(Get(MprisService::kPlayerInterface, "CanGoNext").toBool());
    EXPECT_FALSE(Get(MprisService::kPlayerInterface, "CanGoPrevious").toBool());
}

// Collects PropertiesChanged signals as a desktop widget sees them.
class ChangeSink : public QObject {
    Q_OBJECT
  public:
    QList<QVariantMap> changes;
  public slots:
    void OnChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == QLatin1String(MprisService::kPlayerInterface)) changes.push_back(changed);
    }
};

TEST_F(MprisTest, RefreshSignalsOnlyWhatChanged) {
    ChangeSink sink;
    ASSERT_TRUE(Widget().connect(service_->ServiceName(), MprisService::kObjectPath,
                                 "org.freedesktop.DBus.Properties", "PropertiesChanged", &sink,
                                 SLOT(OnChanged(QString, QVariantMap, QStringList))));
    // Nothing changed, then only the position: no signal.
    service_->Refresh();
    target_.state.positionUs += 200'000;
    service_->Refresh();
    // A new song: its metadata and the list entry, nothing else.
    target_.state.title = QStringLiteral("冬の歌");
    target_.state.listIndex = 3;
    service_->Refresh();
    ASSERT_TRUE(SpinUntil([&] { return !sink.changes.isEmpty(); }));
    EXPECT_EQ(sink.changes.front().keys(), QStringList{"Metadata"});
    const QVariantMap meta = qdbus_cast<QVariantMap>(sink.changes.front().value("Metadata"));
    EXPECT_EQ(meta.value("xesam:title").toString(), u"冬の歌");

    // A command refreshes at once.
    target_.state.status = MediaState::Status::kPaused;
    Player("Pause");
    ASSERT_TRUE(SpinUntil([&] { return sink.changes.size() == 2; }));
    EXPECT_EQ(sink.changes.back(), (QVariantMap{{"PlaybackStatus", QStringLiteral("Paused")}}));
}

// The end of a song, found by the timer thread, reaches the desktop: the
// session posts it to the UI thread, tells its observers there, and the
// observer's refresh signals the new status.
TEST_F(MprisTest, SongEndOnTheTimerThreadIsSignalledFromTheUiThread) {
    using namespace sonfara;
    const std::string folder = test::ScratchFolder();
    platform::ThreadTimerService timers;
    platform::RecordingOutputSystem ports(platform::SteadyClock::Instance());
    QObject context;
    QtUiScheduler ui(&context);
    platform::CodePage cp("CP932");
    test::RecordingNotifier notifier;
    session::PlaybackSession session(session::SessionEnv(
        platform::SteadyClock::Instance(), timers, ports, ui, cp, notifier, folder + "/work/"));
    SessionMediaTarget target(session, {});
    MprisService service(target,
                         QDBusConnection::connectToBus(bus_->Address(), QStringLiteral("ended")));
    ASSERT_TRUE(service.Register());
    struct Watcher : session::SessionObserver {
        MprisService* service = nullptr;
        std::thread::id thread;
        void OnStateChanged(const session::SessionSnapshot&) override {
            thread = std::this_thread::get_id();
            service->Refresh();
        }
    } watcher;
    watcher.service = &service;
    session.AddObserver(&watcher);
    ChangeSink sink;
    ASSERT_TRUE(Widget().connect(service.ServiceName(), MprisService::kObjectPath,
                                 "org.freedesktop.DBus.Properties", "PropertiesChanged", &sink,
                                 SLOT(OnChanged(QString, QVariantMap, QStringList))));

    session.Transport().SetRepeatMode(RepeatMode::kStopAtEnd);  // stop at the end
    test::TrackBuilder t;
    t.Ev(0, {0x90, 60, 0x64}).Ev(150, {0x80, 60, 0x40});
    session.Songs().OpenPaths({test::WriteSong(folder, "short.mid", test::BuildSmf(0, {t}))});
    ASSERT_EQ(target.State().status, MediaState::Status::kPlaying);
    watcher.thread = {};
    EXPECT_TRUE(SpinUntil([&] {
        return std::any_of(sink.changes.cbegin(), sink.changes.cend(), [](const QVariantMap& m) {
            return m.value("PlaybackStatus") == QStringLiteral("Stopped");
        });
    }));
    EXPECT_EQ(watcher.thread, std::this_thread::get_id());
    session.RemoveObserver(&watcher);
}

}  // namespace

#include "mpris_test.moc"
