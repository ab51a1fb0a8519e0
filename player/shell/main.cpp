// sonfara: the desktop player. The command line, the support-library check
// and the hand-off to a running player come first; SonfaraApp does the rest.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QVBoxLayout>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <tuple>

#include "player/platform/clock.h"
#include "player/platform/messages.h"
#include "player/platform/sfrlib_binding.h"
#include "player/platform/system_ports.h"
#include "player/platform/timer.h"
#include "player/platform/user_files.h"
#include "player/session/translations.h"
#include "player/settings/settings_store.h"
#include "player/shell/app.h"
#include "player/shell/command_line.h"
#include "player/shell/instance_channel.h"
#include "player/ui/artwork.h"
#include "player/ui/translators.h"

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

// Without a display the platform plugin aborts the process with a core
// dump; say so in one line instead. Checked before Qt starts where the
// environment names no display, and caught in Qt's fatal message where the
// named one cannot be reached.
bool NamesNoDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return false;  // offscreen, vnc, ...: Qt needs no display
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
constexpr const char* kNoDisplay =
    "sonfara: no display is available (DISPLAY and WAYLAND_DISPLAY name none that answers); "
    "sonfara-cli plays without one\n";
QtMessageHandler g_previousHandler = nullptr;
QList<std::tuple<QtMsgType, QString>> g_startMessages;
void StartMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        std::_Exit(1);
    }
    g_startMessages.push_back({type, text});
}
// Qt's start-up messages are held until it is known whether it starts.
void ReleaseStartMessages() {
    qInstallMessageHandler(g_previousHandler);
    for (const auto& [type, text] : g_startMessages) {
        if (type == QtWarningMsg || type == QtCriticalMsg) qWarning("%s", qUtf8Printable(text));
    }
    g_startMessages.clear();
}

// SIGTERM, SIGHUP and SIGINT end the desktop session's way: leave at once,
// through the event loop (a signal handler may only write to a pipe), so
// notes are silenced, the port reset and the settings saved.
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
    ::sigaction(SIGINT, &action, nullptr);
}

// The language of this run (the setting, else the locale) for the engine's
// messages, the program's texts and Qt's own dialogs and buttons.
void ChooseUiLanguage(QApplication& app) {
    const sonfara::platform::Language language =
        sonfara::session::StartUiLanguage(sonfara::settings::IniSettingsStore::DefaultPath());
    const QString folder = QString::fromStdString(sonfara::platform::JoinPath(
        sonfara::platform::ShippedDataFolder(sonfara::platform::ProgramFolder()),
        sonfara::ui::kTranslationsFolder));
    if (!sonfara::ui::InstallTranslators(app, language == sonfara::platform::Language::kEnglish,
                                         folder))
        qWarning("sonfara: no English texts in %s; the interface stays Japanese",
                 qUtf8Printable(folder));
}

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
        case CommandLine::Action::kMissingValue:
            std::fprintf(stderr, "sonfara: %s needs a value (see --help)\n",
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
    if (NamesNoDisplay()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(StartMessage);
    QApplication app(argc, argv);
    ReleaseStartMessages();
    ChooseUiLanguage(app);
    QApplication::setApplicationName(QStringLiteral("sonfara"));
    QApplication::setApplicationVersion(QStringLiteral(SONFARA_VERSION));
    QApplication::setWindowIcon(sonfara::ui::AppIconSet());
    QApplication::setQuitOnLastWindowClosed(false);  // the exit paths decide

    if (!sonfara::platform::SfrLibPresent()) {
        QMessageBox::critical(nullptr, QStringLiteral("Sonfara"),
                              QString::fromStdString(sonfara::platform::Localized(
                                  sonfara::platform::kSfrLibMissingMessage)));
        return 1;
    }

    const QStringList paths = AbsolutePaths(commandLine.paths, QDir::currentPath());
    InstanceChannel channel;
    const auto started = channel.Start(paths);
    if (started == InstanceChannel::StartResult::kHandedOver) return 0;

    sonfara::platform::ThreadTimerService timers;
    sonfara::platform::SystemPortOptions portOptions;
    portOptions.soundFont = commandLine.soundFont.toLocal8Bit().toStdString();
    sonfara::platform::SystemMidiOutput ports(portOptions);
    AppPlatform platform{sonfara::platform::SteadyClock::Instance(), timers, ports};
    platform.soundFont = portOptions.soundFont;
    SonfaraApp player(platform,
                      started == InstanceChannel::StartResult::kListening ? &channel : nullptr);
    // The desktop session ending: SIGTERM/SIGHUP, or the session manager.
    WatchTerminate(&app, [&] { player.RequestClose(SonfaraApp::kSessionEnd); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &player,
                     [&](QSessionManager&) { player.RequestClose(SonfaraApp::kSessionEnd); });
    if (!player.Start(paths)) {
        // The start-up message, then the end (also when the session ends meanwhile).
        QObject::connect(&player.Boxes(), &MessageBoxNotifier::drained, &app,
                         &QCoreApplication::quit);
        if (!player.Boxes().Idle()) QApplication::exec();
        return 1;
    }
    if (player.Finished()) return 0;
    return QApplication::exec();
}
