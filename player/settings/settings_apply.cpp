#include "player/settings/settings_apply.h"

namespace sonfara::settings {

void ApplyDialogSettings(SettingsEditor& editor, platform::ShellIntegration& shell,
                         const SettingsValues& edited,
                         const std::array<bool, platform::kAssociableCount>& selected) {
    std::array<std::string, platform::kAssociableCount> executable = editor.Values().launchPrograms;
    platform::ApplyAssociations(shell, selected, executable);
    editor.Edit([&](SettingsValues& v) {
        v.osReturn = edited.osReturn;
        v.threadMode = edited.threadMode;
        v.taskType = edited.taskType;
        v.mainTimerMs = edited.mainTimerMs;
        v.graphicsTimerMs = edited.graphicsTimerMs;
        v.wrdTimerMs = edited.wrdTimerMs;
        v.sstpNotices = edited.sstpNotices;
        v.showWrd = edited.showWrd;
        v.easyDeltaTime = edited.easyDeltaTime;
        v.synthBufferFrames = edited.synthBufferFrames;
        v.stayResidentOnClose = edited.stayResidentOnClose;
        v.language = edited.language;
        v.textEncoding = edited.textEncoding;
        v.moduleEmulation = edited.moduleEmulation;
        v.launchPrograms = executable;
    });
}

bool ParseTimerText(const std::string& text, SettingRange range, int32_t& out) {
    int32_t v = 0;
    if (!ParseNumberText(text, v) || !range.Contains(v)) return false;
    out = v;
    return true;
}

}  // namespace sonfara::settings
