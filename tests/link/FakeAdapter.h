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

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

// A "++" adapter at the far end of a loopback TCP port or of a pseudo-terminal, reached through
// a symbolic link so that it can vanish and come back under one name as a USB adapter does. Its
// thread records every byte it receives and answers ++ver, ++fndl and, when told, ++llo. An
// AR488 resets when plugged in: it misses the first two ++ver and greets with noise.
class FakeAdapter {
public:
    FakeAdapter(bool tcp, bool ar488) : tcp_(tcp), ar488_(ar488) {
        link_ = testing::TempDir() + "zelmor-adapter-" + std::to_string(getpid()) + "-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(this));
        plug();
        thread_ = std::thread([this] { run(); });
    }
    ~FakeAdapter() {
        stop_ = true;
        thread_.join();
        unplug();
    }

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
    // Sends bytes unasked; sets what ++fndl answers.
    void say(const std::string& bytes) {
        std::lock_guard lock(mutex_);
        write(bytes);
    }
    void setListeners(const std::string& list) {
        std::lock_guard lock(mutex_);
        listeners_ = list;
    }

    // Pulls the cable: the connection, the listening port or the terminal and its name go.
    void unplug() {
        std::lock_guard lock(mutex_);
        ++generation_;
        for (int* fd : {&conn_, &listen_, &slave_}) hangUp(*fd);
        if (!tcp_) unlink(link_.c_str());
        // A descriptor closed while the thread polls it goes only when the poll returns.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    void plug() {
        std::lock_guard lock(mutex_);
        ++generation_;
        deaf_ = ar488_ ? 2 : 0;
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
    }

    std::atomic<bool> silent{false};      // hears everything, answers nothing
    std::atomic<bool> stalled{false};     // takes nothing more
    std::atomic<bool> lloUnknown{false};  // old firmware

private:
    static void hangUp(int& fd) { fd = fd >= 0 ? close(fd), -1 : -1; }

    // What cannot be written is lost, as on a line nobody listens to.
    void write(const std::string& bytes) {
        if (conn_ < 0) return;
        static_cast<void>(tcp_ ? send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                               : ::write(conn_, bytes.data(), bytes.size()));
    }

    void run() {
        std::string line;
        bool escape = false;
        while (!stop_) {
            pollfd fds[2];
            unsigned generation;
            {
                std::lock_guard lock(mutex_);
                fds[0] = {stalled ? -1 : conn_, POLLIN, 0};
                fds[1] = {listen_, POLLIN, 0};
                generation = generation_;
            }
            if (poll(fds, 2, 5) <= 0) continue;
            std::lock_guard lock(mutex_);
            if (generation != generation_) continue;  // unplugged or plugged meanwhile
            if (fds[1].revents & POLLIN) {
                hangUp(conn_);
                conn_ = accept(listen_, nullptr, nullptr);
                continue;
            }
            char buffer[4096];
            const ssize_t n = fds[0].revents ? read(conn_, buffer, sizeof buffer) : 0;
            if (n <= 0 && tcp_ && fds[0].revents) hangUp(conn_);  // the driver hung up
            if (n <= 0) continue;
            received_.append(buffer, n);
            for (int i = 0; i < n; ++i) {
                const char ch = buffer[i];
                if (!escape && (ch == '\n' || ch == '\r')) {
                    if (line.starts_with("++")) answer(line);
                    line.clear();
                } else if (!(escape = !escape && ch == '\x1B')) {  // an escaped byte is kept
                    line += ch;
                }
            }
        }
    }

    void answer(const std::string& command) {
        if (silent) return;
        if (command == "++ver" && deaf_ > 0) {
            if (--deaf_ == 0) write("\xF8\xFF\xFE\r\nready.\r\n");
        } else if (command == "++ver") {
            write(ar488_ ? "AR488 GPIB controller, ver. 0.51.29, 18/03/2024\r\n"
                         : "Prologix GPIB-USB Controller version 6.107\r\n");
        } else if (ar488_ && command.starts_with("++fndl")) {
            write(listeners_ + "\r\n");
        } else if (command == "++llo" && lloUnknown) {
            write("Unrecognized command\r\n");
        }
    }

    const bool tcp_, ar488_;
    std::string link_;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::string received_, listeners_ = "7";
    int conn_ = -1, listen_ = -1, slave_ = -1;
    unsigned generation_ = 0;
    int deaf_ = 0;  // ++ver still to miss
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
