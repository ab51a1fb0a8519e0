// The main window's contents: the tab strip, the keyboard panel as the
// display paints it (with the channel switches and the instrument menu),
// the event-list and document panels, and the control window's bar display.
// Everything here lives on the UI thread.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "player/display/display_painter.h"
#include "player/panels/document_panel.h"
#include "player/panels/event_list_panel.h"
#include "player/panels/event_source.h"
#include "player/panels/menus.h"
#include "player/session/session.h"
#include "player/song/event_list.h"

namespace sonfara::shell {

class MainWindow;

// The keyboard panel (611 × 335): the drawing thread's keyboard picture
// beside the knob panel, with level bars, lamps and readouts. A press on a
// channel's lamp is its on/off switch; a right press on a channel label asks
// for the instrument menu.
class KeyboardPanelView final : public QWidget {
  public:
    KeyboardPanelView(const display::DisplayController& display, QWidget* parent);
    // `changed`: the part of the keyboard picture that differs (logical).
    void SetFrame(const QImage& frame,
                  const QRect& changed = QRect(QPoint(0, 0), display::kKeyboardSize));
    const QImage& Frame() const { return frame_; }

    // The switch of channel c (1..16): the lamp and the margin around it.
    static QRect SwitchRect(int c);

    std::function<void(int channel, Qt::MouseButton button)> onSwitch;
    std::function<void(int channel, const QPoint& globalPos)> onLabelMenu;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    const display::DisplayController& display_;
    display::DisplayArt art_;
    QImage frame_;
};

// The control window's bar display with the stereo bars below it.
class BarPanelView final : public QWidget {
  public:
    BarPanelView(const display::DisplayController& display, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    const display::DisplayController& display_;
    display::DisplayArt art_;
};

// One tab: its picture with the caption, white when selected, grey if not.
class PanelTab final : public QWidget {
  public:
    PanelTab(const QString& caption, QWidget* parent);
    void SetSelected(bool selected);
    bool Selected() const { return selected_; }
    std::function<void()> onClicked;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QString caption_;
    bool selected_ = false;
};

// A strip picture of the rolled-up window (TempPic(0) and TempPic(1));
// part 0 carries the caption of the panel that unrolling brings back. A
// double click on either asks to unroll, for desktops that keep the title
// bar's double click to themselves.
class RollStrip final : public QWidget {
  public:
    RollStrip(int part, QWidget* parent);
    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }
    std::function<void()> onDoubleClicked;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    int part_;
    QString caption_;
};

class MainPanels final : public QObject, private panels::ProgramChanger {
  public:
    enum Panel { kKeyboardPanel = 0, kDocumentPanel = 1, kEventPanel = 2 };

    MainPanels(MainWindow& window, session::PlaybackSession& session,
               display::DisplayController& display, panels::InstLabeler labeler);
    ~MainPanels() override;

    // Shows panel i (0..2), marks its tab and tells the display which one is up.
    void SelectPanel(int panel);
    int SelectedPanel() const { return selected_; }

    // The roll-up toggle's two forms: rolled up, the strip pictures stand
    // in for the tabs and the panel of the white caption is remembered;
    // unrolled, the tabs and that panel come back.
    void SetRolledUp(bool rolled);
    bool RolledUp() const;

    // After every open: event list, document, channel labels.
    void SongOpened();
    // The song was dropped (the empty song display): empty event list and
    // document.
    void SongCleared();
    // The song's texts are read in another encoding: the event list and the
    // document are shown again.
    void TextsChanged();
    // DrawInterval's share of the panels: the event list follows playback.
    void OnDrawInterval();
    // The on/off switch: left button mutes or unmutes, any other solos.
    void SwitchChannel(int channel, Qt::MouseButton button);

    KeyboardPanelView* Keyboard() const { return keyboard_; }
    panels::EventListPanel* Events() const { return events_; }
    panels::DocumentPanel* Document() const { return document_; }
    PanelTab* Tab(int i) const { return tabs_[i]; }
    RollStrip* Strip(int i) const { return strips_[i]; }

  private:
    void ChangeProgram(int channel, int program) override;
    void SyncChannelLabels();
    // The event list from the top and the document panel for the song now held.
    void ShowSong(const files::CompanionDocument& document);

    MainWindow& window_;
    session::PlaybackSession& session_;
    display::DisplayController& display_;
    song::EventListView view_;
    panels::ViewEventListSource source_;
    KeyboardPanelView* keyboard_;
    panels::EventListPanel* events_;
    panels::DocumentPanel* document_;
    panels::InstrumentMenu* menu_;
    std::array<PanelTab*, 3> tabs_{};
    std::array<RollStrip*, 2> strips_{};
    int selected_ = kKeyboardPanel;
};

}  // namespace sonfara::shell
