// User texts of the playback session and the windows built on it: message
// boxes, labels and menu captions the session hands out, one table.
#pragma once

#include <array>
#include <string>

#include "player/platform/language.h"
#include "player/platform/modes.h"
#include "player/settings/settings_store.h"

namespace sonfara::session::msg {

inline constexpr const char* kCaption = "Sonfara";
inline constexpr const char* kNoWrd = "WRDファイルがありません";
inline constexpr const char* kCannotDeleteOpen = "現在開いているファイルは削除できません";
inline constexpr const char* kLoading = "Loading ....";
// The instrument menu's header for channel 1..16: "Track3 演奏楽器変更".
inline std::string InstMenuHeader(int channel) {
    if (platform::UiLanguage() == platform::Language::kEnglish)
        return "Track" + std::to_string(channel) + " Instrument";
    return "Track" + std::to_string(channel) + " 演奏楽器変更";
}
// Repeat menu captions by RepeatMode.
inline constexpr std::array<const char*, platform::kRepeatModeCount> kRepeatCaptions{
    "全曲リピート", "単曲リピート", "ランダム再生", "リピートなし"};
inline constexpr const char* kNextSong = "次曲再生";
inline constexpr const char* kPointBBeforeA = "B点はA点より後に設定してください";
inline constexpr const char* kPrevSong = "前曲再生";
inline std::string SettingsOpenNoticeEnglish(const settings::SettingsOpenReport& report,
                                             const std::string& path) {
    switch (report.status) {
        case settings::SettingsOpenReport::Status::kSetAside:
            return "The settings file " + path + " was damaged and has been moved to " +
                   report.aside_path + ". Settings that could not be read use their defaults";
        case settings::SettingsOpenReport::Status::kDamagedKept:
            return "The settings file " + path + " cannot be read, so the defaults are used. " +
                   "Settings are not saved to this file (" + report.message + ")";
        default:
            return {};
    }
}
// What the user is told about the settings file at start-up; empty when it
// was read or did not exist yet.
inline std::string SettingsOpenNotice(const settings::SettingsOpenReport& report,
                                      const std::string& path) {
    if (platform::UiLanguage() == platform::Language::kEnglish)
        return SettingsOpenNoticeEnglish(report, path);
    switch (report.status) {
        case settings::SettingsOpenReport::Status::kSetAside:
            return "設定ファイル " + path + " が壊れていたため、" + report.aside_path +
                   " に移しました。読み取れなかった設定は既定値を使います";
        case settings::SettingsOpenReport::Status::kDamagedKept:
            return "設定ファイル " + path + " を読み込めないため既定値を使います。" +
                   "このファイルには設定を保存しません（" + report.message + "）";
        default:
            return {};
    }
}

// The fixed texts above in English.
inline const platform::MessageTranslations kEnglish{
    {kNoWrd, "There is no WRD file"},
    {kCannotDeleteOpen, "The file that is open now cannot be deleted"},
    {kRepeatCaptions[0], "Repeat All"},
    {kRepeatCaptions[1], "Repeat One"},
    {kRepeatCaptions[2], "Shuffle"},
    {kRepeatCaptions[3], "No Repeat"},
    {kNextSong, "Next Song"},
    {kPointBBeforeA, "Set point B after point A"},
    {kPrevSong, "Previous Song"},
};

}  // namespace sonfara::session::msg
