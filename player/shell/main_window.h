// The main window "Sonfara - Main Window": for now a frame of its full size
// that shows the keyboard picture the drawing thread hands over. The panels
// (knobs, meters, document and event list) are added into PanelArea().
// UI thread only.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace sonfara::shell {

// Paints the newest keyboard image (480 × 335 logical pixels).
class KeyboardView final : public QWidget {
  public:
    explicit KeyboardView(QWidget* parent = nullptr);
    void SetFrame(const QImage& frame);
    const QImage& Frame() const { return frame_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage frame_;
};

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 620;
    static constexpr int kFullHeight = 370;   // client height unrolled
    static constexpr int kRolledHeight = 15;  // client height rolled up
    static constexpr int kPanelTop = 27;      // the base picture's top

    explicit MainWindow(QWidget* parent = nullptr);

    QWidget* PanelArea() const { return panelArea_; }
    KeyboardView* Keyboard() const { return keyboard_; }

    bool RolledUp() const { return rolledUp_; }
    void SetRolledUp(bool rolled);

    // Closing the main window asks for a close as the control window's does.
    std::function<void()> onCloseRequested;
    // Set while the exit lets the window go for good.
    void AllowClose() { closing_ = true; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* panelArea_;
    KeyboardView* keyboard_;
    bool rolledUp_ = false;
    bool closing_ = false;
};

}  // namespace sonfara::shell
