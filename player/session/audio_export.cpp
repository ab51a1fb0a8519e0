#include "player/session/audio_export.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "player/files/file_op.h"
#include "player/files/paths.h"
#include "player/files/work_folder.h"
#include "player/platform/midi.h"
#include "player/platform/system_ports.h"
#include "player/platform/timer.h"
#include "player/session/export_messages.h"
#include "player/session/session.h"

namespace sonfara::session {
namespace {

// The synthesizer renders in blocks as its audio callback does, each after
// the ticks due before it: a latency of one block puts what they sent inside
// it at its own sample. The first block's worth of output (the latency) is
// not written.
constexpr int kBlockFrames = platform::SynthPort::kDefaultBufferFrames;
constexpr int kTailChunkFrames = 1024;
// The release tail ends once the output has stayed at or below this peak
// (of 32767) for kQuietTenths tenths of a second, or after kTailSeconds.
constexpr int kQuietPeak = 8;
constexpr int kQuietTenths = 3;
constexpr int kTailSeconds = 3;

enum class RenderStatus { kDone, kCancelled, kWriteFailed };

// The file layer's messages of one job, kept for the caller: a worker
// thread shows nothing itself.
class CollectingNotifier final : public files::Notifier {
  public:
    void Error(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// A private folder for one job's extracted and converted files: archive
// extraction clears what it wrote before into the same folder, so jobs
// (and the player) must not share one.
class JobFolder {
  public:
    explicit JobFolder(const std::string& parent) {
        std::string dir = parent;
        if (dir.empty()) {
            base_ = files::WorkFolder::Create();
            if (!base_.Ok()) {
                error_ = files::msg::kWorkFolderUnsafe + base_.Error();
                return;
            }
            dir = base_.Path();
        }
        if (dir.back() != '/') dir += '/';
        std::string name = dir + "export-XXXXXX";
        if (!::mkdtemp(name.data()) || ::mkdir((name + "/ArcTemp").c_str(), 0700) != 0) {
            error_ = files::msg::kWorkFolderUnsafe + name + ": " + std::strerror(errno);
            ::rmdir(name.c_str());
            return;
        }
        path_ = name + "/";
    }
    ~JobFolder() {
        if (path_.empty()) return;
        files::ClearFolderFiles(path_ + "ArcTemp/");
        ::rmdir((path_ + "ArcTemp").c_str());
        files::ClearFolderFiles(path_);
        ::rmdir(path_.c_str());
    }
    JobFolder(const JobFolder&) = delete;
    JobFolder& operator=(const JobFolder&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

  private:
    files::WorkFolder base_;
    std::string path_, error_;
};

// The one synthesizer of a job, handed out as the only port.
class OfflineSynthSystem final : public platform::MidiOutputSystem {
  public:
    explicit OfflineSynthSystem(platform::SynthPort& synth) : synth_(synth) {}
    std::vector<std::string> PortNames() override {
        return {platform::SystemMidiOutput::kSynthName};
    }
    platform::PortOpenResult Open(int device) override {
        platform::PortOpenResult r;
        if (device != kMapper && device != 0) {
            r.error = platform::PortError::kNoDevice;
            return r;
        }
        r.port = std::make_unique<Forward>(synth_);
        return r;
    }

  private:
    class Forward final : public platform::MidiOutPort {
      public:
        explicit Forward(platform::SynthPort& s) : s_(s) {}
        void ShortMessage(uint32_t packed) override { s_.ShortMessage(packed); }
        void LongMessage(std::span<const uint8_t> b) override { s_.LongMessage(b); }
        void Reset() override { s_.Reset(); }
        void Close() override {}

      private:
        platform::SynthPort& s_;
    };
    platform::SynthPort& synth_;
};

int CaptionItem(const std::vector<std::string>& captions, const std::string& caption) {
    const auto it = std::find(captions.begin(), captions.end(), caption);
    return it == captions.end() ? 0 : static_cast<int>(it - captions.begin()) + 1;
}

// The player's values as a job plays them: the one song once through the
// synthesizer, the arrangement and EQ found again by caption (the caller's
// catalogue may have been read at another time).
settings::SettingsValues ExportValues(settings::SettingsValues v,
                                      const files::ShapingCatalog& catalog) {
    v.repeatMode = platform::RepeatMode::kStopAtEnd;
    v.midiOutPort = settings::kMidiMapper;
    v.outDevice = -1;
    if (v.arrangementItem != 0 && !v.arrangementCaption.empty())
        v.arrangementItem = CaptionItem(catalog.ArrangementCaptions(), v.arrangementCaption);
    if (v.eqActive && !v.eqCaption.empty()) {
        v.eqItem = CaptionItem(catalog.EqCaptions(), v.eqCaption);
        v.eqActive = v.eqItem != 0;
    }
    return v;
}

SessionEnv MakeEnv(const platform::Clock& clock, platform::TimerService& timers,
                   platform::MidiOutputSystem& ports, sequencer::UiScheduler& ui,
                   const platform::CodePage& cp, files::Notifier& notifier,
                   const AudioExportRequest& r, const std::string& workFolder) {
    SessionEnv env{clock, timers, ports, ui, cp, notifier, workFolder};
    env.saveSettings = false;
    env.shapingFolders = r.shapingFolders;
    return env;
}

// One song played on virtual time: the same tick runs at every due moment,
// and the synthesizer renders the audio in between.
class OfflineRender {
  public:
    OfflineRender(platform::SynthPort& synth, platform::ManualClock& clock,
                  const AudioExportRequest& r, const platform::CodePage& cp,
                  files::Notifier& notifier, const std::string& workFolder)
        : synth_(synth),
          clock_(clock),
          r_(r),
          ports_(synth),
          session_(MakeEnv(clock_, timers_, ports_, ui_, cp, notifier, r, workFolder)) {}

    // Opens the song and sets key and channels; false with the player's
    // message (empty when it gave none).
    bool Start(const std::string& loadedPath, std::string* error);
    // What keeps the opened song from rendering: the caller's answer, or
    // loops that never end. Empty when it can render.
    std::string Refusal();
    std::string Title() const { return session_.Snapshot().title; }
    RenderStatus Render(AudioFileOut& out, const AudioExportProgressFn& progress,
                        const std::atomic<bool>& cancel);

  private:
    uint64_t FrameAtUs(int64_t us) const {
        return static_cast<uint64_t>(us) * static_cast<uint64_t>(synth_.SampleRate()) / 1000000u;
    }
    int64_t UsAtFrame(uint64_t frame) const {
        return static_cast<int64_t>(frame * 1000000u / static_cast<uint64_t>(synth_.SampleRate()));
    }
    void FireTicksBefore(int64_t us);
    bool RenderBlock(AudioFileOut& out, int frames);
    RenderStatus RenderTail(AudioFileOut& out, const std::atomic<bool>& cancel);
    void Report(const AudioExportProgressFn& progress, bool end);

    platform::SynthPort& synth_;
    platform::ManualClock& clock_;
    const AudioExportRequest& r_;
    platform::ManualTimerService timers_{clock_};
    sequencer::ManualUiScheduler ui_;
    OfflineSynthSystem ports_;
    PlaybackSession session_;
    std::vector<int16_t> buf_ = std::vector<int16_t>(2 * kBlockFrames);
    uint64_t done_ = 0;  // frames rendered, the latency's included
    // A snapshot costs a code-page conversion: one per thousandth of the song.
    uint64_t reportEvery_ = 1, nextReport_ = 0;
    double reported_ = -1;
};

bool OfflineRender::Start(const std::string& loadedPath, std::string* error) {
    session_.Settings().Edit([&](settings::SettingsValues& v) {
        v = ExportValues(r_.values, session_.Output().Catalog());
    });
    SessionSongs& lib = session_.Songs();
    lib.OpenPaths({loadedPath}, OpenMode::kListOnly);
    if (session_.Lists().List().Count() == 0 || !lib.PlayEntry(1)) {
        const std::string& why = lib.LastError();
        *error = why.empty() || lib.PortFailed() ? why : why + ": " + r_.song.FileName;
        return false;
    }
    session_.Transport().SetTranspose(r_.transpose);
    for (int c = 1; c <= midi::kChannelCount; ++c) {
        if (!((r_.channels >> (c - 1)) & 1)) session_.Output().SetChannelEnabled(c, false);
    }
    return true;
}

std::string OfflineRender::Refusal() {
    if (r_.onOpened) {
        std::string answer = r_.onOpened(session_);
        if (!answer.empty()) return answer;
    }
    if (session_.Snapshot().loops.totalMs < 0)
        return session::msg::kLoopsNeverEnd + r_.song.FileName;
    return {};
}

RenderStatus OfflineRender::Render(AudioFileOut& out, const AudioExportProgressFn& progress,
                                   const std::atomic<bool>& cancel) {
    const int64_t totalUs = int64_t{session_.Snapshot().loops.totalMs} * 1000;
    reportEvery_ = std::max<uint64_t>(1, FrameAtUs(totalUs) / 1000);
    while (timers_.Active()) {
        if (cancel.load(std::memory_order_relaxed)) return RenderStatus::kCancelled;
        FireTicksBefore(UsAtFrame(done_));
        if (!RenderBlock(out, kBlockFrames)) return RenderStatus::kWriteFailed;
        if (progress && done_ >= nextReport_) Report(progress, false);
    }
    // What the last ticks sent is still within the latency.
    if (!RenderBlock(out, kBlockFrames)) return RenderStatus::kWriteFailed;
    const RenderStatus tail = RenderTail(out, cancel);
    ui_.RunPending();
    session_.Shutdown();
    if (tail == RenderStatus::kDone && progress) Report(progress, true);
    return tail;
}

void OfflineRender::FireTicksBefore(int64_t us) {
    while (timers_.Active() && timers_.NextDueUs() < us) {
        timers_.FireNext();
        // The end of the song posts the stop-at-end action, whose reset (a
        // GM System On) would cut the release tail off: it waits for the tail.
        if (timers_.Active()) ui_.RunPending();
    }
}

bool OfflineRender::RenderBlock(AudioFileOut& out, int frames) {
    synth_.Render(buf_.data(), frames);
    const uint64_t latency = static_cast<uint64_t>(kBlockFrames);
    const uint64_t skip = done_ < latency ? std::min<uint64_t>(latency - done_, frames) : 0;
    done_ += static_cast<uint64_t>(frames);
    return out.Write(buf_.data() + 2 * skip, static_cast<size_t>(frames) - skip);
}

// Until the output has stayed near silence for a while (or no voice
// sounds), at most a few seconds: release phases and reverb die away.
RenderStatus OfflineRender::RenderTail(AudioFileOut& out, const std::atomic<bool>& cancel) {
    const uint64_t rate = static_cast<uint64_t>(synth_.SampleRate());
    const uint64_t most = rate * kTailSeconds, quietNeeded = rate * kQuietTenths / 10;
    uint64_t tail = 0, quiet = 0;
    while (tail < most && quiet < quietNeeded) {
        if (cancel.load(std::memory_order_relaxed)) return RenderStatus::kCancelled;
        if (!RenderBlock(out, kTailChunkFrames)) return RenderStatus::kWriteFailed;
        int peak = 0;
        for (int i = 0; i < 2 * kTailChunkFrames; ++i)
            peak = std::max(peak, std::abs(static_cast<int>(buf_[i])));
        quiet = peak <= kQuietPeak ? quiet + kTailChunkFrames : 0;
        if (synth_.ActiveVoices() == 0 && peak <= kQuietPeak) quiet = quietNeeded;
        tail += kTailChunkFrames;
    }
    return RenderStatus::kDone;
}

// Through the loops, in whole thousandths, never backwards.
void OfflineRender::Report(const AudioExportProgressFn& progress, bool end) {
    const SessionSnapshot s = session_.Snapshot();
    const double total = std::max(1, s.loops.totalMs);
    const double fraction = end ? 1.0 : std::clamp(s.loops.positionMs / total, 0.0, 1.0);
    nextReport_ = done_ + reportEvery_;
    if (std::floor(fraction * 1000) <= std::floor(reported_ * 1000)) return;
    reported_ = fraction;
    progress(
        AudioExportProgress{fraction, end ? s.loops.totalMs : s.loops.positionMs, s.loops.totalMs});
}

// The message for a song that did not start: what the file layer said
// last, naming the song, or a plain one.
std::string SongFailure(std::vector<std::string>& notices, const files::FileEntry& song) {
    if (notices.empty()) return session::msg::kSongFailed + song.FileName;
    std::string text = notices.back() + ": " + song.FileName;
    notices.pop_back();
    return text;
}

}  // namespace

AudioExportResult RunAudioExport(const AudioExportRequest& r, const AudioExportProgressFn& progress,
                                 const std::atomic<bool>& cancel) {
    AudioExportResult result;
    CollectingNotifier notes;
    const auto finish = [&](AudioExportResult::Status status, std::string error = {}) {
        result.status = status;
        result.error = std::move(error);
        result.notices = std::move(notes.texts);
        return std::move(result);
    };
    const platform::SoundFontSearch sf = platform::FindSoundFont(r.soundFont);
    if (sf.path.empty())
        return finish(AudioExportResult::Status::kFailed, platform::NoSoundFontMessage(sf));
    result.soundFont = sf.path;
    platform::ManualClock clock(0);
    platform::OfflineSynth opened =
        platform::SynthPort::OpenOffline(sf.path, r.sampleRate, &clock, kBlockFrames);
    if (!opened.synth) return finish(AudioExportResult::Status::kFailed, opened.status.Message());
    const std::unique_ptr<platform::SynthPort> synth = std::move(opened.synth);
    const JobFolder folder(r.workFolder);
    if (!folder.Ok()) return finish(AudioExportResult::Status::kFailed, folder.Error());

    const platform::CodePage& cp = r.codePage ? *r.codePage : platform::SystemCodePage();
    const files::ResolvedSong song =
        files::ResolveEntry(r.song, files::FileContext{notes, folder.Path(), cp},
                            settings::SettingWithinRange("RcpLoopCount", r.values.rcpLoopCount));
    if (song.status != files::ResolvedSong::kOk)
        return finish(AudioExportResult::Status::kFailed, SongFailure(notes.texts, r.song));
    OfflineRender render(*synth, clock, r, cp, notes, folder.Path());
    std::string error;
    if (!render.Start(song.source.LoadedPath, &error)) {
        return finish(AudioExportResult::Status::kFailed,
                      error.empty() ? SongFailure(notes.texts, r.song) : error);
    }
    if (std::string why = render.Refusal(); !why.empty())
        return finish(AudioExportResult::Status::kRefused, why);
    AudioFileOut out;
    if (const AudioFileStatus opened =
            out.Open(r.outputPath, r.format, r.sampleRate, render.Title());
        !opened.ok())
        return finish(AudioExportResult::Status::kFailed, opened.Message());
    if (render.Render(out, progress, cancel) == RenderStatus::kCancelled)
        return finish(AudioExportResult::Status::kCancelled);
    result.frames = out.Frames();
    if (const AudioFileStatus committed = out.Commit(); !committed.ok())
        return finish(AudioExportResult::Status::kFailed, committed.Message());
    return finish(AudioExportResult::Status::kDone);
}

}  // namespace sonfara::session
