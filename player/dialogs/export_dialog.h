// The progress window of an audio export "音声ファイルに書き出し": the job
// runs on a worker thread of its own while the player goes on playing; the
// window shows how far it is and cancels it. Closing the window cancels
// too, and so does destroying it (it waits for the worker, which stops
// within one sequencer tick), so no partial file is ever left behind.
//
// Threads: UI thread, except the job, which reports back through queued
// calls.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <thread>

#include "player/session/audio_export.h"

class QLabel;
class QProgressBar;

namespace sonfara::dialogs {

class ExportDialog final : public QDialog {
    Q_OBJECT
  public:
    // Called on the UI thread when a job has ended (also when cancelled),
    // after the window has hidden.
    using DoneFn =
        std::function<void(const session::AudioExportRequest&, const session::AudioExportResult&)>;

    explicit ExportDialog(QWidget* parent = nullptr);
    ~ExportDialog() override;

    // Starts the job and shows the window; false while another job runs.
    bool Start(session::AudioExportRequest request, const QString& title, DoneFn done);
    bool Running() const { return worker_.joinable(); }
    // The fraction shown, 0..1000.
    int Permille() const;

    // The message for the end of a job (empty: nothing to say).
    static QString ResultText(const session::AudioExportRequest& request,
                              const session::AudioExportResult& result);

  public slots:
    void reject() override;  // the cancel button, Esc and the close box

  private:
    void ShowProgress(int permille, int32_t positionMs, int32_t totalMs);
    void Finish(const session::AudioExportResult& result);

    QLabel* song_ = nullptr;
    QLabel* time_ = nullptr;
    QProgressBar* bar_ = nullptr;
    session::AudioExportRequest request_;
    DoneFn done_;
    std::atomic<bool> cancel_{false};
    std::atomic<int> shownPermille_{-1};  // the worker posts only what changed
    std::thread worker_;
};

}  // namespace sonfara::dialogs
