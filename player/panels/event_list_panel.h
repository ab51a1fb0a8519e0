// The main window's event panel: the event picture EventMain with its
// marker, the scroll bar EventScroll, the track buttons TrackRev, TrackFF
// and ChangeTrack, the labels TrackNumber, EventMax and TrackName, and the
// track menu. Lives on the UI thread; FillEventList reads the list cursor
// that the sequencer moves.
#pragma once

#include <QImage>
#include <QWidget>

#include "player/panels/event_source.h"
#include "player/panels/menus.h"

class QLabel;
class QPushButton;
class QScrollBar;

namespace sonfara::panels {

inline constexpr QSize kEventPanelSize{611, 335};
inline constexpr QPoint kEventPictureAt{1, 1};

// EventMain: the page picture at the widget's device pixel ratio, and the
// marker line EventLine3 over it.
class EventPicture : public QWidget {
  public:
    explicit EventPicture(QWidget* parent);
    void SetPage(const song::EventPage& page);  // DrawEventPage(−1)
    void SetMarker(int row);                    // DrawEventPage(row)
    int MarkerRow() const { return markerRow_; }
    // The picture as painted, at ratio dpr.
    QImage Composite(qreal dpr) const;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    song::EventPage page_{};
    mutable QImage image_;
    int markerRow_ = 0;
};

class EventListPanel : public QWidget {
    Q_OBJECT
  public:
    explicit EventListPanel(EventListSource& source, QWidget* parent = nullptr);

    // After a load: track items, labels and the page of the current list.
    void SongLoaded();
    // FillEventList and draw what it asks; nothing while the left button is held.
    void Refresh();

    void TrackForward();          // TrackFF
    void TrackBackward();         // TrackRev
    void ChooseTrack(int track);  // the track menu's pick, 1-based
    // Pages the user turns: by `pages` (keys, wheel, the bar's arrows and
    // trough), or to the first or last page.
    void TurnPages(int pages);
    void ShowEnd(bool last);

    EventPicture* Picture() const { return picture_; }
    QScrollBar* Scroll() const { return scroll_; }
    QLabel* TrackNumber() const { return trackNumber_; }
    QLabel* EventMax() const { return eventMax_; }
    QLabel* TrackName() const { return trackName_; }
    QPushButton* TrackFF() const { return trackFF_; }
    QPushButton* TrackRev() const { return trackRev_; }
    panels::TrackMenu* TrackMenu() const { return menu_; }

  protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void TrackChanged();
    void OnScrollAction(int action);
    void Apply(song::EventListAction action);
    void SyncScrollBar();
    void UserScrolled(int value);

    EventListSource& source_;
    EventPicture* picture_;
    QScrollBar* scroll_;
    QLabel* trackNumber_;
    QLabel* eventMax_;
    QLabel* trackName_;
    QPushButton* trackRev_;
    QPushButton* trackFF_;
    QPushButton* changeTrack_;
    panels::TrackMenu* menu_;
    bool settingScroll_ = false;  // the bar's change came from the list itself
    int wheelAngle_ = 0;          // eighths of a degree not yet turned into pages
};

}  // namespace sonfara::panels
