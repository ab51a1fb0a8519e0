#include "player/platform/midi_port.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "player/platform/midi.h"

namespace sonfara::platform {

int ShortMessageLength(uint8_t status) {
    switch (midi::StatusKind(status)) {
        case midi::kProgramChange:
        case midi::kChannelPressure:
            return 1;
        case midi::kSystem:
            if (status == midi::kSongPosition) return 2;
            return status == midi::kTimeCodeQuarterFrame || status == midi::kSongSelect ? 1 : 0;
        default:
            return 2;
    }
}

std::string HexLine(std::span<const uint8_t> bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) s += ' ';
        s += kHex[bytes[i] >> 4];
        s += kHex[bytes[i] & 15];
    }
    return s;
}

int MidiOutputSystem::DeviceByName(const std::string& name) {
    if (name == "MIDI Mapper") return kMapper;
    auto names = PortNames();
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return static_cast<int>(i);
    }
    return kUnknownDevice;
}

// --- MonitorPort --------------------------------------------------------------

MonitorPort::MonitorPort(const Clock& clock, std::FILE* out)
    : clock_(clock), out_(out), startUs_(clock.NowUs()) {}

std::string MonitorPort::FormatLine(int64_t us, std::span<const uint8_t> bytes) {
    char head[48];
    if (us < 0) us = 0;
    std::snprintf(head, sizeof head, "%" PRId64 ".%03d ", us / 1000, static_cast<int>(us % 1000));
    return head + HexLine(bytes);
}

void MonitorPort::Print(std::span<const uint8_t> bytes) {
    if (closed_) return;
    std::string line = FormatLine(clock_.NowUs() - startUs_, bytes);
    line += '\n';
    // Each line goes out at once, also into a pipe: a monitor that lags
    // behind the music is no monitor.
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

void MonitorPort::ShortMessage(uint32_t packed) {
    uint8_t b[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                    static_cast<uint8_t>(packed >> 16)};
    Print(std::span<const uint8_t>(b, 1 + ShortMessageLength(b[0])));
}

void MonitorPort::LongMessage(std::span<const uint8_t> bytes) {
    Print(bytes);
}

void MonitorPort::Reset() {
    // What a device reset puts on the wire: pedals up and all notes off.
    for (int c = 0; c < midi::kChannelCount; ++c) {
        const uint32_t status = midi::StatusByte(midi::kControlChange, c);
        ShortMessage(status | (uint32_t{midi::cc::kSustain} << 8));
        ShortMessage(status | (uint32_t{midi::cc::kSostenuto} << 8));
        ShortMessage(status | (uint32_t{midi::cc::kAllNotesOff} << 8));
    }
    std::fflush(out_);
}

void MonitorPort::Close() {
    std::fflush(out_);
    closed_ = true;
}

// --- RecordingPort ------------------------------------------------------------

void RecordingPort::ShortMessage(uint32_t packed) {
    uint8_t st = static_cast<uint8_t>(packed);
    uint8_t d1 = static_cast<uint8_t>(packed >> 8), d2 = static_cast<uint8_t>(packed >> 16);
    Message m;
    m.us = clock_.NowUs();
    m.bytes.push_back(st);
    int n = ShortMessageLength(st);
    if (n >= 1) m.bytes.push_back(d1);
    if (n >= 2) m.bytes.push_back(d2);
    std::lock_guard lk(mu_);
    if (closed_) return;
    const int c = midi::ChannelOf(st);
    const uint8_t kind = midi::StatusKind(st);
    const bool control = kind == midi::kControlChange;
    if (kind == midi::kNoteOn && d1 <= midi::kMaxDataByte) {
        on_[c][d1] = d2 != 0;
    } else if (kind == midi::kNoteOff && d1 <= midi::kMaxDataByte) {
        on_[c][d1] = 0;
    } else if (control && (d1 == midi::cc::kAllNotesOff || d1 == midi::cc::kAllSoundOff)) {
        for (auto& n2 : on_[c]) n2 = 0;
    } else if (control && d1 == midi::cc::kSustain) {
        sustain_[c] = d2 >= midi::cc::kPedalDown;
    } else if (control && d1 == midi::cc::kSostenuto) {
        sostenuto_[c] = d2 >= midi::cc::kPedalDown;
    } else if (control && d1 == midi::cc::kResetAllControllers) {
        sustain_[c] = sostenuto_[c] = false;
    }
    log_.push_back(std::move(m));
}

void RecordingPort::SetByteBudget(int bytesPerSecond, int burstBytes) {
    std::lock_guard lk(mu_);
    budgetPerSecond_ = bytesPerSecond;
    burstBytes_ = burstBytes;
    budget_ = burstBytes;
    budgetUs_ = clock_.NowUs();
}

bool RecordingPort::TryShortMessage(uint32_t packed) {
    {
        std::lock_guard lk(mu_);
        if (budgetPerSecond_ > 0) {
            const int64_t now = clock_.NowUs();
            budget_ =
                std::min<double>(burstBytes_, budget_ + (now - budgetUs_) * budgetPerSecond_ / 1e6);
            budgetUs_ = now;
            const int bytes = 1 + ShortMessageLength(static_cast<uint8_t>(packed));
            if (budget_ < bytes) return false;
            budget_ -= bytes;
        }
    }
    ShortMessage(packed);
    return true;
}

void RecordingPort::LongMessage(std::span<const uint8_t> bytes) {
    Message m;
    m.us = clock_.NowUs();
    m.bytes.assign(bytes.begin(), bytes.end());
    std::lock_guard lk(mu_);
    if (closed_) return;
    log_.push_back(std::move(m));
}

void RecordingPort::Reset() {
    Message m;
    m.us = clock_.NowUs();
    m.isReset = true;
    std::lock_guard lk(mu_);
    if (closed_) return;
    for (auto& ch : on_)
        for (auto& n : ch) n = 0;
    for (int c = 0; c < 16; ++c) sustain_[c] = sostenuto_[c] = false;
    ++resets_;
    log_.push_back(std::move(m));
}

void RecordingPort::Close() {
    std::lock_guard lk(mu_);
    closed_ = true;
}

std::vector<RecordingPort::Message> RecordingPort::Messages() const {
    std::lock_guard lk(mu_);
    return log_;
}

void RecordingPort::ClearLog() {
    std::lock_guard lk(mu_);
    log_.clear();
}

std::vector<int> RecordingPort::NotesOn() const {
    std::lock_guard lk(mu_);
    std::vector<int> v;
    for (int c = 0; c < 16; ++c)
        for (int n = 0; n < 128; ++n)
            if (on_[c][n]) v.push_back(c << 8 | n);
    return v;
}

std::vector<int> RecordingPort::PedalsDown() const {
    std::lock_guard lk(mu_);
    std::vector<int> v;
    for (int c = 0; c < 16; ++c) {
        if (sustain_[c]) v.push_back(c << 8 | midi::cc::kSustain);
        if (sostenuto_[c]) v.push_back(c << 8 | midi::cc::kSostenuto);
    }
    return v;
}

int RecordingPort::NotesOnCount() const {
    return static_cast<int>(NotesOn().size() + PedalsDown().size());
}

bool RecordingPort::Closed() const {
    std::lock_guard lk(mu_);
    return closed_;
}

int RecordingPort::ResetCount() const {
    std::lock_guard lk(mu_);
    return resets_;
}

// --- RecordingOutputSystem ----------------------------------------------------

namespace {
class ForwardPort final : public MidiOutPort {
  public:
    explicit ForwardPort(std::shared_ptr<RecordingPort> p) : p_(std::move(p)) {}
    ~ForwardPort() override { p_->Close(); }
    void ShortMessage(uint32_t packed) override { p_->ShortMessage(packed); }
    bool TryShortMessage(uint32_t packed) override { return p_->TryShortMessage(packed); }
    int64_t LatencyUs() const override { return p_->LatencyUs(); }
    void LongMessage(std::span<const uint8_t> bytes) override { p_->LongMessage(bytes); }
    void Reset() override { p_->Reset(); }
    void Close() override { p_->Close(); }

  private:
    std::shared_ptr<RecordingPort> p_;
};
}  // namespace

PortOpenResult RecordingOutputSystem::Open(int device) {
    PortOpenResult r;
    if (device == kMapper) device = 0;
    if (device < 0 || device >= static_cast<int>(names_.size())) {
        r.error = PortError::kNoDevice;
        r.message = "no such port";
        return r;
    }
    for (const auto& f : failing) {
        if (f == names_[device]) {
            r.error = PortError::kUnavailable;
            r.message = "port unavailable";
            return r;
        }
    }
    auto port = std::make_shared<RecordingPort>(clock_);
    port->SetLatencyUs(latencyUs);
    {
        std::lock_guard lk(mu_);
        opened_.push_back(port);
        devices_.push_back(device);
    }
    r.port = std::make_unique<ForwardPort>(port);
    return r;
}

std::vector<std::shared_ptr<RecordingPort>> RecordingOutputSystem::Opened() const {
    std::lock_guard lk(mu_);
    return opened_;
}

std::shared_ptr<RecordingPort> RecordingOutputSystem::Latest() const {
    std::lock_guard lk(mu_);
    return opened_.empty() ? nullptr : opened_.back();
}

std::vector<int> RecordingOutputSystem::OpenedDevices() const {
    std::lock_guard lk(mu_);
    return devices_;
}

}  // namespace sonfara::platform
