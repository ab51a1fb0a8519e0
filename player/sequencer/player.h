// The engine's one player: owns the song, the playback cursors over it, the
// output layer, the sequencer with its time base and the settings values it
// reads. The playback session
// (player/session) constructs it and installs the file layer's opener; the
// play list and the opening of songs belong to that opener.
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
#include "player/sequencer/background_load.h"
#include "player/sequencer/output_layer.h"
#include "player/sequencer/playback_settings.h"
#include "player/sequencer/sequencer.h"
#include "player/sequencer/song_cursors.h"
#include "player/sequencer/sound_shaping.h"
#include "player/sequencer/transport_interfaces.h"
#include "player/song/smf_reader.h"
#include "player/song/song_table.h"

namespace sonfara::sequencer {

// Every hook runs on the UI thread.
class PlayerObserver {
  public:
    virtual ~PlayerObserver() = default;
    // A song of the list was opened (ok) or failed to open (the opener
    // keeps why).
    virtual void OnSongOpened(int index, bool ok) {}
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
    virtual PlayOrder& Entries() = 0;
    // Loads and plays entry `index` (1-based); false when it did not start.
    virtual bool OpenEntry(int index) = 0;
};

struct PlayerEnv {
    const platform::Clock& clock;
    platform::TimerService& timers;
    platform::MidiOutputSystem& ports;
    UiScheduler& ui;
    const platform::CodePage& codePage;
};

class Player final : public TransportHooks, public song::LoadObserver {
  public:
    Player(PlayerEnv env, PlaybackSettings settings = {});
    ~Player() override;

    void AddObserver(PlayerObserver* o) { observers_.push_back(o); }
    // Told about every load of LoadSong besides the player itself.
    void AddLoadObserver(song::LoadObserver* o) { loadObservers_.push_back(o); }
    // Hands the play list and the opening of songs to `opener` (nullptr: no
    // list, nothing opens). The timer is held meanwhile.
    void SetSongOpener(SongOpener* opener);

    song::SongTable& Song() { return song_; }
    const song::SongTable& Song() const { return song_; }
    // Where playback stands (any thread reads; the sequencer and the output
    // layer move it).
    const SongCursors& Cursors() const { return cursors_; }
    OutputLayer& Output() { return out_; }
    const OutputLayer& Output() const { return out_; }
    Sequencer& Seq() { return seq_; }
    const Sequencer& Seq() const { return seq_; }
    const PlaybackSettings& Settings() const { return settings_; }

    // Opens the port named by the "MIDIOutPort" setting.
    PlaybackStatus OpenConfiguredPort();
    // Opens entry `index` of the opener's list and plays it from the start;
    // false without an opener.
    bool PlayEntry(int index);
    // Loads one SMF file into the song (the open pipeline's load step):
    // every channel's master volume back to 100, the kind label and the
    // file name for the title. A failed load leaves no song and a reset port;
    // the title label shows song::msg::LoadErrorCaption(result.Message()).
    song::LoadStatus LoadSong(const std::string& path, const std::string& kindLabel,
                              const std::string& fileName);
    // The load step for a large file: read on a worker thread while the
    // windows go on, the song empty meanwhile. `finish` runs on the UI
    // thread once the song is in place (or has failed) as the rest of the
    // open and answers whether the song started; the observers are then
    // told of the open as PlayEntry tells them. A later load drops this one.
    // `progressed` runs on the UI thread each hundredth read.
    void LoadSongInBackground(const std::string& path, const std::string& kindLabel,
                              const std::string& fileName,
                              std::function<bool(const song::LoadStatus&)> finish,
                              std::function<void()> progressed = {});
    // A background load runs; the open it belongs to is not told yet.
    bool LoadPending() const { return loader_.Busy(); }
    // How far it is (0..1; 0 before the first report).
    double LoadFraction() const { return loadFraction_; }
    // Stops the timer, silences and resets the port and closes it.
    void Shutdown();

    // Changes that the timer thread must not see half-done: the timer is
    // held while they are made and resumes afterwards.
    void ApplySettings(const PlaybackSettings& s);
    void SetSoundShaping(const SoundShaping& s);
    void SetTranspose(int semitones);
    // Channel on/off with the silencing of a switched-off channel's notes;
    // SwitchChannels sets all 16 (bit c-1 for channel c) under one hold.
    void SwitchChannel(int channel, bool on);
    void SwitchChannels(uint16_t onMask);
    // A program change as the instrument menu sends it (channel 1..16).
    void SendProgramChange(int channel, int program);
    // The effect controllers again after the effect offsets changed.
    void RefreshEffects();

    // TransportHooks
    void OpenSMFProc() override;
    void EtcSyrTimer() override;
    // LoadObserver: a new load sets every channel's master volume to 100
    // and puts the cursors at rest.
    void OnLoadStarted() override;

  private:
    // Stops the timer and tells whether it ran (for ResumeTimer).
    bool HoldTimer();
    void ResumeTimer(bool wasRunning);
    void NotifyOpened(int index, bool ok);
    song::LoadOptions OptionsFor(const std::string& kindLabel, const std::string& fileName);

    // The sequencer's view of the list: the opener's when set.
    class ListSwitch final : public PlayOrder {
      public:
        explicit ListSwitch(PlayOrder& own) : own_(own) {}
        void Use(PlayOrder* other) { other_ = other; }
        int Count() const override { return Active().Count(); }
        int Index() const override { return Active().Index(); }
        void SetIndex(int index) override { Active().SetIndex(index); }

      private:
        PlayOrder& Active() const { return other_ ? *other_ : own_; }
        PlayOrder& own_;
        PlayOrder* other_ = nullptr;
    };

    PlayerEnv env_;
    // The list without an opener: always empty.
    class NoList final : public PlayOrder {
      public:
        int Count() const override { return 0; }
        int Index() const override { return 0; }
        void SetIndex(int) override {}
    };

    PlaybackSettings settings_;
    SoundShaping shaping_;
    song::SongTable song_;
    SongCursors cursors_;
    NoList noList_;
    ListSwitch activeList_{noList_};
    SongOpener* opener_ = nullptr;
    OutputLayer out_;
    Sequencer seq_;
    std::vector<PlayerObserver*> observers_;
    std::vector<song::LoadObserver*> loadObservers_;
    double loadFraction_ = 0;
    // Last: its end waits for workers still reading and drops their results.
    BackgroundLoader loader_{env_.ui};
};

}  // namespace sonfara::sequencer
