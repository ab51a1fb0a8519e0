// sonfara-control-preview: the control window playing a song on a silent
// port with a manual clock, grabbed to a PNG.
//
//   sonfara-control-preview --grab out.png [--dpr 2] [--at SECONDS] [SONG...]
//
// The song plays to the given second (default 20) in simulated time, then the
// window's timer slots run once and the window is grabbed. Nothing sounds.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "player/platform/clock.h"
#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/sequencer/transport_interfaces.h"
#include "player/session/session.h"
#include "player/shell/control_window.h"

namespace {

class StderrNotifier final : public sonfara::files::Notifier {
  public:
    void Error(const std::string& text) override { std::cerr << text << "\n"; }
};

}  // namespace

int main(int argc, char** argv) {
    std::string out, dpr = "1";
    double atSeconds = 20;
    std::vector<std::string> songs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--grab" && i + 1 < argc)
            out = argv[++i];
        else if (a == "--dpr" && i + 1 < argc)
            dpr = argv[++i];
        else if (a == "--at" && i + 1 < argc)
            atSeconds = std::atof(argv[++i]);
        else
            songs.push_back(a);
    }
    if (out.empty()) {
        std::cerr
            << "usage: sonfara-control-preview --grab out.png [--dpr 2] [--at SECONDS] [SONG...]\n";
        return 2;
    }
    // The widgets really run at the ratio asked for.
    qputenv("QT_SCALE_FACTOR", QByteArray::fromStdString(dpr));
    QApplication app(argc, argv);

    using namespace sonfara;
    platform::ManualClock clock;
    platform::ManualTimerService timers(clock);
    platform::RecordingOutputSystem ports(clock, {"Silent"});
    sequencer::ManualUiScheduler ui;
    platform::CodePage cp("CP932");
    StderrNotifier notifier;
    const QString work = QDir::temp().filePath(
        QStringLiteral("sonfara-preview-%1/").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(work);
    session::SessionEnv env(clock, timers, ports, ui, cp, notifier, work.toStdString());
    env.saveSettings = false;
    session::PlaybackSession session(std::move(env));
    shell::ShellHooks hooks;
    shell::ControlWindow window(session, hooks);
    window.show();

    if (!songs.empty()) {
        session.Songs().OpenPaths(songs);
        const int64_t end = clock.NowUs() + static_cast<int64_t>(atSeconds * 1e6);
        while (clock.NowUs() < end) {
            timers.RunUntilUs(std::min(end, clock.NowUs() + 1000));
            ui.RunPending();
        }
        QCoreApplication::processEvents();
    }
    const auto snapshot = session.Snapshot();
    window.OnCtlSet(snapshot);
    window.OnCtlSet2(snapshot);
    window.OnMidiDisp(snapshot);
    QCoreApplication::processEvents();
    const bool ok = window.Grab().save(QString::fromStdString(out));
    session.Shutdown();
    QDir(work).removeRecursively();
    if (!ok) std::cerr << "cannot write " << out << "\n";
    return ok ? 0 : 1;
}
