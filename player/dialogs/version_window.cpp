#include "player/dialogs/version_window.h"

#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QtGlobal>

#include "player/dialogs/prompts.h"
#include "player/files/archive.h"
#include "player/files/converters.h"
#include "player/platform/sfrlib_binding.h"
#include "player/ui/artwork.h"
#include "player/ui/palette.h"
#include "player/wrd/external_player.h"

namespace sonfara::dialogs {

namespace {

std::string SfrLibVersion(platform::SfrLibBinding& lib) {
    const int32_t v = lib.SFRGetVersion();
    if (v == platform::SfrLibBinding::kUnavailable) return kNotInstalled;
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", v / 100, v % 100);
    return text;
}

std::string WrdPluginVersion() {
    wrd::SharedLibraryWrdPlugin plugin;
    wrd::WrdPluginApi api;
    if (!plugin.Available() || !plugin.Bind(api)) return kNotInstalled;
    const int32_t major = api.dswrdGetMajorVersion ? api.dswrdGetMajorVersion() : -1;
    const int32_t minor = api.dswrdGetMinorVersion ? api.dswrdGetMinorVersion() : -1;
    if (major < 0) return "?";
    return std::to_string(major) + "." + std::to_string(std::max(minor, 0));
}

}  // namespace

std::vector<VersionRow> CollectVersions(platform::SfrLibBinding& sfrlib) {
    std::vector<VersionRow> rows;
    rows.push_back({"Sonfara", SONFARA_VERSION});
    rows.push_back({"SfrLib", SfrLibVersion(sfrlib)});
    const std::string notice = sfrlib.SFRGetCopyright();
    if (!notice.empty()) rows.push_back({"", notice});
    rows.push_back({"Qt", qVersion()});
    rows.push_back({"FluidSynth", fluid_version_str()});
    rows.push_back({"RtMidi", RtMidi::getVersion()});
    rows.push_back({"libarchive", files::ArchiverVersionText()});
    // The plug-in slots: archives are read by libarchive itself.
    rows.push_back({"LHA/ZIP reader", files::ArchiverVersionText()});
    rows.push_back({"rcpcv (RCP converter)", files::RcpVersionText()});
    rows.push_back({"SMFK32 (module emulator)", files::SmfkVersionText()});
    rows.push_back({"dswrd (WRD player)", WrdPluginVersion()});
    return rows;
}

namespace {

// The icon on an engraved plate, as the control window shows its badges.
class Badge final : public QWidget {
  public:
    explicit Badge(QWidget* parent) : QWidget(parent) { setFixedSize(72, 72); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int px = qRound(64 * devicePixelRatioF());
        QImage icon = ui::AppIcon(px);
        icon.setDevicePixelRatio(devicePixelRatioF());
        p.drawImage(QPoint(4, 4), icon);
    }
};

}  // namespace

VersionWindow::VersionWindow(const std::vector<VersionRow>& rows, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("VersionWnd"));
    setWindowTitle(tr("バージョン情報 - Sonfara"));
    ApplyPanelLook(this);

    auto* header = new QHBoxLayout;
    header->addWidget(new Badge(this));
    auto* title = new QLabel(QStringLiteral("Sonfara"), this);
    title->setFont(ui::EngraveFont(28));
    QPalette lit = title->palette();
    lit.setColor(QPalette::WindowText, ui::palette::kLcdText);
    title->setPalette(lit);
    header->addWidget(title);
    header->addStretch();

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    int r = 0;
    for (const VersionRow& row : rows) {
        auto* value = new QLabel(QString::fromStdString(row.version), this);
        value->setObjectName(QStringLiteral("version:") + QString::fromStdString(row.name));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (row.version == kNotInstalled) {
            QPalette dim = value->palette();
            dim.setColor(QPalette::WindowText, ui::palette::kEngraveDim);
            value->setPalette(dim);
        }
        if (row.name.empty()) {
            // A notice line: the whole width, one line where the font allows,
            // wrapped rather than cut where it does not.
            value->setWordWrap(true);
            value->setMinimumWidth(value->fontMetrics().horizontalAdvance(value->text()));
            grid->addWidget(value, r++, 0, 1, 2);
            continue;
        }
        grid->addWidget(new QLabel(QString::fromStdString(row.name), this), r, 0);
        grid->addWidget(value, r++, 1);
    }

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(rule);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace sonfara::dialogs
