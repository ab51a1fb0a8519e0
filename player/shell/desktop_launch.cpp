#include "player/shell/desktop_launch.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <vector>

#include "player/platform/user_files.h"

namespace sonfara::shell::launch {
namespace {

// Set by the build (SONFARA_HOME_PAGE); empty until the product has one.
constexpr const char* kHomePage = SONFARA_HOME_PAGE;
// How long the desktop's answer for the text handler is waited for.
constexpr int kMimeQueryMs = 2000;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Starts the first installed program of the list; nothing when none starts.
struct Launch {
    const char* program;
    QStringList args;
};
void LaunchFirst(const std::vector<Launch>& candidates) {
    for (const Launch& c : candidates) {
        const QString exe = QStandardPaths::findExecutable(QString::fromLatin1(c.program));
        if (!exe.isEmpty() && QProcess::startDetached(exe, c.args)) return;
    }
}

// The desktop entry of the handler for plain text; empty when none is set.
QString TextEditorEntry() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    QString desktopId;
    if (query.waitForFinished(kMimeQueryMs))
        desktopId = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    return desktopId.isEmpty()
               ? QString()
               : QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopId);
}

}  // namespace

void OpenArchive(const files::SongSource& song) {
    if (song.ArchivePath.empty()) return;
    QString archive = Q(song.ArchivePath);
    const QString suffix = QFileInfo(archive).suffix().toLower();
    if (suffix == "lmd" || suffix == "zmd") {
        const QString copy = QFileInfo(Q(song.FullPath)).absolutePath() + "/" +
                             QFileInfo(archive).completeBaseName() +
                             (suffix == "lmd" ? ".lzh" : ".zip");
        QFile::remove(copy);
        if (!QFile::copy(archive, copy)) return;
        archive = copy;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(archive));
}

void OpenSongFolder(const files::SongSource& song) {
    const std::string& file = song.ArchivePath.empty() ? song.FullPath : song.ArchivePath;
    if (file.empty()) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(Q(file)).absolutePath()));
}

void OpenInTextEditor(const std::string& document) {
    if (document.empty()) return;
    const QString entry = TextEditorEntry();
    if (!entry.isEmpty() && QProcess::startDetached(QStringLiteral("gio"),
                                                    {QStringLiteral("launch"), entry, Q(document)}))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(document)));
}

void OpenSoundSettings() {
    LaunchFirst({{"gnome-control-center", {QStringLiteral("sound")}},
                 {"systemsettings", {QStringLiteral("kcm_pulseaudio")}},
                 {"pavucontrol", {}},
                 {"pavucontrol-qt", {}}});
}

void OpenVolumeControl() {
    LaunchFirst({{"pavucontrol", {}},
                 {"pavucontrol-qt", {}},
                 {"gnome-control-center", {QStringLiteral("sound")}}});
}

void OpenHelp() {
    const std::string page = platform::JoinPath(
        platform::ShippedDataFolder(platform::ProgramFolder()), "help/index.htm");
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(page.c_str())));
}

bool HasHomePage() {
    return kHomePage[0] != '\0';
}

void OpenHomePage() {
    if (HasHomePage()) QDesktopServices::openUrl(QUrl(QString::fromUtf8(kHomePage)));
}

}  // namespace sonfara::shell::launch
