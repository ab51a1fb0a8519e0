// User texts of the platform layer (the output ports, the support-library
// check), with their English translations side by side.
#pragma once

#include <string>

#include "player/platform/language.h"
#include "player/platform/result.h"

namespace sonfara::platform {
// The fatal start-up message when the support library is not installed.
inline constexpr const char* kSfrLibMissingMessage =
    "SfrLib.DLLが存在しません。Sonfaraをインストールしなおしてください";
}  // namespace sonfara::platform

namespace sonfara::platform::msg {

inline constexpr const char* kNoSoundFont = "SoundFont が見つかりません。探した場所:\n";
inline constexpr const char* kSoundFontHint =
    "Debian では timgm6mb-soundfont または fluid-soundfont-gm パッケージが入れます"
    "（apt-get install timgm6mb-soundfont）。--soundfont PATH でも指定できます。";
inline constexpr const char* kNoSynthSettings = "FluidSynth の設定を作れません";
inline constexpr const char* kCannotStartSynth = "FluidSynth を起動できません: ";
inline constexpr const char* kCannotReadSoundFont = "SoundFont を読めません: ";
inline constexpr const char* kNoAudio = "音声出力を開けません（オーディオデバイスがありません）:";
inline constexpr const char* kNoSequencer = "ALSA シーケンサ (/dev/snd/seq) がありません";
inline constexpr const char* kNoMidiPortEither = "\nMIDI ポートもありません: ";

inline const MessageTranslations kEnglish{
    {kNoSoundFont, "No SoundFont found. Looked in:\n"},
    {kSoundFontHint,
     "On Debian the package timgm6mb-soundfont or fluid-soundfont-gm installs one "
     "(apt-get install timgm6mb-soundfont). --soundfont PATH names one too."},
    {kNoSynthSettings, "Cannot create the FluidSynth settings"},
    {kCannotStartSynth, "Cannot start FluidSynth: "},
    {kCannotReadSoundFont, "Cannot read the SoundFont: "},
    {kNoAudio, "Cannot open the audio output (no audio device):"},
    {kNoSequencer, "There is no ALSA sequencer (/dev/snd/seq)"},
    {kNoMidiPortEither, "\nThere is no MIDI port either: "},
    {kSfrLibMissingMessage, "SfrLib.DLL is missing. Please install Sonfara again"},
};

}  // namespace sonfara::platform::msg

namespace sonfara::platform {

// Why a platform call failed.
enum class PlatformError {
    kNone = 0,
    kCannotWrite,          // detail: the step, the file and what the system said
    kExists,               // detail: as kCannotWrite, for a name that is taken
    kNoSynthSettings,      //
    kCannotStartSynth,     // detail: what FluidSynth said
    kCannotReadSoundFont,  // detail: the file and what FluidSynth said
};

inline std::string MessageFor(PlatformError code, const std::string& detail) {
    switch (code) {
        case PlatformError::kNoSynthSettings:
            return Localized(platform::msg::kNoSynthSettings);
        case PlatformError::kCannotStartSynth:
            return Localized(platform::msg::kCannotStartSynth) + detail;
        case PlatformError::kCannotReadSoundFont:
            return Localized(platform::msg::kCannotReadSoundFont) + detail;
        default:
            return detail;  // the system's own words
    }
}

using PlatformStatus = Status<PlatformError>;

}  // namespace sonfara::platform
