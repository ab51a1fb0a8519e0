#include "player/display/keyboard_surface.h"

#include <QPainter>
#include <cstdio>

#include "player/display/artwork.h"
#include "player/platform/midi.h"
#include "player/ui/palette.h"

namespace sonfara::display {
namespace {

namespace P = ui::palette;

constexpr auto kRelaxed = std::memory_order_relaxed;

QFont LabelFont() {
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setPixelSize(11);
    return f;
}

}  // namespace

std::string NumberOnlyInstLabel(int program, int, int) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d:", program + 1);
    return buf;
}

KeyboardSurface::KeyboardSurface(qreal dpr, InstLabelFn instLabel)
    : dpr_(dpr), instLabel_(std::move(instLabel)), background_(KeyboardArtwork(dpr)) {
    for (int c = 1; c <= kChannels; ++c) {
        Label& l = labels_[c - 1];
        l.inst = c - 1 == midi::kDrumChannel ? QStringLiteral("DrumSet")
                                             : QString::fromStdString(instLabel_(0, 0, 0));
        l.bankText = l.mapText = QStringLiteral("0");
    }
    Reset();
}

void KeyboardSurface::Reset() {
    image_ = background_.copy();
    image_.setDevicePixelRatio(dpr_);
    for (auto& row : shownNoteOn_) row.fill(false);
    for (int c = 1; c <= kChannels; ++c) PaintLabel(c);
    PaintTempo();
}

QRect KeyboardSurface::DrawKeyboards(DisplaySource& src) {
    QRect changed;
    QPainter p(&image_);
    for (int c = 1; c <= kChannels; ++c) {
        if (!src.TakeKeyDirty(c)) continue;
        const sequencer::ChannelState& ch = src.Channel(c);
        auto& shown = shownNoteOn_[c - 1];
        // Note 0 is left undrawn, as the keyboard has always been.
        for (int note = 1; note < 128; ++note) {
            const bool on = ch.NoteOn[note].load(kRelaxed) != 0;
            if (on == shown[note]) continue;
            const QRect r = KeyRect(c, note);
            if (on) {
                p.fillRect(r, P::kPressedKey);
            } else if (IsBlackKey(note)) {
                p.fillRect(r, P::kBlackKey);
                p.fillRect(KeyHighlightRect(c, note), P::kBlackKeyHighlight);
            } else {
                p.fillRect(r, P::kWhiteKey);
            }
            shown[note] = on;
            changed |= r;
        }
    }
    return changed & QRect(QPoint(0, 0), kKeyboardSize);
}

void KeyboardSurface::SetInstText(int c, const sequencer::ChannelState& ch) {
    Label& l = labels_[c - 1];
    l.inst = QString::fromStdString(
        instLabel_(l.program, ch.BankMSB.load(kRelaxed), ch.BankLSB.load(kRelaxed)));
}

QRect KeyboardSurface::UpdateChannelLabels(DisplaySource& src) {
    QRect changed;
    for (int c = 1; c <= kChannels; ++c) {
        const sequencer::ChannelState& ch = src.Channel(c);
        Label& l = labels_[c - 1];
        bool repaint = false;
        const int program = ch.Program.load(kRelaxed);
        if (program != l.program && c - 1 != midi::kDrumChannel) {
            l.program = program;
            SetInstText(c, ch);
            repaint = true;
        }
        const int bank = ch.BankMSB.load(kRelaxed);
        if (bank != l.bank) {
            l.bank = bank;
            l.bankText = QString::number(bank);
            SetInstText(c, ch);
            repaint = true;
        }
        const int map = ch.BankLSB.load(kRelaxed);
        if (map != l.map) {
            l.map = map;
            l.mapText = QString::number(map);
            SetInstText(c, ch);
            repaint = true;
        }
        const bool dimmed = dimmed_[c - 1].load(kRelaxed);
        if (dimmed != l.dimmed) {
            l.dimmed = dimmed;
            repaint = true;
        }
        if (repaint) {
            PaintLabel(c);
            changed |= InstLabelRect(c) | MapLabelRect(c);
        }
    }
    return changed;
}

void KeyboardSurface::PaintLabel(int c) {
    const Label& l = labels_[c - 1];
    const QRect whole = InstLabelRect(c) | MapLabelRect(c);
    QPainter p(&image_);
    p.drawImage(whole.topLeft(), background_,
                QRectF(QPointF(whole.topLeft()) * dpr_, QSizeF(whole.size()) * dpr_));
    p.setFont(LabelFont());
    p.setPen(l.dimmed ? P::kLabelTextOff : P::kLabelText);
    p.drawText(InstLabelRect(c).adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, l.inst);
    p.setPen(l.dimmed ? P::kLabelTextOff : P::kReadoutText);
    p.drawText(BankLabelRect(c), Qt::AlignRight | Qt::AlignVCenter, l.bankText);
    p.drawText(MapLabelRect(c), Qt::AlignRight | Qt::AlignVCenter, l.mapText);
}

QRect KeyboardSurface::UpdateTempoLabel(DisplaySource& src) {
    std::string text = src.BpmText();
    if (text == shownTempo_) return {};
    shownTempo_ = std::move(text);
    PaintTempo();
    return kTempoText;
}

void KeyboardSurface::PaintTempo() {
    QPainter p(&image_);
    p.drawImage(kTempoText.topLeft(), background_,
                QRectF(QPointF(kTempoText.topLeft()) * dpr_, QSizeF(kTempoText.size()) * dpr_));
    QFont f = LabelFont();
    f.setBold(true);
    p.setFont(f);
    p.setPen(P::kReadoutText);
    p.drawText(kTempoText, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(shownTempo_));
}

}  // namespace sonfara::display
