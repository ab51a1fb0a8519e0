// sonfara-cli library: the song library from the command line.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/cli/json.h"
#include "player/library/library_store.h"
#include "player/library/scanner.h"

namespace sonfara::cli {
namespace {

using library::LibraryRow;
using library::LibraryStore;

std::atomic<bool> gCancel{false};

void OnSignal(int) {
    gCancel.store(true);
}

constexpr const char* kUsage =
    "usage: sonfara-cli library add DIR... | remove DIR... | scan [--jobs N] | "
    "search QUERY... [--json] [--limit N] | stats [--json]   [--database FILE]\n";

// Opens the store; a set-aside damaged file is told and the store goes on.
bool OpenStore(const Args& a, LibraryStore& store) {
    const std::string path = a.Value("database").value_or(library::DefaultLibraryPath());
    const library::LibraryStatus s = store.Open(path);
    if (!s.ok()) std::cerr << "sonfara-cli library: " << s.Message() << "\n";
    return store.IsOpen();
}

std::string Absolute(const std::string& dir) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(dir, ec);
    if (ec) p = std::filesystem::absolute(dir, ec);
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

int Add(const Args& a, LibraryStore& store) {
    int status = 0;
    for (size_t i = 1; i < a.positional.size(); ++i) {
        const std::string dir = Absolute(a.positional[i]);
        std::error_code ec;
        if (!std::filesystem::is_directory(dir, ec)) {
            std::cerr << MessageFor(library::LibraryError::kNoFolder, a.positional[i]) << "\n";
            status = 1;
            continue;
        }
        const library::LibraryStatus s = store.AddFolder(dir);
        if (!s.ok()) {
            std::cerr << s.Message() << "\n";
            return 1;
        }
        std::cout << dir << "\n";
    }
    return status;
}

int Remove(const Args& a, LibraryStore& store) {
    int status = 0;
    for (size_t i = 1; i < a.positional.size(); ++i) {
        library::LibraryStatus s = store.RemoveFolder(Absolute(a.positional[i]));
        // A folder that is gone can still be named as it was added.
        if (s.code() == library::LibraryError::kNoFolder) s = store.RemoveFolder(a.positional[i]);
        if (!s.ok()) {
            std::cerr << s.Message() << "\n";
            status = 1;
        }
    }
    return status;
}

// A bar on a terminal; nothing on a pipe (the summary line says it all).
void ShowProgress(const library::ScanProgress& p) {
    if (!::isatty(STDERR_FILENO)) return;
    if (p.walking) {
        std::fprintf(stderr, "\rscanning folders...");
    } else {
        constexpr int kWidth = 30;
        const int filled = p.total ? static_cast<int>(kWidth * p.done / p.total) : kWidth;
        std::fprintf(stderr, "\r[%s%s] %zu/%zu   ", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '-').c_str(), p.done, p.total);
    }
    std::fflush(stderr);
}

int Scan(const Args& a, LibraryStore& store) {
    library::ScanOptions o;
    if (auto jobs = a.Value("jobs")) {
        const auto n = ParseInt(*jobs);
        if (!n || *n < 1 || *n > 64) {
            std::cerr << "sonfara-cli library: --jobs takes 1..64\n";
            return 2;
        }
        o.jobs = static_cast<int>(*n);
    }
    o.codePage = &CliCodePage(a);
    o.progress = ShowProgress;
    o.cancel = &gCancel;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
    library::ScanSummary sum;
    const library::LibraryStatus s = library::ScanLibrary(store, o, sum);
    if (::isatty(STDERR_FILENO)) std::fprintf(stderr, "\n");
    for (const std::string& f : sum.missingFolders)
        std::cerr << MessageFor(library::LibraryError::kNoFolder, f) << "\n";
    std::cout << sum.files << " files, " << sum.read << " read, " << sum.songs << " songs written, "
              << sum.failed << " failed, " << sum.removed << " removed\n";
    if (!s.ok()) std::cerr << s.Message() << "\n";
    return s.ok() || s.code() == library::LibraryError::kDamaged ? 0 : 1;
}

std::string Shown(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
}

int Search(const Args& a, LibraryStore& store) {
    std::string query;
    for (size_t i = 1; i < a.positional.size(); ++i) query += (i > 1 ? " " : "") + a.positional[i];
    size_t limit = 0;
    if (auto l = a.Value("limit")) {
        const auto n = ParseInt(*l);
        if (!n || *n < 1) {
            std::cerr << "sonfara-cli library: --limit takes a positive number\n";
            return 2;
        }
        limit = static_cast<size_t>(*n);
    }
    std::vector<LibraryRow> rows;
    const library::LibraryStatus s = store.Search(query, rows, limit);
    if (!s.ok()) {
        std::cerr << s.Message() << "\n";
        return s.code() == library::LibraryError::kBadQuery ? 2 : 1;
    }
    if (a.Flag("json")) {
        JsonWriter j;
        j.BeginArray();
        for (const LibraryRow& r : rows) {
            j.BeginObject();
            j.Key("title");
            j.String(r.title);
            j.Key("path");
            j.String(r.path);
            j.Key("member");
            j.String(r.member);
            j.Key("lengthMs");
            j.Int(r.lengthMs);
            j.Key("module");
            j.String(library::ModuleName(r.module));
            j.Key("format");
            j.String(r.format);
            j.Key("lyrics");
            j.Bool(r.hasLyrics);
            j.Key("wrd");
            j.Bool(r.hasWrd);
            j.Key("missing");
            j.Bool(r.missing);
            j.Key("error");
            j.String(r.error);
            j.EndObject();
        }
        j.EndArray();
        std::cout << j.Text() << "\n";
    } else {
        for (const LibraryRow& r : rows) {
            std::cout << Shown(r.title) << '\t' << MinutesSeconds(r.lengthMs) << '\t'
                      << library::ModuleName(r.module) << '\t' << Shown(r.path)
                      << (r.member.empty() ? "" : "\t") << Shown(r.member);
            if (r.missing) std::cout << "\t(missing)";
            if (!r.error.empty()) std::cout << "\t" << Shown(r.error);
            std::cout << '\n';
        }
    }
    return rows.empty() ? 1 : 0;
}

int Stats(const Args& a, LibraryStore& store) {
    const library::LibraryStats st = store.Stats();
    static const char* kModules[] = {"none", "GM", "GS", "XG"};
    if (a.Flag("json")) {
        JsonWriter j;
        j.BeginObject();
        j.Key("songs");
        j.Int(st.songs);
        j.Key("failed");
        j.Int(st.failed);
        j.Key("missing");
        j.Int(st.missing);
        j.Key("withLyrics");
        j.Int(st.withLyrics);
        j.Key("inArchives");
        j.Int(st.archived);
        j.Key("totalMs");
        j.Int(st.totalMs);
        j.Key("databaseBytes");
        j.Int(st.databaseBytes);
        j.Key("modules");
        j.BeginObject();
        for (int m = 0; m < 4; ++m) {
            j.Key(kModules[m]);
            j.Int(st.byModule[m]);
        }
        j.EndObject();
        j.Key("folders");
        j.BeginArray();
        for (const auto& f : st.folders) {
            j.BeginObject();
            j.Key("path");
            j.String(f.path);
            j.Key("missing");
            j.Bool(f.missing);
            j.EndObject();
        }
        j.EndArray();
        j.EndObject();
        std::cout << j.Text() << "\n";
        return 0;
    }
    std::cout << "database\t" << store.Path() << " (" << st.databaseBytes / 1024 << " KiB)\n"
              << "songs\t" << st.songs << " (" << st.archived << " in archives, " << st.failed
              << " failed, " << st.missing << " missing, " << st.withLyrics << " with lyrics)\n"
              << "length\t" << st.totalMs / 3600000 << " h " << st.totalMs / 60000 % 60
              << " min\nmodules\t";
    for (int m = 0; m < 4; ++m)
        std::cout << (m ? ", " : "") << kModules[m] << " " << st.byModule[m];
    std::cout << "\n";
    for (const auto& f : st.folders)
        std::cout << "folder\t" << f.path << (f.missing ? "\t(missing)" : "") << "\n";
    return 0;
}

}  // namespace

int RunLibrary(const std::vector<std::string>& words) {
    const Args a = ParseArgs(words, {"database", "jobs", "limit", "codepage"}, {"json"});
    const std::string sub = a.positional.empty() ? "" : a.positional[0];
    const bool needsArgs = sub == "add" || sub == "remove";
    if (!a.error.empty() ||
        (sub != "add" && sub != "remove" && sub != "scan" && sub != "search" && sub != "stats") ||
        (needsArgs && a.positional.size() < 2)) {
        std::cerr << kUsage;
        return 2;
    }
    platform::RegisterTranslations(library::msg::kEnglish);
    LibraryStore store;
    if (!OpenStore(a, store)) return 1;
    if (sub == "add") return Add(a, store);
    if (sub == "remove") return Remove(a, store);
    if (sub == "scan") return Scan(a, store);
    if (sub == "search") return Search(a, store);
    return Stats(a, store);
}

}  // namespace sonfara::cli
