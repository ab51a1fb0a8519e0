// The real program as a process, offscreen: the ends a desktop gives it
// (signals while a message box shows, no display at all) and a second start
// from another folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "tests/session/session_fixture.h"
#include "tests/shell/qt_app.h"

namespace {

class PlayerProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureQtApp();
        ASSERT_TRUE(root_.isValid());
        for (const char* sub : {"home", "run", "a", "b"})
            QDir(root_.path()).mkpath(QLatin1String(sub));
        QFile::setPermissions(
            Path("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", Path("home"));
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env_.insert(v, Path("home"));
        env_.insert("XDG_RUNTIME_DIR", Path("run"));
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        env_.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + Path("no-bus"));
    }
    QString Path(const char* sub) const { return root_.path() + u'/' + QLatin1String(sub); }
    void Start(QProcess& p, const QString& folder, const QStringList& args) {
        p.setProcessEnvironment(env_);
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral(SONFARA_BIN), args);
        ASSERT_TRUE(p.waitForStarted(5000));
    }
    // The printing port: no sound server needed.
    void WriteSettings() {
        QDir(root_.path()).mkpath(QStringLiteral("home/Tenmoor"));
        QFile f(root_.path() + QStringLiteral("/home/Tenmoor/Sonfara.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Sonfara]\nMIDIOutPort=monitor\n");
    }
    QString Settings() const {
        QFile f(root_.path() + QStringLiteral("/home/Tenmoor/Sonfara.ini"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QTemporaryDir root_;
    QProcessEnvironment env_;
};

// Started with a missing file (its box shows), handed a relative path from
// another folder, then ended by SIGTERM or Ctrl+C: the hand-off is answered
// at once, the right song opens, and the signal ends the process the clean
// way (settings saved, socket gone) whatever box is up.
TEST_F(PlayerProcess, SignalsEndItCleanlyWhileABoxShowsAndHandOffsResolveRelativePaths) {
    sonfara::test::WriteSong(Path("b").toStdString(), "ten.mid", sonfara::test::TenSecondSong());
    const QString socket = Path("run") + QStringLiteral("/sonfara/instance");
    for (int signal : {SIGTERM, SIGINT}) {
        WriteSettings();
        QProcess player;
        Start(player, Path("a"), {QStringLiteral("missing.mid")});
        ASSERT_TRUE(SpinUntil([&] { return QFile::exists(socket); }, 20000));
        QThread::msleep(300);  // the box opens

        QProcess second;
        Start(second, Path("b"), {QStringLiteral("ten.mid")});
        ASSERT_TRUE(second.waitForFinished(5000)) << "the hand-off waited for the box";
        EXPECT_EQ(second.exitCode(), 0);

        ::kill(player.processId(), signal);
        ASSERT_TRUE(player.waitForFinished(10000)) << "signal " << signal;
        EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(player.exitCode(), 0);
        EXPECT_FALSE(QFile::exists(socket));
        EXPECT_TRUE(Settings().contains(QStringLiteral("Recent 1=") + Path("b") +
                                        QStringLiteral("/ten.mid")))
            << Settings().toStdString();
    }
}

TEST_F(PlayerProcess, NoDisplayIsOneLineAndAFailure) {
    env_.remove("QT_QPA_PLATFORM");
    env_.remove("DISPLAY");
    env_.remove("WAYLAND_DISPLAY");
    QProcess player;
    Start(player, Path("a"), {});
    ASSERT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(player.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("no display"))) << err.toStdString();
    EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
}

}  // namespace
