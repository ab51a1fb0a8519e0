#include "player/platform/file_types.h"

#include <cerrno>
#include <vector>

#include "player/platform/user_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace sonfara::platform {

const std::array<AssociableExtension, kAssociableCount>& AssociableExtensions() {
    static const std::array<AssociableExtension, kAssociableCount> list = {{
        {".mid", "audio/midi", false, "標準SMFファイル"},
        {".rmi", "audio/x-sonfara-rmi", true, "RIFFヘッダ付加SMFファイル"},
        {".rcp", "audio/x-sonfara-rcp", true, "レコンポーザ形式ファイル"},
        {".r18", "audio/x-sonfara-r18", true, "レコンポーザ形式ファイル"},
        {".r36", "audio/x-sonfara-r36", true, "レコンポーザ形式ファイル"},
        {".g18", "audio/x-sonfara-g18", true, "レコンポーザ形式ファイル"},
        {".g36", "audio/x-sonfara-g36", true, "レコンポーザ形式ファイル"},
        {".mlt", "application/x-sonfara-mlt", true, "MIDIリストファイル"},
        {".lmd", "application/x-sonfara-lmd", true, "圧縮MIDIファイル(LHA)"},
        {".zmd", "application/x-sonfara-zmd", true, "圧縮MIDIファイル(ZIP)"},
    }};
    return list;
}

std::string PlayerMimeTypes() {
    std::string list;
    for (const auto& e : AssociableExtensions()) list += std::string(e.mime_type) + ";";
    return list + "audio/x-midi;application/x-lha;application/zip;";
}

std::string MimePackageXml() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const auto& e : AssociableExtensions()) {
        if (!e.own_type) continue;
        xml += std::string("  <mime-type type=\"") + e.mime_type + "\">\n" + "    <comment>" +
               e.comment + "</comment>\n" + "    <glob pattern=\"*" + e.ext + "\"/>\n" +
               "  </mime-type>\n";
    }
    return xml + "</mime-info>\n";
}

bool IsPlayerAssociation(const std::string& value) {
    if (value == kPlayerFileType) return true;
    // A freedesktop list names the preferred application first.
    const std::string first = value.substr(0, value.find(';'));
    return first == std::string(kPlayerFileType) + ".desktop";
}

std::array<bool, kAssociableCount> PlayerAssociations(ShellIntegration& shell) {
    std::array<bool, kAssociableCount> a{};
    for (int i = 0; i < kAssociableCount; ++i) a[i] = IsPlayerAssociation(shell.ReadAssociation(i));
    return a;
}

void ApplyAssociations(ShellIntegration& shell, const std::array<bool, kAssociableCount>& selected,
                       std::array<std::string, kAssociableCount>& executable) {
    for (int i = 0; i < kAssociableCount; ++i) {
        const std::string now = shell.ReadAssociation(i);
        const bool ours = IsPlayerAssociation(now);
        if (selected[i] && !ours) {
            executable[i] = now;
            shell.WriteAssociation(i, kPlayerFileType);
        } else if (!selected[i] && ours) {
            shell.WriteAssociation(i, executable[i]);
        }
    }
}

std::string DesktopExecQuote(const std::string& path) {
    std::string q = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') q += '\\';
        if (c == '%') q += '%';
        q += c;
    }
    q += '"';
    // The key-file layer escapes backslashes once more.
    std::string out;
    for (char c : q) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

#ifndef _WIN32
namespace {

constexpr const char* kDefaultGroup = "[Default Applications]";

bool WriteIfChanged(const std::string& path, const std::string& bytes, bool* changed) {
    std::string old;
    if (ReadWholeFile(path, old) == ReadStatus::kOk && old == bytes) {
        if (changed) *changed = false;
        return true;
    }
    if (changed) *changed = true;
    return WriteFileReplacing(path, bytes).ok();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

std::string TrimBlanks(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Index range [first, end) of the group's lines after its header; first ==
// npos when the group is missing.
void FindGroup(const std::vector<std::string>& lines, size_t& header, size_t& end) {
    header = std::string::npos;
    end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string t = TrimBlanks(lines[i]);
        if (header == std::string::npos) {
            if (t == kDefaultGroup) header = i;
        } else if (!t.empty() && t[0] == '[') {
            end = i;
            return;
        }
    }
}

bool KeyOf(const std::string& line, const std::string& key) {
    const size_t eq = line.find('=');
    return eq != std::string::npos && TrimBlanks(line.substr(0, eq)) == key;
}

void RunUpdateMimeDatabase(const std::string& mime_dir) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::string tool = "update-mime-database";
    std::vector<char*> argv = {tool.data(), const_cast<char*>(mime_dir.c_str()), nullptr};
    pid_t pid;
    // A missing tool is normal on minimal systems: the definitions still
    // take effect the next time the database is rebuilt.
    if (posix_spawnp(&pid, tool.c_str(), &fa, nullptr, argv.data(), environ) == 0) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&fa);
}

}  // namespace

FreedesktopShell::FreedesktopShell(std::string data_home, std::string config_home,
                                   bool update_mime_database)
    : data_home_(data_home.empty() ? UserDataFolder() : std::move(data_home)),
      config_home_(config_home.empty() ? UserConfigFolder() : std::move(config_home)),
      update_mime_database_(update_mime_database) {}

std::string FreedesktopShell::DesktopEntryPath() const {
    return JoinPath(JoinPath(data_home_, "applications"), DesktopId());
}
std::string FreedesktopShell::MimePackagePath() const {
    return JoinPath(JoinPath(data_home_, "mime/packages"), "Sonfara.xml");
}
std::string FreedesktopShell::MimeAppsPath() const {
    return JoinPath(config_home_, "mimeapps.list");
}

bool FreedesktopShell::RegisterFileType(const std::string& launcher) {
    const std::string exec = DesktopExecQuote(launcher) + " %f";
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Sonfara\n"
        "GenericName=MIDI File\n"
        "Comment=MIDI File\n"
        "Icon=sonfara\n"
        "Exec=" +
        exec +
        "\n"
        "MimeType=" +
        PlayerMimeTypes() +
        "\n"
        "NoDisplay=true\n"
        "Actions=play;\n"
        "\n"
        "[Desktop Action play]\n"
        "Name=演奏開始(&P)\n"
        "Exec=" +
        exec + "\n";
    const std::string xml = MimePackageXml();

    bool xmlChanged = false;
    const bool ok = WriteIfChanged(DesktopEntryPath(), entry, nullptr) &&
                    WriteIfChanged(MimePackagePath(), xml, &xmlChanged);
    if (ok && xmlChanged && update_mime_database_)
        RunUpdateMimeDatabase(JoinPath(data_home_, "mime"));
    return ok;
}

std::string FreedesktopShell::ReadAssociation(int index) {
    if (index < 0 || index >= kAssociableCount) return {};
    std::string text;
    if (ReadWholeFile(MimeAppsPath(), text) != ReadStatus::kOk) return {};
    const std::vector<std::string> lines = SplitLines(text);
    size_t header, end;
    FindGroup(lines, header, end);
    if (header == std::string::npos) return {};
    const std::string key = AssociableExtensions()[index].mime_type;
    for (size_t i = header + 1; i < end; ++i) {
        if (KeyOf(lines[i], key)) return TrimBlanks(lines[i].substr(lines[i].find('=') + 1));
    }
    return {};
}

bool FreedesktopShell::WriteAssociation(int index, const std::string& value) {
    if (index < 0 || index >= kAssociableCount) return false;
    std::string text;
    const ReadStatus rs = ReadWholeFile(MimeAppsPath(), text);
    if (rs == ReadStatus::kUnreadable || rs == ReadStatus::kNotAFile) return false;
    std::vector<std::string> lines = SplitLines(text);
    const std::string key = AssociableExtensions()[index].mime_type;
    const bool remove = value.empty() || value == "None";
    std::string line;
    if (!remove) {
        std::string v = value == kPlayerFileType ? FreedesktopShell::DesktopId() + ";" : value;
        if (v.find_first_of("\r\n") != std::string::npos) return false;
        line = key + "=" + v;
    }

    size_t header, end;
    FindGroup(lines, header, end);
    if (header == std::string::npos) {
        if (remove) return true;
        if (!lines.empty() && !TrimBlanks(lines.back()).empty()) lines.push_back("");
        lines.push_back(kDefaultGroup);
        lines.push_back(line);
    } else {
        bool done = false;
        for (size_t i = header + 1; i < end && !done; ++i) {
            if (!KeyOf(lines[i], key)) continue;
            if (remove)
                lines.erase(lines.begin() + static_cast<long>(i));
            else
                lines[i] = line;
            done = true;
        }
        if (!done) {
            if (remove) return true;
            // Insert after the group's last non-blank line.
            size_t at = end;
            while (at > header + 1 && TrimBlanks(lines[at - 1]).empty()) --at;
            lines.insert(lines.begin() + static_cast<long>(at), line);
        }
    }
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return WriteFileReplacing(MimeAppsPath(), out).ok();
}

ShellIntegration& PlatformShell() {
    static FreedesktopShell shell;
    return shell;
}

#else  // _WIN32

namespace {

bool SetDefault(const std::string& subkey, const std::string& value) {
    HKEY h;
    const std::string path = "Software\\Classes\\" + subkey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExA(h, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
}

}  // namespace

bool RegistryShell::RegisterFileType(const std::string& launcher) {
    std::string icon = launcher + ",0";
    std::string command = launcher + " \"%1\"";
    // The menu caption is stored in the system code page.
    return SetDefault("Sonfara.File", "MIDI File") &&
           SetDefault("Sonfara.File\\DefaultIcon", icon) &&
           SetDefault("Sonfara.File\\shell", "play") &&
           SetDefault("Sonfara.File\\shell\\play", "\x89\x89\x91\x74\x8a\x4a\x8e\x6e(&P)") &&
           SetDefault("Sonfara.File\\shell\\play\\command", command);
}

std::string RegistryShell::ReadAssociation(int index) {
    if (index < 0 || index >= kAssociableCount) return {};
    HKEY h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, AssociableExtensions()[index].ext, 0, KEY_READ, &h) !=
        ERROR_SUCCESS)
        return {};
    char buf[4096];
    DWORD size = sizeof buf, type = 0;
    std::string v;
    if (RegQueryValueExA(h, "", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        v.assign(buf, size);
        while (!v.empty() && v.back() == '\0') v.pop_back();
    }
    RegCloseKey(h);
    return v;
}

bool RegistryShell::WriteAssociation(int index, const std::string& value) {
    if (index < 0 || index >= kAssociableCount) return false;
    return SetDefault(AssociableExtensions()[index].ext, value);
}

ShellIntegration& PlatformShell() {
    static RegistryShell shell;
    return shell;
}

#endif

}  // namespace sonfara::platform
