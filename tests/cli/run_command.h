// Runs a shell command and keeps its standard output and exit status (the
// CLI tests run the real sonfara-cli this way).
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace sonfara::test {

struct CommandRun {
    int status = -1;  // -1 when it did not exit normally
    std::string out;
};

// The program's own language, Japanese, whatever the caller's locale: the
// tests compare its messages.
inline CommandRun RunCommand(const std::string& command) {
    CommandRun r;
    FILE* p = ::popen(("export LC_ALL=C.UTF-8; " + command).c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

}  // namespace sonfara::test
