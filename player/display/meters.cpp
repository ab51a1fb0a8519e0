#include "player/display/meters.h"

#include <QPainter>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "player/display/artwork.h"

namespace sonfara::display {
namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kSumScale = 10;
constexpr double kSumMax = 1600;
constexpr int kWidthPerLevel = 7;
}  // namespace

LevelMeters::LevelMeters(qreal dpr)
    : dpr_(dpr), background_(BarDisplayArtwork(dpr)), tiles_(TileStripArtwork(dpr)) {
    ClearBarDisplay();
}

void LevelMeters::ClearBarDisplay() {
    for (auto& column : tileLit_) column.fill(false);
    bar_ = background_.copy();
    bar_.setDevicePixelRatio(dpr_);
}

bool LevelMeters::PaintSteps(int b, int from, int to, bool lit) {
    bool changed = false;
    QPainter p(&bar_);
    const QRect tile = lit ? kLitTile : kUnlitTile;
    const QRectF source(QPointF(tile.topLeft()) * dpr_, QSizeF(tile.size()) * dpr_);
    const int step = from <= to ? 1 : -1;
    for (int t = from;; t += step) {
        p.drawImage(BarStepRect(b, t).topLeft(), tiles_, source);
        if (t < 0 || t > kMaxLevel) {
            changed = true;  // off the tracked steps: drawn as computed
        } else if (tileLit_[b - 1][t] != lit) {
            tileLit_[b - 1][t] = lit;
            changed = true;
        }
        if (t == to) break;
    }
    return changed;
}

bool LevelMeters::DrawLevelMeters(DisplaySource& src) {
    bool changed = false;
    double left = 0, right = 0;
    for (int b = 1; b <= kChannels; ++b) {
        const sequencer::ChannelState& ch = src.Channel(b);
        const int level = ch.Level.load(kRelaxed);
        int& shown = shownLevel_[b - 1];
        const int old = shown;
        if (shown != level) {
            const int d = level - shown;
            // A fall or a rise of one shows at once; a larger rise climbs.
            shown = (d < 2 || d > 16) ? level : shown + 2;
        }
        if (!bitmapShowing_) {
            const int s = columnsFromZero_ ? 0 : old;
            changed |= PaintSteps(b, s, shown, s < shown);
        }
        if (shown * kWidthPerLevel != meterWidth_[b - 1]) {
            meterWidth_[b - 1] = shown * kWidthPerLevel;
            changed = true;
        }
        const double f = shown;
        const double q = (ch.Pan.load(kRelaxed) - 64) / 64.0;
        right += f / 2 + f * q;
        left += f / 2 - f * q;
    }
    left = std::clamp(left * kSumScale, 0.0, kSumMax);
    right = std::clamp(right * kSumScale, 0.0, kSumMax);
    columnsFromZero_ = bitmapShowing_;
    if (left != shownLeft_ || right != shownRight_) changed = true;
    shownLeft_ = left;
    shownRight_ = right;
    return changed;
}

int LevelMeters::LeftWidth() const {
    return static_cast<int>(std::nearbyint(shownLeft_ / 15));
}
int LevelMeters::RightWidth() const {
    return static_cast<int>(std::nearbyint(shownRight_ / 15));
}

void LevelMeters::DrawDisplayBitmap(DisplaySource& src) {
    ClearBarDisplay();
    QPainter p(&bar_);
    const QRectF lit(QPointF(kLitTile.topLeft()) * dpr_, QSizeF(kLitTile.size()) * dpr_);
    for (int r = 1; r <= 16; ++r) {
        const uint32_t row = src.DotRow(r);
        for (int j = 1; j <= 16; ++j)
            if ((row >> (j - 1)) & 1u) p.drawImage(DotTileRect(r, j).topLeft(), tiles_, lit);
    }
}

void LevelMeters::RedrawLevelColumns() {
    ClearBarDisplay();
    for (int b = 1; b <= kChannels; ++b)
        if (shownLevel_[b - 1] > 0) PaintSteps(b, 0, shownLevel_[b - 1], true);
}

void DotPictureSequence::Schedule() {
    enabled_ = true;
    intervalMs_ = kShowDelayMs;
}

void DotPictureSequence::Tick(LevelMeters& meters, DisplaySource& src, bool displayOn) {
    if (!enabled_) return;
    if (!displayOn) {
        enabled_ = false;
        return;
    }
    if (intervalMs_ == kShowDelayMs) {
        meters.SetBitmapShowing(true);
        meters.DrawDisplayBitmap(src);
        intervalMs_ = kHoldMs;
        return;
    }
    enabled_ = false;
    meters.RedrawLevelColumns();
    meters.SetBitmapShowing(false);
}

bool NoteCountMeter::Draw(int soundingNotes) {
    // The engine's count may dip below zero for a moment; it shows as 0.
    const int count = std::max(soundingNotes, 0);
    if (count == shown_) return false;
    shown_ = count;
    return true;
}

std::optional<int> ProcStatSampler::Sample(std::string_view procStat) {
    // "cpu  user nice system idle iowait irq softirq steal ..."
    procStat = procStat.substr(0, procStat.find('\n'));
    if (procStat.substr(0, 4) != "cpu ") return std::nullopt;
    std::istringstream in{std::string(procStat.substr(4))};
    uint64_t v = 0, total = 0, idle = 0;
    for (int i = 0; i < 8 && in >> v; ++i) {
        total += v;
        if (i == 3 || i == 4) idle += v;
    }
    const uint64_t busy = total - idle;
    std::optional<int> percent;
    if (have_ && total > total_) {
        const uint64_t dt = total - total_;
        const uint64_t db = busy >= busy_ ? busy - busy_ : 0;
        percent = static_cast<int>(std::min<uint64_t>(100, db * 100 / dt));
    }
    have_ = true;
    busy_ = busy;
    total_ = total;
    return percent;
}

int ProcStatSampler::ReadPercent() {
    std::ifstream f("/proc/stat");
    std::string line;
    if (!std::getline(f, line)) return 0;
    return Sample(line).value_or(0);
}

bool CpuLoadMeter::Update(int percent) {
    const int load = std::clamp(percent, 0, 100) / 10 * 10;
    if (load == shown_) return false;
    shown_ = load;
    return true;
}

bool NoteLamps::Flash(DisplaySource& src) {
    bool changed = false;
    for (int c = 1; c <= kChannels; ++c) {
        bool& lit = lit_[c - 1];
        const bool was = lit;
        lit = false;
        if (src.TakeNoteOnFlag(c)) lit = true;
        changed |= lit != was;
    }
    return changed;
}

}  // namespace sonfara::display
