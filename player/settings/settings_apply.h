// Applying the settings dialog: what it edits and how its values reach the
// program. No Qt; the dialog and the playback session meet here.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "player/platform/file_types.h"
#include "player/settings/settings_model.h"

namespace sonfara::settings {

// The settings in effect and the one way to change them. The playback
// session implements it; whoever follows a setting (the tray, the timers,
// the process priority) hears of the change from the session. UI thread.
class SettingsEditor {
  public:
    virtual ~SettingsEditor() = default;
    virtual const SettingsValues& Values() const = 0;
    // Changes the values and applies what changed.
    virtual void Edit(const std::function<void(SettingsValues&)>& change) = 0;
};

// The dialog's apply: the associations of `selected` are written through
// `shell` (the previous owner of a taken extension is remembered in
// Executable, and given back when it is deselected), then the dialog's
// fields of `edited` (OSRetrun, ThreadMode, TaskType, the three timers, the
// options and the emulation) and the Executable texts go in one edit.
void ApplyDialogSettings(SettingsEditor& editor, platform::ShellIntegration& shell,
                         const SettingsValues& edited,
                         const std::array<bool, platform::kAssociableCount>& selected);

// The value of a timer text: whole decimal text (blanks around allowed)
// within the key's range; false otherwise.
bool ParseTimerText(const std::string& text, SettingRange range, int32_t& out);

}  // namespace sonfara::settings
