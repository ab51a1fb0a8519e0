#include "player/shell/benchmark_hooks.h"

#include <QFile>
#include <QMenuBar>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <string>

#include "player/display/display_controller.h"
#include "player/display/pass_stats.h"
#include "player/platform/time_histogram.h"

namespace sonfara::shell {

void BenchmarkHooks::StampWhenShown(const QWidget& first, const QWidget& second) {
    const QString file = qEnvironmentVariable("SONFARA_SHOWN_STAMP");
    if (file.isEmpty()) return;
    auto* watcher = new QTimer(this);
    watcher->setInterval(1);
    connect(watcher, &QTimer::timeout, this, [&first, &second, watcher, file] {
        QWindow* a = first.windowHandle();
        QWindow* b = second.windowHandle();
        if (!a || !b || !a->isExposed() || !b->isExposed()) return;
        watcher->stop();
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
        QFile out(file);
        if (out.open(QIODevice::WriteOnly)) out.write(QByteArray::number(qint64(ns)) + '\n');
    });
    watcher->start();
}

void BenchmarkHooks::WriteDrawStats(const display::DisplayController& display,
                                    const platform::TimeHistogram& lateness) const {
    const QString stats = qEnvironmentVariable("SONFARA_DRAW_STATS");
    if (stats.isEmpty()) return;
    QFile out(stats);
    const auto& t = display.Thread();
    const auto line = [](const char* key, uint64_t v) {
        return std::string(key) + ' ' + std::to_string(v) + '\n';
    };
    const std::string late = line("late_ticks", lateness.Count()) +
                             line("late_median_us", lateness.Percentile(0.5)) +
                             line("late_p99_us", lateness.Percentile(0.99)) +
                             line("late_max_us", lateness.Percentile(1.0));
    if (out.open(QIODevice::WriteOnly))
        out.write(QByteArray::fromStdString(
            display::PassStatsReport(t.PassWallTimes(), t.PassCpuTimes()) + late));
}

void BenchmarkHooks::WriteMenuTitles(const QMenuBar& bar) const {
    const QString file = qEnvironmentVariable("SONFARA_MENU_TITLES");
    if (file.isEmpty()) return;
    QStringList titles;
    for (const QAction* a : bar.actions()) titles << a->text();
    QFile out(file);
    if (out.open(QIODevice::WriteOnly)) out.write((titles.join(u'\n') + u'\n').toUtf8());
}

}  // namespace sonfara::shell
