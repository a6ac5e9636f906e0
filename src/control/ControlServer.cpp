// SPDX-License-Identifier: MIT
#include "zelmor/control/ControlServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <QFile>
#include <QLocalSocket>
#include <QTimer>
#include <vector>

#include "zelmor/panel/CommandReader.h"

namespace zelmor::control {

namespace {

// Unread requests a client may have waiting, and replies it has not yet taken, before the server
// stops reading from it: a client that floods or never reads holds only its own socket's buffer.
constexpr int kMaxQueued = 64;
constexpr qint64 kMaxUnsent = 64 * 1024;
constexpr qint64 kReadBuffer = 16 * 1024;
// Long enough for a copy that is busy on the bus to accept: the kernel completes the connection
// itself, so only a dead socket takes the full time.
constexpr int kProbeMs = 1000;

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t') ++pos;
        if (pos > start) out.push_back(text.substr(start, pos - start));
    }
    return out;
}

std::string answer(const std::string& refusal) { return refusal.empty() ? "OK" : "ERR " + refusal; }

}  // namespace

ControlServer::ControlServer(PanelControl& panel, QObject* parent)
    : QObject(parent), panel_(panel), turn_(new QTimer(this)) {
    turn_->setSingleShot(true);
    turn_->setInterval(0);
    connect(turn_, &QTimer::timeout, this, &ControlServer::runSome);
    connect(&server_, &QLocalServer::newConnection, this, &ControlServer::accept);
}

// The server's close removes the socket file; clients are cut off.
ControlServer::~ControlServer() {
    for (auto& [id, client] : clients_) {
        client.socket->disconnect(this);
        client.socket->abort();
        delete client.socket;
    }
}

bool ControlServer::listen(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (name.size() >= static_cast<qsizetype>(sizeof(sockaddr_un::sun_path))) {
        error_ = QStringLiteral("%1 is too long for a socket (%2 bytes, at most %3)")
                     .arg(path)
                     .arg(name.size())
                     .arg(sizeof(sockaddr_un::sun_path) - 1);
        return false;
    }
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error_ = QStringLiteral("%1 exists and is not a socket").arg(path);
            return false;
        }
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(kProbeMs)) {
            error_ = QStringLiteral("another program answers at %1").arg(path);
            return false;
        }
        QLocalServer::removeServer(path);  // left by a copy that died
    }
    // The socket is born private, not made so after others could reach it.
    const mode_t before = ::umask(0077);
    const bool listening = server_.listen(path);
    ::umask(before);
    if (!listening) {
        error_ = QStringLiteral("%1: %2").arg(path, server_.errorString());
        return false;
    }
    ::chmod(name.constData(), 0600);
    return true;
}

void ControlServer::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        const std::uint64_t id = nextId_++;
        socket->setParent(nullptr);  // owned by clients_, so a server closing first leaves it
        socket->setReadBufferSize(kReadBuffer);
        clients_[id].socket = socket;
        connect(socket, &QLocalSocket::readyRead, this, [this, id] { take(id, false); });
        connect(socket, &QLocalSocket::bytesWritten, this, [this, id] { take(id, false); });
        connect(socket, &QLocalSocket::disconnected, this, [this, id] { leave(id); });
        take(id, false);
    }
}

// Moves the client's complete lines into the queue. Without `all`, stops while the client has
// kMaxQueued requests waiting or kMaxUnsent bytes of replies unread.
void ControlServer::take(std::uint64_t id, bool all) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& c = it->second;
    const qsizetype limit = kMaxLine + 1;  // room for a CR before the LF
    while (c.socket->bytesAvailable() > 0 &&
           (all || (c.queued < kMaxQueued && c.socket->bytesToWrite() < kMaxUnsent))) {
        const QByteArray chunk = c.socket->read(4096);
        qsizetype start = 0;
        while (start <= chunk.size()) {
            const qsizetype lf = chunk.indexOf('\n', start);
            const qsizetype end = lf < 0 ? chunk.size() : lf;
            if (!c.overlong) {
                if (c.partial.size() + (end - start) > limit) {
                    c.overlong = true;
                    c.partial.clear();
                } else {
                    c.partial.append(chunk.constData() + start, end - start);
                }
            }
            if (lf < 0) break;
            if (c.partial.size() == limit && !c.partial.endsWith('\r')) c.overlong = true;
            queue_.push_back({id, c.partial, c.overlong});
            ++c.queued;
            c.partial.clear();
            c.overlong = false;
            start = lf + 1;
        }
    }
    if (!queue_.empty() && !turn_->isActive()) turn_->start();
}

void ControlServer::leave(std::uint64_t id) {
    take(id, true);  // the complete lines it sent still count; its partial line is lost
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    it->second.socket->disconnect(this);
    it->second.socket->deleteLater();
    clients_.erase(it);
}

void ControlServer::runSome() {
    // A request that opens a message box runs the event loop under it: the requests behind it
    // wait, so that every client's replies keep their order.
    if (running_) return;
    running_ = true;
    for (int n = 0; n < kPerTurn && !queue_.empty(); ++n) {
        const Request r = queue_.front();
        queue_.pop_front();
        const std::string text = r.overlong
                                     ? "ERR line longer than " + std::to_string(kMaxLine) + " bytes"
                                     : reply(std::string_view(r.line.constData(), r.line.size()));
        const auto it = clients_.find(r.client);
        if (it == clients_.end()) continue;  // gone: the request ran, the reply has nowhere to go
        --it->second.queued;
        it->second.socket->write(QByteArray::fromStdString(text + "\n"));
        take(r.client, false);
    }
    running_ = false;
    if (!queue_.empty()) turn_->start();  // after the window's own events
}

std::string ControlServer::reply(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (panel_.busy()) return "ERR busy";
    const std::vector<std::string_view> w = words(line);
    if (w.size() == 1 && w[0] == "?") return "OK " + panel_.state();
    if (!w.empty() && w[0].front() == ':' && w[0] != ":excursion" && w[0] != ":delay") {
        using Action = PanelControl::Action;
        const std::string_view name = w[0];
        const std::string_view arg = w.size() > 1 ? w[1] : std::string_view();
        const bool oneDigit = w.size() == 2 && arg.size() == 1 && arg[0] >= '0' && arg[0] <= '9';
        if (name == ":online" || name == ":sweep") {
            if (!oneDigit || arg[0] > '1') return "ERR " + std::string(name) + " takes 0 or 1";
            return answer(
                panel_.act(name == ":online" ? Action::Online : Action::Sweep, arg[0] - '0'));
        }
        if (name == ":store" || name == ":recall") {
            if (!oneDigit) return "ERR " + std::string(name) + " takes a preset number, 0 to 9";
            return answer(
                panel_.act(name == ":store" ? Action::Store : Action::Recall, arg[0] - '0'));
        }
        if (name == ":defaults") {
            if (w.size() != 1) return "ERR :defaults takes nothing";
            return answer(panel_.act(Action::Defaults, 0));
        }
        return "ERR unknown action";
    }
    const panel::RequestReading reading = panel::readPanelRequest(line);
    if (!reading.ok()) return "ERR " + std::to_string(reading.errorAt) + ": " + reading.error;
    return answer(panel_.apply(reading.request));
}

}  // namespace zelmor::control
