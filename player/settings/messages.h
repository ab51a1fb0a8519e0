// Failures of the settings store and their texts.
#pragma once

#include <string>

#include "player/platform/language.h"
#include "player/platform/result.h"

namespace sonfara::settings {

namespace msg {
inline constexpr const char* kSaveFailed = "設定を保存できませんでした: ";
inline const platform::MessageTranslations kEnglish{
    {kSaveFailed, "Could not save the settings: "},
};
}  // namespace msg

// Why the settings could not be written (the previous copy is still
// intact), or why a settings file read was damaged.
enum class SettingsError {
    kNone = 0,
    kDamagedKept,   // detail: the damaged file, which is never written over
    kCannotWrite,   // detail: what the system said
    kRegistry,      // some values did not reach the registry
    kDamagedLines,  // detail: the first bad line and how many more there are
};

inline std::string MessageFor(SettingsError code, const std::string& detail) {
    switch (code) {
        case SettingsError::kDamagedKept:
            return settings::msg::kSaveFailed +
                   ("the damaged settings file " + detail + " is left as it is");
        case SettingsError::kDamagedLines:
            return "damaged settings file (" + detail + "); its other lines are used";
        case SettingsError::kRegistry:
            return settings::msg::kSaveFailed +
                   std::string("some settings could not be written to the registry");
        default:
            return settings::msg::kSaveFailed + detail;
    }
}

using SettingsStatus = platform::Status<SettingsError>;

}  // namespace sonfara::settings
