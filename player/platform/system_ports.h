// The machine's MIDI outputs: RtMidi ports (ALSA sequencer on Linux), the
// built-in FluidSynth synthesizer and the monitor that prints messages.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "player/platform/messages.h"
#include "player/platform/midi_port.h"

namespace sonfara::platform {

struct PresetChoice;

// Standard places of a General MIDI SoundFont on Debian, in search order
// (the GS one first: it has the GS variation tones and the SFX kit).
const std::vector<std::string>& StandardSoundFontPaths();

struct SoundFontSearch {
    std::string path;                 // empty when none was found
    std::vector<std::string> looked;  // every place that was tried
};
// The SoundFont that plays under `path` when path only adds to it (Debian's
// GS SoundFont over its GM one, in the same folder); empty when none.
std::string SoundFontBase(const std::string& path);
// `requested` (if not empty) wins; then $SONFARA_SOUNDFONT; then the
// standard paths.
SoundFontSearch FindSoundFont(const std::string& requested);
// The user message when no SoundFont is found (UTF-8, several lines).
std::string NoSoundFontMessage(const SoundFontSearch& s);

// FluidSynth as an output port. Each message is queued with the clock time
// it is sent and sounds a fixed latency later at its own sample (see
// SynthSchedule), so the audio buffer can be large without adding jitter.
class SynthPort;

// An offline synthesizer, or why it could not be made.
struct OfflineSynth {
    std::unique_ptr<SynthPort> synth;
    PlatformStatus status;
};

// Real-time ports render in FluidSynth's audio driver thread; offline ports
// render when Render is called. SoundFont samples load on demand. GS and XG
// songs play through the GS/XG layer (SynthModule) where the messages are
// applied; a MIDI port gets the bytes as they are.
// Threads: the messages, Silence, PrepareSounds and Close come from one
// sending thread at a time; Render from one rendering thread (offline);
// ActiveVoices and LatencyUs from any.
class SynthPort final : public MidiOutPort {
  public:
    static constexpr int kDefaultBufferFrames = 2048;
    // The audio buffer sizes offered, in frames (kSynthBufferChoices of the
    // settings holds the same).
    static const std::vector<int>& BufferChoices();

    ~SynthPort() override;
    // bufferFrames: one audio period (a value outside BufferChoices takes
    // the default). clock: what the sequencer sends by (nullptr: SteadyClock).
    static PortOpenResult OpenRealtime(const std::string& soundFont,
                                       int bufferFrames = kDefaultBufferFrames,
                                       const Clock* clock = nullptr);
    // clock: the virtual time messages are stamped with, frame 0 at its time
    // now, each message latencyFrames after its own time; nullptr: every
    // message lands at the start of the next Render.
    static OfflineSynth OpenOffline(const std::string& soundFont, int sampleRate,
                                    const Clock* clock = nullptr, int latencyFrames = 0);

    void ShortMessage(uint32_t packed) override;
    void LongMessage(std::span<const uint8_t> bytes) override;
    void Reset() override;
    void Close() override;
    void Silence(int channel) override;
    void PrepareSounds(std::span<const SoundUse> sounds) override;
    bool LoadsSoundsOnDemand() const override { return true; }
    // Whether an instrument's samples are held in memory (sending thread).
    bool HoldsSounds(SoundUse u) const;

    // Offline: renders frames of interleaved 16-bit stereo into out.
    bool Render(int16_t* out, int frames);
    int SampleRate() const { return sampleRate_; }
    // From a message sent to its sound (the device's own buffer not counted).
    int64_t LatencyUs() const override;
    // Voices still sounding (for the release tail after the song).
    int ActiveVoices() const;

  private:
    SynthPort() = default;
    PlatformStatus Init(const std::string& soundFont, int sampleRate);
    void Schedule(const Clock* clock, int anchor, int latencyFrames);
    bool OpenDriver(const std::string& name, const Clock* clock, int latencyFrames);
    void LoadAhead(uint32_t packed);
    void Hold(SoundUse u);
    void HoldChoice(const PresetChoice& c);
    static int AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);
    struct Impl;
    Impl* impl_ = nullptr;
    int sampleRate_ = 44100;
    std::string driverName_;
    std::vector<float> floatBuf_;
};

// One RtMidi output port.
class RtMidiPort;

struct SystemPortOptions {
    std::string soundFont;  // user choice; empty: search the standard places
    std::FILE* monitorOut = stdout;
    const Clock* clock = nullptr;  // for the monitor and the synthesizer; nullptr: SteadyClock
    int synthBufferFrames = SynthPort::kDefaultBufferFrames;
};

// Ports in this order: RtMidi ports, "Sonfara Synth" when a SoundFont is
// found, "monitor". Device -1 ("MIDI Mapper") is the synthesizer when a
// SoundFont is found, else the first RtMidi port.
class SystemMidiOutput final : public MidiOutputSystem {
  public:
    static constexpr const char* kSynthName = "Sonfara Synth";
    static constexpr const char* kMonitorName = "monitor";

    explicit SystemMidiOutput(SystemPortOptions opt = {});
    std::vector<std::string> PortNames() override;
    PortOpenResult Open(int device) override;
    const SoundFontSearch& SoundFont() const { return soundFont_; }
    // Why the ALSA sequencer could not be used ("" when it could).
    const std::string& RtMidiProblem() const { return rtmidiProblem_; }
    void SetSynthBufferFrames(int frames) override { opt_.synthBufferFrames = frames; }

  private:
    std::vector<std::string> RtMidiNames();
    SystemPortOptions opt_;
    SoundFontSearch soundFont_;
    std::string rtmidiProblem_;
};

}  // namespace sonfara::platform
