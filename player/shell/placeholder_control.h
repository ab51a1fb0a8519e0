// Stands in for the control window until it is built: a frame of its size
// with the title, file name, time and speed of the playing song.
#pragma once

#include <QWidget>
#include <functional>

#include "player/session/session.h"
#include "player/shell/control_surface.h"

class QLabel;

namespace sonfara::shell {

class PlaceholderControl final : public QWidget, public ControlSurface {
  public:
    PlaceholderControl(PlaybackSession& session, std::function<void(int)> requestClose);

    QWidget* Widget() override { return this; }
    void OnCtlSet() override {}
    void OnCtlSet2() override;
    void OnMidiDisp() override;
    void ResetReadouts() override;
    // Set while the exit lets the window go for good.
    void AllowClose() { closing_ = true; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    PlaybackSession& session_;
    std::function<void(int)> requestClose_;
    QLabel *title_, *file_, *time_, *marks_;
    bool closing_ = false;
};

}  // namespace sonfara::shell
