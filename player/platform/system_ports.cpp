#include "player/platform/system_ports.h"

#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>
#ifdef SONFARA_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "player/platform/messages.h"

namespace sonfara {

// --- SoundFont search ---------------------------------------------------------

const std::vector<std::string>& StandardSoundFontPaths() {
    static const std::vector<std::string> paths = {
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
}  // namespace

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
        if (Readable(p)) {
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

struct SynthPort::Impl {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* driver = nullptr;
};

SynthPort::~SynthPort() {
    Close();
}

bool SynthPort::Init(const std::string& soundFont, int sampleRate, std::string* error) {
    SetUpFluidLog();
    impl_ = new Impl;
    sampleRate_ = sampleRate;
    impl_->settings = new_fluid_settings();
    if (!impl_->settings) {
        *error = Localized(platform::msg::kNoSynthSettings);
        return false;
    }
    fluid_settings_t* s = impl_->settings;
    fluid_settings_setstr(s, "synth.default-soundfont", "");
    fluid_settings_setnum(s, "synth.sample-rate", sampleRate);
    fluid_settings_setint(s, "synth.lock-memory", 0);
    LogCapture cap;
    impl_->synth = new_fluid_synth(s);
    if (!impl_->synth) {
        *error = Localized(platform::msg::kCannotStartSynth) + cap.text;
        return false;
    }
    if (fluid_synth_sfload(impl_->synth, soundFont.c_str(), 1) == FLUID_FAILED) {
        *error = Localized(platform::msg::kCannotReadSoundFont) + soundFont +
                 (cap.text.empty() ? "" : " (" + cap.text + ")");
        return false;
    }
    return true;
}

PortOpenResult SynthPort::OpenRealtime(const std::string& soundFont) {
    PortOpenResult r;
    std::unique_ptr<SynthPort> p(new SynthPort);
    std::string err;
    if (!p->Init(soundFont, 44100, &err)) {
        r.error = PortError::kUnavailable;
        r.message = err;
        return r;
    }
    fluid_settings_t* s = p->impl_->settings;
    // Short periods keep the added latency near 3 ms.
    fluid_settings_setint(s, "audio.period-size", 128);
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
        if (fluid_settings_setstr(s, "audio.driver", d.c_str()) != FLUID_OK) continue;
        p->impl_->driver = new_fluid_audio_driver(s, p->impl_->synth);
        if (p->impl_->driver) {
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

std::unique_ptr<SynthPort> SynthPort::OpenOffline(const std::string& soundFont, int sampleRate,
                                                  std::string* error) {
    std::unique_ptr<SynthPort> p(new SynthPort);
    if (!p->Init(soundFont, sampleRate, error)) return nullptr;
    p->driverName_ = "offline";
    return p;
}

void SynthPort::ShortMessage(uint32_t packed) {
    if (!impl_ || !impl_->synth) return;
    fluid_synth_t* sy = impl_->synth;
    int st = packed & 0xFF, d1 = (packed >> 8) & 0x7F, d2 = (packed >> 16) & 0x7F;
    int ch = st & 15;
    switch (st >> 4) {
        case 0x8:
            fluid_synth_noteoff(sy, ch, d1);
            break;
        case 0x9:
            if (d2)
                fluid_synth_noteon(sy, ch, d1, d2);
            else
                fluid_synth_noteoff(sy, ch, d1);
            break;
        case 0xA:
            fluid_synth_key_pressure(sy, ch, d1, d2);
            break;
        case 0xB:
            fluid_synth_cc(sy, ch, d1, d2);
            break;
        case 0xC:
            fluid_synth_program_change(sy, ch, d1);
            break;
        case 0xD:
            fluid_synth_channel_pressure(sy, ch, d1);
            break;
        case 0xE:
            fluid_synth_pitch_bend(sy, ch, d1 | (d2 << 7));
            break;
        default:
            break;
    }
}

void SynthPort::LongMessage(std::span<const uint8_t> bytes) {
    if (!impl_ || !impl_->synth || bytes.size() < 3) return;
    // Module resets put every controller back, as on a hardware module.
    const bool gmOn = bytes.size() == 6 && bytes[1] == 0x7E && bytes[3] == 0x09 && bytes[4] == 0x01;
    const bool gsReset = bytes.size() >= 9 && bytes[1] == 0x41 && bytes[4] == 0x12 &&
                         bytes[5] == 0x40 && bytes[6] == 0x00 && bytes[7] == 0x7F;
    const bool xgOn = bytes.size() >= 8 && bytes[1] == 0x43 && bytes[3] == 0x4C &&
                      bytes[4] == 0x00 && bytes[5] == 0x00 && bytes[6] == 0x7E;
    if (gmOn || gsReset || xgOn) fluid_synth_system_reset(impl_->synth);
    // FluidSynth takes the body without F0 and F7.
    size_t n = bytes.size() - 1 - (bytes.back() == 0xF7 ? 1 : 0);
    fluid_synth_sysex(impl_->synth, reinterpret_cast<const char*>(bytes.data() + 1),
                      static_cast<int>(n), nullptr, nullptr, nullptr, 0);
}

void SynthPort::Reset() {
    if (!impl_ || !impl_->synth) return;
    for (int c = 0; c < 16; ++c) {
        fluid_synth_cc(impl_->synth, c, Cc::kSustain, 0);
        fluid_synth_cc(impl_->synth, c, Cc::kSostenuto, 0);
    }
    fluid_synth_all_notes_off(impl_->synth, -1);
}

void SynthPort::Close() {
    if (!impl_) return;
    if (impl_->driver) delete_fluid_audio_driver(impl_->driver);
    if (impl_->synth) delete_fluid_synth(impl_->synth);
    if (impl_->settings) delete_fluid_settings(impl_->settings);
    delete impl_;
    impl_ = nullptr;
}

bool SynthPort::Render(int16_t* out, int frames) {
    if (!impl_ || !impl_->synth) return false;
    // Float output converted here: FluidSynth's own 16-bit path dithers
    // every sample, which costs more than the conversion.
    if (floatBuf_.size() < static_cast<size_t>(frames) * 2)
        floatBuf_.resize(static_cast<size_t>(frames) * 2);
    float* f = floatBuf_.data();
    if (fluid_synth_write_float(impl_->synth, frames, f, 0, 2, f, 1, 2) != FLUID_OK) return false;
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

class RtMidiPort final : public MidiOutPort {
  public:
    explicit RtMidiPort(std::unique_ptr<RtMidiOut> out) : out_(std::move(out)) {}
    ~RtMidiPort() override { Close(); }
    void ShortMessage(uint32_t packed) override {
        uint8_t b[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                        static_cast<uint8_t>(packed >> 16)};
        Send(b, 1 + ShortMessageLength(b[0]));
    }
    void LongMessage(std::span<const uint8_t> bytes) override { Send(bytes.data(), bytes.size()); }
    void Reset() override {
        for (uint8_t c = 0; c < 16; ++c) {
            const uint8_t status = static_cast<uint8_t>(0xB0 | c);
            const uint8_t sustain[3] = {status, Cc::kSustain, 0};
            const uint8_t sostenuto[3] = {status, Cc::kSostenuto, 0};
            const uint8_t off[3] = {status, Cc::kAllNotesOff, 0};
            Send(sustain, 3);
            Send(sostenuto, 3);
            Send(off, 3);
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
    void Send(const uint8_t* b, size_t n) {
        if (!out_) return;
        try {
            out_->sendMessage(b, n);
        } catch (...) {
            // A port that went away drops messages; playback goes on.
        }
    }
    std::unique_ptr<RtMidiOut> out_;
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
        if (device == next) return SynthPort::OpenRealtime(soundFont_.path);
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

}  // namespace sonfara
