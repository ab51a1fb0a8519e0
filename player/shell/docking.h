// The main window docked below the control window: a 20-pixel snap from
// either window, the main window carried along while docked, and the two
// windows raised together after a third window was active while a WRD
// presentation runs. Positions are frame positions, acted on only while both
// windows are on screen (a window being mapped reports passing places); on a
// platform without window positions (Wayland) moves never arrive and nothing
// docks.
// UI thread only.
#pragma once

#include <QList>
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

// Before the windows are shown their decorations are unknown, so a stored
// main window counts as docked when its top lies within the snap distance of
// the control window's client bottom or up to a title bar's height below.
inline constexpr int kTitleBarAllowance = 48;
bool StoredDocked(const QRect& controlClient, QPoint mainTopLeft);

// A window whose top edge (title and menu bars) lies on a screen's available
// area with at least kReachablePixels of its width stays where it is; any
// other goes onto the nearest area, whole where it fits, else by its top-left.
inline constexpr int kReachablePixels = 40;
QPoint ReachablePosition(const QRect& frame, const QList<QRect>& areas);

// The start-up places of both windows: `control` and `main` are the client
// sizes at the stored frame positions. A docked pair is brought back as one.
struct WindowPlaces {
    QPoint control;
    QPoint main;
};
WindowPlaces PlaceWindowPair(const QRect& control, const QRect& main, bool docked,
                             const QList<QRect>& areas);

class Docking final : public QObject {
  public:
    Docking(QWidget& control, QWidget& main, QObject* parent = nullptr);

    bool Docked() const { return docked_; }
    // The start-up placement put the main window at `mainAt`, docked.
    void StartDocked(QPoint mainAt);
    // The start-up test (no window moves); a docked placement stays docked.
    void TestDocked();
    // Puts the main window in its docked place once both windows are on
    // screen (their frames known); each exposure of either does it too.
    void Reattach();
    // Whether a WRD presentation runs (joint raising only then).
    std::function<bool()> wrdActive;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static bool Exposed(const QWidget& window);
    void MoveMain(QPoint at);
    void ControlMoved();
    void MainMoved();
    void Activated(QWidget& self, QWidget& other);
    void Deactivated(QWidget& other);

    QWidget& control_;
    QWidget& main_;
    bool docked_ = false;
    // Where docking last put the main window: a move report of that place
    // (the window manager mapping it) is not the user moving it away.
    QPoint placed_;
    bool moving_ = false;
    bool activationPending_ = false;
};

}  // namespace sonfara::shell
