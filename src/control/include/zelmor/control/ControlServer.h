// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>

#include "zelmor/control/PanelControl.h"

class QLocalSocket;
class QTimer;

namespace zelmor::control {

// The control socket: a local (Unix domain) server taking lines of text from any number of
// clients, one reply line per request, in order. Lines end with LF (a CR before it is
// tolerated) and hold at most kMaxLine bytes; a longer one is answered with an error and
// skipped. Requests from every client run one after the other on the window's thread, in the
// order they arrived, at most kPerTurn per turn of the event loop so the window keeps
// answering. A client that leaves mid-line loses only that partial line.
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

    // The reply to one request line, without its LF.
    std::string reply(std::string_view line);

private:
    struct Client {
        QLocalSocket* socket = nullptr;
        QByteArray partial;     // the line being received
        bool overlong = false;  // the line being received is past kMaxLine: dropped to its LF
        int queued = 0;         // its requests waiting in queue_
    };
    struct Request {
        std::uint64_t client;
        QByteArray line;
        bool overlong;
    };

    void accept();
    void take(std::uint64_t id, bool all);
    void leave(std::uint64_t id);
    void runSome();

    PanelControl& panel_;
    QLocalServer server_;
    QTimer* turn_;
    QString error_;
    std::map<std::uint64_t, Client> clients_;
    std::uint64_t nextId_ = 1;
    std::deque<Request> queue_;
    bool running_ = false;
};

}  // namespace zelmor::control
