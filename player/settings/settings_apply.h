// Applying the settings dialog: the steps, their order, and the values the
// dialog offers. No Qt; the dialog and the playback session meet here.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "player/platform/file_types.h"
#include "player/settings/settings_model.h"

namespace sonfara {

class ProcessPriority;

// What a confirmed settings dialog changes. The playback session implements
// it over the running player; each step takes only its own fields. Called
// on the UI thread, in the order ApplySettingsInOrder gives.
class SettingsApplier {
  public:
    virtual ~SettingsApplier() = default;
    // The settings in effect (what the dialog shows when it opens).
    virtual const SettingsValues& Values() const = 0;

    virtual void ApplyOsReturn(int32_t osReturn) = 0;
    // The process priority changes at once.
    virtual void ApplyThreadMode(int32_t threadMode) = 0;
    // From 1 to 0 or 2 the tray icon is added; from 0 or 2 to 1 removed.
    virtual void ApplyTaskType(int32_t taskType) = 0;
    // The sequencer's timer is restarted with the new MTimer when a song has
    // been started and is not paused; the draw and WRD timers take GTimer and
    // MWRDTimer.
    virtual void ApplyTimers(int32_t mTimer, int32_t gTimer, int32_t wrdTimer) = 0;
    // SSTP, ShowWRD, EasyDeltaTime, AlwaysMove, MIDIEmulate, MIDIEmuGSCFG,
    // MIDIEmuXGCFG, SMFKBank, SMFKRythm of `v`.
    virtual void ApplyOptions(const SettingsValues& v) = 0;
    // The Executable texts after the associations were written.
    virtual void ApplyExecutables(const std::array<std::string, kAssociableCount>& executable) = 0;
};

// Keeps the values and sets the process priority: the part of applying that
// needs no running player. The session derives from it and adds the rest.
class StoredSettingsApplier : public SettingsApplier {
  public:
    StoredSettingsApplier(SettingsValues values, ProcessPriority* priority)
        : values_(std::move(values)), priority_(priority) {}
    const SettingsValues& Values() const override { return values_; }
    void ApplyOsReturn(int32_t osReturn) override { values_.OSRetrun = osReturn; }
    void ApplyThreadMode(int32_t threadMode) override;
    void ApplyTaskType(int32_t taskType) override { values_.TaskType = taskType; }
    void ApplyTimers(int32_t mTimer, int32_t gTimer, int32_t wrdTimer) override;
    void ApplyOptions(const SettingsValues& v) override;
    void ApplyExecutables(const std::array<std::string, kAssociableCount>& executable) override {
        values_.Executable = executable;
    }

  protected:
    SettingsValues values_;
    ProcessPriority* priority_;
};

// Applies `edited` in the dialog's order: OSRetrun, ThreadMode, TaskType,
// the three timers, the options, then the associations of `selected`
// through `shell` (the previous owner of a taken extension is remembered in
// Executable, and given back when it is deselected).
void ApplySettingsInOrder(SettingsApplier& applier, ShellIntegration& shell,
                          const SettingsValues& edited,
                          const std::array<bool, kAssociableCount>& selected);

// The timer texts the dialog accepts (ms, inclusive).
struct TimerRange {
    int32_t min;
    int32_t max;
};
inline constexpr TimerRange kMTimerRange{1, 100};
inline constexpr TimerRange kGTimerRange{10, 1000};
inline constexpr TimerRange kWrdTimerRange{10, 1000};

// The value of a timer text: whole decimal text (blanks around allowed)
// within the range; false otherwise.
bool ParseTimerText(const std::string& text, TimerRange range, int32_t& out);

}  // namespace sonfara
