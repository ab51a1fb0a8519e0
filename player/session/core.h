// What the parts of a playback session share, and the only way they reach
// each other: the player, the settings values, the arrangement and EQ
// catalog, the port names, the observers, the snapshot data and the open's
// last failure text. A part holds the core, never another part's members;
// what one part must tell the others goes out as a SessionPart call.
// Internal to the session: front ends hold PlaybackSession.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "player/files/file_op.h"
#include "player/files/shaping_catalog.h"
#include "player/platform/codepage.h"
#include "player/platform/text_decoding.h"
#include "player/sequencer/player.h"
#include "player/session/env.h"
#include "player/session/observer.h"
#include "player/settings/settings_apply.h"
#include "player/settings/settings_model.h"

namespace sonfara::session {

// What the snapshot reads that the UI thread owns. The core fills what the
// player and the values give; each part fills its own fields.
struct SessionInfo {
    bool loaded = false;
    bool loading = false;
    double loadFraction = 0;
    int32_t totalMs = 0;
    int32_t ticksPerQuarter = 480;
    int32_t beatQuarters = 4;
    std::string fileKind, title, fileName;
    const platform::CodePage* textCodePage =
        &platform::CodePageNamed(platform::CodePage::kDefaultName);  // the song's texts
    int listCount = 0, listIndex = 0;
    platform::RepeatMode repeatMode = platform::RepeatMode::kList;
    int transpose = 0;
    int soloChannel = -1;
    bool stepping = false;
    int32_t stepTarget = 0;
    song::LoopPoints loop;
    int loopCount = 0;
    int32_t loopedTotalMs = 0;
};

// What the core tells every part, in the order the parts were made. UI
// thread unless said; each part overrides what concerns it. Parts derive
// privately, so front ends never see these.
class SessionPart {
  public:
    // Its fields of the snapshot data (every refresh).
    virtual void FillInfo(SessionInfo& info) const {}
    // Any thread: its fields of a snapshot that are read live.
    virtual void ReadLive(SessionSnapshot& s) const {}
    // The values changed (Settings().Edit, after the player took them).
    virtual void ValuesChanged(const settings::SettingsValues& before,
                               const settings::SettingsValues& now) {}
    // The open pipeline loaded the song at `path` (its WRD script is next
    // to it), or dropped the song's display for the next one.
    virtual void SongLoaded(const std::string& path) {}
    virtual void SongUnloaded() {}
    // The empty song display (no song, no position).
    virtual void SongCleared() {}
    // Shutdown, after the timer stopped and before the settings are saved.
    virtual void ShutDown() {}

  protected:
    SessionPart() = default;
    ~SessionPart() = default;
    SessionPart(const SessionPart&) = delete;
    SessionPart& operator=(const SessionPart&) = delete;
};

class SessionCore final : private sequencer::PlayerObserver,
                          private sequencer::OutputObserver,
                          private song::LoadObserver {
  public:
    explicit SessionCore(SessionEnv env);
    ~SessionCore() override;
    SessionCore(const SessionCore&) = delete;
    SessionCore& operator=(const SessionCore&) = delete;

    const SessionEnv& Env() const { return env_; }
    sequencer::Player& GetPlayer() { return player_; }
    const sequencer::Player& GetPlayer() const { return player_; }
    bool SongLoaded() const { return player_.Song().Loaded; }
    settings::SettingsValues& Values() { return values_; }
    const settings::SettingsValues& Values() const { return values_; }
    files::ShapingCatalog& Catalog() { return catalog_; }
    const files::ShapingCatalog& Catalog() const { return catalog_; }
    const std::vector<std::string>& PortNames() const { return portNames_; }
    // The sound shaping again from the values and the catalog.
    void ApplyShaping();
    static files::ShapingCatalog LoadCatalog(const files::ShapingFolders& folders);

    // The last failure text of an open (port, load, timer) or a port change.
    const std::string& LastError() const { return lastError_; }
    void SetLastError(std::string text) { lastError_ = std::move(text); }

    // The file pipeline (play list, recent list, current song): the songs
    // part owns and runs it, the lists part edits its lists.
    void SetFiles(files::FileOp& files) { files_ = &files; }
    files::FileOp& Files() { return *files_; }
    const files::FileOp& Files() const { return *files_; }
    // The one path by which values change (the settings part).
    void SetEditor(settings::SettingsEditor& editor) { editor_ = &editor; }
    settings::SettingsEditor& Editor() { return *editor_; }

    // Parts register themselves as they are made.
    void AddPart(SessionPart& part) { parts_.push_back(&part); }
    void ValuesChanged(const settings::SettingsValues& before, const settings::SettingsValues& now);
    void SongLoadedAt(const std::string& path);
    void SongUnloaded();
    void SongCleared();

    // A song opened or failed where the player does not tell it (the
    // pipeline's own opens); the same report as the player's.
    void ReportSongOpened(int index, bool ok) { OnSongOpened(index, ok); }

    // Publishes OnStateChanged when the outermost operation returns.
    class StateChange {
      public:
        explicit StateChange(SessionCore& c) : c_(c) { ++c_.stateDepth_; }
        ~StateChange();
        StateChange(const StateChange&) = delete;
        StateChange& operator=(const StateChange&) = delete;

      private:
        SessionCore& c_;
    };

    // Runs `hook` on every UI-thread observer still registered when its turn comes.
    void ForEachObserver(const std::function<void(SessionObserver*)>& hook);
    // The snapshot data again from the player, the values and the parts.
    void RefreshInfo();

    // Any thread.
    SessionSnapshot Snapshot() const;
    void AddObserver(SessionObserver* o);
    void RemoveObserver(SessionObserver* o);

    void Shutdown();
    void Suspend();

  private:
    class GuardedUi final : public sequencer::UiScheduler {
      public:
        GuardedUi(sequencer::UiScheduler& ui, std::shared_ptr<std::atomic<bool>> alive)
            : ui_(ui), alive_(std::move(alive)) {}
        void Post(std::function<void()> action) override;

      private:
        sequencer::UiScheduler& ui_;
        std::shared_ptr<std::atomic<bool>> alive_;
    };

    // PlayerObserver
    void OnSongOpened(int index, bool ok) override;
    void OnStoppedAtEnd() override;
    bool AllowAutoOpen(int index) override;
    // OutputObserver (timer thread)
    void OnModuleIndicator() override;
    void OnDotPicture() override;
    void OnClearMeters() override;
    void OnNotesDropped(const std::string& text) override;
    // LoadObserver
    void OnLoadNotice(const std::string& noticeBytes) override;

    template <typename F>
    void ForEachObserverLocked(F hook);
    void ReadLoops(const SessionInfo& i, SessionSnapshot& s) const;
    void ReadDisplayText(const std::string& bytes, const platform::CodePage& song,
                         SessionSnapshot& s) const;
    static bool ReadStoredTextEncoding(const SessionEnv& env);
    void ApplyTextEncoding();
    void SaveStoredSettings();

    SessionEnv env_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    GuardedUi ui_{env_.ui, alive_};
    // The stored encoding setting, in effect before the arrangement files
    // are read.
    [[maybe_unused]] bool textEncodingRead_ = ReadStoredTextEncoding(env_);
    files::ShapingCatalog catalog_;
    std::vector<std::string> portNames_;
    settings::SettingsValues values_;
    sequencer::Player player_;
    files::FileOp* files_ = nullptr;
    settings::SettingsEditor* editor_ = nullptr;
    std::vector<SessionPart*> parts_;
    std::string lastError_;

    // observersMu_ guards the list and is held around timer-thread hooks;
    // uiHooksMu_ is held around UI-thread hooks (recursive: a hook may call
    // the session again). RemoveObserver takes both, so it returns only
    // when no hook runs on the observer. The timer thread never takes
    // uiHooksMu_, so a UI hook may kill the timer.
    mutable std::mutex observersMu_;
    std::recursive_mutex uiHooksMu_;
    std::vector<SessionObserver*> observers_;

    mutable std::mutex infoMu_;
    SessionInfo info_;

    int stateDepth_ = 0;
    bool shutDown_ = false;
    bool saveFailureTold_ = false;
};

}  // namespace sonfara::session
