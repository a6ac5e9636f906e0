// SPDX-License-Identifier: MIT
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A "++" adapter at the far end of a loopback TCP port or of a pseudo-terminal, reached through
// a symbolic link so that it can vanish and come back under one name as a USB adapter does. Its
// thread records every byte it receives and answers "++" commands from a table, afresh at each
// plug-in: each command's answers in turn ("" says nothing), the last one again from then on.
class FakeAdapter {
public:
    using Replies = std::map<std::string, std::vector<std::string>>;
    FakeAdapter(bool tcp, Replies replies) : tcp_(tcp), replies_(std::move(replies)) {
        link_ = testing::TempDir() + "zelmor-adapter-" + std::to_string(getpid()) + "-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(this));
        plug();
    }
    ~FakeAdapter() { unplug(); }

    // What follows "prologix:" or "prologix-tcp:".
    std::string options() const { return tcp_ ? "127.0.0.1:" + std::to_string(port_) : link_; }

    // Everything received since the last call, once nothing more has come for 50 ms.
    std::string take() {
        for (std::size_t size = SIZE_MAX;;
             std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            std::lock_guard lock(mutex_);
            if (received_.size() == size) return std::exchange(received_, {});
            size = received_.size();
        }
    }
    // The serial line's speed as the driver set it (0 over TCP).
    speed_t speed() const {
        termios t{};
        return !tcp_ && tcgetattr(slave_, &t) == 0 ? cfgetospeed(&t) : 0;
    }
    // From now on, and at each plug-in.
    void reply(const std::string& command, const std::vector<std::string>& answers) {
        std::lock_guard lock(mutex_);
        replies_[command] = pending_[command] = answers;
    }

    // Pulls the cable: the thread stops, the connection, the listening port or the terminal and
    // its name go.
    void unplug() {
        thread_ = {};
        for (int* fd : {&conn_, &listen_, &slave_}) hangUp(*fd);
        if (!tcp_) unlink(link_.c_str());
    }
    void plug() {
        pending_ = replies_;
        termios raw{};
        cfmakeraw(&raw);
        sockaddr_in at{AF_INET, htons(port_), {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof at;
        const int on = 1;
        listen_ = tcp_ ? socket(AF_INET, SOCK_STREAM, 0) : -1;
        // The fake keeps the terminal's own end open too, so it never sees a hang-up.
        const bool made = tcp_ ? !setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) &&
                                     !bind(listen_, reinterpret_cast<sockaddr*>(&at), size) &&
                                     !listen(listen_, 1) &&
                                     !getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &size)
                               : !openpty(&conn_, &slave_, nullptr, &raw, nullptr) &&
                                     !symlink(ttyname(slave_), link_.c_str());
        port_ = ntohs(at.sin_port);
        EXPECT_TRUE(made) << "the fake adapter cannot plug in at " << options();
        thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }

private:
    static void hangUp(int& fd) { fd = fd >= 0 ? close(fd), -1 : -1; }

    // Only this thread uses the descriptors while it runs.
    void run(const std::stop_token& stop) {
        std::string line;
        while (!stop.stop_requested()) {
            pollfd fds[2] = {{conn_, POLLIN, 0}, {listen_, POLLIN, 0}};
            if (poll(fds, 2, 5) <= 0) continue;
            if (fds[1].revents & POLLIN) {
                hangUp(conn_);
                conn_ = accept(listen_, nullptr, nullptr);
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(conn_, buffer, sizeof buffer);
            if (n <= 0 && tcp_) hangUp(conn_);  // the driver hung up
            if (n <= 0) continue;
            std::lock_guard lock(mutex_);
            received_.append(buffer, n);
            line.append(buffer, n);
            for (std::size_t end; (end = line.find('\n')) != std::string::npos;) {
                if (line.starts_with("++")) answer(line.substr(0, line.find_first_of(" \n")));
                line.erase(0, end + 1);
            }
        }
    }

    // Each command's answers in turn; what cannot be written is lost, as on a dead line.
    void answer(const std::string& command) {
        const auto it = pending_.find(command);
        if (it == pending_.end() || it->second.empty()) return;
        const std::string& bytes = it->second.front();
        static_cast<void>(tcp_ ? send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                               : ::write(conn_, bytes.data(), bytes.size()));
        if (it->second.size() > 1) it->second.erase(it->second.begin());
    }

    const bool tcp_;
    std::string link_;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::string received_;
    Replies replies_, pending_;
    int conn_ = -1, listen_ = -1, slave_ = -1;
    std::jthread thread_;
};
