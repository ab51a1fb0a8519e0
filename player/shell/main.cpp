// sonfara: the desktop player. For now the shell around the engine: the
// command line, the support-library check, one player per user, the
// notification-area icon and the desktop media controls, with an empty
// control window in place of the real one.
#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>

#include <csignal>
#include <cstdio>
#include <functional>

#include <sys/socket.h>
#include <unistd.h>

#include "player/platform/sfrlib_binding.h"
#include "player/shell/command_line.h"
#include "player/shell/instance_channel.h"
#include "player/shell/mpris_service.h"
#include "player/shell/tray_icon.h"

namespace {

using namespace sonfara::shell;

// Window positions (docking, stored placement) exist only on X11: where a
// Wayland session also offers X11, use it unless the user chose otherwise.
void PreferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

// SIGTERM and SIGHUP are the desktop session ending: leave at once, through
// the event loop (a signal handler may only write to a pipe).
int g_signalPipe[2] = {-1, -1};
void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}
void WatchTerminate(QObject* owner, std::function<void()> onTerminate) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, std::move(onTerminate));
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

QIcon ProgramIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2b, 0x2f, 0x36));
    p.setPen(QColor(0x10, 0x12, 0x16));
    p.drawRoundedRect(QRectF(1.5, 5.5, 29, 21), 3, 3);
    p.fillRect(QRect(5, 10, 22, 8), QColor(0x8c, 0xe0, 0x5a));
    return QIcon(pixmap);
}

// Stands in for the control window until it is built: an empty frame that
// lists the paths waiting for the playback session.
class ControlWindowFrame : public QWidget {
  public:
    std::function<void()> onClose;

    ControlWindowFrame() {
        setWindowTitle(QStringLiteral("Sonfara"));
        setFixedSize(640, 120);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(paths_ = new QLabel(this));
        paths_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    void ShowPaths(const QStringList& paths) {
        QStringList names;
        for (const QString& path : paths) names.push_back(QFileInfo(path).fileName());
        paths_->setText(names.join(u'\n'));
    }
    void Raise() {
        showNormal();
        raise();
        activateWindow();
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();  // the exit decides when the window goes
        if (onClose) onClose();
    }

  private:
    QLabel* paths_ = nullptr;
};

// Until the playback session exists nothing is ever loaded; the desktop can
// still raise and close the player.
class IdleMediaTarget : public MediaControlTarget {
  public:
    std::function<void()> raise, quit;
    std::function<void(const QStringList&)> open;

    MediaState State() const override { return {}; }
    void Play() override {}
    void Pause() override {}
    void PlayPause() override {}
    void Stop() override {}
    void Next() override {}
    void Previous() override {}
    void SetPosition(qint64) override {}
    void OpenPaths(const QStringList& paths) override { open(paths); }
    void Raise() override { raise(); }
    void Quit() override { quit(); }
    void SetRate(double) override {}
    void SetRepeatMode(int) override {}
};

int Inform(const CommandLine& cl) {
    switch (cl.action) {
        case CommandLine::Action::kHelp:
            std::fputs(HelpText().toLocal8Bit().constData(), stdout);
            return 0;
        case CommandLine::Action::kVersion:
            std::printf("sonfara %s\n", SONFARA_VERSION);
            return 0;
        case CommandLine::Action::kBadOption:
            std::fprintf(stderr, "sonfara: unknown option %s (see --help)\n",
                         cl.badOption.toLocal8Bit().constData());
            return 2;
        case CommandLine::Action::kRun:
            break;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args.push_back(QString::fromLocal8Bit(argv[i]));
    const CommandLine commandLine = ParseCommandLine(args);
    if (int rc = Inform(commandLine); rc >= 0) return rc;

    PreferX11();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sonfara"));
    QApplication::setApplicationVersion(QStringLiteral(SONFARA_VERSION));
    QApplication::setWindowIcon(ProgramIcon());

    if (!sonfara::SfrLibPresent()) {
        QMessageBox::critical(nullptr, QStringLiteral("Sonfara"),
                              QString::fromUtf8(sonfara::kSfrLibMissingMessage));
        return 1;
    }

    InstanceChannel channel;
    if (channel.Start(commandLine.paths) == InstanceChannel::StartResult::kHandedOver) return 0;

    ControlWindowFrame window;
    TrayIcon tray(QApplication::windowIcon());
    QMenu fileMenu;  // filled with the control window's file menu later
    IdleMediaTarget media;
    MprisService mpris(media, QDBusConnection::sessionBus());

    // The orderly exit: first stop answering, so a new start becomes a
    // player of its own, then let the windows go.
    bool exiting = false;
    auto orderlyExit = [&] {
        if (exiting) return;
        exiting = true;
        channel.StopListening();
        tray.Remove();
        window.hide();
        QTimer::singleShot(0, &app, &QApplication::quit);
    };
    window.onClose = orderlyExit;
    media.raise = [&] { window.Raise(); };
    media.quit = orderlyExit;
    media.open = [&](const QStringList& paths) { window.ShowPaths(paths); };
    WatchTerminate(&app, orderlyExit);

    QObject::connect(&channel, &InstanceChannel::filesHanded, &window, [&](const QStringList& paths) {
        window.Raise();
        if (!paths.isEmpty()) window.ShowPaths(paths);
    });
    QObject::connect(&channel, &InstanceChannel::wakeRequested, &window,
                     [&](const QStringList& paths) {
                         tray.Add(TrayIcon::kTrayAndTaskbar);
                         window.ShowPaths(paths);
                         window.Raise();
                     });
    QObject::connect(&channel, &InstanceChannel::exitRequested, &app, orderlyExit);
    QObject::connect(&tray, &TrayIcon::restoreRequested, &window, [&] { window.Raise(); });
    QObject::connect(&tray, &TrayIcon::menuRequested, &fileMenu,
                     [&](const QPoint& at) { fileMenu.popup(at); });

    window.show();
    window.ShowPaths(commandLine.paths);
    tray.Add(TrayIcon::kTrayAndTaskbar);
    mpris.Register();  // without a session bus the player runs without it
    QTimer mprisTimer;
    QObject::connect(&mprisTimer, &QTimer::timeout, &mpris, &MprisService::Refresh);
    mprisTimer.start(200);
    return QApplication::exec();
}
