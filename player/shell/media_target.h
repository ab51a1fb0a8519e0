// The desktop media controls over the playback session: what MPRIS sees is
// the session's snapshot, what it asks becomes session operations. UI thread.
#pragma once

#include <functional>

#include "player/session/session.h"
#include "player/shell/media_control_target.h"

namespace sonfara::shell {

class SessionMediaTarget final : public MediaControlTarget {
  public:
    // raise shows the windows; quit closes as the exit menu entry does.
    SessionMediaTarget(PlaybackSession& session, std::function<void()> raise,
                       std::function<void()> quit)
        : session_(session), raise_(std::move(raise)), quit_(std::move(quit)) {}

    // The state of a snapshot (public for tests).
    static MediaState FromSnapshot(const SessionSnapshot& s, const std::string& fullPath);
    // The speed in percent for a rate: steps of 10 %, 10 % at least.
    static int SpeedPercentForRate(double rate);

    MediaState State() const override;
    void Play() override { session_.Play(); }
    void Pause() override { session_.Pause(); }
    void PlayPause() override;
    void Stop() override { session_.Stop(); }
    void Next() override { session_.Next(); }
    void Previous() override { session_.Previous(); }
    void SetPosition(qint64 positionUs) override;
    void OpenPaths(const QStringList& paths) override;
    void Raise() override { raise_(); }
    void Quit() override { quit_(); }
    void SetRate(double rate) override { session_.SetSpeedPercent(SpeedPercentForRate(rate)); }
    void SetRepeatMode(int repeatMode) override { session_.SetRepeatMode(repeatMode); }

  private:
    PlaybackSession& session_;
    std::function<void()> raise_, quit_;
};

}  // namespace sonfara::shell
