// Shortcut writer and the version exports.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "support/SfrLib.h"

namespace {

constexpr char kNotice[] = "SfrLib 2.00 Copyright (C) Tenmoor. All rights reserved.";
static_assert(sizeof kNotice <= SFRLIB_COPYRIGHT_MAX);

std::string_view Text(const char* s) {
    return s ? std::string_view(s) : std::string_view();
}

// A desktop-entry string value: backslash escapes for the characters the
// format reserves, and a leading blank kept as \s.
std::string EscapeValue(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case ' ':
                out += i == 0 ? "\\s" : " ";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The Exec line before value escaping: the target as one quoted argument,
// then the caller's argument text. '%' would start a field code, so it is
// doubled everywhere.
std::string ExecCommand(std::string_view target, std::string_view arguments) {
    std::string cmd = "\"";
    for (char c : target) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') cmd += '\\';
        if (c == '%') cmd += '%';
        cmd += c;
    }
    cmd += '"';
    if (!arguments.empty()) {
        cmd += ' ';
        for (char c : arguments) {
            if (c == '%') cmd += '%';
            cmd += c;
        }
    }
    return cmd;
}

// The launcher's display name: the shortcut's file name without extension.
std::string_view LinkName(std::string_view linkPath) {
    const size_t slash = linkPath.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? linkPath : linkPath.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return name;
}

std::string DesktopEntry(std::string_view target, std::string_view linkPath,
                         std::string_view arguments, std::string_view description,
                         std::string_view workingFolder, std::string_view iconFile) {
    std::string_view name = LinkName(linkPath);
    if (name.empty()) name = LinkName(target);
    std::string e = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    e += "Name=" + EscapeValue(name) + "\n";
    e += "Exec=" + EscapeValue(ExecCommand(target, arguments)) + "\n";
    if (!workingFolder.empty()) e += "Path=" + EscapeValue(workingFolder) + "\n";
    if (!iconFile.empty()) e += "Icon=" + EscapeValue(iconFile) + "\n";
    if (!description.empty()) e += "Comment=" + EscapeValue(description) + "\n";
    e += "Terminal=false\n";
    return e;
}

// Writes beside the destination and renames over it, so a reader never sees
// half a file and a failed write leaves any older shortcut in place.
int32_t WriteAtomically(const std::string& path, const std::string& body) {
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return -errno;
    int err = 0;
    size_t off = 0;
    while (off < body.size() && !err) {
        const ssize_t n = ::write(fd, body.data() + off, body.size() - off);
        if (n > 0) {
            off += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            err = errno;
        }
    }
    if (!err && ::fchmod(fd, 0755) != 0) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(tmp.c_str());
        return -err;
    }
    return 0;
}

}  // namespace

extern "C" {

int32_t SFRAPI CreateLink(const char* target, const char* linkPath, const char* arguments,
                          const char* description, const char* workingFolder, const char* iconFile,
                          int32_t iconIndex) {
    // A desktop entry has no icon index; the icon file alone is kept.
    if (Text(target).empty() || Text(linkPath).empty()) return -EINVAL;
    try {
        const std::string body =
            DesktopEntry(Text(target), Text(linkPath), Text(arguments), Text(description),
                         Text(workingFolder), Text(iconFile));
        return WriteAtomically(linkPath, body);
    } catch (...) {
        return -ENOMEM;
    }
}

int32_t SFRAPI SFRGetVersion(void) {
    return 200;
}

int32_t SFRAPI SFRGetCopyright(char* buffer) {
    if (buffer) std::memcpy(buffer, kNotice, sizeof kNotice);
    return 0;
}

}  // extern "C"
