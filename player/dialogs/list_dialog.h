// The list dialog: tidying the favourites (mode 1) and editing the play
// list (mode 2). It shows the model's rows and calls the model; the model
// (the playback session) owns the favourites, the play list and the
// file-list menu. UI thread only.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "player/files/favorites.h"
#include "player/files/play_list.h"
#include "player/platform/codepage.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace sonfara::dialogs {

class Prompts;

enum class ListMode { kFavorites = 1, kPlayList = 2 };

class ListDialogModel {
  public:
    virtual ~ListDialogModel() = default;
    virtual ListMode Mode() const = 0;
    // Favourite titles or play-list FileName values, in order (UTF-8).
    virtual std::vector<std::string> Rows() const = 0;

    // Mode 1, favourite `entry` (1-based). Each rereads the favourites (and
    // rebuilds the favourites menu) when done. A failure the dialog shows
    // unless it is kNoSuchFavorite or kReported.
    virtual files::FileStatus RenameFavorite(int entry, const std::string& newTitle);
    virtual files::FileStatus DeleteFavorite(int entry);

    // Mode 2. The entry playing (PlayListIndex), 0 for none.
    virtual int PlayingEntry() const { return 0; }
    // PlayEntry; on success the entry becomes the current one and the only
    // checked item of the file-list menu.
    virtual bool PlayEntry(int entry) { return false; }
    // Removes an entry that is not playing: later entries move up, the
    // current index follows its entry, the file-list menu is rebuilt.
    virtual void RemoveEntry(int entry) {}
};

// Over the favourites folder of the file layer.
class FavoritesListModel final : public ListDialogModel {
  public:
    FavoritesListModel(std::string folder, const platform::CodePage& cp);
    ListMode Mode() const override { return ListMode::kFavorites; }
    std::vector<std::string> Rows() const override;
    files::FileStatus RenameFavorite(int entry, const std::string& newTitle) override;
    files::FileStatus DeleteFavorite(int entry) override;
    const std::vector<files::FavoriteEntry>& Favorites() const { return favorites_; }

  private:
    void Reload();
    std::string folder_;
    const platform::CodePage& cp_;
    std::vector<files::FavoriteEntry> favorites_;
};

// Over a play list; `play` starts entry k (the file pipeline's PlayEntry).
class PlayListListModel final : public ListDialogModel {
  public:
    using PlayFn = std::function<bool(int entry)>;
    PlayListListModel(files::PlayList& list, PlayFn play) : list_(list), play_(std::move(play)) {}
    ListMode Mode() const override { return ListMode::kPlayList; }
    std::vector<std::string> Rows() const override;
    int PlayingEntry() const override { return list_.Index(); }
    bool PlayEntry(int entry) override;
    void RemoveEntry(int entry) override;

  private:
    files::PlayList& list_;
    PlayFn play_;
};

// True when a title can stand as a file name (no / \ : * ? " < > |, no
// control character, not empty, not "." or "..").
bool TitleFitsFileName(const std::string& title);

// User texts of the list dialog.
namespace list_text {
inline constexpr const char* kCannotRemovePlaying =
    QT_TRANSLATE_NOOP("sonfara::dialogs::ListDialog", "現在開いているファイルは削除できません");
inline constexpr const char* kBadTitle = QT_TRANSLATE_NOOP(
    "sonfara::dialogs::ListDialog", "タイトル名に次の文字は使えません\r\\ / : * ? \" < > |");
}  // namespace list_text

class ListDialog final : public QDialog {
    Q_OBJECT
  public:
    // `prompts` null: the real message and input boxes.
    explicit ListDialog(ListDialogModel& model, Prompts* prompts = nullptr,
                        QWidget* parent = nullptr);

    // Rows from the model again (after the session changed the list).
    void Refill();
    // Row r stands for entry r + 1; -1 when none is selected.
    int SelectedRow() const;
    void SelectRow(int row);

    // Command1 ("編集" / "再生"), also a double click; Command2 ("削除").
    void Command1();
    void Command2();

    QListWidget* List() const { return list_; }

  private:
    void Rename(int entry);
    void Delete(int entry);
    void Play(int entry);
    void Remove(int entry);
    void ShowError(const std::string& text);
    // A favourite's change that failed with something left to tell.
    void ShowFailure(const files::FileStatus& status);

    ListDialogModel& model_;
    Prompts& prompts_;
    QLabel* label_;
    QListWidget* list_;
    QPushButton* command1_;
    QPushButton* command2_;
    QPushButton* close_;
};

}  // namespace sonfara::dialogs
