// Everything sent to the synthesizer goes through here: the filter chain of
// channel messages, the song's SysEx with module recognition, the meta events
// that matter while playing, resets, and the per-channel state the displays
// draw.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "player/platform/codepage.h"
#include "player/platform/midi.h"
#include "player/platform/midi_port.h"
#include "player/sequencer/channel_state.h"
#include "player/sequencer/messages.h"
#include "player/sequencer/playback_settings.h"
#include "player/sequencer/shown_channels.h"
#include "player/sequencer/song_cursors.h"
#include "player/sequencer/sound_shaping.h"
#include "player/song/song_table.h"

namespace sonfara::sequencer {

// A text shared with the displays; Version() changes on every Set.
class TextSlot {
  public:
    void Set(std::string_view s);
    std::string Get() const;
    uint32_t Version() const { return version_.load(std::memory_order_relaxed); }

  private:
    mutable std::mutex mu_;
    std::string s_;
    std::atomic<uint32_t> version_{0};
};

// What the output layer asks of the displays. Called on the thread that
// sends (usually the timer thread); implementations only note or queue.
class OutputObserver {
  public:
    virtual ~OutputObserver() = default;
    virtual void OnModuleIndicator() {}  // a module reset was sent (MIDIDisp)
    virtual void OnDotPicture() {}       // the dot matrix changed
    virtual void OnClearMeters() {}      // meters and keyboards back to rest
    // The port could not keep up and note-ons were left out; once per
    // opened port. text: sequencer::msg::kNotesDropped.
    virtual void OnNotesDropped(const std::string& text) {}
};

inline constexpr int kDotRows = 16;
inline constexpr int kDotColumns = 25;
inline constexpr int kFullVolume = 1000;  // fade level: per mille

// A SysEx body (the bytes after F0) that resets the module: GM or GM2
// System On, GS reset, the GS system mode set, XG System On.
bool IsModuleReset(std::span<const uint8_t> body);

class OutputLayer {
  public:
    // `cursors` is the player's set: the output layer marks the tracks a
    // port meta event takes off this port, and a reset sets the tracks'
    // cursors back to a new run.
    OutputLayer(const song::SongTable& song, SongCursors& cursors,
                platform::MidiOutputSystem& ports, const PlaybackSettings& settings,
                const SoundShaping& shaping, const platform::CodePage& cp);
    ~OutputLayer();
    OutputLayer(const OutputLayer&) = delete;
    OutputLayer& operator=(const OutputLayer&) = delete;

    void AddObserver(OutputObserver* o) { observers_.push_back(o); }

    // kPortAlreadyOpen when a port is open (nothing changes); a port that
    // does not open gives kCannotOpenPort with what it said.
    PlaybackStatus OpenOutputPort(int device);
    void CloseOutputPort();
    // Tells the port the instruments the song selects, before it plays.
    void PrepareSounds();
    bool PortOpen() const { return portOpen_.load(std::memory_order_relaxed); }
    int OutDevice() const { return outDevice_.load(std::memory_order_relaxed); }

    void SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2);
    // Messages the port could not take yet wait in order; each call (and
    // each tick) sends what the port takes now. Past kMaxPendingNoteOns
    // waiting note-ons the oldest of them is dropped; nothing else is.
    void FlushBacklog();
    bool BacklogEmpty() const { return backlog_.empty(); }
    static constexpr int kMaxPendingNoteOns = 32;
    int64_t DroppedNoteOns() const { return droppedNoteOns_.load(std::memory_order_relaxed); }
    // An F0 event. A packet left open is joined with the F7 continuation
    // packets that follow it in its track and sent as one whole message,
    // because ports take only whole SysEx messages.
    void SendSysExEvent(int extIndex, int track, int event);
    // An F7 event: nothing for a continuation (sent with its F0 packet); an
    // escape's bytes are sent as the messages they hold.
    void SendEscapeEvent(int extIndex, int track, int event);
    void HandleMetaEvent(int extIndex, int track, int event);
    void ResetOutput();
    void SilenceAndTranspose(int newTranspose);
    void ResendPrograms();
    void RefreshEffects();

    // Note-on velocity 0 for every note of every channel, keys cleared
    // (pause, port change), and the sound cut at once. Controllers stay as
    // they are.
    void AllNotesOff();
    // What sounds is cut at once, also what a port still holds back to play
    // after its latency (stop, seek).
    void CutSound();
    void ClearNoteCounts();
    // Sustain and sostenuto up where the song holds them down (pause), put
    // back as the song left them (resume); Forget drops what was lifted
    // (the song starts again from the beginning).
    void LiftPedals();
    void RestorePedals();
    void ForgetLiftedPedals();
    // Before a jump back inside the song (a loop): every sounding note ended,
    // pedals up, controllers to their defaults (reset all controllers, volume
    // 100, pan centre) and the channel state reset; no device reset and no
    // GM System On, whose handling time in a module would leave a gap.
    void ReleaseForJump();
    // The fade after the last loop, in per mille of full volume: every volume
    // controller is sent scaled by it, and a change sends each channel's
    // volume again, so external modules fade too.
    void SetFadeLevel(int perMille);
    int FadeLevel() const { return fade_.load(std::memory_order_relaxed); }
    // The device's own reset (all sound off) and the GM System On message.
    void DeviceReset();
    void SendGMSystemOn();
    void EnableAllChannels();
    // Channel c (1..16) on, or off with its notes released at once and its
    // keys and note count cleared (the output drops a switched-off channel's
    // messages).
    void SwitchChannel(int c, bool on);

    ChannelState& Channel(int c) { return channels_[c - 1]; }  // 1..16
    const ChannelState& Channel(int c) const { return channels_[c - 1]; }
    // What the displays read: the state above, taken the port's latency
    // after each message once a display clock is set (the player's).
    ShownChannels& Shown() { return shown_; }
    void SetDisplayClock(const platform::Clock* clock) { displayClock_ = clock; }

    std::atomic<int32_t> SoundingNotes{0};
    // Transpose and the sound-module flags: set by the output's own
    // operations (SilenceAndTranspose, module recognition), read anywhere.
    int Transpose() const { return transpose_.load(std::memory_order_relaxed); }
    bool FlagGS() const { return flagGS_.load(std::memory_order_relaxed); }
    bool FlagXG() const { return flagXG_.load(std::memory_order_relaxed); }
    bool FlagGM() const { return flagGM_.load(std::memory_order_relaxed); }
    bool ModuleSet() const { return moduleSet_.load(std::memory_order_relaxed); }
    void ClearModuleFlags();
    TextSlot ModuleName;
    TextSlot DisplayText;  // code-page bytes
    TextSlot BPMText;
    // 16 rows; bit (column - 1) set when the dot is lit.
    std::array<std::atomic<uint32_t>, kDotRows> DotRows{};
    bool Dot(int row, int column) const;  // 1-based

  private:
    void Raw(uint8_t status, uint8_t d1, uint8_t d2);
    void Emit(uint32_t packed, bool noteOn);
    void DropOldestNoteOn();
    void ClearBacklog();
    int WithOffset(int value, int setting) const;
    int Faded(int volume) const;
    void SendVolume(int c, int volume);
    void AppendContinuations(int track, int event);
    bool ContinuesSysEx(int track, int event) const;
    void SendEscapeBytes(std::span<const uint8_t> bytes);
    bool ArrActive() const { return shaping_.arrangementItem != 0; }

    const song::SongTable& song_;
    SongCursors& cursors_;
    platform::MidiOutputSystem& ports_;
    const PlaybackSettings& settings_;
    const SoundShaping& shaping_;
    const platform::CodePage& cp_;
    std::atomic<int8_t> transpose_{0};
    std::atomic<bool> flagGS_{false}, flagXG_{false}, flagGM_{false}, moduleSet_{false};
    std::string noteMark_;  // "♪" in the code page
    std::unique_ptr<platform::MidiOutPort> port_;
    std::atomic<bool> portOpen_{false};
    std::atomic<int> outDevice_{-1};
    std::array<ChannelState, midi::kChannelCount> channels_;
    ShownChannels shown_{channels_, SoundingNotes};
    const platform::Clock* displayClock_ = nullptr;
    std::vector<uint8_t> sysex_;
    // The song's sustain and sostenuto values per channel, as last sent.
    std::array<std::array<uint8_t, 2>, midi::kChannelCount> pedals_{};
    bool pedalsLifted_ = false;
    std::atomic<int> fade_{kFullVolume};
    // Each channel's volume as the device last received it (after the fade).
    std::array<int, midi::kChannelCount> sentVolume_{};
    std::vector<OutputObserver*> observers_;
    // Written where the messages are sent (the tick, or with the timer killed).
    struct Pending {
        uint32_t packed;
        bool noteOn;
    };
    std::deque<Pending> backlog_;
    int pendingNoteOns_ = 0;
    bool dropReported_ = false;
    std::atomic<int64_t> droppedNoteOns_{0};
};

}  // namespace sonfara::sequencer
