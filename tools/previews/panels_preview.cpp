// sonfara-panels-preview: the event-list and document panels with the demo
// song, written as PNGs. `--out DIR` (default .); `--dpr R` renders at one
// ratio, without it the program runs itself at ratios 1 and 2.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "player/files/companion.h"
#include "player/panels/document_panel.h"
#include "player/panels/event_list_panel.h"
#include "player/sequencer/song_cursors.h"
#include "player/song/event_list.h"
#include "player/song/smf_reader.h"

using namespace sonfara;

namespace {

// A companion note as songs' authors write them, in the code page.
constexpr const char* kNote =
    "■ Sonfara Demo ～ 夜明けの序曲 ■\n"
    "\n"
    "　GS/XG どちらの音源でも鳴るように作った、約90秒のデモ曲です。\n"
    "　イントロ → Aメロ → Bメロ → サビ → 間奏 → ラストサビ → エンディング。\n"
    "\n"
    "【編成】\n"
    "　Tr.2 メロディ（歌詞つき）/ Tr.3 ピアノ / Tr.4 ストリングス\n"
    "　Tr.5 Warm Pad / Tr.6 Harp Arpeggio / Tr.7 ベース / Tr.8 ドラムス\n"
    "\n"
    "【配布元】 http://sonfara.example.org/demo/\n"
    "【ご意見・ご感想】 http://sonfara.example.org/~guestbook/\n"
    "\n"
    "転載・改変は自由です。\n";

int Render(const QString& outDir, const QString& ratio) {
    const platform::CodePage& cp = platform::SystemCodePage();
    song::SongTable song;
    sequencer::SongCursors cursors;
    song::EventListView view(song, cursors, cp);
    song::LoadOptions options;
    options.codePage = &cp;
    options.observers = {&view};
    const song::LoadStatus loaded = song::LoadSMF(SONFARA_DEMO_SONG, song, options);
    if (!loaded.ok()) {
        std::fprintf(stderr, "cannot load the demo song: %s\n", loaded.Message().c_str());
        return 1;
    }
    cursors.Fit(song);
    panels::ViewEventListSource source(song, view);
    panels::EventListPanel events(source);
    events.SongLoaded();
    // The melody track while its part set-up plays: controllers, the
    // program, the first notes.
    events.ChooseTrack(2);
    cursors.SetListNext(2, 9);
    events.Refresh();

    QTemporaryDir dir;
    const std::string songPath = dir.filePath(QStringLiteral("sonfara-demo.mid")).toStdString();
    {
        QFile note(dir.filePath(QStringLiteral("sonfara-demo.txt")));
        if (!note.open(QIODevice::WriteOnly)) return 1;
        std::string bytes = cp.FromUtf8(kNote);
        std::string crlf;
        for (char c : bytes) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        note.write(crlf.data(), static_cast<qint64>(crlf.size()));
    }
    panels::DocumentPanel document(cp, nullptr, [](const QUrl&) {});
    document.ShowDocument(files::ReadCompanionDocument(songPath));
    document.RelateURL()->setCurrentRow(0);

    const QString suffix = QStringLiteral("@%1x.png").arg(ratio);
    bool ok = events.grab().save(outDir + QStringLiteral("/event-list") + suffix);
    ok = document.grab().save(outDir + QStringLiteral("/document") + suffix) && ok;
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QString outDir = QStringLiteral(".");
    QString ratio;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--out")
            outDir = QString::fromLocal8Bit(argv[++i]);
        else if (a == "--dpr")
            ratio = QString::fromLatin1(argv[++i]);
    }
    if (ratio.isEmpty()) {
        int rc = 0;
        for (const char* r : {"1", "2"}) {
            const std::string cmd = std::string("\"") + argv[0] + "\" --dpr " + r + " --out \"" +
                                    outDir.toStdString() + "\"";
            rc |= std::system(cmd.c_str());
        }
        return rc == 0 ? 0 : 1;
    }
    qputenv("QT_SCALE_FACTOR", ratio.toLatin1());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDir().mkpath(outDir);
    return Render(outDir, ratio);
}
