// Pass time of the drawing thread's work (keyboards, labels, tempo, hand-off
// of the image) on a dense 16-channel state, against an idle pass in the
// same run, in the thread's processor time. Prints median and p99 per case:
//   bench_display [passes]
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "player/display/display_controller.h"
#include "player/platform/clock.h"
#include "tests/support_code/output_rig.h"

using namespace sonfara;
using namespace sonfara::display;

namespace {

struct Rig : test::OutputRig {
    // The recording system's first port always opens.
    Rig() { (void)out.OpenOutputPort(0); }
};

// Between passes every channel releases its chord and strikes a new one of
// eight notes (16 key changes per channel); every 20th pass changes a
// program and the tempo text.
void Churn(sequencer::OutputLayer& out, int pass) {
    for (int c = 0; c < 16; ++c) {
        const uint8_t ch = static_cast<uint8_t>(c);
        const int base = 24 + (pass * 7 + c * 5) % 72;
        const int prev = 24 + ((pass - 1) * 7 + c * 5) % 72;
        for (int i = 0; i < 8; ++i)
            out.SendShortMessage(0x90 | ch, static_cast<uint8_t>(prev + i * 3), 0);
        for (int i = 0; i < 8; ++i)
            out.SendShortMessage(0x90 | ch, static_cast<uint8_t>(base + i * 3), 100);
    }
    if (pass % 20 == 0) {
        out.SendShortMessage(0xC0 | (pass / 20 % 16), static_cast<uint8_t>(pass % 128), 0);
        out.BPMText.Set(std::to_string(100 + pass % 60));
    }
}

// The calling thread's processor time: on a shared machine wall time mostly
// measures the other processes.
double ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

struct Figures {
    double median, p99;
};

Figures Measure(qreal dpr, int passes, bool dense) {
    Rig rig;
    OutputLayerSource src(rig.out);
    DisplayOptions o;
    o.dpr = dpr;
    o.cpuPercent = [] { return 0; };
    DisplayController d(src, o);
    d.DrawPass();
    QImage held;  // the UI thread keeps the last frame, as a window would
    d.TakeKeyboardFrame(&held);
    std::vector<double> us;
    us.reserve(passes);
    for (int i = 1; i <= passes; ++i) {
        if (dense) Churn(rig.out, i);
        const double t0 = ThreadCpuUs();
        d.DrawPass();
        const double t1 = ThreadCpuUs();
        d.TakeKeyboardFrame(&held);
        us.push_back(t1 - t0);
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int passes = argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000;
    std::printf("| ratio | case | median µs CPU | p99 µs CPU |\n|---|---|---|---|\n");
    for (qreal dpr : {1.0, 2.0}) {
        const Figures idle = Measure(dpr, passes, false);
        const Figures dense = Measure(dpr, passes, true);
        std::printf("| %g | idle pass (nothing changed) | %.1f | %.1f |\n", dpr, idle.median,
                    idle.p99);
        std::printf("| %g | dense pass (256 key changes) | %.1f | %.1f |\n", dpr, dense.median,
                    dense.p99);
    }
    return 0;
}
