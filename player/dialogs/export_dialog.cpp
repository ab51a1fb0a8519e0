#include "player/dialogs/export_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "player/platform/language.h"

namespace sonfara::dialogs {
namespace {

constexpr int kPermille = 1000;

QString MinutesSeconds(int32_t ms) {
    const int s = std::max(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

ExportDialog::ExportDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(tr("音声ファイルに書き出し"));
    song_ = new QLabel(this);
    song_->setObjectName(QStringLiteral("ExportSong"));
    song_->setTextFormat(Qt::PlainText);
    song_->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ExportProgress"));
    bar_->setRange(0, kPermille);
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("ExportTime"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ExportCancel"));
    connect(buttons, &QDialogButtonBox::rejected, this, &ExportDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(song_);
    layout->addWidget(bar_);
    layout->addWidget(time_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

ExportDialog::~ExportDialog() {
    cancel_.store(true);
    if (worker_.joinable()) worker_.join();
}

bool ExportDialog::Start(session::AudioExportRequest request, const QString& title, DoneFn done) {
    if (Running()) return false;
    request_ = std::move(request);
    done_ = std::move(done);
    cancel_.store(false);
    shownPermille_.store(-1);
    song_->setText(tr("書き出し中: %1").arg(title));
    song_->setToolTip(QString::fromStdString(request_.outputPath));
    ShowProgress(0, 0, 0);
    // The job reads only its own copy of the request; it reports through
    // queued calls, which die with this window (the destructor joins first).
    worker_ = std::thread([this, r = request_] {
        const auto progress = [this](const session::AudioExportProgress& p) {
            const int permille = static_cast<int>(p.fraction * kPermille);
            if (shownPermille_.exchange(permille) == permille) return;
            QMetaObject::invokeMethod(
                this, [this, permille, p] { ShowProgress(permille, p.positionMs, p.totalMs); },
                Qt::QueuedConnection);
        };
        const session::AudioExportResult result = session::RunAudioExport(r, progress, cancel_);
        QMetaObject::invokeMethod(
            this, [this, result] { Finish(result); }, Qt::QueuedConnection);
    });
    show();
    raise();
    return true;
}

int ExportDialog::Permille() const {
    return bar_->value();
}

void ExportDialog::ShowProgress(int permille, int32_t positionMs, int32_t totalMs) {
    if (cancel_.load()) return;  // the cancel text stays
    bar_->setValue(std::clamp(permille, 0, kPermille));
    time_->setText(totalMs > 0 ? MinutesSeconds(positionMs) + QStringLiteral(" / ") +
                                     MinutesSeconds(totalMs)
                               : QString());
}

void ExportDialog::Finish(const session::AudioExportResult& result) {
    if (worker_.joinable()) worker_.join();
    hide();
    DoneFn done = std::move(done_);
    done_ = nullptr;
    if (done) done(request_, result);
}

void ExportDialog::reject() {
    // The window stays until the worker has stopped and removed its file.
    if (!Running()) return QDialog::reject();
    cancel_.store(true);
    time_->setText(tr("キャンセルしています…"));
}

QString ExportDialog::ResultText(const session::AudioExportRequest& request,
                                 const session::AudioExportResult& result) {
    using Status = session::AudioExportResult::Status;
    switch (result.status) {
        case Status::kDone:
            return tr("書き出しました: %1").arg(QString::fromStdString(request.outputPath));
        case Status::kCancelled:
            return {};
        case Status::kFailed:
        case Status::kRefused:
            return QString::fromStdString(platform::Localized(result.error));
    }
    return {};
}

}  // namespace sonfara::dialogs
