// SPDX-License-Identifier: MIT
#include "zelmor/control/ControlServer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <vector>

namespace zelmor::control {

namespace {

// Requests a client may have waiting, and reply bytes it has not taken, before the server stops
// reading from it: a client that floods or never reads holds back only itself.
constexpr int kMaxQueued = 64;
constexpr qsizetype kMaxUnsent = 64 * 1024;
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

// Hands each accepted connection's descriptor over, instead of wrapping it in a QLocalSocket.
class ControlServer::Listener final : public QLocalServer {
public:
    explicit Listener(ControlServer& owner) : owner_(owner) {}

protected:
    void incomingConnection(quintptr socketDescriptor) override {
        owner_.accept(static_cast<int>(socketDescriptor));
    }

private:
    ControlServer& owner_;
};

ControlServer::ControlServer(PanelControl& panel, QObject* parent)
    : QObject(parent),
      panel_(panel),
      server_(std::make_unique<Listener>(*this)),
      turn_(new QTimer(this)) {
    turn_->setSingleShot(true);
    turn_->setInterval(0);
    connect(turn_, &QTimer::timeout, this, &ControlServer::runSome);
}

// The listener's close removes the socket file; clients are cut off.
ControlServer::~ControlServer() {
    while (!clients_.empty()) drop(clients_.begin()->first);
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
    const bool listening = server_->listen(path);
    ::umask(before);
    if (!listening) {
        error_ = QStringLiteral("%1: %2").arg(path, server_->errorString());
        return false;
    }
    ::chmod(name.constData(), 0600);
    return true;
}

void ControlServer::accept(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::uint64_t id = nextId_++;
    Client& c = clients_[id];
    c.fd = fd;
    c.readable = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    c.writable = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    c.writable->setEnabled(false);
    connect(c.readable, &QSocketNotifier::activated, this, [this, id] { take(id); });
    connect(c.writable, &QSocketNotifier::activated, this, [this, id] { flush(id); });
}

// Moves the client's complete lines into the queue. Stops reading while it has kMaxQueued
// requests waiting or kMaxUnsent bytes of replies untaken; flush() and runSome() resume it.
void ControlServer::take(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& c = it->second;
    const qsizetype limit = kMaxLine + 1;  // room for a CR before the LF
    while (!c.ended && c.queued < kMaxQueued && c.unsent.size() < kMaxUnsent) {
        char chunk[4096];
        const ssize_t n = ::read(c.fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n <= 0) {
            c.ended = true;  // its partial line is lost; its complete ones still get replies
            c.partial.clear();
            break;
        }
        const QByteArray bytes = QByteArray::fromRawData(chunk, n);
        qsizetype start = 0;
        for (;;) {
            const qsizetype lf = bytes.indexOf('\n', start);
            const qsizetype end = lf < 0 ? bytes.size() : lf;
            if (!c.overlong) {
                if (c.partial.size() + (end - start) > limit) {
                    c.overlong = true;
                    c.partial.clear();
                } else {
                    c.partial.append(bytes.constData() + start, end - start);
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
    c.readable->setEnabled(!c.ended && c.queued < kMaxQueued && c.unsent.size() < kMaxUnsent);
    if (!queue_.empty() && !turn_->isActive()) turn_->start();
    if (c.ended && c.queued == 0 && c.unsent.isEmpty()) drop(id);
}

// Sends what the client can take now; the rest when its socket is writable again.
void ControlServer::flush(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& c = it->second;
    while (!c.unsent.isEmpty()) {
        const ssize_t n = ::send(c.fd, c.unsent.constData(), c.unsent.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n < 0) {
            drop(id);  // gone for good: its requests still run, their replies go nowhere
            return;
        }
        c.unsent.remove(0, n);
    }
    c.writable->setEnabled(!c.unsent.isEmpty());
    take(id);
}

void ControlServer::drop(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    // The notifier that called may still be on the stack.
    for (QSocketNotifier* n : {it->second.readable, it->second.writable}) {
        n->setEnabled(false);
        n->deleteLater();
    }
    ::close(it->second.fd);
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
        it->second.unsent.append(text.data(), static_cast<qsizetype>(text.size())).append('\n');
        flush(r.client);
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
