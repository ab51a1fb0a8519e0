// The numbers of the MIDI protocol and of the GS/XG modules that the
// sequencer, the output layer and the display speak, by name.
#pragma once

#include <array>
#include <cstdint>

namespace sonfara::midi {

// Channels are 0..15 everywhere inside; only what the user sees counts 1..16.
inline constexpr int kChannelCount = 16;
inline constexpr int kDrumChannel = 9;  // channel 10 as shown, the GM rhythm part
inline constexpr int kMaxDataByte = 127;

// The high nibble of a channel message's status byte.
enum Status : uint8_t {
    kNoteOff = 0x80,
    kNoteOn = 0x90,
    kPolyPressure = 0xA0,
    kControlChange = 0xB0,
    kProgramChange = 0xC0,
    kChannelPressure = 0xD0,
    kPitchBend = 0xE0,
    kSystem = 0xF0,
};
inline constexpr uint8_t kSysExStart = 0xF0;
inline constexpr uint8_t kSysExEnd = 0xF7;  // also the escape / continuation event in a file
inline constexpr uint8_t kMetaEvent = 0xFF;
// System common messages that carry data bytes.
inline constexpr uint8_t kTimeCodeQuarterFrame = 0xF1;
inline constexpr uint8_t kSongPosition = 0xF2;
inline constexpr uint8_t kSongSelect = 0xF3;

// Bytes from here up are status bytes; below, data bytes.
inline constexpr uint8_t kFirstStatus = 0x80;

// The kind of a channel message (kNoteOn...) from its status byte, or from
// a packed short message whose low byte is the status.
constexpr uint8_t StatusKind(uint32_t status) {
    return static_cast<uint8_t>(status & 0xF0);
}
// The 0-based channel of a channel message's status byte (or packed message).
constexpr int ChannelOf(uint32_t status) {
    return static_cast<int>(status & 0x0F);
}
// The status byte of a `kind` message on 0-based `channel`.
constexpr uint8_t StatusByte(Status kind, int channel) {
    return static_cast<uint8_t>(kind | (channel & 0x0F));
}
constexpr bool IsStatusByte(uint8_t b) {
    return b >= kFirstStatus;
}

// Meta event types in a Standard MIDI File.
inline constexpr uint8_t kMetaText = 0x01;
inline constexpr uint8_t kMetaTrackName = 0x03;
inline constexpr uint8_t kMetaLyric = 0x05;
inline constexpr uint8_t kMetaCuePoint = 0x07;  // the last of the text events
inline constexpr uint8_t kMetaPort = 0x21;
inline constexpr uint8_t kMetaEndOfTrack = 0x2F;
inline constexpr uint8_t kMetaTempo = 0x51;
inline constexpr uint8_t kMetaTimeSignature = 0x58;
inline constexpr uint8_t kMetaKeySignature = 0x59;

}  // namespace sonfara::midi

namespace sonfara::midi::cc {

// Controller numbers.
inline constexpr uint8_t kBankSelect = 0;
inline constexpr uint8_t kModulation = 1;
inline constexpr uint8_t kDataEntry = 6;
inline constexpr uint8_t kVolume = 7;
inline constexpr uint8_t kPan = 10;
inline constexpr uint8_t kExpression = 11;
inline constexpr uint8_t kBankSelectLsb = 32;
inline constexpr uint8_t kModulationLsb = 33;
inline constexpr uint8_t kVolumeLsb = 39;
inline constexpr uint8_t kPanLsb = 42;
inline constexpr uint8_t kExpressionLsb = 43;
inline constexpr uint8_t kSustain = 64;
inline constexpr uint8_t kSostenuto = 66;
inline constexpr uint8_t kSoft = 67;
inline constexpr uint8_t kReverbSend = 91;
inline constexpr uint8_t kChorusSend = 93;
inline constexpr uint8_t kNrpnLsb = 98;
inline constexpr uint8_t kNrpnMsb = 99;
inline constexpr uint8_t kRpnLsb = 100;
inline constexpr uint8_t kRpnMsb = 101;
inline constexpr uint8_t kAllSoundOff = 120;
inline constexpr uint8_t kResetAllControllers = 121;
inline constexpr uint8_t kAllNotesOff = 123;
// Pedal values from here up hold the pedal down.
inline constexpr uint8_t kPedalDown = 64;

}  // namespace sonfara::midi::cc

namespace sonfara::midi {

// System exclusive: manufacturers and the models they address.
inline constexpr uint8_t kRoland = 0x41;
inline constexpr uint8_t kYamaha = 0x43;
inline constexpr uint8_t kUniversalNonRealtime = 0x7E;
inline constexpr uint8_t kUniversalRealtime = 0x7F;
inline constexpr uint8_t kRolandGsModel = 0x42;
inline constexpr uint8_t kRolandDisplayModel = 0x45;  // SC-55 display texts and dot pictures
inline constexpr uint8_t kYamahaXgModel = 0x4C;

// Universal messages: the device byte that calls every device, and the
// General MIDI sub-IDs (sub-ID 1, then sub-ID 2).
inline constexpr uint8_t kAllDevices = 0x7F;
inline constexpr uint8_t kGeneralMidi = 0x09;
inline constexpr uint8_t kGmOn = 0x01;
inline constexpr uint8_t kGmOff = 0x02;
inline constexpr uint8_t kGm2On = 0x03;

// Roland: the data set command (DT1), then a three-byte address.
inline constexpr uint8_t kRolandDataSet = 0x12;
// Yamaha: parameter change, the high nibble of the device byte (1n).
inline constexpr uint8_t kYamahaParameterChange = 0x10;
constexpr bool IsParameterChange(uint8_t deviceByte) {
    return (deviceByte & 0xF0) == kYamahaParameterChange;
}

// Whole reset messages as they go out.
inline constexpr std::array<uint8_t, 6> kGmSystemOn = {
    kSysExStart, kUniversalNonRealtime, kAllDevices, kGeneralMidi, kGmOn, kSysExEnd};
// Address 40 00 7F, data 00, checksum 41.
inline constexpr std::array<uint8_t, 11> kGsReset = {
    kSysExStart, kRoland, 0x10, kRolandGsModel, kRolandDataSet, 0x40,
    0x00,        0x7F,    0x00, 0x41,           kSysExEnd};
// Address 00 00 7E, data 00.
inline constexpr std::array<uint8_t, 9> kXgSystemOn = {
    kSysExStart, kYamaha,  kYamahaParameterChange, kYamahaXgModel, 0x00, 0x00, 0x7E,
    0x00,        kSysExEnd};

}  // namespace sonfara::midi
