// SSTP client: one loopback TCP connection per request, the answer never read.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "support/SfrLib.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultPort = 11000;
// Whole-call budgets. A receiver on the local machine answers a connect at
// once; the bound only matters when something is wrong with it.
constexpr auto kSendBudget = std::chrono::milliseconds(300);
constexpr auto kProbeBudget = std::chrono::milliseconds(150);

// SFRLIB_SSTP_PORT moves the port (tests run their own receiver).
int SstpPort() {
    if (const char* s = std::getenv("SFRLIB_SSTP_PORT")) {
        char* end = nullptr;
        const long v = std::strtol(s, &end, 10);
        if (end != s && *end == '\0' && v > 0 && v <= 65535) return static_cast<int>(v);
    }
    return kDefaultPort;
}

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A non-blocking stream socket connected to the loopback receiver, or -1.
int ConnectLoopback(Clock::time_point deadline) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(SstpPort()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return fd;
    if (errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int r;
        do {
            r = ::poll(&p, 1, MsLeft(deadline));
        } while (r < 0 && errno == EINTR);
        int err = 0;
        socklen_t len = sizeof err;
        if (r == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
            return fd;
        }
    }
    ::close(fd);
    return -1;
}

// Writes as much of the request as the receiver takes before the deadline;
// the outcome is not judged and no answer is read.
void SendAll(int fd, const char* bytes, size_t size, Clock::time_point deadline) {
    size_t off = 0;
    while (off < size) {
        const ssize_t n = ::send(fd, bytes + off, size - off, MSG_NOSIGNAL);
        if (n > 0) {
            off += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, MsLeft(deadline)) == 1 && !(p.revents & (POLLERR | POLLHUP))) {
                continue;
            }
        }
        return;
    }
}

// Joins the pieces and sends them; a request longer than the limit is
// refused whole rather than cut, and is never built.
int32_t Deliver(std::initializer_list<std::string_view> pieces) {
    size_t size = 0;
    for (std::string_view p : pieces) size += p.size();
    if (size > SFRLIB_SSTP_MAX_REQUEST) return -1;
    char request[SFRLIB_SSTP_MAX_REQUEST + 1];
    size_t at = 0;
    for (std::string_view p : pieces) {
        if (!p.empty()) std::memcpy(request + at, p.data(), p.size());
        at += p.size();
    }
    const auto deadline = Clock::now() + kSendBudget;
    const int fd = ConnectLoopback(deadline);
    if (fd < 0) return -1;
    SendAll(fd, request, size, deadline);
    ::close(fd);
    return 0;
}

std::string_view Text(const char* s) {
    return s ? std::string_view(s) : std::string_view();
}

}  // namespace

extern "C" {

int32_t SFRAPI SSTPIsEnabled(void) {
    // No named mutex here: a receiver is present when something accepts on
    // the SSTP port. The probe sends nothing.
    const int fd = ConnectLoopback(Clock::now() + kProbeBudget);
    if (fd < 0) return -1;
    ::close(fd);
    return 0;
}

int32_t SFRAPI SSTPSendString(const char* text) {
    return Deliver({Text(text)});
}

int32_t SFRAPI SSTPSendMessage(const char* script, const char* sender, const char* option) {
    // "\\e" is the script's end tag, two characters.
    return Deliver({"SEND SSTP/1.0\r\nSender: ", Text(sender), "\r\nScript: ", Text(script),
                    "\\e\r\nOption: ", Text(option), "\r\n\r\n"});
}

int32_t SFRAPI SSTPGiveDocument(const char* document, const char* sender) {
    return Deliver(
        {"GIVE SSTP/1.1\r\nSender: ", Text(sender), "\r\nDocument: ", Text(document), "\r\n\r\n"});
}

int32_t SFRAPI SSTPGiveSongname(const char* songName, const char* sender) {
    return Deliver(
        {"GIVE SSTP/1.1\r\nSender: ", Text(sender), "\r\nSongname: ", Text(songName), "\r\n\r\n"});
}

int32_t SFRAPI SSTPCommunicate(const char* sentence, const char* sender) {
    return Deliver({"COMMUNICATE SSTP/1.1\r\nSender: ", Text(sender),
                    "\r\nSentence: ", Text(sentence), "\r\n\r\n"});
}

}  // extern "C"
