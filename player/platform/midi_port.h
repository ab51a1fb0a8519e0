// MIDI output ports: one open port takes packed short messages, whole SysEx
// buffers and a reset, like a system MIDI output device.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "player/platform/clock.h"
#include "player/platform/midi.h"

namespace sonfara::platform {

// An instrument a song selects: bank (kRhythmBank for the rhythm part) and
// program.
struct SoundUse {
    static constexpr int kRhythmBank = 128;
    int bank = 0;
    int program = 0;
    bool operator==(const SoundUse&) const = default;
};

class MidiOutPort {
  public:
    virtual ~MidiOutPort() = default;
    // status in the low byte, data1 in the next, data2 in the third.
    virtual void ShortMessage(uint32_t packed) = 0;
    // The same, for a port whose line can be full (a hardware cable takes
    // about 3 125 bytes a second): false when the message cannot go now,
    // and then nothing was sent. Ports without such a limit take all.
    virtual bool TryShortMessage(uint32_t packed) {
        ShortMessage(packed);
        return true;
    }
    // A complete SysEx message, F0 ... F7.
    virtual void LongMessage(std::span<const uint8_t> bytes) = 0;
    // Turns every sounding note off and lifts the sustain and sostenuto
    // pedals (the device keeps its programs).
    virtual void Reset() = 0;
    // Releases the device; the port sends nothing afterwards.
    virtual void Close() = 0;
    // Cuts what channel (0..15, -1 all) sounds now, after the note-offs of
    // a pause, stop, seek or mute. Only a port that plays messages a latency
    // after they are sent (the built-in synthesizer) has anything to do.
    virtual void Silence(int /*channel*/) {}
    // The instruments a song selects, told before it plays, so a port that
    // loads sounds on demand has them when a program change comes.
    virtual void PrepareSounds(std::span<const SoundUse> /*sounds*/) {}
    // Whether PrepareSounds does anything (a song is read through for it).
    virtual bool LoadsSoundsOnDemand() const { return false; }
    // How long after a message is sent it is heard (the displays wait as
    // long); 0 for a port that plays at once.
    virtual int64_t LatencyUs() const { return 0; }
};

// Error codes of an open, returned in place of the system's codes.
enum class PortError : int {
    kNone = 0,
    kNoDevice = 2,     // no such device number / name
    kUnavailable = 4,  // the device exists but cannot be opened now
    kNoSoundFont = 6,  // the built-in synthesizer has no SoundFont
    kNoAudio = 7,      // the built-in synthesizer has no audio output
};

struct PortOpenResult {
    std::unique_ptr<MidiOutPort> port;
    PortError error = PortError::kNone;
    std::string message;  // for the user (UTF-8), when the open failed
};

// The ports the machine offers, numbered 0..n-1, and the "MIDI Mapper"
// (device -1) that picks a default.
class MidiOutputSystem {
  public:
    static constexpr int kMapper = -1;
    // DeviceByName of a name no port has.
    static constexpr int kUnknownDevice = -2;
    virtual ~MidiOutputSystem() = default;
    virtual std::vector<std::string> PortNames() = 0;
    virtual PortOpenResult Open(int device) = 0;
    // Device number of a port name ("MIDI Mapper" gives kMapper), else kUnknownDevice.
    int DeviceByName(const std::string& name);
    // The built-in synthesizer's audio buffer in frames, from its next open
    // on (UI thread). Systems without one ignore it.
    virtual void SetSynthBufferFrames(int /*frames*/) {}
};

// Prints every message on one line: milliseconds since the port opened
// with three decimals, then the bytes in upper-case hex.
class MonitorPort final : public MidiOutPort {
  public:
    MonitorPort(const Clock& clock, std::FILE* out);
    void ShortMessage(uint32_t packed) override;
    void LongMessage(std::span<const uint8_t> bytes) override;
    void Reset() override;
    void Close() override;

    // The line for a message at time us since start (no newline).
    static std::string FormatLine(int64_t us, std::span<const uint8_t> bytes);

  private:
    void Print(std::span<const uint8_t> bytes);
    const Clock& clock_;
    std::FILE* out_;
    int64_t startUs_;
    bool closed_ = false;
};

// Keeps every message with its clock time, and what is left sounding: notes
// and held sustain/sostenuto pedals.
// Thread-safe: the timer thread writes while a test may read.
class RecordingPort final : public MidiOutPort {
  public:
    struct Message {
        int64_t us = 0;
        std::vector<uint8_t> bytes;
        bool isReset = false;  // a Reset() call, bytes empty
    };
    explicit RecordingPort(const Clock& clock) : clock_(clock) {}
    void ShortMessage(uint32_t packed) override;
    // With a budget set, the port takes at most bytesPerSecond on average
    // (up to burstBytes at once) through TryShortMessage, like a cable;
    // 0 lifts it. ShortMessage itself is never refused.
    void SetByteBudget(int bytesPerSecond, int burstBytes);
    // A latency to report, as a port that plays late would.
    void SetLatencyUs(int64_t us) { latencyUs_ = us; }
    int64_t LatencyUs() const override { return latencyUs_; }
    bool TryShortMessage(uint32_t packed) override;
    void LongMessage(std::span<const uint8_t> bytes) override;
    void Reset() override;
    void Close() override;

    std::vector<Message> Messages() const;
    void ClearLog();
    // Notes whose last message was a note-on, as (channel 0..15) << 8 | note.
    std::vector<int> NotesOn() const;
    // Sustain or sostenuto pedals left down, as (channel 0..15) << 8 | controller.
    std::vector<int> PedalsDown() const;
    // What keeps sound alive: notes on plus pedals down.
    int NotesOnCount() const;
    bool Closed() const;
    int ResetCount() const;

  private:
    const Clock& clock_;
    mutable std::mutex mu_;
    std::vector<Message> log_;
    uint8_t on_[16][128] = {};
    bool sustain_[16] = {};
    bool sostenuto_[16] = {};
    int resets_ = 0;
    bool closed_ = false;
    int budgetPerSecond_ = 0;
    int burstBytes_ = 0;
    double budget_ = 0;  // bytes the line can take now
    int64_t budgetUs_ = 0;
    int64_t latencyUs_ = 0;
};

// A port system of recording ports for tests: every open hands out a new
// RecordingPort that stays readable after the port is closed. Ports named
// in `failing` refuse to open.
class RecordingOutputSystem final : public MidiOutputSystem {
  public:
    RecordingOutputSystem(const Clock& clock, std::vector<std::string> names = {"Rec A", "Rec B"})
        : clock_(clock), names_(std::move(names)) {}
    std::vector<std::string> PortNames() override { return names_; }
    PortOpenResult Open(int device) override;
    // Every port opened so far, in order; back() is the latest.
    std::vector<std::shared_ptr<RecordingPort>> Opened() const;
    std::shared_ptr<RecordingPort> Latest() const;
    std::vector<int> OpenedDevices() const;
    std::vector<std::string> failing;
    int64_t latencyUs = 0;  // what the ports opened from now on report

  private:
    const Clock& clock_;
    std::vector<std::string> names_;
    mutable std::mutex mu_;
    std::vector<std::shared_ptr<RecordingPort>> opened_;
    std::vector<int> devices_;
};

// Hex of bytes, upper case, separated by blanks ("90 3C 64").
std::string HexLine(std::span<const uint8_t> bytes);

// Number of data bytes that follow a channel status byte.
int ShortMessageLength(uint8_t status);

}  // namespace sonfara::platform
