// The main window docked below the control window: a 20-pixel snap from
// either window, the main window carried along while docked, and the two
// windows raised together after a third window was active while a WRD
// presentation runs. Positions are frame positions; on a platform without
// window positions (Wayland) moves never arrive and nothing docks.
// UI thread only.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <functional>

class QWidget;

namespace sonfara::shell {

inline constexpr int kDockSnapPixels = 20;

// Both tests strict: the main window's left edge within 20 pixels of the
// control window's left edge and its top within 20 of the control's bottom.
bool WithinDockSnap(const QRect& controlFrame, QPoint mainTopLeft);
// The main window's place when docked: the control window's bottom-left.
QPoint DockedMainPosition(const QRect& controlFrame);

class Docking final : public QObject {
  public:
    Docking(QWidget& control, QWidget& main, QObject* parent = nullptr);

    bool Docked() const { return docked_; }
    // The start-up test (no window moves).
    void TestDocked();
    // Puts the main window in its docked place (restoring from the tray).
    void Reattach();
    // Whether a WRD presentation runs (joint raising only then).
    std::function<bool()> wrdActive;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ControlMoved();
    void MainMoved();
    void Activated(QWidget& self, QWidget& other);
    void Deactivated(QWidget& other);

    QWidget& control_;
    QWidget& main_;
    bool docked_ = false;
    bool moving_ = false;
    bool activationPending_ = false;
};

}  // namespace sonfara::shell
