#include "player/panels/menus.h"

#include <QCoreApplication>
#include <algorithm>

#include "player/panels/panel_style.h"
#include "player/platform/midi.h"
#include "player/sequencer/output_layer.h"

namespace sonfara::panels {
namespace {

struct Category {
    const char* caption;
    int base;
};
constexpr Category kCategories[kCategoryCount] = {
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "ピアノ"), 0},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "メロディ"), 8},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "オルガン"), 16},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "ギター"), 24},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "ベース"), 32},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "弦楽器"), 40},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "アンサンブル"), 48},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "金管楽器"), 56},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "リード楽器"), 64},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "管楽器"), 72},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "シンセリード"), 80},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "シンセパッド"), 88},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "シンセエフェクト"), 96},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "民族楽器"), 104},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "パーカッション"), 112},
    {QT_TRANSLATE_NOOP("sonfara::panels::InstrumentMenu", "サウンドエフェクト"), 120},
};

QString HeaderCaption(int channel) {
    return QCoreApplication::translate("sonfara::panels::InstrumentMenu", "Track%1 演奏楽器変更")
        .arg(channel);
}

}  // namespace

void OutputLayerProgramChanger::ChangeProgram(int channel, int program) {
    out_.SendShortMessage(midi::StatusByte(midi::kProgramChange, channel - 1),
                          static_cast<uint8_t>(program), 0);
}

InstrumentMenu::InstrumentMenu(InstLabeler labeler, ProgramChanger& changer, QWidget* parent)
    : QMenu(tr("GM規格"), parent), labeler_(std::move(labeler)), changer_(changer) {
    setStyleSheet(style::MenuSheet());
    setFont(style::TextFont(12));
    header_ = addAction(HeaderCaption(1));
    header_->setEnabled(false);
    addSeparator();
    for (int c = 0; c < kCategoryCount; ++c) {
        categories_[c] = addMenu(tr(kCategories[c].caption));
        categories_[c]->setStyleSheet(style::MenuSheet());
        for (int k = 0; k < kItemsPerCategory; ++k) {
            const int program = kCategories[c].base + k;
            QAction* item = categories_[c]->addAction(QString());
            connect(item, &QAction::triggered, this,
                    [this, program] { changer_.ChangeProgram(channel_, program); });
            items_[program] = item;
        }
    }
    Caption(0, 0);
    items_[kSuffixedProgram]->setText(items_[kSuffixedProgram]->text() + tr("(パーカッション)"));
}

void InstrumentMenu::Caption(int bank, int map) {
    for (int program = 0; program < kCategoryCount * kItemsPerCategory; ++program)
        items_[program]->setText(QString::fromStdString(labeler_(program, bank, map)));
    bank_ = bank;
    map_ = map;
}

void InstrumentMenu::PrepareFor(int channel, int bank, int map) {
    channel_ = channel;
    header_->setText(HeaderCaption(channel));
    if (bank != bank_ || map != map_) Caption(bank, map);
}

void InstrumentMenu::PopupFor(int channel, int bank, int map, const QPoint& globalPos) {
    PrepareFor(channel, bank, map);
    popup(globalPos);
}

QString TrackItemCaption(int index) {
    const int track = index + 1;
    return QCoreApplication::translate("sonfara::panels::TrackMenu", "トラック") +
           (track < 10 ? QStringLiteral("  ") : QStringLiteral(" ")) + QString::number(track);
}

TrackMenu::TrackMenu(QWidget* parent) : QMenu(tr("イベントウィンドウトラック"), parent) {
    setStyleSheet(style::MenuSheet());
    setFont(style::TextFont(12));
    for (int i = 0; i < kTrackMenuItems; ++i) {
        items_[i] = addAction(TrackItemCaption(i));
        items_[i]->setVisible(i < kTracksAlwaysShown);
        connect(items_[i], &QAction::triggered, this, [this, i] { emit trackChosen(i + 1); });
    }
}

void TrackMenu::ShowTracksUpTo(int trackCount) {
    for (QMenu* g : groups_) delete g;
    groups_.clear();
    const bool grouped = trackCount > kTrackMenuItems;
    for (int i = 0; i < kTrackMenuItems; ++i)
        items_[i]->setVisible(!grouped && (i < kTracksAlwaysShown || i + 1 <= trackCount));
    if (!grouped) return;
    for (int first = 1; first <= trackCount; first += kTrackMenuItems) {
        const int last = std::min(trackCount, first + kTrackMenuItems - 1);
        QMenu* g = addMenu(tr("トラック %1～%2").arg(first).arg(last));
        g->setStyleSheet(style::MenuSheet());
        g->setFont(style::TextFont(12));
        // Thousands of tracks would be thousands of items: made on first opening.
        connect(g, &QMenu::aboutToShow, this, [this, g, first, last] {
            if (!g->isEmpty()) return;
            for (int t = first; t <= last; ++t) {
                connect(g->addAction(TrackItemCaption(t - 1)), &QAction::triggered, this,
                        [this, t] { emit trackChosen(t); });
            }
        });
        groups_.push_back(g);
    }
}

}  // namespace sonfara::panels
