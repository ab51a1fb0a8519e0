#include "player/platform/system_ports.h"

#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>
#ifdef SONFARA_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>

#include "player/platform/messages.h"
#include "player/platform/midi.h"
#include "player/platform/synth_module.h"
#include "player/platform/synth_schedule.h"

namespace sonfara::platform {

// --- SoundFont search ---------------------------------------------------------

const std::vector<std::string>& StandardSoundFontPaths() {
    static const std::vector<std::string> paths = {
        "/usr/share/sounds/sf2/FluidR3_GS.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/soundfonts/default.sf2",
    };
    return paths;
}

namespace {

// PULSE_SERVER names a server; otherwise the per-user socket in the
// runtime folder tells that a PulseAudio (or PipeWire-Pulse) server runs.
bool PulseServerReachable() {
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    const std::string socket = std::string(runtime) + "/pulse/native";
    return ::access(socket.c_str(), F_OK) == 0;
}
bool Readable(const std::string& p) {
    return !p.empty() && access(p.c_str(), R_OK) == 0;
}

// Debian's GS SoundFont holds only what GS adds (the effect variations and
// the SFX kit); it plays over the GM SoundFont of the same set.
constexpr std::string_view kGsAddition = "FluidR3_GS.sf2";
constexpr std::string_view kGsBase = "FluidR3_GM.sf2";

// A standard place is taken when it can be played: the GS addition only
// with its base.
bool Playable(const std::string& p) {
    return Readable(p) && (!p.ends_with(kGsAddition) || !SoundFontBase(p).empty());
}
}  // namespace

std::string SoundFontBase(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name != kGsAddition) return {};
    const std::string base = path.substr(0, path.size() - name.size()) + std::string(kGsBase);
    return Readable(base) ? base : std::string();
}

SoundFontSearch FindSoundFont(const std::string& requested) {
    SoundFontSearch s;
    if (!requested.empty()) {
        // An explicit choice is not silently replaced by another SoundFont.
        s.looked.push_back(requested);
        if (Readable(requested)) s.path = requested;
        return s;
    }
    if (const char* env = std::getenv("SONFARA_SOUNDFONT"); env && *env) {
        s.looked.push_back(env);
        if (Readable(env)) {
            s.path = env;
            return s;
        }
    }
    for (const auto& p : StandardSoundFontPaths()) {
        s.looked.push_back(p);
        if (Playable(p)) {
            s.path = p;
            return s;
        }
    }
    return s;
}

std::string NoSoundFontMessage(const SoundFontSearch& s) {
    std::string m = Localized(platform::msg::kNoSoundFont);
    for (const auto& p : s.looked) m += "  " + p + "\n";
    m += Localized(platform::msg::kSoundFontHint);
    return m;
}

// --- FluidSynth ---------------------------------------------------------------

namespace {

// FluidSynth's own messages: warnings and chatter are dropped; errors go to
// stderr, except while an open collects them for its own message.
std::mutex gLogMu;
std::string* gLogCapture = nullptr;

void FluidLog(int level, const char* message, void*) {
    std::lock_guard lk(gLogMu);
    if (gLogCapture) {
        if (!gLogCapture->empty()) *gLogCapture += "; ";
        *gLogCapture += message;
        return;
    }
    std::fprintf(stderr, "fluidsynth: %s\n", message);
}

#ifdef SONFARA_HAVE_ALSA
// ALSA prints its own complaints (no card, no sequencer) straight to stderr;
// the open reports them in its message instead.
void AlsaQuiet(const char*, int, const char*, int, const char*, ...) {}
#endif

void SetUpFluidLog() {
    static std::once_flag once;
    std::call_once(once, [] {
#ifdef SONFARA_HAVE_ALSA
        snd_lib_error_set_handler(AlsaQuiet);
#endif
        fluid_set_log_function(FLUID_PANIC, FluidLog, nullptr);
        fluid_set_log_function(FLUID_ERR, FluidLog, nullptr);
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

struct LogCapture {
    std::string text;
    LogCapture() {
        std::lock_guard lk(gLogMu);
        gLogCapture = &text;
    }
    ~LogCapture() {
        std::lock_guard lk(gLogMu);
        gLogCapture = nullptr;
    }
};

}  // namespace

namespace {

// Bank MSBs that select drum kits under XG and GM2.
constexpr int kXgDrumKitBank = 127;
constexpr int kGm2RhythmBank = 120;

// Beyond one buffer, the latency covers how unevenly the audio callbacks
// come, so a message is never later than its place in the next buffer.
constexpr int kCallbackJitterUs = 10000;

}  // namespace

struct SynthPort::Impl {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* driver = nullptr;
    int sfontId = -1;
    std::unique_ptr<SynthSchedule> schedule;
    struct Pin {
        int font;
        SoundUse use;
    };
    std::vector<Pin> pinned;     // as pinned (after any fallback)
    std::vector<SoundUse> held;  // as asked for, whose sounds are pinned
    ModuleBanks banks;           // sending side: what programs select
};

const std::vector<int>& SynthPort::BufferChoices() {
    static const std::vector<int> choices = {256, 512, 1024, 2048};
    return choices;
}

SynthPort::~SynthPort() {
    Close();
}

PlatformStatus SynthPort::Init(const std::string& soundFont, int sampleRate) {
    SetUpFluidLog();
    impl_ = new Impl;
    sampleRate_ = sampleRate;
    impl_->settings = new_fluid_settings();
    if (!impl_->settings) return PlatformError::kNoSynthSettings;
    fluid_settings_t* s = impl_->settings;
    fluid_settings_setstr(s, "synth.default-soundfont", "");
    fluid_settings_setnum(s, "synth.sample-rate", sampleRate);
    fluid_settings_setint(s, "synth.lock-memory", 0);
    // Samples load when an instrument is first selected (or prepared), not
    // the whole SoundFont at the open.
    fluid_settings_setint(s, "synth.dynamic-sample-loading", 1);
    LogCapture cap;
    impl_->synth = new_fluid_synth(s);
    if (!impl_->synth) return {PlatformError::kCannotStartSynth, cap.text};
    auto unreadable = [&cap](const std::string& file) -> PlatformStatus {
        return {PlatformError::kCannotReadSoundFont,
                file + (cap.text.empty() ? "" : " (" + cap.text + ")")};
    };
    // The base first: the SoundFont loaded last is asked first.
    if (const std::string base = SoundFontBase(soundFont); !base.empty()) {
        if (fluid_synth_sfload(impl_->synth, base.c_str(), 1) == FLUID_FAILED)
            return unreadable(base);
    }
    impl_->sfontId = fluid_synth_sfload(impl_->synth, soundFont.c_str(), 1);
    if (impl_->sfontId == FLUID_FAILED) return unreadable(soundFont);
    return {};
}

void SynthPort::Schedule(const Clock* clock, int anchor, int latencyFrames) {
    impl_->schedule =
        std::make_unique<SynthSchedule>(impl_->synth, sampleRate_, clock,
                                        static_cast<SynthSchedule::Anchor>(anchor), latencyFrames);
}

// Through the render callback; a driver that has none (FluidSynth's "file")
// renders the synthesizer itself and takes each message when it is sent.
bool SynthPort::OpenDriver(const std::string& name, const Clock* clock, int latencyFrames) {
    fluid_settings_t* s = impl_->settings;
    if (fluid_settings_setstr(s, "audio.driver", name.c_str()) != FLUID_OK) return false;
    Schedule(clock, static_cast<int>(SynthSchedule::Anchor::kFollow), latencyFrames);
    impl_->driver = new_fluid_audio_driver2(s, AudioCallback, impl_->schedule.get());
    if (impl_->driver) return true;
    Schedule(nullptr, static_cast<int>(SynthSchedule::Anchor::kDirect), 0);
    impl_->driver = new_fluid_audio_driver(s, impl_->synth);
    return impl_->driver != nullptr;
}

int SynthPort::AudioCallback(void* data, int len, int, float*[], int nout, float* out[]) {
    if (nout < 2) return FLUID_FAILED;
    static_cast<SynthSchedule*>(data)->Render(out[0], out[1], 1, len);
    return FLUID_OK;
}

PortOpenResult SynthPort::OpenRealtime(const std::string& soundFont, int bufferFrames,
                                       const Clock* clock) {
    PortOpenResult r;
    std::unique_ptr<SynthPort> p(new SynthPort);
    if (const PlatformStatus made = p->Init(soundFont, 44100); !made.ok()) {
        r.error = PortError::kUnavailable;
        r.message = made.Message();
        return r;
    }
    const auto& choices = BufferChoices();
    if (std::find(choices.begin(), choices.end(), bufferFrames) == choices.end())
        bufferFrames = kDefaultBufferFrames;
    const int latency = bufferFrames + kCallbackJitterUs * p->sampleRate_ / 1000000;
    fluid_settings_t* s = p->impl_->settings;
    // Events land at their own sample, so the buffer need not be short.
    fluid_settings_setint(s, "audio.period-size", bufferFrames);
    fluid_settings_setint(s, "audio.periods", 2);
    std::vector<std::string> drivers;
    if (const char* env = std::getenv("SONFARA_AUDIO_DRIVER"); env && *env) {
        drivers.push_back(env);
    } else {
        // A reachable PulseAudio server is used directly rather than through
        // the ALSA plug-in, whose extra buffering adds latency.
        if (PulseServerReachable()) drivers.push_back("pulseaudio");
        char* def = nullptr;
        if (fluid_settings_dupstr(s, "audio.driver", &def) == FLUID_OK && def) {
            if (std::find(drivers.begin(), drivers.end(), def) == drivers.end())
                drivers.push_back(def);
            fluid_free(def);
        }
        // jack is left out on purpose (it may try to start a server), and
        // so is sdl2 (it needs the program to initialise SDL first).
        for (const char* d : {"pulseaudio", "alsa"}) {
            if (std::find(drivers.begin(), drivers.end(), d) == drivers.end()) drivers.push_back(d);
        }
    }
    std::string why;
    for (const auto& d : drivers) {
        LogCapture cap;
        if (p->OpenDriver(d, clock ? clock : &SteadyClock::Instance(), latency)) {
            p->driverName_ = d;
            r.port = std::move(p);
            return r;
        }
        why += "\n  " + d + ": " + (cap.text.empty() ? "failed" : cap.text);
    }
    r.error = PortError::kNoAudio;
    r.message = Localized(platform::msg::kNoAudio) + why;
    return r;
}

OfflineSynth SynthPort::OpenOffline(const std::string& soundFont, int sampleRate,
                                    const Clock* clock, int latencyFrames) {
    std::unique_ptr<SynthPort> p(new SynthPort);
    if (PlatformStatus made = p->Init(soundFont, sampleRate); !made.ok())
        return {nullptr, std::move(made)};
    p->Schedule(clock, static_cast<int>(SynthSchedule::Anchor::kFixed), latencyFrames);
    p->driverName_ = "offline";
    return {std::move(p), {}};
}

void SynthPort::ShortMessage(uint32_t packed) {
    if (!impl_ || !impl_->schedule) return;
    LoadAhead(packed);
    impl_->schedule->Short(packed);
}

// A program change nobody announced (the instrument menu, an arrangement's
// mapping) loads its samples here, on the sending thread and a latency
// before the render selects the instrument, so the audio never waits for
// the disk.
void SynthPort::LoadAhead(uint32_t packed) {
    const int kind = midi::StatusKind(packed), c = midi::ChannelOf(packed);
    const int d1 = (packed >> 8) & 0x7F, d2 = (packed >> 16) & 0x7F;
    if (kind == midi::kControlChange && d1 == midi::cc::kBankSelect) impl_->banks.BankMsb(c, d2);
    if (kind == midi::kControlChange && d1 == midi::cc::kBankSelectLsb) impl_->banks.BankLsb(c, d2);
    if (kind != midi::kProgramChange) return;
    HoldChoice(impl_->banks.Program(c, d1));
}

void SynthPort::HoldChoice(const PresetChoice& c) {
    Hold({c.drums ? SoundUse::kRhythmBank : c.bank, c.program});
}

void SynthPort::LongMessage(std::span<const uint8_t> bytes) {
    if (!impl_ || !impl_->schedule) return;
    if (auto rules = ResetRules(bytes)) impl_->banks.Reset(*rules);
    if (auto part = ModuleBanks::DrumPartMessage(bytes))
        HoldChoice(impl_->banks.SetDrums(part->first, part->second));
    if (auto program = impl_->banks.PartProgram(bytes)) HoldChoice(*program);
    impl_->schedule->Long(bytes);
}

void SynthPort::Reset() {
    if (impl_ && impl_->schedule) impl_->schedule->Reset();
}

void SynthPort::Silence(int channel) {
    if (impl_ && impl_->schedule) impl_->schedule->Silence(channel);
}

int64_t SynthPort::LatencyUs() const {
    if (!impl_ || !impl_->schedule) return 0;
    return int64_t{impl_->schedule->LatencyFrames()} * 1000000 / sampleRate_;
}

// Pinned instruments keep their samples loaded whatever the channels
// select; the last song's are let go.
void SynthPort::PrepareSounds(std::span<const SoundUse> sounds) {
    if (!impl_ || !impl_->synth) return;
    for (const Impl::Pin& p : impl_->pinned)
        fluid_synth_unpin_preset(impl_->synth, p.font, p.use.bank, p.use.program);
    impl_->pinned.clear();
    impl_->held.clear();
    for (SoundUse u : sounds) Hold(u);
}

// A bank the SoundFont lacks falls back as a program change would (to bank
// 0, or the standard drum kit).
void SynthPort::Hold(SoundUse u) {
    if (std::find(impl_->held.begin(), impl_->held.end(), u) != impl_->held.end()) return;
    // A song's list names banks as sent: the XG and GM2 kit banks may make
    // the part drums (the module decides when it plays), so the kit too.
    if (u.bank == kXgDrumKitBank || u.bank == kGm2RhythmBank)
        Hold({SoundUse::kRhythmBank, u.program});
    const bool drums = u.bank == SoundUse::kRhythmBank;
    const SoundUse fallbacks[] = {
        u, {drums ? SoundUse::kRhythmBank : 0, u.program}, {drums ? SoundUse::kRhythmBank : 0, 0}};
    for (const SoundUse& f : fallbacks) {
        const int font = SynthPresetFont(impl_->synth, f.bank, f.program);
        if (font < 0 || fluid_synth_pin_preset(impl_->synth, font, f.bank, f.program) != FLUID_OK)
            continue;
        impl_->pinned.push_back({font, f});
        impl_->held.push_back(u);
        return;
    }
}

bool SynthPort::HoldsSounds(SoundUse u) const {
    return impl_ && std::find(impl_->held.begin(), impl_->held.end(), u) != impl_->held.end();
}

void SynthPort::Close() {
    if (!impl_) return;
    // The driver first: its callback renders through the schedule.
    if (impl_->driver) delete_fluid_audio_driver(impl_->driver);
    impl_->schedule.reset();
    if (impl_->synth) delete_fluid_synth(impl_->synth);
    if (impl_->settings) delete_fluid_settings(impl_->settings);
    delete impl_;
    impl_ = nullptr;
}

bool SynthPort::Render(int16_t* out, int frames) {
    if (!impl_ || !impl_->schedule) return false;
    // Float output converted here: FluidSynth's own 16-bit path dithers
    // every sample, which costs more than the conversion.
    if (floatBuf_.size() < static_cast<size_t>(frames) * 2)
        floatBuf_.resize(static_cast<size_t>(frames) * 2);
    float* f = floatBuf_.data();
    impl_->schedule->Render(f, f + 1, 2, frames);
    for (int i = 0; i < frames * 2; ++i) {
        float v = f[i] * 32768.0f;
        v = v > 32767.0f ? 32767.0f : (v < -32768.0f ? -32768.0f : v);
        out[i] = static_cast<int16_t>(std::lrint(v));
    }
    return true;
}

int SynthPort::ActiveVoices() const {
    return impl_ && impl_->synth ? fluid_synth_get_active_voice_count(impl_->synth) : 0;
}

// --- RtMidi -------------------------------------------------------------------

// RtMidi opens the ALSA sequencer without blocking: a message the queue
// cannot take now is reported as a warning and not sent. Note-ons may then
// wait in the output layer (or be dropped there); everything else waits here
// for the line, as a cable makes the sender wait.
class RtMidiPort final : public MidiOutPort {
  public:
    explicit RtMidiPort(std::unique_ptr<RtMidiOut> out) : out_(std::move(out)) {
        out_->setErrorCallback(OnError, this);
    }
    ~RtMidiPort() override { Close(); }
    void ShortMessage(uint32_t packed) override {
        const auto b = Bytes(packed);
        SendWhole(b.data(), 1 + ShortMessageLength(b[0]));
    }
    bool TryShortMessage(uint32_t packed) override {
        const auto b = Bytes(packed);
        return Send(b.data(), 1 + ShortMessageLength(b[0]));
    }
    void LongMessage(std::span<const uint8_t> bytes) override {
        SendWhole(bytes.data(), bytes.size());
    }
    void Reset() override {
        for (int c = 0; c < midi::kChannelCount; ++c) {
            const uint8_t status = midi::StatusByte(midi::kControlChange, c);
            const uint8_t sustain[3] = {status, midi::cc::kSustain, 0};
            const uint8_t sostenuto[3] = {status, midi::cc::kSostenuto, 0};
            const uint8_t off[3] = {status, midi::cc::kAllNotesOff, 0};
            SendWhole(sustain, 3);
            SendWhole(sostenuto, 3);
            SendWhole(off, 3);
        }
    }
    void Close() override {
        if (!out_) return;
        try {
            out_->closePort();
        } catch (...) {
        }
        out_.reset();
    }

  private:
    // Long enough for a cable to take a large SysEx message.
    static constexpr int kWaitMs = 2000;

    static std::array<uint8_t, 3> Bytes(uint32_t packed) {
        return {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                static_cast<uint8_t>(packed >> 16)};
    }
    // Only a full queue is worth waiting for; other warnings (a message the
    // encoder cannot parse) count as sent.
    static void OnError(RtMidiError::Type type, const std::string& text, void* self) {
        if (type == RtMidiError::WARNING && text.find("sending MIDI message") != std::string::npos)
            static_cast<RtMidiPort*>(self)->refused_ = true;
    }
    // False when the port refused the message (nothing was sent).
    bool Send(const uint8_t* b, size_t n) {
        if (!out_) return true;
        refused_ = false;
        try {
            out_->sendMessage(b, n);
        } catch (...) {
            // A port that went away drops messages; playback goes on.
        }
        return !refused_;
    }
    // A line that did not move for kWaitMs is not waited for again until it
    // takes a message, so a device that hangs does not stop the player.
    void SendWhole(const uint8_t* b, size_t n) {
        int waited = 0;
        while (!Send(b, n)) {
            if (stuck_ || ++waited > kWaitMs) {
                stuck_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        stuck_ = false;
    }
    std::unique_ptr<RtMidiOut> out_;
    bool refused_ = false;  // set by OnError during Send
    bool stuck_ = false;
};

namespace {

void RtMidiQuiet(RtMidiError::Type, const std::string&, void*) {}

// RtMidi throws (and ALSA prints) when the sequencer device is missing, so
// look for it first.
std::unique_ptr<RtMidiOut> MakeRtMidiOut(std::string* problem) {
#ifdef __linux__
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
        *problem = Localized(platform::msg::kNoSequencer);
        return nullptr;
    }
#endif
    try {
        auto out = std::make_unique<RtMidiOut>(RtMidi::UNSPECIFIED, "Sonfara");
        out->setErrorCallback(RtMidiQuiet, nullptr);
        return out;
    } catch (const RtMidiError& e) {
        *problem = e.getMessage();
    } catch (...) {
        *problem = "RtMidi error";
    }
    return nullptr;
}

}  // namespace

// --- SystemMidiOutput ---------------------------------------------------------

SystemMidiOutput::SystemMidiOutput(SystemPortOptions opt) : opt_(std::move(opt)) {
    soundFont_ = FindSoundFont(opt_.soundFont);
}

std::vector<std::string> SystemMidiOutput::RtMidiNames() {
    std::vector<std::string> names;
    auto out = MakeRtMidiOut(&rtmidiProblem_);
    if (!out) return names;
    try {
        unsigned n = out->getPortCount();
        for (unsigned i = 0; i < n; ++i) names.push_back(out->getPortName(i));
    } catch (...) {
    }
    return names;
}

std::vector<std::string> SystemMidiOutput::PortNames() {
    auto names = RtMidiNames();
    if (!soundFont_.path.empty()) names.push_back(kSynthName);
    names.push_back(kMonitorName);
    return names;
}

PortOpenResult SystemMidiOutput::Open(int device) {
    PortOpenResult r;
    auto rt = RtMidiNames();
    int n = static_cast<int>(rt.size());
    bool synth = !soundFont_.path.empty();
    if (device == kMapper) {
        if (synth)
            device = n;
        else if (n > 0)
            device = 0;
        else {
            r.error = PortError::kNoDevice;
            r.message = NoSoundFontMessage(soundFont_);
            if (!rtmidiProblem_.empty())
                r.message += Localized(platform::msg::kNoMidiPortEither) + rtmidiProblem_;
            return r;
        }
    }
    if (device >= 0 && device < n) {
        auto out = MakeRtMidiOut(&rtmidiProblem_);
        if (out) {
            try {
                out->openPort(static_cast<unsigned>(device), "Sonfara");
                if (out->isPortOpen()) {
                    r.port = std::make_unique<RtMidiPort>(std::move(out));
                    return r;
                }
            } catch (const RtMidiError& e) {
                r.message = e.getMessage();
            }
        }
        r.error = PortError::kUnavailable;
        if (r.message.empty()) r.message = rtmidiProblem_;
        return r;
    }
    int next = n;
    if (synth) {
        if (device == next)
            return SynthPort::OpenRealtime(soundFont_.path, opt_.synthBufferFrames, opt_.clock);
        ++next;
    }
    if (device == next) {
        const Clock& clock = opt_.clock ? *opt_.clock : SteadyClock::Instance();
        r.port = std::make_unique<MonitorPort>(clock, opt_.monitorOut);
        return r;
    }
    r.error = PortError::kNoDevice;
    r.message = "no such port";
    return r;
}

}  // namespace sonfara::platform
