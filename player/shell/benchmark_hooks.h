// What the benchmarks (bench/startup_idle.sh, bench/gui_cost.sh) read from
// the running player, asked for by environment variables; without them
// nothing happens:
//   SONFARA_SHOWN_STAMP=<file>  the wall-clock time in nanoseconds once both
//                               windows have painted (start-up time);
//   SONFARA_DRAW_STATS=<file>   the drawing thread's pass times and the
//                               sequencer's lateness at the exit (the GUI's
//                               cost, and whether playing kept time);
//   SONFARA_MENU_TITLES=<file>  the control window's menu titles at start-up,
//                               one a line (the end-to-end test reads the
//                               language the player came up in).
//
// Threads: UI thread; every member function is called there.
#pragma once

#include <QObject>

namespace sonfara::platform {
class TimeHistogram;
}  // namespace sonfara::platform
namespace sonfara::display {
class DisplayController;
}

class QMenuBar;
class QWidget;

namespace sonfara::shell {

class BenchmarkHooks final : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Watches the two windows until both are exposed, then writes the stamp.
    void StampWhenShown(const QWidget& first, const QWidget& second);
    // After the drawing thread has ended.
    void WriteDrawStats(const display::DisplayController& display,
                        const platform::TimeHistogram& lateness) const;
    void WriteMenuTitles(const QMenuBar& bar) const;
};

}  // namespace sonfara::shell
