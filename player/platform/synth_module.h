// A GS/XG layer in front of FluidSynth: the song's module (from the resets
// it sends) decides how bank selects pick presets and which parts play
// drums; GS and XG parameters (NRPN, part and system SysEx, effects) become
// SoundFont generator offsets, per-voice changes, tunings, gain and the
// reverb and chorus settings.
#pragma once

#include <fluidsynth.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "player/platform/midi.h"

namespace sonfara::platform {

// The bank rules in force. kGs is also the power-on state: a module that
// was never reset takes GS bank selects.
enum class ModuleRules : uint8_t { kGm, kGm2, kGs, kXg };

// The module a reset SysEx (F0 ... F7) turns on, if it is one.
std::optional<ModuleRules> ResetRules(std::span<const uint8_t> bytes);

// What a program change selects: a SoundFont bank (128: drum kits) and
// program, and whether the part plays drums.
struct PresetChoice {
    int bank = 0;
    int program = 0;
    bool drums = false;
};

// The id of the SoundFont whose preset the synthesizer plays for bank and
// program, -1 when none has it (any thread that may call the synthesizer).
int SynthPresetFont(fluid_synth_t* synth, int bank, int program);

// The preset an XG SFX voice (bank MSB 64) plays: a GS effect variation.
PresetChoice XgSfxVoice(int program);

// The banks and drum parts of the sixteen channels under the module's rules,
// followed message by message. No synthesizer: the sending thread keeps one
// to load sounds ahead, the applying thread one to play them.
// Threads: each instance belongs to one thread.
class ModuleBanks {
  public:
    ModuleBanks() { Reset(ModuleRules::kGs); }
    void Reset(ModuleRules rules);
    ModuleRules Rules() const { return rules_; }
    void BankMsb(int ch, int v) { parts_[ch].msb = static_cast<uint8_t>(v); }
    void BankLsb(int ch, int v) { parts_[ch].lsb = static_cast<uint8_t>(v); }
    // Commits the bank and program; the part turns drums or melodic by the
    // bank where the rules say so.
    PresetChoice Program(int ch, int program);
    // GS part assignment or XG part mode: the same program on the other kind.
    PresetChoice SetDrums(int ch, bool drums);
    bool Drums(int ch) const { return parts_[ch].drums; }
    // A SysEx that changes a part's kind (GS rhythm part, XG part mode):
    // the channel and the new kind.
    static std::optional<std::pair<int, bool>> DrumPartMessage(std::span<const uint8_t> bytes);
    // An XG part's bank or program by SysEx (08 pp 01..03): taken, and what
    // a program selects.
    std::optional<PresetChoice> PartProgram(std::span<const uint8_t> bytes);

  private:
    struct Part {
        uint8_t msb = 0, lsb = 0, program = 0;
        bool drums = false;
    };
    PresetChoice Choose(int ch);
    ModuleRules rules_ = ModuleRules::kGs;
    std::array<Part, midi::kChannelCount> parts_{};
};

// The layer itself, driving one synthesizer.
// Threads: every function is called by the thread that applies messages to
// the synthesizer (SynthSchedule's rendering thread, or the sending thread
// under the schedule's lock when the driver renders by itself).
class SynthModule {
  public:
    explicit SynthModule(fluid_synth_t* synth);
    void Short(uint32_t packed);
    void Long(std::span<const uint8_t> bytes);
    ModuleRules Rules() const { return banks_.Rules(); }

    // Parameter offsets of one part (GS/XG NRPN and part SysEx), each 0..127
    // with 64 as the preset's own value.
    enum Param : uint8_t {
        kVibRate,
        kVibDepth,
        kVibDelay,
        kCutoff,
        kResonance,
        kAttack,
        kDecay,
        kRelease,
        kParamCount
    };
    // Per-key drum settings (GS/XG drum NRPN).
    enum KeyParam : uint8_t {
        kKeyPitch,
        kKeyLevel,
        kKeyPan,
        kKeyReverb,
        kKeyChorus,
        kKeyCutoff,  // XG only, as the four below
        kKeyResonance,
        kKeyAttack,
        kKeyDecay,
        kKeyFine,
        kKeyCount
    };

  private:
    struct Channel {
        std::array<uint8_t, kParamCount> param{};
        std::array<std::array<uint8_t, 128>, kKeyCount> key{};
        bool keysEdited = false;
        std::array<int8_t, 12> scale{};  // GS scale tuning, cents
        int rpn = -1, nrpn = -1;         // selected parameter (msb << 7 | lsb), -1 none
        int dataMsb = 0;
        int bendCents = 200;                              // bend range
        int modDepthCents = 50;                           // modulation depth range
        int bend = 8192;                                  // as sent
        int fineCents = 0;                                // RPN fine tuning
        int coarse = 0;                                   // RPN coarse tuning
        int portaTime = 0, lastKey = -1, portaFrom = -1;  // portaFrom: CC 84's key
        bool porta = false;
        int reverbCc = 40, chorusCc = 0, variationCc = 0;
        int drumSetup = -1;  // XG drum setup or GS drum map the part plays (0: the first), -1 none
    };
    struct Effects {
        int reverbChar = 4, reverbLpf = 0, reverbLevel = 64, reverbTime = 64;
        int chorusLevel = 64, chorusRate = 3, chorusDepth = 19, chorusFeedback = 8;
        // XG variation: a chorus kind, as a system effect, inserted on a part.
        bool variationChorus = false, variationSystem = false;
        int variationPart = 127;
    };
    // The synthesizer's own effect settings, for GM songs.
    struct OwnEffects {
        double roomsize = 0, damp = 0, width = 0, level = 0;
        int chorusNr = 0;
        double chorusLevel = 0, chorusSpeed = 0, chorusDepth = 0;
    };

    void ResetAll(ModuleRules rules);
    void ResetChannel(int ch);
    void ControlChange(int ch, int cc, int v);
    void DataEntry(int ch, int lsb);
    void Rpn(int ch, int rpn, int value14);
    void Nrpn(int ch, int msb, int lsb, int v);
    void SetParam(int ch, Param p, int v);
    void NoteOn(int ch, int key, int vel);
    int NewVoices(int ch, int key);
    void KeySettings(int ch, int key, fluid_voice_t* v);
    void Envelope(int ch, fluid_voice_t* v);
    void ModDepth(int ch, fluid_voice_t* v);
    static void EnvelopeStage(fluid_voice_t* v, int stage, int value);
    void KeyTone(int ch, int key, fluid_voice_t* v);
    int RandomPan();
    void Glide(int ch, int key);
    void Select(int ch, PresetChoice c);
    void ApplyBend(int ch);
    void ApplyTuning(int ch);
    void ApplyScale(int ch);
    void ApplyGain();
    void ApplyVariation(int ch);
    void ApplyReverb();
    void ApplyChorus();
    bool Roland(std::span<const uint8_t> b);
    bool Yamaha(std::span<const uint8_t> b);
    bool Universal(std::span<const uint8_t> b);
    void RolandPart(int ch, int addr, std::span<const uint8_t> data);
    void GsReverbMacro(int m);
    void GsChorusMacro(int m);
    void XgPart(int ch, int addr, int v);
    void XgEffect(int addr, int v);
    void XgDrumSetup(int setup, int key, int param, int v);
    void GsDrumSetup(int map, int param, int key, int v);
    void GsEffect(int addr, int v);
    void OwnEffectsBack();

    fluid_synth_t* synth_;
    float baseGain_;
    ModuleBanks banks_;
    std::array<Channel, midi::kChannelCount> ch_{};
    Effects fx_;
    OwnEffects own_;
    static constexpr int kMaxVoices = 1024;  // voices looked at after a note-on
    std::array<fluid_voice_t*, kMaxVoices> voices_{};
    int masterVolume_ = 16383;  // 14-bit
    int masterCents_ = 0;       // universal fine tuning and GS master tune
    int masterCoarse_ = 0;      // universal coarse tuning and GS key shift
    uint32_t panSeed_ = 1;
    // The modulation wheel's vibrato, its amount the part's depth range.
    std::unique_ptr<fluid_mod_t, decltype(&delete_fluid_mod)> wheelMod_;
};

}  // namespace sonfara::platform
