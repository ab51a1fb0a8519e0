// User texts of the playback layer: the title label after a failed load,
// the port and timer failures. The GUI shows them and tests compare
// against them, so each text exists once.
#pragma once

#include <string>

namespace sonfara::sequencer::msg {

inline constexpr const char* kLoadError = "読み込みエラー";
// The title label after a failed load: kLoadError + "（" + reason + "）".
inline std::string LoadErrorCaption(const std::string& reason) {
    return std::string(kLoadError) + "（" + reason + "）";
}
inline constexpr const char* kCannotOpenDevice = "MIDIデバイスが開けません";
// A stored or requested port name that no port has; the port names follow.
inline std::string NoSuchPort(const std::string& name) {
    return std::string(kCannotOpenDevice) + ": \"" + name + "\" というポートはありません。使えるポート:";
}
inline constexpr const char* kCannotCreateTimer = "タイマーを作れません";

}  // namespace sonfara::sequencer::msg
