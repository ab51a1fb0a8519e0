// What the event-list panel needs of the engine: the page model of the
// shown display list and a few song facts. The playback session implements
// it; ViewEventListSource adapts a SongTable and an EventListView.
// Every call comes from the UI thread.
#pragma once

#include <string>

#include "player/platform/codepage.h"
#include "player/song/event_list.h"
#include "player/song/song_table.h"

namespace sonfara::panels {

class EventListSource {
  public:
    virtual ~EventListSource() = default;

    virtual int TrackCount() const = 0;      // the song's tracks (NTracks)
    virtual int CurrentList() const = 0;     // 1-based
    virtual void SetCurrentList(int k) = 0;  // out-of-range is ignored

    virtual void SetMouseButtonDown(bool down) = 0;
    virtual void SetScrollValueFromUser(int value) = 0;
    virtual song::EventListAction FillEventList() = 0;
    virtual song::EventListAction EventListScrolled() = 0;
    virtual song::EventListAction ShowUserEntry(int32_t entry) = 0;
    virtual int32_t ShownPageStart() const = 0;
    virtual std::string EventListCountText(int k) = 0;
    virtual std::string TrackNameText(int k) const = 0;  // UTF-8
    virtual const song::EventPage& Page() const = 0;
    virtual const song::EventScrollBar& ScrollBar() const = 0;
};

class ViewEventListSource final : public EventListSource {
  public:
    // Track names are read in the song's TextCodePage().
    ViewEventListSource(const song::SongTable& song, song::EventListView& view)
        : song_(song), view_(view) {}

    int TrackCount() const override { return song_.NTracks; }
    int CurrentList() const override { return view_.CurrentList(); }
    void SetCurrentList(int k) override { view_.SetCurrentList(k); }
    void SetMouseButtonDown(bool down) override { view_.SetMouseButtonDown(down); }
    void SetScrollValueFromUser(int value) override { view_.SetScrollValueFromUser(value); }
    song::EventListAction FillEventList() override { return view_.FillEventList(); }
    song::EventListAction EventListScrolled() override { return view_.EventListScrolled(); }
    song::EventListAction ShowUserEntry(int32_t entry) override {
        return view_.ShowUserEntry(entry);
    }
    int32_t ShownPageStart() const override { return view_.ShownPageStart(); }
    std::string EventListCountText(int k) override { return view_.EventListCountText(k); }
    std::string TrackNameText(int k) const override;
    const song::EventPage& Page() const override { return view_.Page(); }
    const song::EventScrollBar& ScrollBar() const override { return view_.ScrollBar(); }

  private:
    const song::SongTable& song_;
    song::EventListView& view_;
};

// "18/20" when the song has more than 15 tracks, else "5/16".
std::string TrackCounterText(int track, int trackCount);

}  // namespace sonfara::panels
