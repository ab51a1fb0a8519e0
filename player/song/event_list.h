// The event list as text: one line of five columns per event, and the page
// model (which 17 entries of which display list are shown, and where the
// scroll bar stands). Qt-free; the main window draws what this computes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "player/platform/codepage.h"
#include "player/platform/language.h"
#include "player/song/smf_reader.h"
#include "player/song/song_table.h"

namespace sonfara::song {

// Windows colour values, 0x00BBGGRR.
constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t{r} | (uint32_t{g} << 8) | (uint32_t{b} << 16);
}
inline constexpr uint32_t kColourNoteOn = Rgb(255, 0, 255);
inline constexpr uint32_t kColourNoteOff = Rgb(0, 127, 0);
inline constexpr uint32_t kColourControl = Rgb(0, 0, 255);
inline constexpr uint32_t kColourProgram = Rgb(255, 0, 0);  // 16-colour palette entry 12
inline constexpr uint32_t kColourBlack = Rgb(0, 0, 0);

struct EventLine {
    std::string position;  // "   0. 1.   0"
    std::string name;      // UTF-8
    std::string channel;   // "1 ", "16", "--"
    std::string param;     // UTF-8
    uint32_t colour = kColourBlack;
    // Lengths in code-page bytes; double-byte labels are drawn by these.
    int channelBytes = 0;
    int paramBytes = 0;
};

inline constexpr int kLinesPerPage = 17;
inline constexpr int kScrollMax = 100;
inline constexpr int kNoListRendered = 10000;

// "C6 " for 60: twelve names, octave note/12+1, padded to three characters.
std::string NoteName(int note);
// The event texts above in English (registered with the other tables).
const platform::MessageTranslations& EventListTranslations();

// "   0. 3.  40" for tick 1000 at 480 ticks per quarter.
std::string PositionText(int32_t tick, int32_t ticksPerQuarter);

// The five columns of one event. Song texts are read in the song's
// TextCodePage(); `cp` is the system code page the byte widths count in.
EventLine FormatEvent(const SongTable& song, const EventView& ev, const platform::CodePage& cp);

// "F0 41 10 ..." from the stored SysEx bytes.
std::string SysExDumpText(const SongTable& song, int extIndex);

using EventPage = std::array<EventLine, kLinesPerPage>;

// Renders the page that holds 0-based entry `entry` of list k.
EventPage RenderPage(const SongTable& song, int k, int32_t entry, const platform::CodePage& cp);

// What FillEventList asks the window to do.
struct EventListAction {
    enum Kind { kNothing, kDrawPage, kMoveMarker } kind = kNothing;
    int markerRow = 0;  // 0..16 for kMoveMarker (and the row after kDrawPage)
};

struct EventScrollBar {
    int value = 0;
    int maximum = kScrollMax;
    int smallStep = 1;
    bool enabled = false;
};

// Where playback stands in the display lists, as the player above keeps it.
class ListPlayback {
  public:
    virtual ~ListPlayback() = default;
    // The next entry (1-based) of list k to play; 0 before playback begins.
    // Read on the UI thread while playback moves it.
    virtual int32_t ListNext(int k) const = 0;
};

// Nothing plays (the command line's dump, a song shown without a player).
const ListPlayback& NoPlayback();

// Page model of the main window's event list. Owned by the UI thread; reads
// the list cursors that playback moves.
class EventListView : public LoadObserver {
  public:
    EventListView(const SongTable& song, const ListPlayback& playback, const platform::CodePage& cp)
        : song_(song), playback_(playback), cp_(cp) {}
    EventListView(const SongTable& song, const platform::CodePage& cp)
        : EventListView(song, NoPlayback(), cp) {}

    // LoadObserver: the loader's completion steps for the event list.
    void OnLoadCompleted(const SongTable& song) override;

    int CurrentList() const { return currentList_; }
    // Picks the shown list (track buttons, list menu); out-of-range is ignored.
    void SetCurrentList(int k);

    // The left mouse button: while held, FillEventList renders nothing.
    void SetMouseButtonDown(bool down) { mouseDown_ = down; }

    // The user moved the scroll bar to `value` (not yet rendered).
    void SetScrollValueFromUser(int value) { scroll_.value = value; }

    // A page the user chose (with the bar, keys or wheel) stays until
    // playback moves on to another page; then the list follows it again.
    EventListAction FillEventList();
    EventListAction EventListScrolled();
    // The user asks for the page that holds 0-based entry `entry` (clamped to
    // the list); nothing when that page is already shown.
    EventListAction ShowUserEntry(int32_t entry);
    // First entry (0-based) of the page shown of the current list.
    int32_t ShownPageStart() const;
    // Decimal entry count of list k; sets the scroll bar's small step.
    std::string EventListCountText(int k);

    const EventPage& Page() const { return page_; }
    const EventScrollBar& ScrollBar() const { return scroll_; }
    int LastRenderedList() const { return lastRenderedList_; }
    int32_t ListPageCache(int k) const {
        return k >= 0 && k < static_cast<int>(pageCache_.size()) ? pageCache_[k] : -1;
    }

    // Texts for the window's labels after a load.
    std::string TrackNumberText() const;
    // Menu entries 16..63 of the list menu that are visible (NTracks >= entry + 1).
    bool ListMenuEntryVisible(int entry) const;

  private:
    EventListAction Render(int k, int32_t entry);
    int32_t PlayingEntry(int k) const;
    void ChooseUserEntry(int32_t entry);

    const SongTable& song_;
    const ListPlayback& playback_;
    const platform::CodePage& cp_;
    int currentList_ = 1;
    int lastRenderedList_ = kNoListRendered;
    // First entry of the page last shown per list; −1 unknown. Sized by
    // the song's lists on load.
    std::vector<int32_t> pageCache_ = std::vector<int32_t>(kMinCachedLists, -1);
    bool force_ = false;
    bool mouseDown_ = false;
    int lastSetScroll_ = 0;
    int32_t lastMarkerEntry_ = -1;
    // The user's page: the entry chosen (−1: following playback) and the
    // page playback was on at that moment.
    int32_t userEntry_ = -1;
    int32_t playingPageAtChoice_ = 0;
    EventScrollBar scroll_;
    EventPage page_{};

    static constexpr int kMinCachedLists = 18;
};

}  // namespace sonfara::song
