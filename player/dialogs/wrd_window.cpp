#include "player/dialogs/wrd_window.h"

#include <QCloseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "player/ui/palette.h"
#include "player/wrd/sequencer_link.h"

namespace sonfara::wrd {

WrdWindowWidget::WrdWindowWidget(QWidget* parent)
    : QWidget(parent), frame_(kFrameWidth, kFrameHeight, QImage::Format_RGB32) {
    setObjectName(QStringLiteral("WRDWnd"));
    setWindowTitle(QStringLiteral("Sonfara - WRD Window"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    frame_.fill(ui::palette::kWrdBackdrop);
    resize(kFrameWidth, kFrameHeight);
}

void WrdWindowWidget::UseTimerSlot(WrdTimerSlot* slot) {
    slot_ = slot;
    if (slot_) slot_->SetIntervalMs(intervalMs_);
}

void WrdWindowWidget::SetInterval(int ms) {
    intervalMs_ = std::max(ms, 1);
    if (slot_) slot_->SetIntervalMs(intervalMs_);
}

void WrdWindowWidget::OnTimer() {
    if (source_) source_->Tick();
}

void WrdWindowWidget::Show() {
    show();
}

void WrdWindowWidget::Hide() {
    hide();
}

void WrdWindowWidget::StartTimer() {
    if (slot_) slot_->Start();
}

void WrdWindowWidget::StopTimer() {
    if (slot_) slot_->Stop();
}

void WrdWindowWidget::Present(const Surface& frame) {
    // The surface's pixels are 0x00RRGGBB, the layout of Format_RGB32.
    const int w = std::min(frame.Width(), kFrameWidth), h = std::min(frame.Height(), kFrameHeight);
    for (int y = 0; y < h; ++y) {
        auto* dst = reinterpret_cast<uint32_t*>(frame_.scanLine(y));
        const uint32_t* src = frame.Row(y);
        for (int x = 0; x < w; ++x) dst[x] = 0xFF000000u | src[x];
    }
    update();
}

int WrdWindowWidget::Scale() const {
    const qreal dpr = devicePixelRatioF();
    const int w = static_cast<int>(width() * dpr), h = static_cast<int>(height() * dpr);
    return std::max(1, std::min(w / kFrameWidth, h / kFrameHeight));
}

QRectF WrdWindowWidget::FrameRect() const {
    // On whole device pixels, so at a whole scale every frame pixel becomes
    // an s x s block.
    const qreal dpr = devicePixelRatioF();
    const int devW = static_cast<int>(width() * dpr), devH = static_cast<int>(height() * dpr);
    QSize shown = QSize(kFrameWidth, kFrameHeight) * Scale();
    if (devW < kFrameWidth || devH < kFrameHeight)
        shown = QSize(kFrameWidth, kFrameHeight).scaled(devW, devH, Qt::KeepAspectRatio);
    return {((devW - shown.width()) / 2) / dpr, ((devH - shown.height()) / 2) / dpr,
            shown.width() / dpr, shown.height() / dpr};
}

void WrdWindowWidget::paintEvent(QPaintEvent*) {
    if (!shuttingDown_ && source_) {
        WrdPaintTarget target{reinterpret_cast<uint32_t*>(frame_.bits()), frame_.width(),
                              frame_.height(), static_cast<int32_t>(frame_.bytesPerLine())};
        source_->RepaintExternal(target);
    }
    const QRectF target = FrameRect();
    QPainter p(this);
    // Scaled down, pixels blend; scaled up, they stay sharp blocks.
    p.setRenderHint(QPainter::SmoothPixmapTransform,
                    target.width() * devicePixelRatioF() < kFrameWidth);
    p.fillRect(rect(), ui::palette::kWrdBackdrop);
    p.drawImage(target, frame_);
}

void WrdWindowWidget::closeEvent(QCloseEvent* event) {
    if (shuttingDown_) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
}

void WrdWindowWidget::hideEvent(QHideEvent* event) {
    activated_ = false;
    QWidget::hideEvent(event);
}

void WrdWindowWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !activated_) {
        activated_ = true;
        if (source_) source_->PresentFrame();
        update();
    }
    QWidget::changeEvent(event);
}

}  // namespace sonfara::wrd
