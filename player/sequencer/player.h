// The engine's one player: owns the song, the output layer, the sequencer
// with its time base, the play list and the settings values. The command
// line and the GUI construct it with the platform pieces they use.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "player/platform/clock.h"
#include "player/platform/codepage.h"
#include "player/platform/midi_port.h"
#include "player/platform/timer.h"
#include "player/sequencer/output_layer.h"
#include "player/sequencer/playback_settings.h"
#include "player/sequencer/sequencer.h"
#include "player/sequencer/sound_shaping.h"
#include "player/sequencer/transport_interfaces.h"
#include "player/song/smf_reader.h"
#include "player/song/song_table.h"

namespace sonfara {

// A play list of paths; the index is read by the timer thread.
class PathPlayList final : public PlayList {
  public:
    void Assign(std::vector<std::string> paths);
    int Count() const override;
    int Index() const override { return index_.load(std::memory_order_relaxed); }
    void SetIndex(int index) override { index_.store(index, std::memory_order_relaxed); }
    std::string PathAt(int index) const;  // 1-based; empty outside

  private:
    mutable std::mutex mu_;
    std::vector<std::string> paths_;
    std::atomic<int> count_{0};
    std::atomic<int> index_{0};
};

class PlayerObserver {
  public:
    virtual ~PlayerObserver() = default;
    // A song of the list was opened (ok) or failed to open (message says why).
    virtual void OnSongOpened(int index, bool ok, const std::string& message) {}
    // The stop-at-end action ran: the song stopped at its end.
    virtual void OnStoppedAtEnd() {}
    // Asked before OpenSMFProc opens the play list's entry (end of a song,
    // next/previous); false keeps the player stopped (a command line that
    // plays its list once).
    virtual bool AllowAutoOpen(int index) { return true; }
};

// A play list and song-opening pipeline kept outside the player (the file
// layer's). When one is set, the end of a song, next and previous step
// through its list and open songs through it.
class SongOpener {
  public:
    virtual ~SongOpener() = default;
    virtual PlayList& Entries() = 0;
    // Loads and plays entry `index` (1-based); false when it did not start.
    virtual bool OpenEntry(int index) = 0;
};

struct PlayerEnv {
    const Clock& clock;
    TimerService& timers;
    MidiOutputSystem& ports;
    UiScheduler& ui;
    const CodePage& codePage;
};

class Player final : public TransportHooks, public LoadObserver {
  public:
    // Loads a song into the table; false with a message when it fails.
    using SongLoader =
        std::function<bool(const std::string& path, SongTable& song, std::string* message)>;

    Player(PlayerEnv env, PlaybackSettings settings = {});
    ~Player() override;

    void SetLoader(SongLoader loader) { loader_ = std::move(loader); }
    void AddObserver(PlayerObserver* o) { observers_.push_back(o); }
    // Told about every load of LoadSong besides the player itself.
    void AddLoadObserver(LoadObserver* o) { loadObservers_.push_back(o); }
    // Hands the play list and the opening of songs to `opener` (nullptr: the
    // player's own path list again). The timer is held meanwhile.
    void SetSongOpener(SongOpener* opener);

    SongTable& Song() { return song_; }
    OutputLayer& Output() { return out_; }
    Sequencer& Seq() { return seq_; }
    PathPlayList& List() { return playList_; }
    // The list the sequencer steps through: the opener's, else List().
    PlayList& ActiveList() { return activeList_; }
    const PlaybackSettings& Settings() const { return settings_; }

    // Opens the port named by the "MIDIOutPort" setting. 0 on success, else
    // the open's code; LastError() holds the user message.
    int OpenConfiguredPort();
    // Loads entry `index` of the play list and plays it from the start.
    bool PlayEntry(int index);
    // Loads one SMF file into the song (the open pipeline's load step):
    // every channel's master volume back to 100, the kind label and the
    // file name for the title. A failed load leaves no song and a reset port.
    LoadResult LoadSong(const std::string& path, const std::string& kindLabel,
                        const std::string& fileName);
    // Stops the timer, silences and resets the port and closes it.
    void Shutdown();

    // Changes that the timer thread must not see half-done: the timer is
    // held while they are made and resumes afterwards.
    void ApplySettings(const PlaybackSettings& s);
    void SetSoundShaping(const SoundShaping& s);
    void SetTranspose(int semitones);
    void SetChannelEnabled(int channel, bool enabled);

    const std::string& LastError() const { return lastError_; }

    // TransportHooks
    void OpenSMFProc() override;
    void EtcSyrTimer() override;
    // LoadObserver: a new load sets every channel's master volume to 100.
    void OnLoadStarted() override;

  private:
    // Stops the timer and tells whether it ran (for ResumeTimer).
    bool HoldTimer();
    void ResumeTimer(bool wasRunning);
    void NotifyOpened(int index, bool ok);

    // The sequencer's view of the list: the opener's when set.
    class ListSwitch final : public PlayList {
      public:
        explicit ListSwitch(PlayList& own) : own_(own) {}
        void Use(PlayList* other) { other_ = other; }
        int Count() const override { return Active().Count(); }
        int Index() const override { return Active().Index(); }
        void SetIndex(int index) override { Active().SetIndex(index); }

      private:
        PlayList& Active() const { return other_ ? *other_ : own_; }
        PlayList& own_;
        PlayList* other_ = nullptr;
    };

    PlayerEnv env_;
    PlaybackSettings settings_;
    SoundShaping shaping_;
    SongTable song_;
    PathPlayList playList_;
    ListSwitch activeList_{playList_};
    SongOpener* opener_ = nullptr;
    OutputLayer out_;
    Sequencer seq_;
    SongLoader loader_;
    std::vector<PlayerObserver*> observers_;
    std::vector<LoadObserver*> loadObservers_;
    std::string lastError_;
};

}  // namespace sonfara
