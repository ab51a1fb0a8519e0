#include "player/platform/synth_module.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/platform/midi.h"

namespace sonfara::platform {
namespace {

// Bank numbers of the modules' kits and voice sets.
constexpr int kXgSfxVoices = 64;
constexpr int kXgSfxKit = 126;
constexpr int kXgDrumKit = 127;
constexpr int kGm2Rhythm = 120;
constexpr int kGm2Melodic = 121;
constexpr int kDrumBank = 128;   // SoundFont bank of drum kits
constexpr int kGsSfxKit = 56;    // the SFX set among the GS drum sets
constexpr int kScaleBank = 127;  // tuning bank the scale tunings use (program = channel)
constexpr int kCenter = 64;
constexpr int kModDepthCents = 50;  // the modulation wheel's vibrato at full, by default
constexpr uint8_t kUnset = 0xFF;    // per-key drum setting left as the kit has it

constexpr uint8_t kPortamentoTime = 5, kPortamentoTimeLsb = 37, kPortamento = 65;
constexpr uint8_t kPortamentoControl = 84;
constexpr uint8_t kDataEntryLsb = 38;
constexpr uint8_t kVariationSend = 94;

// GS/XG NRPN numbers (MSB 1) of the part parameters, in Param order.
constexpr std::array<uint8_t, SynthModule::kParamCount> kParamNrpn = {0x08, 0x09, 0x0A, 0x20,
                                                                      0x21, 0x63, 0x64, 0x66};
// The same parameters among the GS part SysEx (40 1x 3y) and XG part
// parameters (08 pp yy).
constexpr std::array<uint8_t, SynthModule::kParamCount> kGsPartAddr = {0x30, 0x31, 0x37, 0x32,
                                                                       0x33, 0x34, 0x35, 0x36};
constexpr std::array<uint8_t, SynthModule::kParamCount> kXgPartAddr = {0x15, 0x16, 0x17, 0x18,
                                                                       0x19, 0x1A, 0x1B, 0x1C};
// The drum NRPN MSBs (LSB: key), in KeyParam order.
constexpr std::array<uint8_t, SynthModule::kKeyCount> kKeyNrpn = {0x18, 0x1A, 0x1C, 0x1D, 0x1E,
                                                                  0x14, 0x15, 0x16, 0x17, 0x19};

// How one step away from 64 moves the SoundFont generators. The modules
// document -64..+63 as relative to the voice's own setting; the steps give
// about an octave of vibrato rate, three octaves of cutoff, 19 dB of
// resonance at the ends.
struct ParamGen {
    int gen[2];
    float perStep;
};
constexpr std::array<ParamGen, SynthModule::kParamCount> kParamGen = {{
    {{GEN_VIBLFOFREQ, -1}, 20.0f},    // cents
    {{GEN_VIBLFOTOPITCH, -1}, 1.0f},  // cents of depth
    {{GEN_VIBLFODELAY, -1}, 40.0f},   // timecents
    {{GEN_FILTERFC, -1}, 50.0f},      // cents
    {{GEN_FILTERQ, -1}, 3.0f},        // centibels
    // Envelope times go to each voice at its note-on (see Envelope).
    {{-1, -1}, 0.0f},
    {{-1, -1}, 0.0f},
    {{-1, -1}, 0.0f},
}};

// Roland part blocks: 0 is part 10, 1..9 parts 1..9, then 11..16.
int GsPartChannel(int block) {
    return block == 0 ? midi::kDrumChannel : block <= 9 ? block - 1 : block;
}

// Portamento time 0..127 as milliseconds per octave, on a curve a player
// hears as even steps: 5 ms at 0, 160 ms at 64, about 5 s at 127.
double PortamentoMsPerOctave(int v) {
    return 5.0 * std::exp2(v * 10.0 / 127.0);
}

// GS reverb macros: character, pre-LPF, level, time, delay feedback.
constexpr std::array<std::array<uint8_t, 5>, 8> kGsReverbMacro = {{
    {0, 3, 64, 80, 0},
    {1, 4, 64, 56, 0},
    {2, 0, 64, 64, 0},
    {3, 4, 64, 72, 0},
    {4, 0, 64, 64, 0},
    {5, 0, 64, 88, 0},
    {6, 0, 64, 32, 40},
    {7, 0, 64, 64, 32},
}};
// GS chorus macros: pre-LPF, level, feedback, delay, rate, depth.
constexpr std::array<std::array<uint8_t, 6>, 8> kGsChorusMacro = {{
    {0, 64, 0, 112, 3, 5},
    {0, 64, 5, 80, 9, 19},
    {0, 64, 8, 80, 3, 19},
    {0, 64, 16, 64, 9, 16},
    {0, 64, 64, 127, 2, 24},
    {0, 64, 112, 127, 1, 5},
    {0, 64, 0, 127, 0, 127},
    {0, 64, 80, 127, 0, 127},
}};
// Reverb characters (GS 0..7) on the synthesizer's one reverb: room size
// scale, damping, width. The two delays have no echo here: a short room.
struct ReverbCharacter {
    double size, damp, width;
};
constexpr std::array<ReverbCharacter, 8> kReverbCharacter = {{
    {0.55, 0.45, 0.6},
    {0.65, 0.35, 0.8},
    {0.75, 0.5, 0.8},
    {0.9, 0.3, 1.0},
    {1.0, 0.25, 1.0},
    {0.85, 0.05, 1.0},
    {0.4, 0.6, 0.5},
    {0.45, 0.6, 1.0},
}};
// XG reverb types (MSB) as GS characters; 0 turns the reverb off.
int XgReverbCharacter(int msb) {
    switch (msb) {
        case 0x01:
            return 3;  // hall
        case 0x02:
            return 1;  // room
        case 0x03:
            return 4;  // stage
        case 0x04:
            return 5;  // plate
        case 0x10:
            return 0;  // white room
        case 0x11:
            return 4;  // tunnel
        case 0x13:
            return 2;  // basement
        default:
            return -1;
    }
}

}  // namespace

// XG's SFX voices come in groups of sixteen programs, one group per GM
// effect sound (120 + group); the GS variations of those sounds stand in.
PresetChoice XgSfxVoice(int program) {
    static constexpr std::array<std::pair<uint8_t, uint8_t>, 44> kVariation = {{
        {0, 1},   {1, 1},   {3, 2},  {16, 1}, {32, 1}, {33, 2}, {34, 3},  {35, 4},  {36, 5},
        {37, 5},  {48, 1},  {49, 2}, {50, 3}, {64, 0}, {65, 2}, {66, 3},  {67, 4},  {68, 4},
        {69, 5},  {70, 1},  {80, 1}, {81, 2}, {82, 3}, {83, 4}, {84, 5},  {85, 6},  {86, 7},
        {87, 8},  {88, 9},  {96, 1}, {97, 2}, {98, 3}, {99, 4}, {100, 5}, {112, 1}, {113, 2},
        {114, 3}, {115, 3}, {17, 0}, {51, 3}, {52, 0}, {53, 0}, {54, 0},  {55, 0},
    }};
    PresetChoice c{.bank = 0, .program = 120 + program / 16, .drums = false};
    for (const auto& [from, bank] : kVariation)
        if (from == program) c.bank = bank;
    return c;
}

// --- Module rules -------------------------------------------------------------

std::optional<ModuleRules> ResetRules(std::span<const uint8_t> b) {
    if (b.size() == 6 && b[1] == midi::kUniversalNonRealtime && b[3] == midi::kGeneralMidi) {
        if (b[4] == midi::kGmOn) return ModuleRules::kGm;
        if (b[4] == midi::kGmOff) return ModuleRules::kGs;  // the module's own mode
        if (b[4] == midi::kGm2On) return ModuleRules::kGm2;
    }
    if (b.size() >= 10 && b[1] == midi::kRoland && b[3] == midi::kRolandGsModel &&
        b[4] == midi::kRolandDataSet && b[5] == 0x40 && b[6] == 0x00 && b[7] == 0x7F)
        return ModuleRules::kGs;
    if (b.size() >= 8 && b[1] == midi::kYamaha && midi::IsParameterChange(b[2]) &&
        b[3] == midi::kYamahaXgModel && b[4] == 0 && b[5] == 0 && (b[6] == 0x7E || b[6] == 0x7F))
        return ModuleRules::kXg;
    return std::nullopt;
}

void ModuleBanks::Reset(ModuleRules rules) {
    rules_ = rules;
    parts_ = {};
    parts_[midi::kDrumChannel].drums = true;
    if (rules == ModuleRules::kXg) parts_[midi::kDrumChannel].msb = kXgDrumKit;
    if (rules == ModuleRules::kGm2) parts_[midi::kDrumChannel].msb = kGm2Rhythm;
}

PresetChoice ModuleBanks::Program(int ch, int program) {
    Part& p = parts_[ch];
    p.program = static_cast<uint8_t>(program);
    if (rules_ == ModuleRules::kXg) {
        if (p.msb == kXgDrumKit || p.msb == kXgSfxKit)
            p.drums = true;
        else if (p.msb == 0 || p.msb == kXgSfxVoices)
            p.drums = false;
    } else if (rules_ == ModuleRules::kGm2 || rules_ == ModuleRules::kGs) {
        // No GS module has variation banks 120 and 121: a GS song (or one
        // that sent no reset) meaning them means GM2's.
        if (p.msb == kGm2Rhythm)
            p.drums = true;
        else if (p.msb == kGm2Melodic)
            p.drums = false;
    }
    return Choose(ch);
}

PresetChoice ModuleBanks::SetDrums(int ch, bool drums) {
    parts_[ch].drums = drums;
    // A part made drums by message leaves a melodic XG or GM2 bank behind.
    if (drums && rules_ == ModuleRules::kXg && parts_[ch].msb != kXgSfxKit)
        parts_[ch].msb = kXgDrumKit;
    if (!drums && parts_[ch].msb >= kGm2Rhythm) parts_[ch].msb = 0;
    return Choose(ch);
}

PresetChoice ModuleBanks::Choose(int ch) {
    const Part& p = parts_[ch];
    PresetChoice c{.bank = 0, .program = p.program, .drums = p.drums};
    if (p.drums) {
        c.bank = kDrumBank;
        if (rules_ == ModuleRules::kXg && p.msb == kXgSfxKit) c.program = kGsSfxKit;
        return c;
    }
    switch (rules_) {
        case ModuleRules::kGs:
            c.bank = p.msb == kGm2Melodic ? p.lsb : p.msb;
            break;
        case ModuleRules::kXg:
            if (p.msb == kXgSfxVoices) return XgSfxVoice(p.program);
            c.bank = p.lsb;
            break;
        case ModuleRules::kGm2:
            c.bank = p.msb == kGm2Melodic ? p.lsb : 0;
            break;
        case ModuleRules::kGm:
            break;
    }
    return c;
}

std::optional<std::pair<int, bool>> ModuleBanks::DrumPartMessage(std::span<const uint8_t> b) {
    // F0 41 dev 42 12 40 1x 15 vv cs F7: part x uses a drum map (vv 1, 2).
    if (b.size() == 11 && b[1] == midi::kRoland && b[3] == midi::kRolandGsModel &&
        b[4] == midi::kRolandDataSet && b[5] == 0x40 && (b[6] & 0xF0) == 0x10 && b[7] == 0x15)
        return std::pair{GsPartChannel(b[6] & 0x0F), b[8] != 0};
    // F0 43 1n 4C 08 pp 07 vv F7: part mode normal (0) or a drum setup.
    if (b.size() == 9 && b[1] == midi::kYamaha && midi::IsParameterChange(b[2]) &&
        b[3] == midi::kYamahaXgModel && b[4] == 0x08 && b[5] < midi::kChannelCount && b[6] == 0x07)
        return std::pair{static_cast<int>(b[5]), b[7] != 0};
    return std::nullopt;
}

std::optional<PresetChoice> ModuleBanks::PartProgram(std::span<const uint8_t> b) {
    if (b.size() != 9 || b[1] != midi::kYamaha || !midi::IsParameterChange(b[2]) ||
        b[3] != midi::kYamahaXgModel || b[4] != 0x08 || b[5] >= midi::kChannelCount)
        return std::nullopt;
    const int c = b[5], v = b[7];
    if (b[6] == 0x01) BankMsb(c, v);
    if (b[6] == 0x02) BankLsb(c, v);
    if (b[6] == 0x03) return Program(c, v);
    return std::nullopt;
}

// --- The layer ----------------------------------------------------------------

SynthModule::SynthModule(fluid_synth_t* synth)
    : synth_(synth),
      baseGain_(fluid_synth_get_gain(synth)),
      wheelMod_(new_fluid_mod(), &delete_fluid_mod) {
    // Made here, not at each note-on on the audio thread.
    if (fluid_mod_t* mod = wheelMod_.get()) {
        fluid_mod_set_source1(
            mod, midi::cc::kModulation,
            FLUID_MOD_CC | FLUID_MOD_UNIPOLAR | FLUID_MOD_LINEAR | FLUID_MOD_POSITIVE);
        fluid_mod_set_source2(mod, FLUID_MOD_NONE, 0);
        fluid_mod_set_dest(mod, GEN_VIBLFOTOPITCH);
    }
    for (int c = 0; c < midi::kChannelCount; ++c) ResetChannel(c);
    ch_[midi::kDrumChannel].drumSetup = 0;  // a GS module's power-on drum map
    for (int c = 0; c < midi::kChannelCount; ++c)
        fluid_synth_set_portamento_mode(synth_, c, FLUID_CHANNEL_PORTAMENTO_MODE_EACH_NOTE);
    // CC 94 feeds the chorus where an XG variation of the chorus kind plays
    // (the layer passes it on only then), as CC 93 does.
    if (fluid_mod_t* mod = new_fluid_mod()) {
        fluid_mod_set_source1(
            mod, kVariationSend,
            FLUID_MOD_CC | FLUID_MOD_UNIPOLAR | FLUID_MOD_LINEAR | FLUID_MOD_POSITIVE);
        fluid_mod_set_source2(mod, 0, 0);
        fluid_mod_set_dest(mod, GEN_CHORUSSEND);
        fluid_mod_set_amount(mod, 200);
        fluid_synth_add_default_mod(synth_, mod, FLUID_SYNTH_ADD);
        delete_fluid_mod(mod);
    }
    fluid_synth_get_reverb_group_roomsize(synth_, -1, &own_.roomsize);
    fluid_synth_get_reverb_group_damp(synth_, -1, &own_.damp);
    fluid_synth_get_reverb_group_width(synth_, -1, &own_.width);
    fluid_synth_get_reverb_group_level(synth_, -1, &own_.level);
    fluid_synth_get_chorus_group_nr(synth_, -1, &own_.chorusNr);
    fluid_synth_get_chorus_group_level(synth_, -1, &own_.chorusLevel);
    fluid_synth_get_chorus_group_speed(synth_, -1, &own_.chorusSpeed);
    fluid_synth_get_chorus_group_depth(synth_, -1, &own_.chorusDepth);
}

void SynthModule::OwnEffectsBack() {
    fluid_synth_reverb_on(synth_, -1, 1);
    fluid_synth_chorus_on(synth_, -1, 1);
    fluid_synth_set_reverb_group_roomsize(synth_, -1, own_.roomsize);
    fluid_synth_set_reverb_group_damp(synth_, -1, own_.damp);
    fluid_synth_set_reverb_group_width(synth_, -1, own_.width);
    fluid_synth_set_reverb_group_level(synth_, -1, own_.level);
    fluid_synth_set_chorus_group_nr(synth_, -1, own_.chorusNr);
    fluid_synth_set_chorus_group_level(synth_, -1, own_.chorusLevel);
    fluid_synth_set_chorus_group_speed(synth_, -1, own_.chorusSpeed);
    fluid_synth_set_chorus_group_depth(synth_, -1, own_.chorusDepth);
}

void SynthModule::ResetChannel(int c) {
    Channel& ch = ch_[c];
    ch = Channel{};
    ch.param.fill(kCenter);
    for (auto& k : ch.key) k.fill(kUnset);
}

// Every part back to the module's power-on state, then the rules of the
// module just turned on.
void SynthModule::ResetAll(ModuleRules rules) {
    fluid_synth_system_reset(synth_);
    banks_.Reset(rules);
    for (int c = 0; c < midi::kChannelCount; ++c) {
        ResetChannel(c);
        fluid_synth_set_channel_type(synth_, c,
                                     banks_.Drums(c) ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
        fluid_synth_set_portamento_mode(synth_, c, FLUID_CHANNEL_PORTAMENTO_MODE_EACH_NOTE);
        fluid_synth_deactivate_tuning(synth_, c, 0);
        for (int p = 0; p < kParamCount; ++p) SetParam(c, static_cast<Param>(p), kCenter);
        Select(c, banks_.Program(c, 0));
    }
    masterVolume_ = 16383;
    masterCents_ = 0;
    masterCoarse_ = 0;
    ApplyGain();
    for (int c = 0; c < midi::kChannelCount; ++c) ApplyTuning(c);
    if (rules == ModuleRules::kXg || rules == ModuleRules::kGs)
        ch_[midi::kDrumChannel].drumSetup = 0;
    OwnEffectsBack();
    fx_ = Effects{};
    for (int c = 0; c < midi::kChannelCount; ++c) ApplyVariation(c);
    if (rules == ModuleRules::kGs) {
        GsReverbMacro(4);
        GsChorusMacro(2);
    } else if (rules == ModuleRules::kXg) {
        GsReverbMacro(3);
        GsChorusMacro(0);
    }
}

void SynthModule::Short(uint32_t packed) {
    const int st = midi::StatusKind(packed), c = midi::ChannelOf(packed);
    const int d1 = (packed >> 8) & 0x7F, d2 = (packed >> 16) & 0x7F;
    switch (st) {
        case midi::kNoteOff:
            fluid_synth_noteoff(synth_, c, d1);
            break;
        case midi::kNoteOn:
            if (d2)
                NoteOn(c, d1, d2);
            else
                fluid_synth_noteoff(synth_, c, d1);
            break;
        case midi::kPolyPressure:
            fluid_synth_key_pressure(synth_, c, d1, d2);
            break;
        case midi::kControlChange:
            ControlChange(c, d1, d2);
            break;
        case midi::kProgramChange:
            Select(c, banks_.Program(c, d1));
            break;
        case midi::kChannelPressure:
            fluid_synth_channel_pressure(synth_, c, d1);
            break;
        case midi::kPitchBend:
            ch_[c].bend = d1 | (d2 << 7);
            ApplyBend(c);
            break;
        default:
            break;
    }
}

// A bank or kit the SoundFonts lack falls back as the modules do: a
// variation to its capital tone, a kit to the standard kit.
int SynthPresetFont(fluid_synth_t* synth, int bank, int program) {
    // Index 0 is the SoundFont loaded last, which the synthesizer asks first.
    for (int i = 0; i < fluid_synth_sfcount(synth); ++i) {
        fluid_sfont_t* sf = fluid_synth_get_sfont(synth, i);
        if (sf && fluid_sfont_get_preset(sf, bank, program)) return fluid_sfont_get_id(sf);
    }
    return -1;
}

void SynthModule::Select(int c, PresetChoice choice) {
    if (SynthPresetFont(synth_, choice.bank, choice.program) < 0) {
        if (choice.drums)
            choice.program = 0;
        else
            choice.bank = 0;
    }
    // An XG part turned drums by its bank plays the first drum setup.
    if (Rules() == ModuleRules::kXg && choice.drums != (ch_[c].drumSetup >= 0))
        ch_[c].drumSetup = choice.drums ? 0 : -1;
    const bool edited = ch_[c].keysEdited;
    fluid_synth_set_channel_type(synth_, c,
                                 choice.drums ? CHANNEL_TYPE_DRUM : CHANNEL_TYPE_MELODIC);
    fluid_synth_bank_select(synth_, c, choice.bank);
    fluid_synth_program_change(synth_, c, choice.program);
    // A new kit starts from its own per-key settings.
    if (edited) {
        for (auto& k : ch_[c].key) k.fill(kUnset);
        ch_[c].keysEdited = false;
    }
    ApplyTuning(c);
}

void SynthModule::ControlChange(int c, int cc, int v) {
    Channel& ch = ch_[c];
    switch (cc) {
        case midi::cc::kBankSelect:
            banks_.BankMsb(c, v);
            return;
        case midi::cc::kBankSelectLsb:
            banks_.BankLsb(c, v);
            return;
        case kPortamentoTime:
            ch.portaTime = v;
            return;
        case kPortamentoTimeLsb:
            return;
        case kPortamento:
            ch.porta = v >= midi::cc::kPedalDown;
            break;
        case kPortamentoControl:
            ch.portaFrom = v;
            break;
        case midi::cc::kNrpnMsb:
            ch.nrpn = (v << 7) | (ch.nrpn >= 0 ? ch.nrpn & 0x7F : 0);
            ch.rpn = -1;
            return;
        case midi::cc::kNrpnLsb:
            ch.nrpn = (ch.nrpn >= 0 ? ch.nrpn & ~0x7F : 0) | v;
            ch.rpn = -1;
            return;
        case midi::cc::kRpnMsb:
            ch.rpn = (v << 7) | (ch.rpn >= 0 ? ch.rpn & 0x7F : 0);
            ch.nrpn = -1;
            return;
        case midi::cc::kRpnLsb:
            ch.rpn = (ch.rpn >= 0 ? ch.rpn & ~0x7F : 0) | v;
            ch.nrpn = -1;
            return;
        case midi::cc::kDataEntry:
            ch.dataMsb = v;
            DataEntry(c, 0);
            return;
        case kDataEntryLsb:
            DataEntry(c, v);
            return;
        case midi::cc::kReverbSend:
            ch.reverbCc = v;
            break;
        case midi::cc::kChorusSend:
            ch.chorusCc = v;
            break;
        case kVariationSend:
            ch.variationCc = v;
            ApplyVariation(c);
            return;
        case midi::cc::kResetAllControllers:
            // The bend range stays, whatever the synthesizer resets.
            ch.rpn = ch.nrpn = -1;
            ch.bend = 8192;
            fluid_synth_cc(synth_, c, cc, v);
            ApplyBend(c);
            return;
        default:
            break;
    }
    fluid_synth_cc(synth_, c, cc, v);
}

void SynthModule::DataEntry(int c, int lsb) {
    Channel& ch = ch_[c];
    if (ch.nrpn >= 0) {
        // The MSB carries the value; an LSB alone changes nothing.
        if (lsb == 0) Nrpn(c, ch.nrpn >> 7, ch.nrpn & 0x7F, ch.dataMsb);
    } else if (ch.rpn >= 0 && ch.rpn != 0x3FFF) {
        Rpn(c, ch.rpn, (ch.dataMsb << 7) | lsb);
    }
}

void SynthModule::Rpn(int c, int rpn, int value14) {
    Channel& ch = ch_[c];
    const int msb = value14 >> 7, lsb = value14 & 0x7F;
    switch (rpn) {
        case 0:  // bend range: semitones and cents
            ch.bendCents = msb * 100 + std::min(lsb, 99);
            ApplyBend(c);
            return;
        case 1:  // fine tuning, +-100 cents
            ch.fineCents = (value14 - 8192) * 100 / 8192;
            ApplyTuning(c);
            return;
        case 2:  // coarse tuning, semitones
            ch.coarse = msb - kCenter;
            ApplyTuning(c);
            return;
        case 5:  // modulation depth range: semitones and 128ths of one
            ch.modDepthCents = msb * 100 + lsb * 100 / 128;
            return;
        default:  // tuning program and bank: the synthesizer's own
            fluid_synth_cc(synth_, c, midi::cc::kRpnMsb, rpn >> 7);
            fluid_synth_cc(synth_, c, midi::cc::kRpnLsb, rpn & 0x7F);
            fluid_synth_cc(synth_, c, midi::cc::kDataEntry, msb);
            fluid_synth_cc(synth_, c, kDataEntryLsb, lsb);
            return;
    }
}

void SynthModule::Nrpn(int c, int msb, int lsb, int v) {
    if (msb == 1) {
        const auto* it = std::find(kParamNrpn.begin(), kParamNrpn.end(), lsb);
        if (it != kParamNrpn.end()) SetParam(c, static_cast<Param>(it - kParamNrpn.begin()), v);
        return;
    }
    const auto* it = std::find(kKeyNrpn.begin(), kKeyNrpn.end(), msb);
    if (it == kKeyNrpn.end()) return;
    ch_[c].key[it - kKeyNrpn.begin()][lsb] = static_cast<uint8_t>(v);
    ch_[c].keysEdited = true;
}

void SynthModule::SetParam(int c, Param p, int v) {
    // The modules take 14..114 (-50..+50); beyond that they clamp.
    v = std::clamp(v, 14, 114);
    ch_[c].param[p] = static_cast<uint8_t>(v);
    float offset = static_cast<float>(v - kCenter) * kParamGen[p].perStep;
    // Vibrato depth cannot go below the preset's own (mostly none).
    if (p == kVibDepth) offset = std::max(offset, 0.0f);
    for (int gen : kParamGen[p].gen)
        if (gen >= 0) fluid_synth_set_gen(synth_, c, gen, offset);
}

void SynthModule::NoteOn(int c, int key, int vel) {
    Channel& ch = ch_[c];
    Glide(c, key);
    fluid_synth_noteon(synth_, c, key, vel);
    bool keyEdited = false;
    if (ch.keysEdited && banks_.Drums(c))
        for (const auto& k : ch.key) keyEdited = keyEdited || k[key] != kUnset;
    const bool envelope = ch.param[kAttack] != kCenter || ch.param[kDecay] != kCenter ||
                          ch.param[kRelease] != kCenter;
    const bool modDepth = ch.modDepthCents != kModDepthCents;
    if (!keyEdited && !envelope && !modDepth) return;
    const int n = NewVoices(c, key);
    for (int i = 0; i < n; ++i) {
        if (keyEdited) KeySettings(c, key, voices_[i]);
        if (envelope) Envelope(c, voices_[i]);
        if (modDepth) ModDepth(c, voices_[i]);
    }
    if (modDepth) {
        // The wheel's value again: the voices work out its vibrato anew.
        int wheel = 0;
        fluid_synth_get_cc(synth_, c, midi::cc::kModulation, &wheel);
        fluid_synth_cc(synth_, c, midi::cc::kModulation, wheel);
    }
    // The voice changes wait in the synthesizer's queue until a call of its
    // own lets them through: this one does nothing else.
    fluid_synth_get_gain(synth_);
}

// The voices the note-on just started: the newest on that key.
int SynthModule::NewVoices(int c, int key) {
    voices_.fill(nullptr);
    fluid_synth_get_voicelist(synth_, voices_.data(), kMaxVoices, -1);
    unsigned newest = 0;
    bool any = false;
    for (fluid_voice_t* v : voices_) {
        if (!v) break;
        if (fluid_voice_get_channel(v) != c || fluid_voice_get_key(v) != key ||
            !fluid_voice_is_on(v))
            continue;
        const unsigned id = fluid_voice_get_id(v);
        if (!any || id > newest) newest = id;
        any = true;
    }
    int n = 0;
    for (fluid_voice_t* v : voices_) {
        if (!v) break;
        if (any && fluid_voice_get_id(v) == newest && fluid_voice_get_channel(v) == c &&
            fluid_voice_get_key(v) == key)
            voices_[n++] = v;
    }
    return n;
}

void SynthModule::KeySettings(int c, int key, fluid_voice_t* v) {
    const auto& k = ch_[c].key;
    const int pitch = k[kKeyPitch][key], level = k[kKeyLevel][key], pan = k[kKeyPan][key];
    const int reverb = k[kKeyReverb][key], chorus = k[kKeyChorus][key];
    // Sends scale the part's own (preset plus the controller's 20 % at most).
    auto scaleSend = [v](int gen, int cc, int value) {
        const float now = fluid_voice_gen_get(v, gen) + cc * 200.0f / 127.0f;
        fluid_voice_gen_incr(v, gen, now * (value / 127.0f - 1.0f));
        fluid_voice_update_param(v, gen);
    };
    if (pitch != kUnset) {
        fluid_voice_gen_incr(v, GEN_COARSETUNE, static_cast<float>(pitch - kCenter));
        fluid_voice_update_param(v, GEN_COARSETUNE);
    }
    if (level != kUnset) {
        const float cb = level == 0 ? 1440.0f : -400.0f * std::log10(level / 127.0f);
        fluid_voice_gen_incr(v, GEN_ATTENUATION, cb);
        fluid_voice_update_param(v, GEN_ATTENUATION);
    }
    if (pan != kUnset) {
        const int p = pan == 0 ? RandomPan() : pan;  // 0: random
        fluid_voice_gen_set(v, GEN_PAN, static_cast<float>(p - kCenter) * 500.0f / 63.0f);
        fluid_voice_update_param(v, GEN_PAN);
    }
    if (reverb != kUnset) scaleSend(GEN_REVERBSEND, ch_[c].reverbCc, reverb);
    if (chorus != kUnset) scaleSend(GEN_CHORUSSEND, ch_[c].chorusCc, chorus);
    KeyTone(c, key, v);
}

// A pan for "random": 1..127 from a small generator of the layer's own.
int SynthModule::RandomPan() {
    panSeed_ = panSeed_ * 1664525u + 1013904223u;
    return 1 + static_cast<int>((panSeed_ >> 16) % 127);
}

// Envelope times move from the voice's own, but a longer time starts from
// a floor: most presets attack at once, and a factor of nothing is nothing.
void SynthModule::Envelope(int c, fluid_voice_t* v) {
    for (int stage = 0; stage < 3; ++stage) {
        const int value = ch_[c].param[kAttack + stage];
        if (value != kCenter) EnvelopeStage(v, stage, value);
    }
}

// The modulation wheel's vibrato at full: the SoundFont's default
// modulator, its amount replaced on this voice.
void SynthModule::ModDepth(int c, fluid_voice_t* v) {
    fluid_mod_t* mod = wheelMod_.get();
    if (!mod) return;
    fluid_mod_set_amount(mod, ch_[c].modDepthCents);
    fluid_voice_add_mod(v, mod, FLUID_VOICE_OVERWRITE);
}

// Stage 0 attack, 1 decay, 2 release, both envelopes, 80 timecents a step.
void SynthModule::EnvelopeStage(fluid_voice_t* v, int stage, int value) {
    struct Stage {
        int gen[2];
        float floor;  // timecents
    };
    static constexpr Stage kStages[] = {
        {{GEN_VOLENVATTACK, GEN_MODENVATTACK}, -5400.0f},
        {{GEN_VOLENVDECAY, GEN_MODENVDECAY}, -2400.0f},
        {{GEN_VOLENVRELEASE, GEN_MODENVRELEASE}, -4800.0f},
    };
    constexpr float kPerStep = 80.0f;
    const Stage& s = kStages[stage];
    const float offset = static_cast<float>(value - kCenter) * kPerStep;
    for (int gen : s.gen) {
        const float own = fluid_voice_gen_get(v, gen);
        fluid_voice_gen_set(v, gen, (offset > 0 ? std::max(own, s.floor) : own) + offset);
        fluid_voice_update_param(v, gen);
    }
}

// XG's per-key filter, envelope and fine pitch, in the part settings' steps.
void SynthModule::KeyTone(int c, int key, fluid_voice_t* v) {
    const auto& k = ch_[c].key;
    auto incr = [v](int gen, int value, float perStep) {
        fluid_voice_gen_incr(v, gen, static_cast<float>(value - kCenter) * perStep);
        fluid_voice_update_param(v, gen);
    };
    if (k[kKeyCutoff][key] != kUnset) incr(GEN_FILTERFC, k[kKeyCutoff][key], 50.0f);
    if (k[kKeyResonance][key] != kUnset) incr(GEN_FILTERQ, k[kKeyResonance][key], 3.0f);
    if (k[kKeyFine][key] != kUnset) incr(GEN_FINETUNE, k[kKeyFine][key], 1.0f);
    if (k[kKeyAttack][key] != kUnset) EnvelopeStage(v, 0, k[kKeyAttack][key]);
    if (k[kKeyDecay][key] != kUnset) EnvelopeStage(v, 1, k[kKeyDecay][key]);
}

// The synthesizer glides over its portamento time whatever the interval;
// the modules glide at a rate, so the time is set for this interval.
// Portamento control (CC 84) names the key of the next note's glide, with or
// without the portamento switch.
void SynthModule::Glide(int c, int key) {
    Channel& ch = ch_[c];
    const int from = ch.portaFrom >= 0 ? ch.portaFrom : ch.porta ? ch.lastKey : -1;
    ch.portaFrom = -1;
    if (from >= 0) {
        const double ms = PortamentoMsPerOctave(ch.portaTime) * std::abs(key - from) / 12.0;
        const int t = std::clamp(static_cast<int>(std::lround(ms)), 0, 0x3FFF);
        fluid_synth_cc(synth_, c, kPortamentoTime, t >> 7);
        fluid_synth_cc(synth_, c, kPortamentoTimeLsb, t & 0x7F);
    }
    ch.lastKey = key;
}

// FluidSynth bends by whole semitones; cents of range scale the bend.
void SynthModule::ApplyBend(int c) {
    const Channel& ch = ch_[c];
    const int semis = (ch.bendCents + 99) / 100;
    fluid_synth_pitch_wheel_sens(synth_, c, semis);
    int bend = ch.bend;
    if (semis * 100 != ch.bendCents) bend = 8192 + (ch.bend - 8192) * ch.bendCents / (semis * 100);
    fluid_synth_pitch_bend(synth_, c, std::clamp(bend, 0, 16383));
}

// Part tuning and master tuning on the generators; master key shift leaves
// drum parts alone, as on the modules.
void SynthModule::ApplyTuning(int c) {
    const Channel& ch = ch_[c];
    const int coarse = ch.coarse + (banks_.Drums(c) ? 0 : masterCoarse_);
    fluid_synth_set_gen(synth_, c, GEN_FINETUNE, static_cast<float>(ch.fineCents + masterCents_));
    fluid_synth_set_gen(synth_, c, GEN_COARSETUNE, static_cast<float>(coarse));
}

void SynthModule::ApplyScale(int c) {
    const auto& s = ch_[c].scale;
    if (std::all_of(s.begin(), s.end(), [](int8_t v) { return v == 0; })) {
        fluid_synth_deactivate_tuning(synth_, c, 1);
        return;
    }
    std::array<double, 12> cents{};
    std::copy(s.begin(), s.end(), cents.begin());
    fluid_synth_activate_octave_tuning(synth_, kScaleBank, c, "scale", cents.data(), 0);
    fluid_synth_activate_tuning(synth_, c, kScaleBank, c, 1);
}

// The XG variation as a chorus: as a system effect each part sends by its
// CC 94, as an insertion effect the one part it is inserted on goes through
// it whole. Other variation types have no sound here.
void SynthModule::ApplyVariation(int c) {
    int send = 0;
    if (fx_.variationChorus && Rules() == ModuleRules::kXg)
        send = fx_.variationSystem ? ch_[c].variationCc : (fx_.variationPart == c ? 127 : 0);
    fluid_synth_cc(synth_, c, kVariationSend, send);
}

void SynthModule::ApplyGain() {
    const float v = masterVolume_ / 16383.0f;
    fluid_synth_set_gain(synth_, baseGain_ * v * v);
}

void SynthModule::ApplyReverb() {
    const ReverbCharacter& rc = kReverbCharacter[std::clamp(fx_.reverbChar, 0, 7)];
    const double size = rc.size * (0.3 + 0.7 * fx_.reverbTime / 127.0);
    const double damp = std::min(1.0, rc.damp + fx_.reverbLpf / 7.0 * 0.5);
    fluid_synth_set_reverb_group_roomsize(synth_, -1, std::clamp(size, 0.0, 1.0));
    fluid_synth_set_reverb_group_damp(synth_, -1, damp);
    fluid_synth_set_reverb_group_width(synth_, -1, rc.width * 100.0);
    fluid_synth_set_reverb_group_level(synth_, -1, std::min(1.0, 0.9 * fx_.reverbLevel / 64.0));
}

void SynthModule::ApplyChorus() {
    fluid_synth_set_chorus_group_level(synth_, -1, 2.0 * fx_.chorusLevel / 64.0);
    fluid_synth_set_chorus_group_speed(synth_, -1,
                                       std::clamp(0.05 + fx_.chorusRate * 0.077, 0.1, 5.0));
    fluid_synth_set_chorus_group_depth(synth_, -1, 0.2 + fx_.chorusDepth / 127.0 * 10.0);
    // Feedback has no control here: more of it thickens with more voices.
    fluid_synth_set_chorus_group_nr(synth_, -1, 3 + fx_.chorusFeedback / 32);
}

void SynthModule::GsReverbMacro(int m) {
    const auto& v = kGsReverbMacro[std::clamp(m, 0, 7)];
    fx_.reverbChar = v[0];
    fx_.reverbLpf = v[1];
    fx_.reverbLevel = v[2];
    fx_.reverbTime = v[3];
    ApplyReverb();
}

void SynthModule::GsChorusMacro(int m) {
    const auto& v = kGsChorusMacro[std::clamp(m, 0, 7)];
    fx_.chorusLevel = v[1];
    fx_.chorusFeedback = v[2];
    fx_.chorusRate = v[4];
    fx_.chorusDepth = v[5];
    ApplyChorus();
}

// --- SysEx --------------------------------------------------------------------

void SynthModule::Long(std::span<const uint8_t> b) {
    if (b.size() < 4 || b[0] != midi::kSysExStart) return;
    if (auto rules = ResetRules(b)) {
        ResetAll(*rules);
        return;
    }
    if (auto part = ModuleBanks::DrumPartMessage(b)) {
        Select(part->first, banks_.SetDrums(part->first, part->second));
        // XG part mode 1 takes drum setup 1, 2.. (drum S1..) their own; a
        // GS rhythm part its drum map 1 or 2.
        if (b[1] == midi::kYamaha) ch_[part->first].drumSetup = b[7] <= 1 ? b[7] - 1 : b[7] - 2;
        if (b[1] == midi::kRoland) ch_[part->first].drumSetup = b[8] - 1;
        return;
    }
    if (Roland(b) || Yamaha(b) || Universal(b)) return;
    // The rest (the tuning standard's messages) is the synthesizer's own.
    const size_t n = b.size() - 1 - (b.back() == midi::kSysExEnd ? 1 : 0);
    fluid_synth_sysex(synth_, reinterpret_cast<const char*>(b.data() + 1), static_cast<int>(n),
                      nullptr, nullptr, nullptr, 0);
}

// GS data set: F0 41 dev 42 12 a1 a2 a3 data... sum F7.
bool SynthModule::Roland(std::span<const uint8_t> b) {
    if (b.size() < 11 || b[1] != midi::kRoland || b[3] != midi::kRolandGsModel ||
        b[4] != midi::kRolandDataSet)
        return false;
    const auto data = b.subspan(8, b.size() - 10);
    const int a1 = b[5], a2 = b[6], a3 = b[7];
    if (a1 == 0x41) {
        for (size_t i = 0; i < data.size(); ++i)
            GsDrumSetup(a2 >> 4, a2 & 0x0F, a3 + static_cast<int>(i), data[i]);
        return true;
    }
    if (a1 != 0x40) return true;  // the display's: no sound here
    if (a2 == 0x00) {
        if (a3 == 0x00 && data.size() >= 4) {
            const int t =
                (data[0] & 15) << 12 | (data[1] & 15) << 8 | (data[2] & 15) << 4 | (data[3] & 15);
            masterCents_ = (t - 0x400) / 10;
            for (int c = 0; c < midi::kChannelCount; ++c) ApplyTuning(c);
        } else if (a3 == 0x04) {
            masterVolume_ = data[0] * 16383 / 127;
            ApplyGain();
        } else if (a3 == 0x05) {
            masterCoarse_ = std::clamp(data[0] - kCenter, -24, 24);
            for (int c = 0; c < midi::kChannelCount; ++c) ApplyTuning(c);
        }
        return true;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        const int addr = a3 + static_cast<int>(i), v = data[i];
        if (a2 == 0x01) {
            GsEffect(addr, v);
        } else if ((a2 & 0xF0) == 0x10) {
            RolandPart(GsPartChannel(a2 & 0x0F), addr, data.subspan(i, 1));
        }
    }
    return true;
}

// GS effect parameters (40 01 3x): the macros, then single settings.
void SynthModule::GsEffect(int addr, int v) {
    struct Setting {
        uint8_t addr;
        int Effects::*field;
        bool chorus;
    };
    static constexpr Setting kSettings[] = {
        {0x31, &Effects::reverbChar, false},  {0x32, &Effects::reverbLpf, false},
        {0x33, &Effects::reverbLevel, false}, {0x34, &Effects::reverbTime, false},
        {0x3A, &Effects::chorusLevel, true},  {0x3B, &Effects::chorusFeedback, true},
        {0x3D, &Effects::chorusRate, true},   {0x3E, &Effects::chorusDepth, true},
    };
    if (addr == 0x30) GsReverbMacro(v);
    if (addr == 0x38) GsChorusMacro(v);
    for (const Setting& st : kSettings) {
        if (st.addr != addr) continue;
        fx_.*st.field = v;
        if (st.chorus)
            ApplyChorus();
        else
            ApplyReverb();
    }
}

void SynthModule::RolandPart(int c, int addr, std::span<const uint8_t> data) {
    const int v = data[0];
    if (addr >= 0x40 && addr <= 0x4B) {
        ch_[c].scale[addr - 0x40] = static_cast<int8_t>(v - kCenter);
        ApplyScale(c);
        return;
    }
    const auto* it = std::find(kGsPartAddr.begin(), kGsPartAddr.end(), addr);
    if (it != kGsPartAddr.end()) {
        SetParam(c, static_cast<Param>(it - kGsPartAddr.begin()), v);
        return;
    }
    switch (addr) {
        case 0x19:
            ControlChange(c, midi::cc::kVolume, v);
            break;
        case 0x1C:
            ControlChange(c, midi::cc::kPan, v);
            break;
        case 0x21:
            ControlChange(c, midi::cc::kChorusSend, v);
            break;
        case 0x22:
            ControlChange(c, midi::cc::kReverbSend, v);
            break;
        default:
            break;
    }
}

// XG parameter change: F0 43 1n 4C ah am al data F7.
bool SynthModule::Yamaha(std::span<const uint8_t> b) {
    if (b.size() < 9 || b[1] != midi::kYamaha || !midi::IsParameterChange(b[2]) ||
        b[3] != midi::kYamahaXgModel)
        return false;
    const int ah = b[4], am = b[5], al = b[6], v = b[7];
    if (ah == 0x00 && am == 0x00) {
        if (al == 0x00 && b.size() >= 12) {
            const int t = (b[7] & 15) << 12 | (b[8] & 15) << 8 | (b[9] & 15) << 4 | (b[10] & 15);
            masterCents_ = (t - 0x400) / 10;
            for (int c = 0; c < midi::kChannelCount; ++c) ApplyTuning(c);
        } else if (al == 0x04) {
            masterVolume_ = v * 16383 / 127;
            ApplyGain();
        } else if (al == 0x06) {
            masterCoarse_ = std::clamp(v - kCenter, -24, 24);
            for (int c = 0; c < midi::kChannelCount; ++c) ApplyTuning(c);
        }
    } else if (ah == 0x02 && am == 0x01) {
        XgEffect(al, v);
    } else if (ah == 0x08 && am < midi::kChannelCount) {
        XgPart(am, al, v);
    } else if ((ah & 0xF0) == 0x30) {
        XgDrumSetup(ah & 0x0F, am, al, v);
    }
    return true;
}

// GS drum map m (41 mP rr): parameter P of key rr for the parts that play
// that map. The play note number becomes a pitch offset.
void SynthModule::GsDrumSetup(int map, int param, int key, int v) {
    static constexpr std::pair<uint8_t, KeyParam> kParams[] = {
        {0x1, kKeyPitch}, {0x2, kKeyLevel}, {0x4, kKeyPan}, {0x5, kKeyReverb}, {0x6, kKeyChorus},
    };
    if (key > 127) return;
    for (const auto& [addr, kp] : kParams) {
        if (addr != param) continue;
        const int value = kp == kKeyPitch ? std::clamp(kCenter + v - key, 0, 127) : v;
        for (Channel& ch : ch_) {
            if (ch.drumSetup != map) continue;
            ch.key[kp][key] = static_cast<uint8_t>(value);
            ch.keysEdited = true;
        }
    }
}

// XG drum setup n (3n rr pp): key rr's settings for the parts that play
// that setup.
void SynthModule::XgDrumSetup(int setup, int key, int param, int v) {
    static constexpr std::pair<uint8_t, KeyParam> kParams[] = {
        {0x00, kKeyPitch},  {0x01, kKeyFine},   {0x02, kKeyLevel},  {0x04, kKeyPan},
        {0x05, kKeyReverb}, {0x06, kKeyChorus}, {0x0B, kKeyCutoff}, {0x0C, kKeyResonance},
        {0x0D, kKeyAttack}, {0x0E, kKeyDecay},
    };
    for (const auto& [addr, kp] : kParams) {
        if (addr != param) continue;
        for (Channel& ch : ch_) {
            if (ch.drumSetup != setup) continue;
            ch.key[kp][key] = static_cast<uint8_t>(v);
            ch.keysEdited = true;
        }
    }
}

// XG effect parameters (02 01 al): reverb and chorus type, time and return;
// the variation where it is of the chorus kind.
void SynthModule::XgEffect(int addr, int v) {
    switch (addr) {
        case 0x00: {
            const int character = XgReverbCharacter(v);
            fluid_synth_reverb_on(synth_, -1, character >= 0);
            if (character >= 0) fx_.reverbChar = character;
            break;
        }
        case 0x02:
            fx_.reverbTime = std::min(127, v * 2);
            break;
        case 0x0C:
            fx_.reverbLevel = v;
            break;
        case 0x20:
            fluid_synth_chorus_on(synth_, -1, v != 0);
            return;
        case 0x2C:
            fx_.chorusLevel = v;
            ApplyChorus();
            return;
        case 0x40:
            fx_.variationChorus = v == 0x41 || v == 0x42 || v == 0x43;
            break;
        case 0x5A:
            fx_.variationSystem = v == 1;
            break;
        case 0x5B:
            fx_.variationPart = v;
            break;
        default:
            return;  // the finer effect parameters: not played
    }
    if (addr < 0x20) {
        ApplyReverb();
        return;
    }
    for (int c = 0; c < midi::kChannelCount; ++c) ApplyVariation(c);
}

void SynthModule::XgPart(int c, int addr, int v) {
    const auto* it = std::find(kXgPartAddr.begin(), kXgPartAddr.end(), addr);
    if (it != kXgPartAddr.end()) {
        SetParam(c, static_cast<Param>(it - kXgPartAddr.begin()), v);
        return;
    }
    switch (addr) {
        case 0x01:
            banks_.BankMsb(c, v);
            break;
        case 0x02:
            banks_.BankLsb(c, v);
            break;
        case 0x03:
            Select(c, banks_.Program(c, v));
            break;
        case 0x0B:
            ControlChange(c, midi::cc::kVolume, v);
            break;
        case 0x0E:
            ControlChange(c, midi::cc::kPan, v);
            break;
        case 0x12:
            ControlChange(c, midi::cc::kChorusSend, v);
            break;
        case 0x13:
            ControlChange(c, midi::cc::kReverbSend, v);
            break;
        default:
            break;
    }
}

// Universal real time: F0 7F dev 04 sub lsb msb F7.
bool SynthModule::Universal(std::span<const uint8_t> b) {
    if (b.size() < 8 || b[1] != midi::kUniversalRealtime || b[3] != 0x04) return false;
    const int value = b[5] | b[6] << 7;
    switch (b[4]) {
        case 0x01:
            masterVolume_ = value;
            ApplyGain();
            return true;
        case 0x03:
            masterCents_ = (value - 8192) * 100 / 8192;
            break;
        case 0x04:
            masterCoarse_ = std::clamp(b[6] - kCenter, -24, 24);
            break;
        default:
            return true;  // balance: not played
    }
    for (int c = 0; c < midi::kChannelCount; ++c) ApplyTuning(c);
    return true;
}

}  // namespace sonfara::platform
