// sonfara-ui-gallery: every piece of the front-panel artwork and the custom
// widgets on one page, to look at, with the channel display's pieces as the
// display draws them. `--grab out.png [--dpr 2]` writes the page as a PNG
// and exits; `--icons DIR` writes the icon PNGs and SVG.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "player/display/artwork.h"
#include "player/display/display_painter.h"
#include "player/display/keyboard_surface.h"
#include "player/display/knob_panel.h"
#include "player/ui/artwork.h"
#include "player/ui/control_layout.h"
#include "player/ui/palette.h"
#include "player/ui/widgets.h"

using namespace sonfara::ui;
namespace L = sonfara::ui::layout;
namespace P = sonfara::ui::palette;
namespace D = sonfara::display;

namespace {

constexpr int kDemoLevels[16] = {12, 9, 14, 6, 11, 3, 8, 0, 5, 15, 10, 7, 4, 9, 2, 6};

// The control window as the shell will lay it out, with demo contents.
class ControlPreview : public QWidget {
  public:
    explicit ControlPreview(QWidget* parent) : QWidget(parent) {
        setFixedSize(L::kControlWindow);
        for (int i = 0; i < 8; ++i)
            (new PictureButton(L::kTransportOrder[i], this))->move(L::TransportRect(i).topLeft());
        (new PictureButton(ButtonKind::kKeyUp, this))->move(L::kKeyUp.topLeft());
        (new PictureButton(ButtonKind::kKeyDown, this))->move(L::kKeyDown.topLeft());
        (new PictureButton(ButtonKind::kSpeedUp, this))->move(L::kSpeedUp.topLeft());
        (new PictureButton(ButtonKind::kSpeedDown, this))->move(L::kSpeedDown.topLeft());
        (new PictureButton(ButtonKind::kWrd, this))->move(L::kWrd.topLeft());
        (new PictureButton(ButtonKind::kWindowLayout, this))->move(L::kWindowLayout.topLeft());
        auto* time = new DigitReadout(DigitReadout::Kind::kTime, this);
        time->move(L::kTime.topLeft());
        time->SetTime(61);
        auto* pos = new DigitReadout(DigitReadout::Kind::kPosition, this);
        pos->move(L::kPosition.topLeft());
        pos->SetBarBeat(23, 3);
        auto* marks = new MarkStrip(this);
        marks->move(L::kMarks.topLeft());
        marks->SetLit(Mark::kGs, true);
        marks->SetLit(Mark::kGm, true);
        auto* knob = new PositionKnob(this);
        knob->move(L::kKnobTrack.topLeft());
        knob->SetPosition(61'000, 183'000);
        Label(L::kTitle, QStringLiteral("夏の思い出 〜ＧＳ音源版〜"), 14, P::kLcdText);
        Label(L::kFileName, QStringLiteral("natsu_no_omoide_gs.mid"), 11, P::kLcdTextDim);
        Label(L::kFormat, QStringLiteral("♪夏が来れば 思い出す　はるかな尾瀬 遠い空"), 11,
              P::kLcdText);
        Label(L::kKeyCaption, QStringLiteral("+2"), 11, P::kLcdText, Qt::AlignCenter);
        Label(L::kSpeedCaption, QStringLiteral("100%"), 11, P::kLcdText, Qt::AlignCenter);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        const qreal dpr = devicePixelRatioF();
        QPainter painter(this);
        painter.drawImage(QPoint(0, 0), ControlBackground(dpr));
        // The bar display at demo levels, painted by the display's tile rule,
        // with its stereo columns half lit.
        QImage bars = D::BarDisplayArtwork(dpr);
        const QImage tiles = D::TileStripArtwork(dpr);
        const QRectF lit(QPointF(D::kLitTile.topLeft()) * dpr, QSizeF(D::kLitTile.size()) * dpr);
        {
            QPainter bp(&bars);
            for (int b = 1; b <= 16; ++b)
                for (int t = 0; t <= kDemoLevels[b - 1]; ++t)
                    bp.drawImage(D::BarStepRect(b, t).topLeft(), tiles, lit);
            for (int side = 0; side < 2; ++side) {
                const QRect column = D::StereoColumnRect(side);
                bp.drawImage(column.topLeft(), D::StereoColumnArtwork(dpr, false));
                const int h = column.height() / 2;
                bp.drawImage(QRect(column.left(), column.bottom() + 1 - h, column.width(), h),
                             D::StereoColumnArtwork(dpr, true),
                             QRectF(0, (column.height() - h) * dpr, column.width() * dpr, h * dpr));
            }
        }
        painter.drawImage(L::kBarDisplay.topLeft(), bars);
    }

  private:
    void Label(QRect r, const QString& text, int px, QColor colour,
               Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        auto* label = new QLabel(text, this);
        label->setGeometry(r);
        label->setFont(JapaneseFont(px));
        label->setAlignment(align);
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, colour);
        label->setPalette(pal);
    }
};

// The main window's pictures and the sheet of faces, strips and icons.
class Sheet : public QWidget {
  public:
    explicit Sheet(QWidget* parent) : QWidget(parent) { setFixedSize(1040, 600); }

  protected:
    void paintEvent(QPaintEvent*) override {
        const qreal dpr = devicePixelRatioF();
        QPainter painter(this);
        Caption(painter, {20, 6}, QStringLiteral("Control window"));
        Caption(painter, {660, 6}, QStringLiteral("Button faces (raised / pressed)"));
        for (int i = 0; i < kButtonKindCount; ++i) {
            const auto kind = static_cast<ButtonKind>(i);
            const QPoint at(660 + (i % 4) * 92, 28 + (i / 4) * 34);
            painter.drawImage(at, ButtonFace(kind, false, dpr));
            painter.drawImage(at + QPoint(40, 0), ButtonFace(kind, true, dpr));
        }
        Caption(painter, {660, 166}, QStringLiteral("Digit strip, marks, tiles, lamps, meters"));
        painter.drawImage(QPoint(660, 186), DigitStrip(dpr));
        painter.drawImage(QPoint(820, 186), MarkStripImage(true, dpr));
        painter.drawImage(QPoint(900, 186), MarkStripImage(false, dpr));
        painter.drawImage(QPoint(980, 190), D::TileStripArtwork(dpr));
        painter.drawImage(QPoint(660, 208), D::LampArtwork(dpr, true));
        painter.drawImage(QPoint(674, 208), D::LampArtwork(dpr, false));
        painter.drawImage(QPoint(690, 208), D::KnobFaceArtwork(dpr));
        painter.drawImage(QPoint(712, 208), KnobCap(false, dpr));
        painter.drawImage(QPoint(736, 208), KnobCap(true, dpr));
        painter.drawImage(QPoint(760, 210), D::SmallBarArtwork(dpr));
        painter.drawImage(QPoint(830, 210), D::SmallBarArtwork(dpr),
                          QRectF(0, 0, 40 * dpr, 11 * dpr));
        painter.drawImage(QPoint(900, 214), D::LevelBarArtwork(dpr));

        Caption(painter, {20, 196},
                QStringLiteral("Main window: tabs, keyboard surface, knob panel"));
        static const char* const kTabs[] = {"KeyBoard", "Document", "Event"};
        for (int i = 0; i < 3; ++i) {
            const QPoint at(20 + i * 98, 218);
            painter.drawImage(at, TabPicture(i == 0, dpr));
            painter.setFont(EngraveFont(11));
            painter.setPen(i == 0 ? P::kTabCaptionSelected : P::kTabCaptionIdle);
            painter.drawText(QRect(at, kTabSize), Qt::AlignCenter, QString::fromLatin1(kTabs[i]));
        }
        PaintKeyboardPanel(painter, QPoint(20, 240), dpr);

        Caption(painter, {660, 240}, QStringLiteral("Icon 16 · 24 · 32 · 48 · 64 · 128"));
        int x = 660;
        for (int px : {16, 24, 32, 48, 64, 128}) {
            QImage icon = AppIcon(qRound(px * dpr));
            icon.setDevicePixelRatio(dpr);
            painter.drawImage(QPoint(x, 262), icon);
            x += px + 10;
        }
        Caption(painter, {660, 400},
                QStringLiteral("日本語ラベル: 曲名・ファイル名・演奏楽器変更"));
        painter.setFont(JapaneseFont(13));
        painter.setPen(P::kLcdText);
        painter.drawText(QPoint(660, 436),
                         QStringLiteral("001:Piano 1　004:Honky-tonk　Track3 演奏楽器変更"));
        painter.drawText(QPoint(660, 456),
                         QStringLiteral("読み込みエラー（ファイルが見つかりません）"));
    }

  private:
    static void Caption(QPainter& painter, QPoint at, const QString& text) {
        painter.setFont(JapaneseFont(12));
        painter.setPen(QColor(0xa8, 0xae, 0xb6));
        painter.drawText(at + QPoint(0, 12), text);
    }

    // The keyboard panel as the display paints it: the keyboard surface with
    // a few held notes, the knob panel at reset, lamps and level bars.
    static void PaintKeyboardPanel(QPainter& painter, QPoint at, qreal dpr) {
        QImage keys = D::KeyboardSurface(dpr).Image();
        {
            QPainter kp(&keys);
            const int chords[][4] = {
                {60, 64, 67, 72}, {48, 55, 61, 64}, {36, 43, 0, 0}, {72, 76, 79, 84}};
            for (int c = 1; c <= 4; ++c)
                for (int n : chords[c - 1])
                    if (n != 0) kp.fillRect(D::KeyRect(c, n), P::kPressedKey);
        }
        painter.drawImage(at, keys);
        painter.drawImage(at + QPoint(D::kKeyboardSize.width(), 0), D::KnobPanel(dpr).Image());
        const D::DisplayArt art(dpr);
        for (int c = 1; c <= 16; ++c) {
            painter.drawImage(at + D::LampRect(c).topLeft(),
                              c % 3 == 1 ? art.lampLit : art.lampUnlit);
            const int width = kDemoLevels[c - 1] * 7;
            const QRect bar(at + D::LevelBarOrigin(c), QSize(width, D::kLevelBarSize.height()));
            painter.drawImage(bar, art.levelBar, QRectF(0, 0, width * dpr, art.levelBar.height()));
        }
    }
};

class Gallery : public QWidget {
  public:
    Gallery() {
        setWindowTitle(QStringLiteral("Sonfara UI gallery"));
        setFixedSize(1040, 600);
        auto* sheet = new Sheet(this);
        sheet->move(0, 0);
        (new ControlPreview(this))->move(20, 28);
        setWindowIcon(QIcon(QPixmap::fromImage(AppIcon(64))));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), QColor(0x1b, 0x1d, 0x20));
    }
};

bool WriteIcons(const QString& dir) {
    QDir().mkpath(dir);
    for (int px : {16, 22, 24, 32, 48, 64, 128, 256})
        if (!AppIcon(px).save(QStringLiteral("%1/sonfara-%2.png").arg(dir).arg(px))) return false;
    QFile svg(dir + QStringLiteral("/sonfara.svg"));
    return svg.open(QIODevice::WriteOnly) && svg.write(AppIconSvg()) > 0;
}

}  // namespace

int main(int argc, char** argv) {
    QString grab, icons;
    QRect crop;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--grab")
            grab = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--icons")
            icons = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--dpr")
            qputenv("QT_SCALE_FACTOR", argv[++i]);
        else if (arg == "--crop") {
            // x,y,w,h in logical pixels: a part of the page, to look at closely.
            const QList<QByteArray> v = QByteArray(argv[++i]).split(',');
            if (v.size() == 4) crop = QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt());
        }
    }
    QApplication app(argc, argv);
    if (!icons.isEmpty() && !WriteIcons(icons)) {
        std::fprintf(stderr, "sonfara-ui-gallery: cannot write icons to %s\n", qPrintable(icons));
        return 1;
    }
    Gallery gallery;
    gallery.show();
    if (grab.isEmpty()) return icons.isEmpty() ? app.exec() : 0;
    QTimer::singleShot(0, [&] {
        const bool ok =
            gallery.grab(crop.isNull() ? QRect(QPoint(0, 0), QSize(-1, -1)) : crop).save(grab);
        if (!ok) std::fprintf(stderr, "sonfara-ui-gallery: cannot write %s\n", qPrintable(grab));
        app.exit(ok ? 0 : 1);
    });
    return app.exec();
}
