// Shared pieces of the file-layer tests: a scratch folder, a recording
// notifier, archives written with libarchive, a playback target that loads
// songs with the real SMF reader.
#pragma once

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "player/files/file_op.h"
#include "player/files/paths.h"
#include "player/song/smf_reader.h"
#include "player/song/song_table.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara::files::test {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "sonfara-files-XXXXXX").string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::string s;
    ReadFileBytes(path, s);
    return s;
}

// A small valid song: one track, one note.
inline std::string SongBytes(uint8_t note = 60) {
    using sonfara::test::Track;
    const auto b = sonfara::test::Smf(
        0, 480, {Track().Msg(0, {0x90, note, 100}).Msg(480, {0x80, note, 0}).End()});
    return std::string(b.begin(), b.end());
}

class RecordingNotifier final : public Notifier {
  public:
    void Error(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// (member name, bytes) pairs written as a ZIP archive by libarchive.
inline void WriteZip(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& members) {
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
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

// A stored ZIP whose names are the given bytes with no UTF-8 mark, as
// Info-ZIP writes them on Unix (and as DOS tools wrote code-page names).
inline std::string RawZip(const std::vector<std::pair<std::string, std::string>>& members) {
    auto crc32 = [](const std::string& d) {
        uint32_t c = 0xFFFFFFFFu;
        for (unsigned char b : d) {
            c ^= b;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return ~c;
    };
    auto le = [](std::string& s, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string out, central;
    for (const auto& [name, data] : members) {
        const uint32_t at = static_cast<uint32_t>(out.size());
        const uint32_t crc = crc32(data);
        const auto size = static_cast<uint32_t>(data.size());
        le(out, 0x04034b50, 4), le(out, 10, 2), le(out, 0, 2), le(out, 0, 2), le(out, 0, 4);
        le(out, crc, 4), le(out, size, 4), le(out, size, 4);
        le(out, static_cast<uint32_t>(name.size()), 2), le(out, 0, 2);
        out += name + data;
        le(central, 0x02014b50, 4), le(central, 0x031E, 2), le(central, 10, 2), le(central, 0, 2);
        le(central, 0, 2), le(central, 0, 4), le(central, crc, 4), le(central, size, 4);
        le(central, size, 4), le(central, static_cast<uint32_t>(name.size()), 2);
        le(central, 0, 2), le(central, 0, 2), le(central, 0, 2), le(central, 0, 2);
        le(central, 0x81A40000u, 4), le(central, at, 4);
        central += name;
    }
    const auto count = static_cast<uint32_t>(members.size());
    const auto cdAt = static_cast<uint32_t>(out.size());
    out += central;
    le(out, 0x06054b50, 4), le(out, 0, 4), le(out, count, 2), le(out, count, 2);
    le(out, static_cast<uint32_t>(central.size()), 4), le(out, cdAt, 4), le(out, 0, 2);
    return out;
}

// Records what the file layer asks of the player; loads with the real reader.
class RecordingTarget final : public PlaybackTarget {
  public:
    void ClearSongCaption() override { calls.push_back("ClearSongCaption"); }
    void ResetSongDisplay() override { calls.push_back("ResetSongDisplay"); }
    void StopTimer() override {
        calls.push_back("StopTimer");
        timerRunning = false;
    }
    sequencer::PlaybackStatus OpenOrResetOutput() override {
        calls.push_back("OpenOrResetOutput");
        if (outputOk) return {};
        return sequencer::PlaybackError::kCannotOpenPort;
    }
    void EnableAllChannels() override { calls.push_back("EnableAllChannels"); }
    song::LoadStatus LoadSong(const std::string& path, const std::string& kindLabel,
                              const std::string& fileName) override {
        calls.push_back("LoadSong");
        loadedPaths.push_back(path);
        song::LoadOptions o;
        o.fileKindLabel = kindLabel;
        o.songFileName = fileName;
        return song::LoadSMF(path, song, o);
    }
    void ResendPrograms() override { calls.push_back("ResendPrograms"); }
    bool StartTimer() override {
        calls.push_back("StartTimer");
        timerRunning = timerOk;
        return timerOk;
    }
    void RequestExit() override { exitRequested = true; }
    void SongStarted(const SongSource& s) override { started.push_back(s); }

    std::vector<std::string> calls;
    std::vector<std::string> loadedPaths;
    std::vector<SongSource> started;
    song::SongTable song;
    bool outputOk = true;
    bool timerOk = true;
    bool timerRunning = false;
    bool exitRequested = false;
};

}  // namespace sonfara::files::test
