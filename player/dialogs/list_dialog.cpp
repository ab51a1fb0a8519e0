#include "player/dialogs/list_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "player/dialogs/prompts.h"
#include "player/platform/language.h"

namespace sonfara::dialogs {

files::FileStatus ListDialogModel::RenameFavorite(int, const std::string&) {
    return files::FileError::kNoSuchFavorite;
}

files::FileStatus ListDialogModel::DeleteFavorite(int) {
    return files::FileError::kNoSuchFavorite;
}

FavoritesListModel::FavoritesListModel(std::string folder, const platform::CodePage& cp)
    : folder_(std::move(folder)), cp_(cp) {
    Reload();
}

void FavoritesListModel::Reload() {
    favorites_ = files::LoadFavorites(folder_, cp_);
}

std::vector<std::string> FavoritesListModel::Rows() const {
    std::vector<std::string> rows;
    for (const auto& f : favorites_) rows.push_back(f.Title);
    return rows;
}

files::FileStatus FavoritesListModel::RenameFavorite(int entry, const std::string& newTitle) {
    if (entry < 1 || entry > static_cast<int>(favorites_.size()))
        return files::FileError::kNoSuchFavorite;
    files::FileStatus renamed =
        files::RenameFavorite(folder_, favorites_[entry - 1], newTitle, cp_);
    Reload();
    return renamed;
}

files::FileStatus FavoritesListModel::DeleteFavorite(int entry) {
    if (entry < 1 || entry > static_cast<int>(favorites_.size()))
        return files::FileError::kNoSuchFavorite;
    files::FileStatus deleted = files::DeleteFavorite(favorites_[entry - 1]);
    Reload();
    return deleted;
}

std::vector<std::string> PlayListListModel::Rows() const {
    std::vector<std::string> rows;
    for (const auto& e : list_.Entries()) rows.push_back(e.FileName);
    return rows;
}

bool PlayListListModel::PlayEntry(int entry) {
    if (!play_ || !play_(entry)) return false;
    list_.SetIndex(entry);
    list_.SetChecked(entry);
    return true;
}

void PlayListListModel::RemoveEntry(int entry) {
    list_.Remove(entry);
}

bool TitleFitsFileName(const std::string& title) {
    if (title.empty() || title == "." || title == "..") return false;
    for (unsigned char c : title) {
        if (c < 0x20 || c == 0x7F) return false;
        switch (c) {
            case '/':
            case '\\':
            case ':':
            case '*':
            case '?':
            case '"':
            case '<':
            case '>':
            case '|':
                return false;
            default:
                break;
        }
    }
    return true;
}

namespace {

struct ModeTexts {
    const char* title;
    const char* label;
    const char* command1;
};

ModeTexts TextsFor(ListMode mode) {
    if (mode == ListMode::kFavorites)
        return {QT_TRANSLATE_NOOP("sonfara::dialogs::ListDialog", "お気に入りの整理 - Sonfara"),
                QT_TRANSLATE_NOOP("sonfara::dialogs::ListDialog",
                                  "整理するファイルを選び、処理内容を選択してください"),
                QT_TRANSLATE_NOOP("sonfara::dialogs::ListDialog", "編集")};
    return {QT_TRANSLATE_NOOP("sonfara::dialogs::ListDialog", "再生リストの整理 - Sonfara"),
            QT_TRANSLATE_NOOP("sonfara::dialogs::ListDialog",
                              "リストからファイルを選び、処理内容を選んでください"),
            QT_TRANSLATE_NOOP("sonfara::dialogs::ListDialog", "再生")};
}

QString U(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

ListDialog::ListDialog(ListDialogModel& model, Prompts* prompts, QWidget* parent)
    : QDialog(parent), model_(model), prompts_(prompts ? *prompts : DefaultPrompts()) {
    const ModeTexts t = TextsFor(model.Mode());
    setObjectName(QStringLiteral("OptWnd"));
    setWindowTitle(tr(t.title));
    setModal(true);
    ApplyPanelLook(this);

    label_ = new QLabel(tr(t.label), this);
    label_->setObjectName(QStringLiteral("Label1"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("ListBox1"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    command1_ = new QPushButton(tr(t.command1), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command2_ = new QPushButton(tr("削除"), this);
    command2_->setObjectName(QStringLiteral("Command2"));
    close_ = new QPushButton(tr("閉じる"), this);
    close_->setObjectName(QStringLiteral("CloseWnd"));
    for (QPushButton* b : {command1_, command2_, close_}) b->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(command1_);
    buttons->addWidget(command2_);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(420, 320);

    connect(command1_, &QPushButton::clicked, this, &ListDialog::Command1);
    connect(command2_, &QPushButton::clicked, this, &ListDialog::Command2);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { Command1(); });
    Refill();
}

void ListDialog::Refill() {
    const int keep = SelectedRow();
    list_->clear();
    for (const std::string& row : model_.Rows()) list_->addItem(U(row));
    if (keep >= 0) SelectRow(std::min(keep, list_->count() - 1));
}

int ListDialog::SelectedRow() const {
    const auto items = list_->selectedItems();
    return items.isEmpty() ? -1 : list_->row(items.front());
}

void ListDialog::SelectRow(int row) {
    list_->clearSelection();
    if (row < 0 || row >= list_->count()) return;
    list_->setCurrentRow(row);
    list_->item(row)->setSelected(true);
}

void ListDialog::Command1() {
    const int row = SelectedRow();
    if (row < 0) return;
    if (model_.Mode() == ListMode::kFavorites)
        Rename(row + 1);
    else
        Play(row + 1);
}

void ListDialog::Command2() {
    const int row = SelectedRow();
    if (row < 0) return;
    if (model_.Mode() == ListMode::kFavorites)
        Delete(row + 1);
    else
        Remove(row + 1);
}

void ListDialog::Rename(int entry) {
    const QString old = list_->item(entry - 1)->text();
    const QString prompt =
        tr("\"%1\"\rのタイトル名を変更します\r\r新しいタイトル名を入力してください").arg(old);
    const auto answer = prompts_.AskText(this, QString::fromUtf8(kCaption), prompt, old);
    if (!answer || answer->isEmpty()) return;
    const std::string title = answer->toStdString();
    // A title is also the favourite's file name; one that names another
    // folder or cannot be a file name would lose the favourite.
    if (!TitleFitsFileName(title)) {
        ShowError(list_text::kBadTitle);
        return;
    }
    ShowFailure(model_.RenameFavorite(entry, title));
    Refill();
}

void ListDialog::Delete(int entry) {
    ShowFailure(model_.DeleteFavorite(entry));
    Refill();
}

void ListDialog::Play(int entry) {
    model_.PlayEntry(entry);
}

void ListDialog::Remove(int entry) {
    if (entry == model_.PlayingEntry()) {
        ShowError(list_text::kCannotRemovePlaying);
        return;
    }
    model_.RemoveEntry(entry);
    Refill();
}

// The dialog's own texts from the catalogue; the file layer's from its table.
void ListDialog::ShowFailure(const files::FileStatus& status) {
    using files::FileError;
    if (status.ok() || status.code() == FileError::kNoSuchFavorite ||
        status.code() == FileError::kReported)
        return;
    ShowError(status.Message());
}

void ListDialog::ShowError(const std::string& text) {
    const QString own = tr(text.c_str());
    prompts_.Error(this, own == U(text) ? U(platform::Localized(text)) : own);
}

}  // namespace sonfara::dialogs
