#include "player/shell/dialog_host.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include "player/dialogs/export_dialog.h"
#include "player/dialogs/library_window.h"
#include "player/dialogs/list_dialog.h"
#include "player/dialogs/lyrics_window.h"
#include "player/dialogs/settings_dialog.h"
#include "player/dialogs/version_window.h"
#include "player/dialogs/wrd_window.h"
#include "player/files/favorites.h"
#include "player/library/library_store.h"
#include "player/platform/file_types.h"
#include "player/session/session.h"
#include "player/shell/qt_platform.h"

namespace sonfara::shell {
namespace {

// WRDProc drives the session's presentation.
class SessionWrdSource final : public wrd::WrdFrameSource {
  public:
    explicit SessionWrdSource(session::PlaybackSession& session) : session_(session) {}
    void Tick() override { session_.Presentation().WrdTick(); }
    void PresentFrame() override { session_.Presentation().PresentWrdFrame(); }
    bool RepaintExternal(wrd::WrdPaintTarget& target) override {
        return session_.Presentation().RepaintExternalWrd(&target);
    }

  private:
    session::PlaybackSession& session_;
};

// The list dialog's two modes over the session: its favourites (entries
// are 1-based, the session's 0-based) and its play list.
class SessionListModel final : public dialogs::ListDialogModel {
  public:
    SessionListModel(session::PlaybackSession& session, dialogs::ListMode mode)
        : session_(session), mode_(mode) {}
    dialogs::ListMode Mode() const override { return mode_; }
    std::vector<std::string> Rows() const override {
        std::vector<std::string> rows;
        if (mode_ == dialogs::ListMode::kFavorites) {
            for (const files::FavoriteEntry& f : session_.Lists().Favorites())
                rows.push_back(f.Title);
        } else {
            for (const files::FileEntry& e : session_.Lists().List().Entries())
                rows.push_back(e.FileName);
        }
        return rows;
    }
    // The session reports its own failures.
    files::FileStatus RenameFavorite(int entry, const std::string& title) override {
        if (session_.Lists().RenameFavorite(entry - 1, title)) return {};
        return files::FileError::kReported;
    }
    files::FileStatus DeleteFavorite(int entry) override {
        if (session_.Lists().DeleteFavorite(entry - 1)) return {};
        return files::FileError::kReported;
    }
    int PlayingEntry() const override { return session_.Lists().List().Index(); }
    bool PlayEntry(int entry) override {
        session_.Lists().FileListClick(entry - 1);
        return session_.Lists().List().Index() == entry;
    }
    // The dialog has refused the playing entry, the one the session keeps.
    void RemoveEntry(int entry) override { (void)session_.Lists().RemoveEntry(entry); }

  private:
    session::PlaybackSession& session_;
    dialogs::ListMode mode_;
};

}  // namespace

DialogHost::DialogHost(platform::SfrLibBinding& lib, const AppPlatform& platform,
                       RequestQueue& requests, MessageBoxNotifier& notifier)
    : lib_(lib), platform_(platform), requests_(requests), notifier_(notifier) {}

DialogHost::~DialogHost() = default;

wrd::WrdWindowWidget& DialogHost::MakeWrdWindow() {
    wrdWindow_ = std::make_unique<wrd::WrdWindowWidget>();
    return *wrdWindow_;
}

void DialogHost::AttachSession(session::PlaybackSession& session) {
    session_ = &session;
    lyricsWindow_ = std::make_unique<dialogs::LyricsWindow>();
    libraryWindow_ = std::make_unique<dialogs::LibraryWindow>(library::DefaultLibraryPath());
    dialogs::LibraryWindow* lib = libraryWindow_.get();
    QObject::connect(lib, &dialogs::LibraryWindow::playRequested, lib,
                     [&session](const files::FileEntry& e) {
                         session.Songs().OpenEntries({e}, session::OpenMode::kReplace);
                     });
    QObject::connect(lib, &dialogs::LibraryWindow::appendRequested, lib,
                     [&session](const files::FileEntry& e) {
                         session.Songs().OpenEntries({e}, session::OpenMode::kAppend);
                     });
    // The song's own title; the favourite plays its file (a whole archive).
    QObject::connect(lib, &dialogs::LibraryWindow::favoriteRequested, lib,
                     [&session](const QString& path, const QString& title) {
                         const std::string t = title.toStdString();
                         (void)session.Lists().FinishAddFavorite(t, {path.toStdString(), t, {}});
                     });
    wrdSource_ = std::make_unique<SessionWrdSource>(session);
    wrdWindow_->SetFrameSource(wrdSource_.get());
    wrdWindow_->SetInterval(session.Settings().Values().wrdTimerMs);
}

void DialogHost::SetOwner(QWidget& owner) {
    owner_ = &owner;
}

void DialogHost::ShowSettings() {
    if (!settingsDialog_) {
        settingsDialog_ = std::make_unique<dialogs::SettingsDialog>(
            session_->Settings(), platform::PlatformShell(), lib_, dialogs::DefaultShortcutPlaces(),
            platform_.prompts);
    }
    settingsDialog_->Refill();
    RequestQueue::Hold hold(requests_);
    settingsDialog_->exec();  // an apply reaches the menus through OnStateChanged
}

void DialogHost::ShowVersion() {
    dialogs::VersionWindow window(dialogs::CollectVersions(lib_), owner_);
    RequestQueue::Hold hold(requests_);
    window.exec();
}

void DialogHost::ShowListEditor(dialogs::ListMode list) {
    SessionListModel model(*session_, list);
    dialogs::ListDialog dialog(model, platform_.prompts, owner_);
    RequestQueue::Hold hold(requests_);
    dialog.exec();
}

bool DialogHost::ShowWrdWindow() {
    if (!session_->Snapshot().wrdActive) return false;
    wrdWindow_->showNormal();
    wrdWindow_->raise();
    wrdWindow_->activateWindow();
    return true;
}

void DialogHost::ShowLyricsWindow() {
    lyricsWindow_->SetLyrics(session_->Songs().SongLyrics());
    lyricsWindow_->show();
    lyricsWindow_->raise();
    lyricsWindow_->activateWindow();
}

void DialogHost::ShowLibraryWindow() {
    libraryWindow_->show();
    libraryWindow_->raise();
    libraryWindow_->activateWindow();
}

namespace {
constexpr int kTwipsPerPixel = 15;
}

void DialogHost::RestoreLyricsWindow(const settings::SettingsValues& v) {
    if (v.lyricsWidth > 0 && v.lyricsHeight > 0) {
        lyricsWindow_->resize(v.lyricsWidth / kTwipsPerPixel, v.lyricsHeight / kTwipsPerPixel);
        lyricsWindow_->move(v.lyricsLeft / kTwipsPerPixel, v.lyricsTop / kTwipsPerPixel);
    }
    if (v.lyricsShown) ShowLyricsWindow();
    if (v.libraryWidth > 0 && v.libraryHeight > 0) {
        libraryWindow_->resize(v.libraryWidth / kTwipsPerPixel, v.libraryHeight / kTwipsPerPixel);
        libraryWindow_->move(v.libraryLeft / kTwipsPerPixel, v.libraryTop / kTwipsPerPixel);
    }
    libraryWindow_->SetColumnWidths(v.libraryColumns);
    if (v.libraryShown) ShowLibraryWindow();
}

// The normal frame, also when it is full screen at the exit.
void DialogHost::SaveLyricsWindow(settings::SettingsValues& v) const {
    const QRect r = lyricsWindow_->isFullScreen() ? lyricsWindow_->normalGeometry()
                                                  : lyricsWindow_->frameGeometry();
    v.lyricsShown = lyricsWindow_->isVisible();
    v.lyricsTop = r.top() * kTwipsPerPixel;
    v.lyricsLeft = r.left() * kTwipsPerPixel;
    v.lyricsWidth = lyricsWindow_->width() * kTwipsPerPixel;
    v.lyricsHeight = lyricsWindow_->height() * kTwipsPerPixel;
    const QRect l = libraryWindow_->frameGeometry();
    v.libraryShown = libraryWindow_->isVisible();
    v.libraryTop = l.top() * kTwipsPerPixel;
    v.libraryLeft = l.left() * kTwipsPerPixel;
    v.libraryWidth = libraryWindow_->width() * kTwipsPerPixel;
    v.libraryHeight = libraryWindow_->height() * kTwipsPerPixel;
    v.libraryColumns = libraryWindow_->ColumnWidths();
}

// Dialogs still open when the program closes: their event loops return,
// and what opened them must not act on a session that is shut down.
bool DialogHost::RaiseRunningExport() {
    if (!exportDialog_ || !exportDialog_->Running()) return false;
    if (exportDialog_->isMinimized() || exportDialog_->isHidden()) exportDialog_->showNormal();
    exportDialog_->raise();
    exportDialog_->activateWindow();
    return true;
}

void DialogHost::ExportAudio(const session::AudioExportRequest& request) {
    if (!exportDialog_) exportDialog_ = std::make_unique<dialogs::ExportDialog>();
    if (RaiseRunningExport()) return;
    const QString title = QString::fromStdString(session_->Snapshot().title);
    exportDialog_->Start(
        request, title,
        [this](const session::AudioExportRequest& r, const session::AudioExportResult& result) {
            for (const std::string& notice : result.notices) notifier_.Error(notice);
            const QString text = dialogs::ExportDialog::ResultText(r, result);
            if (text.isEmpty()) return;
            if (result.status == session::AudioExportResult::Status::kDone)
                notifier_.Info(text.toStdString());
            else
                notifier_.Error(text.toStdString());
        });
}

void DialogHost::CloseDialogs() {
    // A running export stops here and removes its unfinished file.
    exportDialog_.reset();
    notifier_.CloseAll();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
}

}  // namespace sonfara::shell
