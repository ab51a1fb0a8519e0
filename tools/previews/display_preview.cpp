// Plays a few notes and controllers into an output layer with a recording
// port and writes PNGs of the display at device pixel ratio 1 and 2:
//   display_preview [folder]   (default: the current folder)
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "player/display/artwork.h"
#include "player/display/display_painter.h"
#include "player/platform/clock.h"
#include "player/platform/codepage.h"
#include "player/platform/midi.h"
#include "player/ui/palette.h"
#include "tests/support_code/output_rig.h"

using namespace sonfara;
using namespace sonfara::display;

namespace {

// A chord per channel, controllers spread so every knob shows a position.
void PlayScene(sequencer::OutputLayer& out) {
    for (int c = 0; c < midi::kChannelCount; ++c) {
        out.SendShortMessage(midi::StatusByte(midi::kControlChange, c), midi::cc::kBankSelect,
                             static_cast<uint8_t>(c % 3 == 0 ? 8 : 0));
        out.SendShortMessage(midi::StatusByte(midi::kProgramChange, c),
                             static_cast<uint8_t>(c * 7 % 128), 0);
        out.SendShortMessage(midi::StatusByte(midi::kControlChange, c), midi::cc::kVolume,
                             static_cast<uint8_t>(127 - c * 5));
        out.SendShortMessage(midi::StatusByte(midi::kControlChange, c), midi::cc::kPan,
                             static_cast<uint8_t>(c * 8));
        out.SendShortMessage(midi::StatusByte(midi::kControlChange, c), midi::cc::kExpression,
                             static_cast<uint8_t>(90 + c * 2));
        out.SendShortMessage(midi::StatusByte(midi::kControlChange, c), midi::cc::kModulation,
                             static_cast<uint8_t>(c * 6));
        out.SendShortMessage(midi::StatusByte(midi::kControlChange, c), midi::cc::kReverbSend, 40);
        out.SendShortMessage(midi::StatusByte(midi::kControlChange, c), midi::cc::kChorusSend,
                             static_cast<uint8_t>(c * 4));
        out.SendShortMessage(midi::StatusByte(midi::kPitchBend, c), 0,
                             static_cast<uint8_t>(48 + c * 2));
        const int root = 36 + (c * 5) % 36;
        for (int i : {0, 4, 7, 12, 13})
            if (c % 4 != 3 || i < 12)
                out.SendShortMessage(midi::StatusByte(midi::kNoteOn, c),
                                     static_cast<uint8_t>(root + i), 100);
        // Released notes leave a level behind.
        out.SendShortMessage(midi::StatusByte(midi::kNoteOn, c), static_cast<uint8_t>(root + 2),
                             100);
        out.SendShortMessage(midi::StatusByte(midi::kNoteOn, c), static_cast<uint8_t>(root + 2), 0);
    }
    out.BPMText.Set("128");
}

void Save(const QImage& img, const QString& path) {
    if (!img.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

QImage Compose(QSize logical, qreal dpr) {
    QImage img(logical * dpr, QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(ui::palette::kDisplayBezel);
    return img;
}

void Render(sequencer::OutputLayer& out, qreal dpr, const QString& dir) {
    OutputLayerSource src(out);
    DisplayOptions opt;
    opt.dpr = dpr;
    opt.cpuPercent = [] { return 37; };
    DisplayController d(src, opt);
    DisplayArt art(dpr);
    for (int i = 0; i < 8; ++i) d.OnDrawInterval();  // let the levels climb
    d.OnFlash();
    d.OnCpuTick();
    d.DrawPass();
    QImage keyboard;
    d.TakeKeyboardFrame(&keyboard);

    const QString n = QString::number(static_cast<int>(dpr));
    QImage panel = Compose(kKeyboardPanelSize, dpr);
    {
        QPainter p(&panel);
        PaintKeyboardPanel(p, keyboard, d, art);
    }
    Save(panel, dir + "/keyboard_panel_dpr" + n + ".png");
    Save(keyboard, dir + "/keyboard_surface_dpr" + n + ".png");
    Save(d.Knobs().Image(), dir + "/knob_panel_dpr" + n + ".png");

    QImage bars = Compose(kBarPanelSize, dpr);
    {
        QPainter p(&bars);
        PaintBarPanel(p, d, art);
    }
    Save(bars, dir + "/bar_display_dpr" + n + ".png");

    // A 16 × 16 dot picture: a framed heart.
    static const char* kHeart[16] = {
        "################", "#..............#", "#..##......##..#", "#.####....####.#",
        "#.############.#", "#.############.#", "#.############.#", "#..##########..#",
        "#...########...#", "#....######....#", "#.....####.....#", "#......##......#",
        "#..............#", "#..............#", "#..............#", "################"};
    for (int r = 0; r < 16; ++r) {
        uint32_t bits = 0;
        for (int j = 0; j < 16; ++j)
            if (kHeart[r][j] == '#') bits |= 1u << j;
        out.DotRows[r].store(bits);
    }
    d.ScheduleDisplayBitmap();
    d.OnGsDispTick();
    QImage dots = Compose(kBarPanelSize, dpr);
    {
        QPainter p(&dots);
        PaintBarPanel(p, d, art);
    }
    Save(dots, dir + "/bar_display_dots_dpr" + n + ".png");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(dir);

    test::OutputRig rig;
    sequencer::OutputLayer& out = rig.out;
    if (!out.OpenOutputPort(0).ok()) return 1;
    PlayScene(out);
    for (qreal dpr : {1.0, 2.0}) {
        // Each display starts from nothing drawn, so every channel shows.
        for (int c = 1; c <= 16; ++c) {
            out.Channel(c).KeyDirty = -1;
            out.Channel(c).Dirty = -1;
            out.Channel(c).NoteOnFlag = -1;
        }
        Render(out, dpr, dir);
    }
    return 0;
}
