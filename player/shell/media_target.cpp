#include "player/shell/media_target.h"

#include <QFile>
#include <cmath>
#include <cstdlib>

namespace sonfara::shell {

MediaState SessionMediaTarget::FromSnapshot(const SessionSnapshot& s, const std::string& fullPath) {
    MediaState m;
    m.loaded = s.loaded;
    if (s.loaded && s.started) {
        if (s.paused)
            m.status = MediaState::Status::kPaused;
        else if (s.playing || s.stepping)
            m.status = MediaState::Status::kPlaying;
    }
    m.positionUs = static_cast<qint64>(s.positionMs) * 1000;
    m.lengthUs = static_cast<qint64>(s.totalMs) * 1000;
    // A song without a title is known to the desktop by its file name.
    m.title = QString::fromStdString(s.title.empty() ? s.fileName : s.title);
    m.filePath = s.loaded ? QFile::decodeName(QByteArray::fromStdString(fullPath)) : QString();
    m.listIndex = s.playListIndex;
    m.listCount = s.playListCount;
    m.rate = std::atoi(s.speedLabel.c_str()) / 100.0;  // "90%"
    if (m.rate <= 0) m.rate = 1.0;
    m.repeatMode = s.repeatMode;
    return m;
}

int SessionMediaTarget::SpeedPercentForRate(double rate) {
    const int percent = static_cast<int>(std::lround(rate * 10.0)) * 10;
    return percent < 10 ? 10 : percent;
}

MediaState SessionMediaTarget::State() const {
    return FromSnapshot(session_.Snapshot(), session_.CurrentSource().FullPath);
}

void SessionMediaTarget::PlayPause() {
    const SessionSnapshot s = session_.Snapshot();
    if (s.playing && !s.paused)
        session_.Pause();
    else
        session_.Play();
}

void SessionMediaTarget::SetPosition(qint64 positionUs) {
    session_.SeekTo(static_cast<int32_t>(positionUs / 1000));
}

void SessionMediaTarget::OpenPaths(const QStringList& paths) {
    std::vector<std::string> list;
    for (const QString& p : paths) list.push_back(QFile::encodeName(p).toStdString());
    session_.OpenPaths(list);
}

}  // namespace sonfara::shell
