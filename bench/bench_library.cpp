// The song library's speed: a generated collection scanned first and again
// with nothing changed, searches over a database of many rows, and the
// database's size per song. Baselines from the same run: reading every
// file's bytes on the same threads (the scan's floor), and a LIKE scan of
// the titles (a search without the index).
//
//   bench_library [--songs N] [--rows N] [--jobs N] [--queries N] [--keep DIR]
//                 [--search-db FILE]
#include <archive.h>
#include <archive_entry.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "player/files/paths.h"
#include "player/library/library_store.h"
#include "player/library/scanner.h"
#include "player/library/text_fold.h"
#include "player/platform/user_files.h"
#include "tests/library/song_maker.h"

namespace {

namespace fs = std::filesystem;
using namespace sonfara;
using namespace sonfara::library;
using Clock = std::chrono::steady_clock;

// Words are made from pieces, so the vocabulary is as wide as a real
// collection's: two kanji, a katakana word, or an English-like word.
const char* kKanji[] = {"夜", "空", "花", "火", "青", "春", "未", "来", "約", "束", "故", "郷",
                        "月", "光", "銀", "河", "街", "角", "少", "年", "伝", "説", "勇", "者",
                        "魔", "法", "冒", "険", "桜", "風", "海", "雪", "恋", "夢", "星", "森",
                        "城", "竜", "王", "国", "島", "山", "川", "雨", "雲", "虹", "朝", "夕",
                        "秋", "冬", "夏", "愛", "心", "声", "歌", "舞", "戦", "闘", "平", "和",
                        "勝", "利", "運", "命", "希", "望", "時", "代", "世", "界", "旅", "路"};
const char* kKana[] = {"メ", "ロ", "デ", "ィ", "ワ", "ル", "ツ", "マ", "ー", "チ", "テ", "ス",
                       "ジ", "エ", "ン", "グ", "オ", "プ", "バ", "ト", "ボ", "ピ", "ア", "ノ",
                       "ラ", "イ", "キ", "サ", "タ", "カ", "リ", "ド", "ミ", "ソ", "シ", "ク"};
const char* kSyllables[] = {"pa",  "ri", "to",  "mel", "on",  "dy",   "sta", "ge", "bat", "tle",
                            "dre", "am", "ni",  "ght", "ca",  "stle", "vic", "to", "ry",  "pre",
                            "lu",  "de", "fu",  "gue", "wal", "tz",   "mar", "ch", "ro",  "ck",
                            "lo",  "ve", "sky", "fi",  "eld", "tow",  "n",   "bo", "ss",  "ex"};
const char* kInstruments[] = {
    "Piano",     "Strings",   "ドラム", "ベース", "Guitar",   "Organ",   "Brass",      "フルート",
    "Melody",    "Chorus",    "Harp",   "Bells",  "Choir",    "Pad",     "Lead",       "Sax",
    "Trumpet",   "Violin",    "Cello",  "Oboe",   "Clarinet", "Marimba", "Vibraphone", "Timpani",
    "Accordion", "Harmonica", "Synth",  "Sitar",  "Koto",     "Shamisen"};

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& members) {
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_filename(a, path.c_str());
    for (const auto& [name, data] : members) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
        archive_write_header(a, e);
        archive_write_data(a, data.data(), data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

struct TempDir {
    TempDir() {
        std::string t = (fs::temp_directory_path() / "sonfara-library-XXXXXX").string();
        path = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

struct Generator {
    std::mt19937 rng{20261209};
    const platform::CodePage cp{"CP932"};
    std::vector<std::string> vocabulary;

    Generator() {
        for (int i = 0; i < 4000; ++i) {
            std::string w;
            switch (i % 3) {
                case 0:
                    w = std::string(Pick(kKanji)) + Pick(kKanji);
                    break;
                case 1:
                    for (int k = 0, n = 3 + static_cast<int>(rng() % 3); k < n; ++k)
                        w += Pick(kKana);
                    break;
                default:
                    for (int k = 0, n = 2 + static_cast<int>(rng() % 2); k < n; ++k)
                        w += Pick(kSyllables);
            }
            vocabulary.push_back(w);
        }
    }
    template <size_t N>
    const char* Pick(const char* (&list)[N]) {
        return list[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
    }
    const std::string& Word() {
        return vocabulary[std::uniform_int_distribution<size_t>(0, vocabulary.size() - 1)(rng)];
    }
    std::string Title() {
        std::string t;
        const int words = std::uniform_int_distribution<int>(2, 3)(rng);
        for (int i = 0; i < words; ++i) t += (i ? (rng() % 2 ? " " : "の") : "") + Word();
        return t + " " + std::to_string(std::uniform_int_distribution<int>(1, 99)(rng));
    }
    test::SongPlan Plan() {
        test::SongPlan s;
        s.title = cp.FromUtf8(Title());
        const int tracks = std::uniform_int_distribution<int>(4, 12)(rng);
        for (int k = 0; k < tracks; ++k) {
            s.programs.push_back(std::uniform_int_distribution<int>(0, 127)(rng));
            s.trackNames.push_back(cp.FromUtf8(Pick(kInstruments)));
        }
        s.copyright = "Copyright (C) 199" + std::to_string(rng() % 10) + " Tenmoor";
        s.texts = {cp.FromUtf8("作曲: " + Word())};
        if (rng() % 10 == 0) s.lyrics = {cp.FromUtf8(Word()), cp.FromUtf8(Word())};
        s.reset = static_cast<test::SongPlan::Reset>(rng() % 4);
        s.notes = std::uniform_int_distribution<int>(50, 400)(rng);
        s.padTo = std::uniform_int_distribution<size_t>(10, 200)(rng) * 1024;
        return s;
    }
};

// The collection: songs in folders of 100, one in ten folders packed as a
// ZIP archive instead.
void MakeCollection(const std::string& root, int songs) {
    Generator g;
    for (int folder = 0; folder * 100 < songs; ++folder) {
        const std::string dir = root + "/set" + std::to_string(folder);
        const int count = std::min(100, songs - folder * 100);
        if (folder % 10 == 9) {
            std::vector<std::pair<std::string, std::string>> members;
            for (int i = 0; i < count; ++i)
                members.emplace_back("song" + std::to_string(i) + ".mid", test::MakeSong(g.Plan()));
            fs::create_directories(root);
            WriteZip(dir + ".zip", members);
            continue;
        }
        fs::create_directories(dir);
        for (int i = 0; i < count; ++i)
            WriteBytes(dir + "/song" + std::to_string(i) + ".mid", test::MakeSong(g.Plan()));
    }
}

// Every file's bytes read on `jobs` threads: the least a scan can cost.
double ReadEverything(const std::string& root, int jobs) {
    std::vector<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) paths.push_back(e.path().string());
    const auto start = Clock::now();
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; ++j)
        threads.emplace_back([&] {
            std::string bytes;
            for (size_t i; (i = next++) < paths.size();)
                (void)platform::ReadWholeFile(paths[i], bytes);
        });
    for (auto& t : threads) t.join();
    return Seconds(start);
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

void FillRows(LibraryStore& store, int rows) {
    Generator g;
    int64_t folder = 0;
    (void)store.AddFolder("/bench", &folder);
    (void)store.Begin();
    for (int i = 0; i < rows; ++i) {
        SongRecord r;
        r.path = "/bench/set" + std::to_string(i / 100) + "/song" + std::to_string(i) + ".mid";
        r.title = g.Title();
        for (int k = 0; k < 6; ++k)
            r.trackNames += std::string(k ? "\n" : "") + g.Pick(kInstruments);
        r.texts = "Copyright (C) 1995 Tenmoor\n作曲: " + g.Word();
        r.module = static_cast<SongModule>(i % 4);
        r.lengthMs = static_cast<int32_t>(g.rng() % 400000);
        r.format = "SMF Format 1";
        for (int k = 0; k < 8; ++k) {
            const int p = static_cast<int>(g.rng() % 128);
            r.programs[p >> 6] |= uint64_t{1} << (p & 63);
        }
        (void)store.Insert(r, folder, r.path.substr(7));
        if (i % 5000 == 4999) (void)store.Commit(), (void)store.Begin();
    }
    (void)store.Commit();
}

struct Timings {
    std::vector<double> ms;
    size_t found = 0;
};

template <typename Fn>
Timings TimeQueries(const std::vector<std::string>& queries, int rounds, Fn&& fn) {
    Timings t;
    for (int r = 0; r < rounds; ++r)
        for (const std::string& q : queries) {
            const auto start = Clock::now();
            t.found += fn(q);
            t.ms.push_back(Seconds(start) * 1000);
        }
    return t;
}

void SearchFigures(const std::string& dbPath, int rows, int rounds) {
    fs::remove(dbPath);
    LibraryStore store;
    if (!store.Open(dbPath).ok()) return;
    auto start = Clock::now();
    FillRows(store, rows);
    std::printf("rows\t%d inserted in %.1f s\n", rows, Seconds(start));
    const LibraryStats st = store.Stats();
    std::printf("database\t%.0f bytes per row (with its texts)\n",
                static_cast<double>(st.databaseBytes) / rows);

    // Words of the titles (three characters or more), and two-kanji words;
    // "piano" is in about half of the songs' track names.
    Generator words;
    std::vector<std::string> oneWord = {"piano"}, twoChar;
    for (const std::string& w : words.vocabulary) {
        const size_t chars = DecodeUtf8(w).size();
        if (chars == 2 && twoChar.size() < 50) twoChar.push_back(w);
        if (chars >= 3 && oneWord.size() < 50) oneWord.push_back(w);
    }
    sqlite3* raw = nullptr;
    sqlite3_open_v2(dbPath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    auto like = [raw](const std::string& q) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(raw,
                           "SELECT id FROM songs WHERE title LIKE ?1 ORDER BY title COLLATE "
                           "NOCASE LIMIT 1000",
                           -1, &s, nullptr);
        const std::string pattern = "%" + q + "%";
        sqlite3_bind_text(s, 1, pattern.c_str(), -1, SQLITE_TRANSIENT);
        size_t n = 0;
        while (sqlite3_step(s) == SQLITE_ROW) ++n;
        sqlite3_finalize(s);
        return n;
    };
    std::vector<LibraryRow> found;
    auto indexed = [&](const std::string& q) {
        (void)store.Search(q, found, 1000);
        return found.size();
    };
    for (const auto& [name, queries] :
         {std::pair{"one word", oneWord}, {"two-char Japanese", twoChar}}) {
        const Timings base = TimeQueries(queries, rounds, like);
        const Timings t = TimeQueries(queries, rounds, indexed);
        std::printf(
            "search %s\tmedian %.2f ms, p99 %.2f ms (%zu searches, %.0f rows each on average); "
            "LIKE on titles median %.2f ms, p99 %.2f ms; ratio of medians %.3f\n",
            name, Percentile(t.ms, 0.5), Percentile(t.ms, 0.99), t.ms.size(),
            static_cast<double>(t.found) / t.ms.size(), Percentile(base.ms, 0.5),
            Percentile(base.ms, 0.99), Percentile(t.ms, 0.5) / Percentile(base.ms, 0.5));
    }
    const Timings filters =
        TimeQueries({"module:gs length:<3:00", "program:19", "夜 piano"}, rounds, indexed);
    std::printf("search filters/one char\tmedian %.2f ms, p99 %.2f ms\n",
                Percentile(filters.ms, 0.5), Percentile(filters.ms, 0.99));
    sqlite3_close(raw);
}

}  // namespace

int main(int argc, char** argv) {
    int songs = 20000, rows = 100000, jobs = 2, rounds = 20;
    std::string keep, searchDb;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string k = argv[i];
        if (k == "--songs")
            songs = std::atoi(argv[i + 1]);
        else if (k == "--rows")
            rows = std::atoi(argv[i + 1]);
        else if (k == "--jobs")
            jobs = std::atoi(argv[i + 1]);
        else if (k == "--queries")
            rounds = std::atoi(argv[i + 1]);
        else if (k == "--keep")
            keep = argv[i + 1];
        else if (k == "--search-db")
            searchDb = argv[i + 1];
    }
    TempDir tmp;
    const std::string root = keep.empty() ? tmp / "collection" : keep;
    if (!fs::exists(root)) {
        const auto start = Clock::now();
        MakeCollection(root, songs);
        std::printf("collection\t%d songs generated in %.1f s\n", songs, Seconds(start));
    }
    uintmax_t bytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) bytes += e.file_size();
    std::printf("collection\t%.0f MB on disk\n", bytes / 1e6);
    ReadEverything(root, jobs);  // warm: the files are in the page cache
    const double floor = ReadEverything(root, jobs);

    const std::string db = tmp / "library.db";
    LibraryStore store;
    if (!store.Open(db).ok() || !store.AddFolder(root).ok()) return 1;
    ScanOptions o;
    o.jobs = jobs;
    ScanSummary sum;
    auto start = Clock::now();
    library::LibraryStatus s = ScanLibrary(store, o, sum);
    const double first = Seconds(start);
    std::printf(
        "first scan\t%.2f s (%zu files, %zu songs, %zu failed; %s); reading the bytes "
        "alone %.2f s; ratio %.1f\n",
        first, sum.files, sum.songs, sum.failed, s.ok() ? "ok" : s.Message().c_str(), floor,
        first / floor);
    std::vector<double> again;
    for (int i = 0; i < 5; ++i) {
        start = Clock::now();
        s = ScanLibrary(store, o, sum);
        again.push_back(Seconds(start));
    }
    std::printf("rescan, nothing changed\tmedian %.3f s of 5 (%zu read)\n", Percentile(again, 0.5),
                sum.read);
    const LibraryStats st = store.Stats();
    sqlite3* raw = nullptr;
    sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(raw,
                       "SELECT sum(length(title)+length(names)+length(texts)+length(lyrics)) FROM "
                       "songs JOIN song_texts USING (id)",
                       -1, &q, nullptr);
    sqlite3_step(q);
    const double texts = static_cast<double>(sqlite3_column_int64(q, 0));
    sqlite3_finalize(q);
    sqlite3_close(raw);
    std::printf("database\t%.0f bytes per song, %.0f of them the songs' texts, %.0f the rest\n",
                static_cast<double>(st.databaseBytes) / st.songs, texts / st.songs,
                (st.databaseBytes - texts) / st.songs);
    store.Close();
    SearchFigures(searchDb.empty() ? tmp / "search.db" : searchDb, rows, rounds);
    return 0;
}
