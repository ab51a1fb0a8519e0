// Failures of the playback layer and their user texts: the port and timer
// failures. The GUI shows them and tests compare against them, so each
// text exists once. (The load failure's caption is the reader's,
// song/messages.h.)
#pragma once

#include <string>

#include "player/platform/language.h"
#include "player/platform/result.h"

namespace sonfara::sequencer {

namespace msg {
inline constexpr const char* kCannotOpenDevice = "MIDIデバイスが開けません";
// A stored or requested port name that no port has; the port names follow.
inline std::string NoSuchPort(const std::string& name) {
    if (platform::UiLanguage() == platform::Language::kEnglish)
        return "Cannot open the MIDI device: there is no port \"" + name + "\". Ports there are:";
    return std::string(kCannotOpenDevice) + ": \"" + name +
           "\" というポートはありません。使えるポート:";
}
inline constexpr const char* kCannotCreateTimer = "タイマーを作れません";
// The port cannot take the song's notes as fast as they come (a MIDI cable
// takes about 1 000 notes a second).
inline constexpr const char* kNotesDropped =
    "MIDI出力が追いつかないため、古いノートオンから一部を送らずに演奏しています";
// The texts above in English.
inline const platform::MessageTranslations kEnglish{
    {kCannotOpenDevice, "Cannot open the MIDI device"},
    {kCannotCreateTimer, "Cannot create the timer"},
    {kNotesDropped, "The MIDI output cannot keep up: some of the oldest note-ons are left out"},
};
}  // namespace msg

// Why the output port did not open.
enum class PlaybackError {
    kNone = 0,
    kPortAlreadyOpen,  // a port is open: nothing changed (callers close first)
    kNoSuchPort,       // detail: the name, then "\n  " and a port name per port there is
    kCannotOpenPort,   // detail: what the port said, may be empty
};

inline std::string MessageFor(PlaybackError code, const std::string& detail) {
    switch (code) {
        case PlaybackError::kNoSuchPort: {
            const size_t lines = detail.find('\n');
            return sequencer::msg::NoSuchPort(detail.substr(0, lines)) +
                   (lines == std::string::npos ? std::string() : detail.substr(lines));
        }
        default:
            return detail.empty() ? std::string(sequencer::msg::kCannotOpenDevice)
                                  : sequencer::msg::kCannotOpenDevice + ("\n" + detail);
    }
}

using PlaybackStatus = platform::Status<PlaybackError>;

}  // namespace sonfara::sequencer
