#include "player/shell/mpris_service.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMetaObject>
#include <QStringList>
#include <QUrl>
#include <algorithm>

namespace sonfara::shell {
namespace {

constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

QString StatusText(MediaState::Status status) {
    switch (status) {
        case MediaState::Status::kPlaying:
            return QStringLiteral("Playing");
        case MediaState::Status::kPaused:
            return QStringLiteral("Paused");
        case MediaState::Status::kStopped:
            break;
    }
    return QStringLiteral("Stopped");
}

}  // namespace

// org.mpris.MediaPlayer2: identity, raise and quit.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool Fullscreen READ Fullscreen)
    Q_PROPERTY(bool CanSetFullscreen READ CanSetFullscreen)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

  public:
    explicit MprisRootAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool Fullscreen() const { return false; }
    bool CanSetFullscreen() const { return false; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Sonfara"); }
    QString DesktopEntry() const { return QStringLiteral("sonfara"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const {
        return {QStringLiteral("audio/midi"), QStringLiteral("audio/x-midi")};
    }

  public slots:
    void Raise() { service_->Target().Raise(); }
    // After the reply has gone out: the exit stops the event loop.
    void Quit() {
        QMetaObject::invokeMethod(
            service_, [s = service_] { s->Target().Quit(); }, Qt::QueuedConnection);
    }

  private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: transport, position, rate, repeat.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ MinimumRate)
    Q_PROPERTY(double MaximumRate READ MaximumRate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

  public:
    explicit MprisPlayerAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}

    MediaState State() const { return service_->Target().State(); }
    QString PlaybackStatus() const { return StatusText(State().status); }
    QString LoopStatus() const { return LoopShuffleFromRepeatMode(State().repeatMode).loopStatus; }
    bool Shuffle() const { return LoopShuffleFromRepeatMode(State().repeatMode).shuffle; }
    double Rate() const { return State().rate; }
    QVariantMap Metadata() const { return MprisService::Metadata(State()); }
    // The player has no master volume of its own.
    double Volume() const { return 1.0; }
    void SetVolume(double) {}
    qlonglong Position() const { return State().positionUs; }
    double MinimumRate() const { return MprisService::kMinimumRate; }
    double MaximumRate() const { return MprisService::kMaximumRate; }
    bool CanGoNext() const { return MprisService::CanChangeTrack(State()); }
    bool CanGoPrevious() const { return MprisService::CanChangeTrack(State()); }
    bool CanPlay() const { return State().loaded; }
    bool CanPause() const { return State().loaded; }
    bool CanSeek() const { return State().loaded; }
    bool CanControl() const { return true; }

    void SetLoopStatus(const QString& status) {
        const std::optional<platform::RepeatMode> mode =
            RepeatModeFromLoopStatus(status, State().repeatMode);
        if (!mode) return;  // unknown status: ignored, as out-of-range rates are
        Command([m = *mode](MediaControlTarget& t) { t.SetRepeatMode(m); });
    }
    void SetShuffle(bool shuffle) {
        const platform::RepeatMode mode = RepeatModeFromShuffle(shuffle, State().repeatMode);
        Command([mode](MediaControlTarget& t) { t.SetRepeatMode(mode); });
    }
    // Out-of-range rates are ignored, as clients expect.
    void SetRate(double rate) {
        if (!(rate >= MprisService::kMinimumRate && rate <= MprisService::kMaximumRate)) return;
        Command([rate](MediaControlTarget& t) { t.SetRate(rate); });
    }

  public slots:
    void Play() {
        Command([](MediaControlTarget& t) { t.Play(); });
    }
    void Pause() {
        Command([](MediaControlTarget& t) { t.Pause(); });
    }
    void PlayPause() {
        Command([](MediaControlTarget& t) { t.PlayPause(); });
    }
    void Stop() {
        Command([](MediaControlTarget& t) { t.Stop(); });
    }
    void Next() {
        Command([](MediaControlTarget& t) { t.Next(); });
    }
    void Previous() {
        Command([](MediaControlTarget& t) { t.Previous(); });
    }

    // Past the end counts as Next; before the start seeks to 0. Any offset
    // a client sends, up to INT64_MAX, is taken without overflow.
    void Seek(qlonglong offsetUs) {
        const MediaState s = State();
        if (!s.loaded) return;
        const qint64 room = s.lengthUs - s.positionUs;
        if (offsetUs > room) {
            Next();
            return;
        }
        const qint64 target = offsetUs < -s.positionUs ? 0 : s.positionUs + offsetUs;
        Command([target](MediaControlTarget& t) { t.SetPosition(target); });
        service_->AnnounceSeek();
    }
    // Only for the current track and a position inside it.
    void SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs) {
        const MediaState s = State();
        if (!s.loaded || trackId.path() != MprisService::TrackId(s) || positionUs < 0 ||
            positionUs > s.lengthUs) {
            return;
        }
        Command([positionUs](MediaControlTarget& t) { t.SetPosition(positionUs); });
        service_->AnnounceSeek();
    }
    // Answered at once: an error with the player's message when the file
    // cannot be opened.
    void OpenUri(const QString& uri) {
        const QUrl url(uri);
        if (!url.isLocalFile()) {
            service_->ReplyError(QDBusError::NotSupported,
                                 QStringLiteral("only file URIs are supported"));
            return;
        }
        const QString path = url.toLocalFile();
        // "%00" would cut the path short at the file system.
        if (path.contains(QChar(u'\0')) || path.isEmpty()) {
            service_->ReplyError(QDBusError::InvalidArgs,
                                 QStringLiteral("not a file path: %1").arg(uri));
            return;
        }
        const QString failure = service_->Target().OpenPaths({path});
        service_->Refresh();
        if (!failure.isEmpty()) service_->ReplyError(QDBusError::Failed, failure);
    }

  signals:
    void Seeked(qlonglong positionUs);

  private:
    template <typename F>
    void Command(F&& f) {
        f(service_->Target());
        service_->Refresh();
    }

    MprisService* service_;
};

MprisService::MprisService(MediaControlTarget& target, QDBusConnection bus, QObject* parent)
    : QObject(parent), target_(target), bus_(std::move(bus)) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
    if (!registered_) return;
    bus_.unregisterObject(QString::fromLatin1(kObjectPath));
    bus_.unregisterService(serviceName_);
}

bool MprisService::Register() {
    if (!bus_.isConnected()) return false;
    if (!bus_.registerObject(QString::fromLatin1(kObjectPath), this,
                             QDBusConnection::ExportAdaptors)) {
        return false;
    }
    serviceName_ = QString::fromLatin1(kServiceName);
    if (!bus_.registerService(serviceName_)) {
        serviceName_ += QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus_.registerService(serviceName_)) {
            bus_.unregisterObject(QString::fromLatin1(kObjectPath));
            serviceName_.clear();
            return false;
        }
    }
    registered_ = true;
    last_ = target_.State();
    published_ = PlayerProperties(last_);
    return true;
}

QString MprisService::TrackId(const MediaState& state) {
    if (!state.loaded) return QString::fromLatin1(kNoTrack);
    return QStringLiteral("/org/sonfara/track/%1").arg(state.listIndex);
}

QVariantMap MprisService::Metadata(const MediaState& state) {
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(TrackId(state))));
    if (!state.loaded) return m;
    m.insert(QStringLiteral("mpris:length"), qlonglong(state.lengthUs));
    m.insert(QStringLiteral("xesam:title"), state.title);
    if (!state.filePath.isEmpty()) {
        m.insert(QStringLiteral("xesam:url"),
                 QUrl::fromLocalFile(state.filePath).toString(QUrl::FullyEncoded));
    }
    if (!state.lyrics.isEmpty()) m.insert(QStringLiteral("xesam:asText"), state.lyrics);
    return m;
}

QVariantMap MprisService::PlayerProperties(const MediaState& state) {
    const LoopShuffle loop = LoopShuffleFromRepeatMode(state.repeatMode);
    return {
        {QStringLiteral("PlaybackStatus"), StatusText(state.status)},
        {QStringLiteral("Metadata"), Metadata(state)},
        {QStringLiteral("Rate"), state.rate},
        {QStringLiteral("LoopStatus"), loop.loopStatus},
        {QStringLiteral("Shuffle"), loop.shuffle},
        {QStringLiteral("CanGoNext"), CanChangeTrack(state)},
        {QStringLiteral("CanGoPrevious"), CanChangeTrack(state)},
        {QStringLiteral("CanPlay"), state.loaded},
        {QStringLiteral("CanPause"), state.loaded},
        {QStringLiteral("CanSeek"), state.loaded},
    };
}

void MprisService::Refresh() {
    if (!registered_) return;
    const MediaState now = target_.State();
    if (now == last_) return;
    last_ = now;
    const QVariantMap properties = PlayerProperties(now);
    QVariantMap changed;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        if (published_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    }
    published_ = properties;
    if (changed.isEmpty()) return;  // only the position moved: not signalled
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    bus_.send(signal);
}

void MprisService::AnnounceSeek() {
    if (!registered_) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                   QString::fromLatin1(kPlayerInterface), QStringLiteral("Seeked"));
    signal << qlonglong(target_.State().positionUs);
    bus_.send(signal);
}

}  // namespace sonfara::shell

#include "mpris_service.moc"
