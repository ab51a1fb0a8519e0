#include "player/dialogs/library_window.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include "player/files/paths.h"
#include "player/library/scanner.h"

namespace sonfara::dialogs {
namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

enum Column { kTitleColumn, kLengthColumn, kModuleColumn, kFolderColumn, kColumnCount };
constexpr library::SortColumn kColumnSort[] = {
    library::SortColumn::kTitle, library::SortColumn::kLength, library::SortColumn::kModule,
    library::SortColumn::kFolder};
constexpr int kDefaultWidths[] = {320, 60, 50, 360};
// Results are refreshed this often while a scan adds songs.
constexpr qint64 kRefreshDuringScanMs = 1000;

QString Length(int32_t ms) {
    const int s = std::max(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// A path below the home folder as "~/...", as file managers show it.
QString Shown(const std::string& path) {
    const QString p = Q(path), home = QDir::homePath();
    if (home.size() > 1 && p.startsWith(home + QLatin1Char('/')))
        return QStringLiteral("~") + p.mid(home.size());
    return p;
}

// Where a row lives: the folder of the file, with the archive's name.
QString Place(const library::LibraryRow& r) {
    if (r.member.empty()) return Shown(files::PathFolder(r.path));
    return Shown(r.path) + QStringLiteral(" : ") + Q(r.member);
}

}  // namespace

files::FileEntry EntryOfRow(const library::LibraryRow& r) {
    if (r.member.empty()) return {files::PathFileName(r.path), files::PathFolder(r.path), "", ""};
    return {r.member, files::PathFolder(r.path), files::PathFileName(r.path), ""};
}

class LibraryModel final : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;
    void SetRows(std::vector<library::LibraryRow> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const std::vector<library::LibraryRow>& Rows() const { return rows_; }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : kColumnCount;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
        switch (section) {
            case kTitleColumn:
                return LibraryWindow::tr("タイトル");
            case kLengthColumn:
                return LibraryWindow::tr("長さ");
            case kModuleColumn:
                return LibraryWindow::tr("音源");
            default:
                return LibraryWindow::tr("フォルダ／書庫");
        }
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
        const library::LibraryRow& r = rows_[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
                case kTitleColumn:
                    return Q(r.title);
                case kLengthColumn:
                    return r.error.empty() ? Length(r.lengthMs) : QString();
                case kModuleColumn:
                    return r.error.empty() ? QString::fromLatin1(library::ModuleName(r.module))
                                           : LibraryWindow::tr("エラー");
                default:
                    return Place(r);
            }
        }
        if (role == Qt::ToolTipRole) {
            if (!r.error.empty()) return LibraryWindow::tr("読み込めません: %1").arg(Q(r.error));
            if (r.missing)
                return LibraryWindow::tr("フォルダが見つかりません（取り外されたディスク？）");
            return Place(r);
        }
        if (role == Qt::ForegroundRole && (r.missing || !r.error.empty()))
            return QColor(r.missing ? Qt::gray : Qt::darkRed);
        if (role == Qt::TextAlignmentRole && index.column() == kLengthColumn)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }

  private:
    std::vector<library::LibraryRow> rows_;
};

LibraryWindow::LibraryWindow(std::string databasePath, QWidget* parent)
    : QWidget(parent, Qt::Window), databasePath_(std::move(databasePath)) {
    setObjectName(QStringLiteral("LibraryWindow"));
    setWindowTitle(tr("ライブラリ"));
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("LibrarySearch"));
    search_->setClearButtonEnabled(true);
    search_->setPlaceholderText(tr("検索（例: 夜空  module:gs  length:<3:00  has:lyrics）"));
    search_->installEventFilter(this);
    model_ = new LibraryModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("LibraryTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->setSortingEnabled(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setSortIndicatorShown(true);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setSortIndicator(kTitleColumn, Qt::AscendingOrder);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->installEventFilter(this);
    SetColumnWidths({});
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("LibraryStatus"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("LibraryProgress"));
    progress_->setVisible(false);
    scanButton_ = new QPushButton(tr("フォルダを走査"), this);
    cancelButton_ = new QPushButton(tr("中止"), this);
    cancelButton_->setVisible(false);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(progress_, 1);
    bottom->addWidget(scanButton_);
    bottom->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);
    resize(820, 480);

    connect(search_, &QLineEdit::textChanged, this, &LibraryWindow::Search);
    connect(table_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& i) { PlayRow(i.row()); });
    connect(table_, &QTableView::customContextMenuRequested, this, &LibraryWindow::ShowContextMenu);
    connect(table_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this] { Refresh(); });
    connect(scanButton_, &QPushButton::clicked, this, &LibraryWindow::StartScan);
    connect(cancelButton_, &QPushButton::clicked, this, &LibraryWindow::CancelScan);
}

LibraryWindow::~LibraryWindow() {
    cancel_ = true;
    if (scanThread_.joinable()) scanThread_.join();
}

bool LibraryWindow::EnsureOpen() {
    if (store_.IsOpen()) return true;
    if (openTried_) return false;
    openTried_ = true;
    const library::LibraryStatus s = store_.Open(databasePath_);
    // A damaged file set aside still leaves an open, empty library.
    if (!s.ok()) openProblem_ = Q(s.Message());
    SetStatus(openProblem_);
    return store_.IsOpen();
}

void LibraryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    search_->setFocus();
    if (openTried_) return;
    Refresh();
    // Once a run: the folders are brought up to date (new songs read,
    // deleted ones dropped), which costs little when nothing changed.
    if (autoScan && store_.IsOpen() && !store_.Folders().empty()) StartScan();
}

void LibraryWindow::Refresh() {
    Search(search_->text());
}

void LibraryWindow::Search(const QString& text) {
    if (!EnsureOpen()) {
        model_->SetRows({});
        return;
    }
    library::LibraryQuery q;
    library::LibraryStatus s = library::ParseQuery(text.toStdString(), q);
    if (!s.ok()) {
        SetStatus(Q(s.Message()));
        return;  // the rows of the last good search stay
    }
    // The header chooses the order unless the text does.
    if (!text.contains(QStringLiteral("sort:"))) {
        const QHeaderView* h = table_->horizontalHeader();
        q.sort = kColumnSort[std::clamp(h->sortIndicatorSection(), 0, kColumnCount - 1)];
        q.descending = h->sortIndicatorOrder() == Qt::DescendingOrder;
    }
    std::vector<library::LibraryRow> rows;
    bool more = false;
    s = store_.Search(q, rows, kShownRows, &more);
    if (!s.ok()) {
        SetStatus(Q(s.Message()));
        return;
    }
    const int n = static_cast<int>(rows.size());
    model_->SetRows(std::move(rows));
    if (n > 0) table_->selectRow(0);
    if (Scanning()) return;
    if (!openProblem_.isEmpty())
        SetStatus(openProblem_);
    else if (n == 0 && store_.Folders().empty())
        SetStatus(tr("設定の「ライブラリ」ページで曲のあるフォルダを追加してください"));
    else
        SetStatus(more ? tr("%1曲以上").arg(n) : tr("%1曲").arg(n));
}

void LibraryWindow::SetStatus(const QString& text) {
    status_->setText(text);
}

QString LibraryWindow::StatusText() const {
    return status_->text();
}

int LibraryWindow::RowCount() const {
    return static_cast<int>(model_->Rows().size());
}

const library::LibraryRow* LibraryWindow::RowAt(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    return &model_->Rows()[static_cast<size_t>(row)];
}

int LibraryWindow::CurrentRow() const {
    const QModelIndex i = table_->currentIndex();
    return i.isValid() ? i.row() : (RowCount() > 0 ? 0 : -1);
}

void LibraryWindow::PlayRow(int row) {
    if (const library::LibraryRow* r = RowAt(row)) emit playRequested(EntryOfRow(*r));
}

bool LibraryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            PlayRow(CurrentRow());
            return true;
        }
        // Up and down in the box move through the table.
        if (watched == search_ && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)) {
            const int next = std::clamp(CurrentRow() + (key->key() == Qt::Key_Down ? 1 : -1), 0,
                                        std::max(0, RowCount() - 1));
            if (RowCount() > 0) table_->selectRow(next);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LibraryWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LibraryWindow::ShowContextMenu(const QPoint& at) {
    const QModelIndex index = table_->indexAt(at);
    const library::LibraryRow* r = RowAt(index.row());
    if (!r) return;
    const library::LibraryRow row = *r;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("再生"), this, [this, row] { emit playRequested(EntryOfRow(row)); });
    menu->addAction(tr("再生リストに追加"), this,
                    [this, row] { emit appendRequested(EntryOfRow(row)); });
    menu->addAction(tr("お気に入りに追加"), this,
                    [this, row] { emit favoriteRequested(Q(row.path), Q(row.title)); });
    menu->addAction(tr("フォルダを開く"), this, [row] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(Q(files::PathFolder(row.path))));
    });
    menu->popup(table_->viewport()->mapToGlobal(at));
}

void LibraryWindow::StartScan() {
    if (Scanning()) {
        SetStatus(Q(MessageFor(library::LibraryError::kScanRunning, {})));
        return;
    }
    if (!EnsureOpen()) return;
    cancel_ = false;
    progress_->setRange(0, 0);
    progress_->setVisible(true);
    scanButton_->setEnabled(false);
    cancelButton_->setVisible(true);
    SetStatus(tr("フォルダを調べています…"));
    // The scan has its own connection; the window keeps searching on its own.
    scanThread_ = std::thread([this, path = databasePath_] {
        library::LibraryStore store;
        library::LibraryStatus s = store.Open(path);
        QString message = s.ok() ? QString() : Q(s.Message());
        if (store.IsOpen()) {
            library::ScanOptions o;
            o.cancel = &cancel_;
            o.progress = [this](const library::ScanProgress& p) {
                QMetaObject::invokeMethod(
                    this, [this, p] { OnScanProgress(p.done, p.total, p.walking); },
                    Qt::QueuedConnection);
            };
            library::ScanSummary sum;
            s = library::ScanLibrary(store, o, sum);
            QStringList parts;
            if (!s.ok()) parts << Q(s.Message());
            for (const std::string& f : sum.missingFolders)
                parts << Q(MessageFor(library::LibraryError::kNoFolder, f));
            if (s.ok() || s.code() == library::LibraryError::kDamaged)
                parts << tr("%1曲を読み込みました（エラー %2、削除 %3）")
                             .arg(sum.songs)
                             .arg(sum.failed)
                             .arg(sum.removed);
            message = parts.join(QStringLiteral("\n"));
        }
        QMetaObject::invokeMethod(
            this, [this, message] { OnScanDone(message); }, Qt::QueuedConnection);
    });
}

void LibraryWindow::CancelScan() {
    cancel_ = true;
}

void LibraryWindow::OnScanProgress(size_t done, size_t total, bool walking) {
    if (walking) return;
    progress_->setRange(0, static_cast<int>(std::max<size_t>(total, 1)));
    progress_->setValue(static_cast<int>(done));
    SetStatus(tr("走査中 %1 / %2").arg(done).arg(total));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastRefreshMs_ >= kRefreshDuringScanMs) {
        lastRefreshMs_ = now;
        Refresh();
    }
}

void LibraryWindow::OnScanDone(const QString& message) {
    if (scanThread_.joinable()) scanThread_.join();
    progress_->setVisible(false);
    scanButton_->setEnabled(true);
    cancelButton_->setVisible(false);
    Refresh();
    SetStatus(message.section(QLatin1Char('\n'), -1) + QStringLiteral("  ") + StatusText());
    if (message.contains(QLatin1Char('\n'))) status_->setToolTip(message);
    emit scanFinished(message);
}

std::string LibraryWindow::ColumnWidths() const {
    std::string out;
    for (int c = 0; c < kColumnCount; ++c)
        out += (c ? "," : "") + std::to_string(table_->columnWidth(c));
    return out;
}

void LibraryWindow::SetColumnWidths(const std::string& widths) {
    const QStringList parts = Q(widths).split(QLatin1Char(','));
    for (int c = 0; c < kColumnCount; ++c) {
        bool ok = false;
        const int w = c < parts.size() ? parts[c].toInt(&ok) : 0;
        table_->setColumnWidth(c, ok && w > 8 && w < 4000 ? w : kDefaultWidths[c]);
    }
}

LibraryFoldersPage::LibraryFoldersPage(std::string databasePath, QWidget* parent)
    : QWidget(parent), databasePath_(std::move(databasePath)) {
    chooseFolder = [](QWidget* parent) {
        return QFileDialog::getExistingDirectory(parent,
                                                 LibraryWindow::tr("ライブラリに加えるフォルダ"));
    };
    auto* label = new QLabel(tr("ライブラリが曲を探すフォルダ（サブフォルダと書庫の中も）:"), this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("LibraryFolders"));
    auto* add = new QPushButton(tr("追加..."), this);
    auto* remove = new QPushButton(tr("削除"), this);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    layout->addWidget(note_);
    connect(add, &QPushButton::clicked, this, [this] {
        const QString folder = chooseFolder(this);
        if (!folder.isEmpty()) AddFolder(folder);
    });
    connect(remove, &QPushButton::clicked, this, &LibraryFoldersPage::RemoveSelected);
}

void LibraryFoldersPage::Refill() {
    list_->clear();
    stored_.clear();
    // Nothing is created until a folder is added.
    if (!QFileInfo::exists(Q(databasePath_))) return;
    library::LibraryStore store;
    const library::LibraryStatus s = store.Open(databasePath_);
    note_->setText(s.ok() ? tr("追加したフォルダはライブラリの「フォルダを走査」で読み込まれます。")
                          : Q(s.Message()));
    for (const library::LibraryFolder& f : store.Folders()) {
        stored_.push_back(f.path);
        list_->addItem(Q(f.path) + (f.missing ? tr("（見つかりません）") : QString()));
        list_->item(list_->count() - 1)->setData(Qt::UserRole, Q(f.path));
    }
}

std::vector<std::string> LibraryFoldersPage::Folders() const {
    std::vector<std::string> out;
    for (int i = 0; i < list_->count(); ++i)
        out.push_back(list_->item(i)->data(Qt::UserRole).toString().toStdString());
    return out;
}

void LibraryFoldersPage::AddFolder(const QString& folder) {
    QString clean = QFileInfo(folder).absoluteFilePath();
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/'))) clean.chop(1);
    for (const std::string& f : Folders())
        if (Q(f) == clean) return;
    list_->addItem(clean);
    list_->item(list_->count() - 1)->setData(Qt::UserRole, clean);
}

void LibraryFoldersPage::RemoveSelected() {
    delete list_->currentItem();
}

QString LibraryFoldersPage::Apply() {
    const std::vector<std::string> now = Folders();
    if (now == stored_) return {};
    library::LibraryStore store;
    library::LibraryStatus s = store.Open(databasePath_);
    if (!store.IsOpen()) return Q(s.Message());
    for (const std::string& f : stored_)
        if (std::find(now.begin(), now.end(), f) == now.end() && !(s = store.RemoveFolder(f)).ok())
            return Q(s.Message());
    for (const std::string& f : now)
        if (!(s = store.AddFolder(f)).ok()) return Q(s.Message());
    stored_ = now;
    return {};
}

}  // namespace sonfara::dialogs
