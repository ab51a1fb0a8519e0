// A stand-in SSTP receiver on 127.0.0.1: accepts connections on an ephemeral
// port and records what each one sent until it closed.
#pragma once

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sonfara::test {

// Binds 127.0.0.1 on a free port; listen() only when asked.
inline int BindLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A port on which nothing listens (bound, then released).
inline int UnusedPort() {
    int port = 0;
    ::close(BindLoopback(port));
    return port;
}

// Points the library at a port for the lifetime of the object.
class PortOverride {
  public:
    explicit PortOverride(int port) {
        ::setenv("SFRLIB_SSTP_PORT", std::to_string(port).c_str(), 1);
    }
    ~PortOverride() { ::unsetenv("SFRLIB_SSTP_PORT"); }
};

class FakeSstpListener {
  public:
    // reading=false: the socket listens (backlog 1) but nothing is accepted or read.
    explicit FakeSstpListener(bool reading = true) {
        fd_ = BindLoopback(port_);
        ::listen(fd_, reading ? 16 : 1);
        if (reading) thread_ = std::thread([this] { Run(); });
    }
    ~FakeSstpListener() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    int Port() const { return port_; }

    // Waits until n connections have closed; returns their bytes.
    std::vector<std::string> WaitFor(size_t n, int timeoutMs = 5000) {
        std::unique_lock lock(mu_);
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                     [&] { return received_.size() >= n; });
        return received_;
    }
    size_t Count() {
        std::lock_guard lock(mu_);
        return received_.size();
    }

  private:
    void Run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1) continue;
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) continue;
            std::string bytes;
            char buf[4096];
            for (;;) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                bytes.append(buf, static_cast<size_t>(n));
            }
            ::close(c);
            std::lock_guard lock(mu_);
            received_.push_back(std::move(bytes));
            cv_.notify_all();
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::string> received_;
};

// Open file descriptors of this process.
inline int OpenFdCount() {
    int n = 0;
    if (auto* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

}  // namespace sonfara::test
