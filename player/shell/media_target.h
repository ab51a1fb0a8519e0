// The desktop media controls over the playback session: what MPRIS sees is
// the session's snapshot, what it asks becomes session operations. UI thread.
#pragma once

#include <functional>

#include "player/session/session.h"
#include "player/shell/media_control_target.h"

namespace sonfara::shell {

// What the program around the target does for it.
struct MediaTargetHooks {
    // Runs a session operation now, or queued after the operation in
    // progress (a modal dialog is up); the program refreshes its windows after it.
    std::function<void(std::function<void()>)> run = [](std::function<void()> f) { f(); };
    // Opens paths as a hand-off does; the failure's message, "" when none.
    std::function<QString(const QStringList&)> open;
    std::function<void()> raise, quit;
};

class SessionMediaTarget final : public MediaControlTarget {
  public:
    SessionMediaTarget(session::PlaybackSession& session, MediaTargetHooks hooks)
        : session_(session), hooks_(std::move(hooks)) {}

    // The state of a snapshot (public for tests).
    static MediaState FromSnapshot(const session::SessionSnapshot& s, const std::string& fullPath);
    // The speed in percent for a rate: steps of 10 %, 10 % at least.
    static int SpeedPercentForRate(double rate);

    MediaState State() const override;
    void Play() override {
        Run([](session::PlaybackSession& s) { s.Transport().Play(); });
    }
    void Pause() override {
        Run([](session::PlaybackSession& s) { s.Transport().Pause(); });
    }
    void PlayPause() override;
    void Stop() override {
        Run([](session::PlaybackSession& s) { s.Transport().Stop(); });
    }
    void Next() override {
        Run([](session::PlaybackSession& s) { s.Songs().Next(); });
    }
    void Previous() override {
        Run([](session::PlaybackSession& s) { s.Songs().Previous(); });
    }
    void SetPosition(qint64 positionUs) override;
    QString OpenPaths(const QStringList& paths) override;
    void Raise() override { hooks_.raise(); }
    void Quit() override { hooks_.quit(); }
    void SetRate(double rate) override {
        const int percent = SpeedPercentForRate(rate);
        Run([percent](session::PlaybackSession& s) { s.Transport().SetSpeedPercent(percent); });
    }
    void SetRepeatMode(platform::RepeatMode repeatMode) override {
        Run([repeatMode](session::PlaybackSession& s) { s.Transport().SetRepeatMode(repeatMode); });
    }

  private:
    template <typename F>
    void Run(F f) {
        hooks_.run([this, f] { f(session_); });
    }

    session::PlaybackSession& session_;
    MediaTargetHooks hooks_;
    mutable std::shared_ptr<const song::Lyrics> lyricsOf_;
    mutable QString lyricsText_;
};

}  // namespace sonfara::shell
