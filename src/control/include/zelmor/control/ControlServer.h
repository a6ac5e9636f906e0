// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "zelmor/control/PanelControl.h"

class QSocketNotifier;
class QTimer;

namespace zelmor::control {

// The control socket: a local (Unix domain) server taking lines of text from any number of
// clients, one reply line per request, in order. Lines end with LF (a CR before it is
// tolerated) and hold at most kMaxLine bytes; a longer one is answered with an error and
// skipped. Requests from every client run one after the other on the window's thread, in the
// order they arrived, at most kPerTurn per turn of the event loop so the window keeps
// answering. A client that leaves mid-line loses only that partial line; one that only stops
// sending (a shell's `echo ... | socat`) still gets its replies.
class ControlServer final : public QObject {
public:
    static constexpr int kMaxLine = 1024;
    static constexpr int kPerTurn = 8;

    explicit ControlServer(PanelControl& panel, QObject* parent = nullptr);
    ~ControlServer() override;

    // Listens at `path` (mode 0600), replacing a socket that nobody answers at. False, with
    // error() saying why, when another program answers there, the path is taken by something
    // else or too long, or the socket cannot be made.
    bool listen(const QString& path);
    const QString& error() const { return error_; }

private:
    // A connection on its own descriptor: Qt's local socket closes both ways when the client
    // stops sending, and the replies still owed would be lost.
    struct Client {
        int fd = -1;
        QSocketNotifier* readable = nullptr;
        QSocketNotifier* writable = nullptr;
        QByteArray partial;     // the line being received
        bool overlong = false;  // the line being received is past kMaxLine: dropped to its LF
        bool ended = false;     // the client sends no more
        int queued = 0;         // its requests waiting in queue_
        QByteArray unsent;      // replies the client has not taken yet
    };
    class Listener;
    struct Request {
        std::uint64_t client;
        QByteArray line;
        bool overlong;
    };

    void accept(int fd);
    void take(std::uint64_t id);
    void flush(std::uint64_t id);
    void drop(std::uint64_t id);
    void runSome();
    // The reply to one request line, without its LF.
    std::string reply(std::string_view line);

    PanelControl& panel_;
    std::unique_ptr<Listener> server_;
    QTimer* turn_;
    QString error_;
    std::map<std::uint64_t, Client> clients_;
    std::uint64_t nextId_ = 1;
    std::deque<Request> queue_;
    bool running_ = false;
};

}  // namespace zelmor::control
