#include "player/sequencer/output_layer.h"

#include <algorithm>
#include <cstdio>

#include "player/platform/midi.h"

namespace sonfara::sequencer {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

std::string Hex(int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%X", static_cast<unsigned>(v));
    return b;
}

int Clamp7(int v) {
    return std::clamp(v, 0, 127);
}

// What a reset leaves a channel's volume at.
constexpr int kDefaultVolume = 100;

// Velocity-EQ band of a (transposed) note.
int EqBand(int note) {
    if (note <= 30) return 1;
    if (note <= 38) return 2;
    if (note >= 102) return 10;
    return 3 + (note - 39) / 9;  // 39-47 → 3, ... 93-101 → 9
}
}  // namespace

void TextSlot::Set(std::string_view s) {
    {
        std::lock_guard lk(mu_);
        s_.assign(s);
    }
    version_.fetch_add(1, kRelaxed);
}

std::string TextSlot::Get() const {
    std::lock_guard lk(mu_);
    return s_;
}

OutputLayer::OutputLayer(const song::SongTable& song, SongCursors& cursors,
                         platform::MidiOutputSystem& ports, const PlaybackSettings& settings,
                         const SoundShaping& shaping, const platform::CodePage& cp)
    : song_(song),
      cursors_(cursors),
      ports_(ports),
      settings_(settings),
      shaping_(shaping),
      cp_(cp) {
    noteMark_ = cp_.FromUtf8("♪");
    sysex_.reserve(512);
    sentVolume_.fill(kDefaultVolume);
}

OutputLayer::~OutputLayer() {
    if (port_) port_->Close();
}

PlaybackStatus OutputLayer::OpenOutputPort(int device) {
    // Callers close first; an open port is left as it is.
    if (port_) return PlaybackError::kPortAlreadyOpen;
    platform::PortOpenResult r = ports_.Open(device);
    if (!r.port) {
        portOpen_.store(false, kRelaxed);
        return {PlaybackError::kCannotOpenPort, r.message};
    }
    port_ = std::move(r.port);
    dropReported_ = false;
    portOpen_.store(true, kRelaxed);
    outDevice_.store(device, kRelaxed);
    shown_.SetDelay(displayClock_, port_->LatencyUs());
    ResetOutput();
    SendGMSystemOn();
    if (song_.Loaded) PrepareSounds();
    return {};
}

void OutputLayer::CloseOutputPort() {
    if (!port_) return;
    ClearBacklog();
    SendGMSystemOn();
    port_->Close();
    port_.reset();
    portOpen_.store(false, kRelaxed);
    shown_.SetDelay(nullptr, 0);
}

void OutputLayer::Raw(uint8_t status, uint8_t d1, uint8_t d2) {
    if (port_) port_->ShortMessage(status | (uint32_t{d1} << 8) | (uint32_t{d2} << 16));
}

int OutputLayer::WithOffset(int value, int setting) const {
    return Clamp7(value + setting - 127);
}

void OutputLayer::SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2) {
    const int c = midi::ChannelOf(status);
    const int kind = midi::StatusKind(status);
    ChannelState& ch = channels_[c];
    TakeIntoState(ch, SoundingNotes, status, data1, data2);
    shown_.Push(status, data1, data2);
    int d1 = data1, d2 = data2;
    const bool arr = ArrActive();
    const ArrangeEntry& a = shaping_.arrangement;

    if (kind == midi::kControlChange) {
        switch (d1) {
            case midi::cc::kVolume:
                d2 = Faded(d2);
                sentVolume_[c] = d2;
                break;
            case midi::cc::kBankSelect:
            case midi::cc::kBankSelectLsb:
                if (!settings_.sendBankSelect) return;
                if (arr && !a.BankOn) return;
                break;
            case midi::cc::kReverbSend:
                d2 = WithOffset(d2, settings_.effectReverb);
                break;
            case midi::cc::kChorusSend:
                d2 = WithOffset(d2, settings_.effectChorus);
                break;
            case midi::cc::kPan:
                d2 = WithOffset(d2, settings_.panOffset);
                break;
            case midi::cc::kExpression:
                if (arr && !a.ExpOn) return;
                break;
            case midi::cc::kModulation:
                if (arr && !a.ModOn) return;
                break;
            case midi::cc::kSustain:
            case midi::cc::kSostenuto:
                pedals_[c][d1 == midi::cc::kSustain ? 0 : 1] = static_cast<uint8_t>(d2);
                break;
            default:
                break;
        }
    } else if (kind == midi::kPitchBend) {
        if (arr && !a.PitOn) return;
    }

    const bool noteOn = kind == midi::kNoteOn && d2 != 0;
    const bool keyed =
        kind == midi::kNoteOn || kind == midi::kNoteOff || kind == midi::kPolyPressure;
    // Transposed whether or not the channel plays, so that a note-off
    // always reaches the key its note-on struck.
    if (keyed && c != midi::kDrumChannel) d1 += transpose_.load(kRelaxed);
    // Out of range after transposition: clamp at both ends.
    d1 = Clamp7(d1);

    if (kind == midi::kProgramChange && arr && c != midi::kDrumChannel) {
        const int mapped = a.InstMap[d1 + 1];
        if (mapped >= 1 && mapped <= 128) d1 = mapped - 1;
    }
    if (noteOn && shaping_.eqActive && c != midi::kDrumChannel) {
        d2 = Clamp7(d2 + shaping_.eq[EqBand(d1) - 1] - 128);
    }
    if (noteOn && ch.Enabled.load(kRelaxed) == 0) return;
    Emit(status | (uint32_t(d1) << 8) | (uint32_t(d2 & 0x7F) << 16), noteOn);
}

void OutputLayer::Emit(uint32_t packed, bool noteOn) {
    if (!port_) return;
    FlushBacklog();
    if (backlog_.empty() && port_->TryShortMessage(packed)) return;
    backlog_.push_back({packed, noteOn});
    if (noteOn && ++pendingNoteOns_ > kMaxPendingNoteOns) DropOldestNoteOn();
}

void OutputLayer::FlushBacklog() {
    while (port_ && !backlog_.empty() && port_->TryShortMessage(backlog_.front().packed)) {
        if (backlog_.front().noteOn) --pendingNoteOns_;
        backlog_.pop_front();
    }
}

// A late note-on is worth less the longer it waits; a note-off is never
// dropped, so no note that did sound is left hanging.
void OutputLayer::DropOldestNoteOn() {
    const auto it =
        std::find_if(backlog_.begin(), backlog_.end(), [](const Pending& p) { return p.noteOn; });
    if (it == backlog_.end()) return;
    backlog_.erase(it);
    --pendingNoteOns_;
    droppedNoteOns_.fetch_add(1, kRelaxed);
    if (dropReported_) return;
    dropReported_ = true;
    for (auto* o : observers_) o->OnNotesDropped(sequencer::msg::kNotesDropped);
}

void OutputLayer::ClearBacklog() {
    backlog_.clear();
    pendingNoteOns_ = 0;
}

void OutputLayer::SendSysExEvent(int extIndex, int track, int event) {
    if (!settings_.sendSysEx) return;
    if (extIndex < 1 || extIndex > song_.ExtCount()) return;
    std::span<const uint8_t> stored = song_.ExtRow(extIndex);
    sysex_.clear();
    sysex_.push_back(midi::kSysExStart);
    sysex_.insert(sysex_.end(), stored.begin(), stored.end());
    if (sysex_.back() != midi::kSysExEnd) AppendContinuations(track, event);
    const int length = static_cast<int>(sysex_.size()) - 1;
    // A message the file never closes still goes out whole.
    if (sysex_.back() != midi::kSysExEnd) sysex_.push_back(midi::kSysExEnd);
    // buf(i) with i counted from 1 as the message is written down.
    auto buf = [&](int i) -> int {
        return i >= 1 && i <= static_cast<int>(sysex_.size()) ? sysex_[i - 1] : 0;
    };
    auto moduleSet = [&](std::atomic<bool>& flag) {
        flag.store(true, kRelaxed);
        moduleSet_.store(true, kRelaxed);
        for (auto* o : observers_) o->OnModuleIndicator();
    };

    if (length == 5 && buf(2) == midi::kUniversalNonRealtime && buf(3) == midi::kAllDevices &&
        buf(4) == midi::kGeneralMidi && buf(5) == midi::kGmOn) {
        moduleSet(flagGM_);
    } else if (length >= 8 && buf(2) == midi::kRoland && buf(5) == midi::kRolandDataSet &&
               buf(6) == 0x00 && buf(7) == 0x00 && buf(8) == 0x7F) {
        ModuleName.Set("MD" + Hex(buf(9) + 1) + "(" + Hex(buf(3)) + ")");
        moduleSet(flagGS_);
    } else if (length >= 8 && buf(2) == midi::kRoland && buf(5) == midi::kRolandDataSet &&
               buf(6) == 0x40 && buf(7) == 0x00 && buf(8) == 0x7F) {
        ModuleName.Set("ID " + Hex(buf(3)));
        moduleSet(flagGS_);
    } else if (length >= 8 && buf(2) == midi::kYamaha && buf(4) == midi::kYamahaXgModel &&
               buf(5) == 0x00 && buf(6) == 0x00 && buf(7) == 0x7E && buf(8) == 0x00) {
        // Device numbers are 1n; anything else is shown as it came.
        int dev = buf(3) >= 16 ? buf(3) - 16 : buf(3);
        ModuleName.Set("No " + Hex(dev));
        moduleSet(flagXG_);
    } else if (length >= 10 && buf(2) == midi::kRoland && buf(6) == 0x10 && buf(7) == 0x00 &&
               buf(8) == 0x00) {
        std::string text;
        for (int i = 9; i <= length - 1; ++i) text += static_cast<char>(buf(i));
        DisplayText.Set(text);
    } else if (length >= 10 && buf(2) == midi::kRoland && buf(6) == 0x10 && buf(7) == 0x01 &&
               buf(8) == 0x00) {
        std::array<uint32_t, kDotRows> rows{};
        for (int r = 0; r < kDotRows; ++r) rows[r] = DotRows[r].load(kRelaxed);
        for (int n = 1; n <= 65; ++n) {
            int row = (n - 1) % 16;
            int col0 = 5 * ((n - 1) / 16);  // 0-based first column
            uint32_t mask = 0x1Fu << col0;
            rows[row] &= ~mask;
            // The checksum sits at buf(length).
            if (8 + n < length) {
                int b = buf(8 + n);
                if (b <= 31) {
                    for (int bit = 0; bit < 5; ++bit) {
                        if (b & (0x10 >> bit)) rows[row] |= 1u << (col0 + bit);
                    }
                }
            }
        }
        for (int r = 0; r < kDotRows; ++r) DotRows[r].store(rows[r], kRelaxed);
        for (auto* o : observers_) o->OnDotPicture();
    }
    if (port_) port_->LongMessage(sysex_);
}

void OutputLayer::AppendContinuations(int track, int event) {
    const int32_t count = song_.EventCount(track);
    for (int32_t e = event + 1; e <= count && sysex_.back() != midi::kSysExEnd; ++e) {
        const song::EventView ev = song_.Event(track, e);
        if (ev.status == midi::kMetaEvent) continue;  // meta events may sit between packets
        if (ev.status != midi::kSysExEnd) return;     // anything else ends the message
        std::span<const uint8_t> row = song_.ExtRow(ev.ExtIndex());
        sysex_.insert(sysex_.end(), row.begin(), row.end());
    }
}

// True when the F7 event continues an F0 packet left open before it in the
// same track (the mirror of AppendContinuations).
bool OutputLayer::ContinuesSysEx(int track, int event) const {
    if (event > song_.EventCount(track)) return false;
    for (int32_t e = event - 1; e >= 1; --e) {
        const song::EventView ev = song_.Event(track, e);
        if (ev.status == midi::kMetaEvent) continue;
        if (ev.status != midi::kSysExStart && ev.status != midi::kSysExEnd) return false;
        std::span<const uint8_t> row = song_.ExtRow(ev.ExtIndex());
        if (!row.empty() && row.back() == midi::kSysExEnd) return false;
        if (ev.status == midi::kSysExStart) return true;
        // An open F7 packet: a continuation itself, or an escape.
    }
    return false;
}

void OutputLayer::SendEscapeEvent(int extIndex, int track, int event) {
    if (!settings_.sendSysEx) return;
    if (extIndex < 1 || extIndex > song_.ExtCount()) return;
    if (ContinuesSysEx(track, event)) return;
    SendEscapeBytes(song_.ExtRow(extIndex));
}

// Escape bytes as whole messages: SysEx as one long message, everything
// else (real-time, system common, channel) as short messages. Data bytes
// without a status byte and cut-off messages are dropped.
void OutputLayer::SendEscapeBytes(std::span<const uint8_t> b) {
    if (!port_) return;
    size_t i = 0;
    while (i < b.size()) {
        const uint8_t st = b[i];
        if (st == midi::kSysExStart) {
            size_t j = i + 1;
            while (j < b.size() && b[j] != midi::kSysExEnd) ++j;
            sysex_.assign(b.begin() + static_cast<std::ptrdiff_t>(i),
                          b.begin() + static_cast<std::ptrdiff_t>(std::min(j, b.size())));
            sysex_.push_back(midi::kSysExEnd);
            port_->LongMessage(sysex_);
            i = j + 1;
            continue;
        }
        if (!midi::IsStatusByte(st) || st == midi::kSysExEnd) {
            ++i;
            continue;
        }
        const size_t n = static_cast<size_t>(platform::ShortMessageLength(st));
        if (i + n >= b.size()) return;
        uint32_t packed = st;
        for (size_t k = 1; k <= n; ++k) packed |= uint32_t{b[i + k]} << (8 * k);
        port_->ShortMessage(packed);
        i += 1 + n;
    }
}

bool OutputLayer::Dot(int row, int column) const {
    if (row < 1 || row > kDotRows || column < 1 || column > kDotColumns) return false;
    return (DotRows[row - 1].load(kRelaxed) >> (column - 1)) & 1;
}

void OutputLayer::HandleMetaEvent(int extIndex, int track, int event) {
    if (extIndex < 1 || extIndex > song_.ExtCount()) return;
    std::span<const uint8_t> row = song_.ExtRow(extIndex);
    if (row.empty()) return;
    std::span<const uint8_t> payload = row.subspan(1);
    switch (row[0]) {
        case 0x05:
            if (payload.size() >= 2) {
                std::string t = noteMark_;
                t.append(payload.begin(), payload.end());
                DisplayText.Set(t);
            }
            break;
        case midi::kMetaPort:
            if (!payload.empty() && track >= 1) cursors_.SetTrackPortSkip(track, payload[0]);
            break;
        case midi::kMetaTempo:
            if (payload.size() >= 3) {
                int tempo = payload[0] << 16 | payload[1] << 8 | payload[2];
                if (tempo > 0) BPMText.Set(std::to_string(60000000 / tempo));
            }
            break;
        default:
            break;
    }
}

void OutputLayer::AllNotesOff() {
    ClearBacklog();  // every key is released below, waiting messages included
    for (int c = 0; c < midi::kChannelCount; ++c) {
        for (int n = 0; n < 128; ++n) {
            Raw(static_cast<uint8_t>(midi::kNoteOn | c), static_cast<uint8_t>(n), 0);
            channels_[c].NoteOn[n].store(0, kRelaxed);
        }
        channels_[c].KeyDirty.store(-1, kRelaxed);
    }
    CutSound();
    SoundingNotes.store(0, kRelaxed);
    shown_.ShowAtOnce();
}

void OutputLayer::CutSound() {
    if (port_) port_->Silence(-1);
}

// Every program the song selects, with the bank selected before it in the
// same track (the rhythm part has its own bank), and program 0, which a
// channel with notes plays before any program change.
void OutputLayer::PrepareSounds() {
    if (!port_ || !port_->LoadsSoundsOnDemand()) return;
    std::vector<platform::SoundUse> uses;
    auto add = [&](int c, int bank, int program) {
        const platform::SoundUse u{c == midi::kDrumChannel ? platform::SoundUse::kRhythmBank : bank,
                                   program};
        if (std::find(uses.begin(), uses.end(), u) == uses.end()) uses.push_back(u);
    };
    std::array<bool, midi::kChannelCount> played{};
    for (int t = 1; t <= song_.NTracks; ++t) {
        std::array<int, midi::kChannelCount> bank{};
        for (const song::SongEvent& e : song_.TrackEvents(t).Stored()) {
            const int c = midi::ChannelOf(e.status), kind = midi::StatusKind(e.status);
            if (kind == midi::kControlChange && e.data1 == midi::cc::kBankSelect) bank[c] = e.data2;
            if (kind == midi::kProgramChange) add(c, bank[c], e.data1);
            if (kind == midi::kNoteOn && e.data2 != 0) played[c] = true;
        }
    }
    for (int c = 0; c < midi::kChannelCount; ++c)
        if (played[c]) add(c, 0, 0);
    port_->PrepareSounds(uses);
}

void OutputLayer::ClearNoteCounts() {
    for (auto& ch : channels_) ch.NoteCount.store(0, kRelaxed);
    shown_.ShowAtOnce();
}

void OutputLayer::LiftPedals() {
    for (int c = 0; c < midi::kChannelCount; ++c) {
        const uint8_t cc = static_cast<uint8_t>(midi::kControlChange | c);
        if (pedals_[c][0] >= midi::cc::kPedalDown) Raw(cc, midi::cc::kSustain, 0);
        if (pedals_[c][1] >= midi::cc::kPedalDown) Raw(cc, midi::cc::kSostenuto, 0);
    }
    pedalsLifted_ = true;
}

void OutputLayer::RestorePedals() {
    if (!pedalsLifted_) return;
    pedalsLifted_ = false;
    for (int c = 0; c < midi::kChannelCount; ++c) {
        const uint8_t cc = static_cast<uint8_t>(midi::kControlChange | c);
        if (pedals_[c][0] >= midi::cc::kPedalDown) Raw(cc, midi::cc::kSustain, pedals_[c][0]);
        if (pedals_[c][1] >= midi::cc::kPedalDown) Raw(cc, midi::cc::kSostenuto, pedals_[c][1]);
    }
}

void OutputLayer::ForgetLiftedPedals() {
    if (!pedalsLifted_) return;
    pedalsLifted_ = false;
    pedals_ = {};
}

int OutputLayer::Faded(int volume) const {
    return (volume * fade_.load(kRelaxed) + kFullVolume / 2) / kFullVolume;
}

void OutputLayer::SendVolume(int c, int volume) {
    const int v = Faded(volume);
    Raw(static_cast<uint8_t>(midi::kControlChange | c), midi::cc::kVolume, static_cast<uint8_t>(v));
    sentVolume_[c] = v;
}

void OutputLayer::SetFadeLevel(int perMille) {
    perMille = std::clamp(perMille, 0, kFullVolume);
    if (perMille == fade_.load(kRelaxed)) return;
    fade_.store(perMille, kRelaxed);
    for (int c = 0; c < midi::kChannelCount; ++c) {
        const int volume = channels_[c].Volume.load(kRelaxed);
        if (Faded(volume) != sentVolume_[c]) SendVolume(c, volume);
    }
}

void OutputLayer::ReleaseForJump() {
    ClearBacklog();
    const int pan = WithOffset(64, settings_.panOffset);
    for (int c = 0; c < midi::kChannelCount; ++c) {
        ChannelState& ch = channels_[c];
        const uint8_t cc = static_cast<uint8_t>(midi::kControlChange | c);
        // Through the filter chain, so each note-off reaches its transposed key.
        for (int n = 0; n < 128; ++n)
            if (ch.NoteOn[n].load(kRelaxed) != 0)
                SendShortMessage(static_cast<uint8_t>(midi::kNoteOn | c), static_cast<uint8_t>(n),
                                 0);
        if (pedals_[c][0] >= midi::cc::kPedalDown) Raw(cc, midi::cc::kSustain, 0);
        if (pedals_[c][1] >= midi::cc::kPedalDown) Raw(cc, midi::cc::kSostenuto, 0);
        Raw(cc, midi::cc::kResetAllControllers, 0);
        SendVolume(c, kDefaultVolume);
        Raw(cc, midi::cc::kPan, static_cast<uint8_t>(pan));
        ch.Reset();
    }
    pedals_ = {};
    pedalsLifted_ = false;
    SoundingNotes.store(0, kRelaxed);
    shown_.ShowAtOnce();
}

bool IsModuleReset(std::span<const uint8_t> b) {
    using namespace midi;
    auto at = [&](size_t i) -> int { return i < b.size() ? b[i] : -1; };
    const bool gmOn = at(0) == kUniversalNonRealtime && at(2) == kGeneralMidi &&
                      (at(3) == kGmOn || at(3) == kGm2On);
    // GS reset (40 00 7F) and the system mode set (00 00 7F), whatever the model byte.
    const bool gs = at(0) == kRoland && at(3) == kRolandDataSet &&
                    (at(4) == 0x40 || at(4) == 0x00) && at(5) == 0x00 && at(6) == 0x7F;
    // XG system on: address 00 00 7E, data 00.
    const bool xgOn = at(0) == kYamaha && at(1) >= 0 &&
                      IsParameterChange(static_cast<uint8_t>(at(1))) && at(2) == kYamahaXgModel &&
                      at(3) == 0x00 && at(4) == 0x00 && at(5) == 0x7E && at(6) == 0x00;
    return gmOn || gs || xgOn;
}

void OutputLayer::DeviceReset() {
    ClearBacklog();  // the reset ends every note; waiting ones would start them again
    if (port_) port_->Reset();
}

void OutputLayer::SendGMSystemOn() {
    if (port_) port_->LongMessage(midi::kGmSystemOn);
}

void OutputLayer::EnableAllChannels() {
    for (auto& ch : channels_) ch.Enabled.store(-1, kRelaxed);
    shown_.ShowAtOnce();
}

void OutputLayer::SwitchChannel(int c, bool on) {
    ChannelState& ch = channels_[c - 1];
    ch.Enabled.store(on ? -1 : 0, kRelaxed);
    if (on) {
        shown_.ShowAtOnce();
        return;
    }
    ch.NoteCount.store(0, kRelaxed);
    for (int n = 0; n < 128; ++n) {
        if (ch.NoteOn[n].exchange(0, kRelaxed) != 0) SoundingNotes.fetch_sub(1, kRelaxed);
        Raw(static_cast<uint8_t>(midi::kNoteOn | (c - 1)), static_cast<uint8_t>(n), 0);
    }
    if (port_) port_->Silence(c - 1);
    if (SoundingNotes.load(kRelaxed) < 0) SoundingNotes.store(0, kRelaxed);
    ch.KeyDirty.store(-1, kRelaxed);
    shown_.ShowAtOnce();
}

void OutputLayer::ClearModuleFlags() {
    flagGS_.store(false, kRelaxed);
    flagXG_.store(false, kRelaxed);
    flagGM_.store(false, kRelaxed);
    moduleSet_.store(false, kRelaxed);
}

void OutputLayer::ResetOutput() {
    if (!port_) return;
    ClearBacklog();
    const int pan = WithOffset(64, settings_.panOffset);
    for (int c = 0; c < midi::kChannelCount; ++c) {
        const uint8_t cc = static_cast<uint8_t>(midi::kControlChange | c);
        for (int n = 0; n < 128; ++n) {
            Raw(static_cast<uint8_t>(midi::kNoteOn | c), static_cast<uint8_t>(n), 0);
            channels_[c].NoteOn[n].store(0, kRelaxed);
        }
        Raw(cc, midi::cc::kModulation, 0);
        Raw(cc, midi::cc::kModulationLsb, 0);
        Raw(cc, midi::cc::kExpression, 0);
        Raw(cc, midi::cc::kExpressionLsb, 0);
        Raw(cc, midi::cc::kPan, static_cast<uint8_t>(pan));
        Raw(cc, midi::cc::kPanLsb, static_cast<uint8_t>(pan));
        Raw(cc, midi::cc::kVolume, kDefaultVolume);
        Raw(cc, midi::cc::kVolumeLsb, 100);
    }
    for (auto& ch : channels_) ch.Reset();
    sentVolume_.fill(kDefaultVolume);
    fade_.store(kFullVolume, kRelaxed);
    pedals_ = {};  // the device reset lifts them
    pedalsLifted_ = false;
    cursors_.NextEvents().StoreAll(0);
    for (auto* o : observers_) o->OnClearMeters();
    port_->Reset();
    SendGMSystemOn();
    SoundingNotes.store(0, kRelaxed);
    shown_.ShowAtOnce();
}

void OutputLayer::SilenceAndTranspose(int newTranspose) {
    AllNotesOff();
    transpose_.store(static_cast<int8_t>(std::clamp(newTranspose, -128, 127)), kRelaxed);
}

void OutputLayer::ResendPrograms() {
    for (int c = 0; c < midi::kChannelCount; ++c) {
        SendShortMessage(static_cast<uint8_t>(midi::kProgramChange | c),
                         static_cast<uint8_t>(channels_[c].Program.load(kRelaxed)), 0);
    }
}

void OutputLayer::RefreshEffects() {
    for (int c = 0; c < midi::kChannelCount; ++c) {
        const uint8_t cc = static_cast<uint8_t>(midi::kControlChange | c);
        const ChannelState& ch = channels_[c];
        Raw(cc, midi::cc::kPan,
            static_cast<uint8_t>(WithOffset(ch.Pan.load(kRelaxed), settings_.panOffset)));
        Raw(cc, midi::cc::kPanLsb, 1);
        Raw(cc, midi::cc::kReverbSend,
            static_cast<uint8_t>(WithOffset(ch.Reverb.load(kRelaxed), settings_.effectReverb)));
        Raw(cc, midi::cc::kChorusSend,
            static_cast<uint8_t>(WithOffset(ch.Chorus.load(kRelaxed), settings_.effectChorus)));
    }
}

}  // namespace sonfara::sequencer
