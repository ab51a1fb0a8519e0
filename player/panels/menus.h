// The two pop-up menus of the main window: the channel instrument menu
// ("GM規格") and the event window's track menu ("イベントウィンドウトラック").
// Built and used on the UI thread.
#pragma once

#include <QMenu>
#include <array>
#include <functional>
#include <string>
#include <vector>

namespace sonfara::sequencer {
class OutputLayer;
}  // namespace sonfara::sequencer

namespace sonfara::panels {

// The caption of a program for a bank and map: InstLabelText, bound by the
// main window to the support library.
using InstLabeler = std::function<std::string(int program, int bank, int map)>;

// Where an instrument item's program change goes (the playback session).
class ProgramChanger {
  public:
    virtual ~ProgramChanger() = default;
    virtual void ChangeProgram(int channel, int program) = 0;  // channel 1..16
};

// Sends the program change through the output layer's send operation, which
// also records the program for the display and applies an arrangement.
class OutputLayerProgramChanger final : public ProgramChanger {
  public:
    explicit OutputLayerProgramChanger(sequencer::OutputLayer& out) : out_(out) {}
    void ChangeProgram(int channel, int program) override;

  private:
    sequencer::OutputLayer& out_;
};

inline constexpr int kCategoryCount = 16;
inline constexpr int kItemsPerCategory = 8;
inline constexpr int kSuffixedProgram = 47;  // last item of "弦楽器" at start-up

class InstrumentMenu : public QMenu {
    Q_OBJECT
  public:
    // Captions every item for bank 0, map 0 with the start-up suffix.
    InstrumentMenu(InstLabeler labeler, ProgramChanger& changer, QWidget* parent = nullptr);

    // Header for the channel; captions for (bank, map), rebuilt only when
    // the pair differs from the one they were last built for.
    void PrepareFor(int channel, int bank, int map);
    void PopupFor(int channel, int bank, int map, const QPoint& globalPos);

    int Channel() const { return channel_; }
    QAction* HeaderAction() const { return header_; }
    QMenu* CategoryMenu(int i) const { return categories_[i]; }            // 0..15
    QAction* ProgramAction(int program) const { return items_[program]; }  // 0..127

  private:
    void Caption(int bank, int map);

    InstLabeler labeler_;
    ProgramChanger& changer_;
    QAction* header_ = nullptr;
    std::array<QMenu*, kCategoryCount> categories_{};
    std::array<QAction*, kCategoryCount * kItemsPerCategory> items_{};
    int channel_ = 1;
    int bank_ = 0, map_ = 0;
};

inline constexpr int kTrackMenuItems = 64;
inline constexpr int kTracksAlwaysShown = 16;

// "トラック  1" .. "トラック  9", "トラック 10" .. "トラック 64".
QString TrackItemCaption(int index);

class TrackMenu : public QMenu {
    Q_OBJECT
  public:
    explicit TrackMenu(QWidget* parent = nullptr);
    // After a load: items 17..64 shown only up to the song's track count.
    // A song of more tracks gets sub-menus of 64 tracks each instead, whose
    // items are made when a sub-menu first opens.
    void ShowTracksUpTo(int trackCount);
    QAction* TrackAction(int index) const { return items_[index]; }  // 0..63
    const std::vector<QMenu*>& Groups() const { return groups_; }

  signals:
    void trackChosen(int track);  // 1-based

  private:
    std::array<QAction*, kTrackMenuItems> items_{};
    std::vector<QMenu*> groups_;
};

}  // namespace sonfara::panels
