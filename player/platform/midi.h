// The numbers of the MIDI protocol and of the GS/XG modules that the
// sequencer, the output layer and the display speak, by name.
#pragma once

#include <cstdint>

namespace sonfara::midi {

inline constexpr int kChannelCount = 16;
inline constexpr int kDrumChannel = 9;  // 0-based: channel 10, the GM rhythm part
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
inline constexpr uint8_t kSysExEnd = 0xF7;
inline constexpr uint8_t kMetaEvent = 0xFF;

}  // namespace sonfara::midi

namespace sonfara::Cc {

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

}  // namespace sonfara::Cc

namespace sonfara::midi {

// System exclusive: manufacturers and the models they address.
inline constexpr uint8_t kRoland = 0x41;
inline constexpr uint8_t kYamaha = 0x43;
inline constexpr uint8_t kUniversalNonRealtime = 0x7E;
inline constexpr uint8_t kUniversalRealtime = 0x7F;
inline constexpr uint8_t kRolandGsModel = 0x42;
inline constexpr uint8_t kRolandDisplayModel = 0x45;  // SC-55 display texts and dot pictures
inline constexpr uint8_t kYamahaXgModel = 0x4C;

}  // namespace sonfara::midi
