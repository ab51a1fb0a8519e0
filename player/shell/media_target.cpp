#include "player/shell/media_target.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdlib>

#include "player/files/file_entry.h"

namespace sonfara::shell {

MediaState SessionMediaTarget::FromSnapshot(const session::SessionSnapshot& s,
                                            const std::string& fullPath) {
    MediaState m;
    m.loaded = s.loaded;
    // Playing from the moment the timer runs (the first tick may be a few ms
    // away); Stop rewinds to the start and holds there: stopped, not paused.
    if (s.loaded && (s.playing || s.stepping) && !s.paused)
        m.status = MediaState::Status::kPlaying;
    else if (s.loaded && s.started && s.paused && s.positionMs > 0)
        m.status = MediaState::Status::kPaused;
    m.positionUs = static_cast<qint64>(s.positionMs) * 1000;
    m.lengthUs = static_cast<qint64>(s.totalMs) * 1000;
    // A song without a title is known to the desktop by its file name.
    m.title = QString::fromStdString(s.title.empty() ? s.fileName : s.title);
    m.filePath = s.loaded ? QFile::decodeName(QByteArray::fromStdString(fullPath)) : QString();
    m.listIndex = s.playListIndex;
    m.listCount = s.playListCount;
    m.rate = s.speedPercent > 0 ? s.speedPercent / 100.0 : 1.0;
    m.repeatMode = s.repeatMode;
    return m;
}

int SessionMediaTarget::SpeedPercentForRate(double rate) {
    const int percent = static_cast<int>(std::lround(rate * 10.0)) * 10;
    return percent < 10 ? 10 : percent;
}

MediaState SessionMediaTarget::State() const {
    MediaState m = FromSnapshot(session_.Snapshot(), session_.Songs().CurrentSource().FullPath);
    // The text is made once per song, not at every change of state.
    const std::shared_ptr<const song::Lyrics> lyrics = session_.Songs().SongLyrics();
    if (lyrics != lyricsOf_) {
        lyricsOf_ = lyrics;
        lyricsText_ = lyrics ? QString::fromStdString(lyrics->Text()) : QString();
    }
    if (m.loaded) m.lyrics = lyricsText_;
    return m;
}

void SessionMediaTarget::PlayPause() {
    Run([](session::PlaybackSession& session) {
        const session::SessionSnapshot s = session.Snapshot();
        if (s.playing && !s.paused)
            session.Transport().Pause();
        else
            session.Transport().Play();
    });
}

void SessionMediaTarget::SetPosition(qint64 positionUs) {
    const auto ms = static_cast<int32_t>(std::min<qint64>(positionUs / 1000, INT32_MAX));
    Run([ms](session::PlaybackSession& s) { s.Transport().SeekTo(ms); });
}

// A path that is not there is answered at once, without a box: the desktop
// that asked shows the failure.
QString SessionMediaTarget::OpenPaths(const QStringList& paths) {
    for (const QString& p : paths) {
        if (!QFileInfo::exists(p))
            return QString::fromStdString(platform::Localized(files::msg::kFileNotFound)) +
                   QStringLiteral(": ") + p;
    }
    return hooks_.open ? hooks_.open(paths) : QString();
}

}  // namespace sonfara::shell
