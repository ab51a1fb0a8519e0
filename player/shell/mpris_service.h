// The player on the session bus as an MPRIS 2 media player, so media keys,
// desktop media widgets and playerctl control it. It reads and commands the
// player only through a MediaControlTarget. Used on the UI thread only.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "player/shell/media_control_target.h"

namespace sonfara::shell {

// The D-Bus context of a call arrives on this object, not on its adaptors.
class MprisService : public QObject, protected QDBusContext {
    Q_OBJECT
  public:
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.sonfara";
    static constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
    static constexpr double kMinimumRate = 0.1;
    static constexpr double kMaximumRate = 10.0;

    // The target must outlive the service.
    MprisService(MediaControlTarget& target, QDBusConnection bus, QObject* parent = nullptr);
    ~MprisService() override;

    // Publishes the object and takes the bus name (a second player on the
    // same bus takes "…sonfara.instance<pid>"). False without a usable bus;
    // the player then simply runs without it.
    bool Register();
    const QString& ServiceName() const { return serviceName_; }

    // Compares the player's state with the last one published and signals
    // the properties that changed. Called by the player's periodic timer
    // and after every command.
    void Refresh();
    // Tells clients that the position jumped (after a seek).
    void AnnounceSeek();

    MediaControlTarget& Target() { return target_; }
    // Answers the D-Bus call being handled with an error.
    void ReplyError(QDBusError::ErrorType type, const QString& text) {
        if (calledFromDBus()) sendErrorReply(type, text);
    }

    // The signalled properties of the Player interface for a state.
    static QVariantMap PlayerProperties(const MediaState& state);
    static QVariantMap Metadata(const MediaState& state);
    static QString TrackId(const MediaState& state);
    // Next and Previous change the song only with a second entry.
    static bool CanChangeTrack(const MediaState& state) { return state.listCount > 1; }

  private:
    MediaControlTarget& target_;
    QDBusConnection bus_;
    QString serviceName_;
    MediaState last_;
    QVariantMap published_;
    bool registered_ = false;
};

}  // namespace sonfara::shell
