// The main window "Sonfara - Main Window": the frame, its tab strip above
// and the panel area below (the panels are MainPanels, main_panels.h).
// UI thread only; every hook below is called on it.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

namespace sonfara::shell {

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 620;
    static constexpr int kFullHeight = 370;   // client height unrolled
    static constexpr int kRolledHeight = 15;  // client height rolled up
    static constexpr int kPanelTop = 27;      // the base picture's top

    explicit MainWindow(QWidget* parent = nullptr);

    QWidget* PanelArea() const { return panelArea_; }

    // The frame's share of the roll-up: the panel area and the height.
    // MainPanels::SetRolledUp does the whole toggle.
    bool RolledUp() const { return rolledUp_; }
    void SetRolledUp(bool rolled);

    // Closing the main window asks for a close as the control window's does.
    std::function<void()> onCloseRequested;
    // A double click on the title bar, when the window system reports one,
    // in the normal state only (not maximised or minimised).
    std::function<void()> onTitleDoubleClick;
    // Local files dropped on the window or any control in it, in the
    // order the drop lists them.
    std::function<void(const QStringList& paths)> onFilesDropped;
    // Set while the exit lets the window go for good.
    void AllowClose() { closing_ = true; }

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool HandleDrop(QEvent* event);

    QWidget* panelArea_;
    bool rolledUp_ = false;
    bool closing_ = false;
};

}  // namespace sonfara::shell
