// The song library window "ライブラリ": a search box over a table of the
// songs found (title, length, module, folder or archive), searched as the
// user types, with the scan of the library's folders running on its own
// thread and reported here by queued notices (the player goes on playing
// and answering meanwhile). Enter or a double click plays a song; the
// context menu adds it to the play list or the favourites or opens its
// folder. The page of the settings dialog that lists the library's folders
// is here too. UI thread.
#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "player/files/file_entry.h"
#include "player/library/library_store.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;

namespace sonfara::dialogs {

class LibraryModel;

// The play-list entry that opens a library row (archive members included).
files::FileEntry EntryOfRow(const library::LibraryRow& row);

class LibraryWindow final : public QWidget {
    Q_OBJECT
  public:
    // Rows shown at most; the status line says when more matched.
    static constexpr size_t kShownRows = 1000;

    explicit LibraryWindow(std::string databasePath, QWidget* parent = nullptr);
    ~LibraryWindow() override;

    // Opens the database when it is not open yet; false (the status line
    // says why, the player goes on without a library) when it cannot be.
    bool EnsureOpen();
    // Runs the search in the box again (after a scan, or from a test).
    void Refresh();
    // Starts a scan of the library's folders; while one runs, says so.
    void StartScan();
    void CancelScan();
    bool Scanning() const { return scanThread_.joinable(); }
    // Plays row `row` of the table (Enter, double click).
    void PlayRow(int row);

    // The first showing scans the folders (off in tests that scan themselves).
    bool autoScan = true;

    QLineEdit* SearchBox() const { return search_; }
    QTableView* Table() const { return table_; }
    QProgressBar* Progress() const { return progress_; }
    QString StatusText() const;
    int RowCount() const;
    const library::LibraryRow* RowAt(int row) const;

    // Column widths as the settings keep them ("w1,w2,...").
    std::string ColumnWidths() const;
    void SetColumnWidths(const std::string& widths);

  signals:
    void playRequested(const sonfara::files::FileEntry& entry);
    void appendRequested(const sonfara::files::FileEntry& entry);
    void favoriteRequested(const QString& path, const QString& title);
    void scanFinished(const QString& message);

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Search(const QString& text);
    void ShowContextMenu(const QPoint& at);
    void OnScanProgress(size_t done, size_t total, bool walking);
    void OnScanDone(const QString& message);
    void SetStatus(const QString& text);
    int CurrentRow() const;

    std::string databasePath_;
    library::LibraryStore store_;
    bool openTried_ = false;
    QLineEdit* search_;
    QTableView* table_;
    LibraryModel* model_;
    QLabel* status_;
    QProgressBar* progress_;
    QPushButton* scanButton_;
    QPushButton* cancelButton_;
    QString openProblem_;
    std::thread scanThread_;
    std::atomic<bool> cancel_{false};
    qint64 lastRefreshMs_ = 0;
};

// The settings dialog's page "ライブラリ": the folders the library scans.
// Edits take effect when the dialog applies them.
class LibraryFoldersPage final : public QWidget {
    Q_OBJECT
  public:
    explicit LibraryFoldersPage(std::string databasePath, QWidget* parent = nullptr);
    // The folders as the database has them.
    void Refill();
    // Writes the additions and removals; the message when it failed.
    QString Apply();
    std::vector<std::string> Folders() const;
    void AddFolder(const QString& folder);
    void RemoveSelected();
    // Asks for a folder (replaceable in tests; default: the folder dialog).
    std::function<QString(QWidget*)> chooseFolder;

  private:
    std::string databasePath_;
    QListWidget* list_;
    QLabel* note_;
    std::vector<std::string> stored_;
};

}  // namespace sonfara::dialogs
