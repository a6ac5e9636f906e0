// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "zelmor/control/ControlServer.h"
#include "zelmor/control/SocketPath.h"

namespace zelmor::control {
namespace {

// A client in the test's own thread: waiting for a reply runs the event loop, so the server
// beside it answers.
struct Client : QLocalSocket {
    explicit Client(const QString& path) { connectToServer(path); }  // at once, or not at all
    bool send(const std::string& b) { return write(b.data(), qint64(b.size())) && flush(); }
    std::string reply() {
        if (!QTest::qWaitFor([this] { return canReadLine(); }, 5000)) return "(no reply)";
        return readLine().chopped(1).toStdString();
    }
    std::string ask(const std::string& line) { return send(line + "\n") ? reply() : "(not sent)"; }
};

// A panel that notes what reaches it; an action as its number times ten plus its argument.
struct FakePanel final : PanelControl {
    bool busy() const override { return isBusy; }
    std::string apply(const panel::PanelRequest& r) override { return note(describe(r)); }
    std::string state() const override { return "FR100MZ AP-127DM"; }
    std::string act(Action a, int n) override {
        return note("act " + std::to_string(int(a) * 10 + n));
    }
    std::string note(const std::string& what) {
        seen += what + ";";
        return {};
    }
    bool isBusy = false;
    std::string seen;
};

struct Control : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("z.sock"));
    FakePanel panel;
    ControlServer server{panel};
    Control() { EXPECT_TRUE(server.listen(path)) << server.error().toStdString(); }
};

// Rows: line, the reply's start, what reaches the panel. Sent all at once: replies keep order.
TEST_F(Control, EachRequestHasOneReplyInOrderAndNoneReachesABusyPanel) {
    // clang-format off
    const struct { std::string line, reply, seen; } rows[] = {
        {"?", "OK FR100MZ AP-127DM", ""}, {":bogus 1", "ERR unknown action", ""},
        {"FR145.50MZ AP-30DM S3AM30PC\r", "OK", "145.5 MHz, −30.0 dBm, AM 30 % 1 kHz;"},
        {"FR100MZ" + std::string(1017, ' ') + "\r", "OK", "100 MHz;"},
        {"FR100MZ" + std::string(1018, ' '), "ERR line longer than 1024 bytes", ""},
        {"FR99.9KZ", "ERR 2: frequency 99.9KZ is outside 0.1 to 990 MHz", ""},
        {"FR100\rMZ", "ERR 5: unexpected byte \"\\r\"", ""},
        {std::string("FR\0\xff", 4), "ERR 2: unexpected byte \"\\x00\"", ""},
        {"FR1MZ :bogus", "ERR 6: unknown action \":bogus\"", ""},
        {":delay 100", "ERR 7: :delay takes a whole number from 120 to 5000", ""},
        {":online 1", "OK", "act 1;"}, {":store 9", "OK", "act 39;"},
        {":online", "ERR :online takes 0 or 1", ""},
        {":recall 10", "ERR :recall takes a preset number, 0 to 9", ""}};
    // clang-format on
    Client c(path);
    for (const auto& row : rows) c.send(row.line + "\n");
    std::string seen;
    for (const auto& row : rows) {
        EXPECT_THAT(c.reply(), ::testing::StartsWith(row.reply)) << row.line.substr(0, 40);
        seen += row.seen;
    }
    EXPECT_EQ(panel.seen, seen);
    panel.isBusy = true;  // a modal dialog: nothing reaches the panel
    EXPECT_EQ(c.ask("FR1MZ") + c.ask(":online 1"), "ERR busyERR busy");
    EXPECT_EQ(panel.seen, seen);
}

// A client that only stops sending (`echo ... | socat`) gets its replies; one that leaves
// mid-line loses only that line. A flood is taken a few requests per turn of the event loop.
TEST_F(Control, ClientsLeavingAndFloodingHoldBackOnlyThemselves) {
    Client stops(path), leaves(path), floods(path);
    stops.send("FR2MZ\nFR");
    ::shutdown(static_cast<int>(stops.socketDescriptor()), SHUT_WR);
    EXPECT_EQ(stops.reply(), "OK");
    leaves.send("FR3MZ\nFR4");
    leaves.abort();
    EXPECT_TRUE(QTest::qWaitFor([this] { return panel.seen.find("3 MHz") != std::string::npos; }));
    int turns = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&turns] { ++turns; });
    tick.start(0);
    std::string flood;
    for (int i = 1; i <= 40; ++i) flood += "AP" + std::to_string(i % 14) + "DM\n";
    floods.send(flood);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(floods.reply(), "OK") << i;
    EXPECT_GE(turns, 40 / ControlServer::kPerTurn);
    EXPECT_THAT(panel.seen, ::testing::StartsWith("2 MHz;3 MHz;+1.0 dBm;"));
    EXPECT_THAT(panel.seen, ::testing::EndsWith("+11.0 dBm;+12.0 dBm;"));
}

// A stale socket (a copy that died left it) is replaced; a live one or any other file is left
// alone. The socket and its folder are the user's own; the folder follows the environment.
TEST_F(Control, SocketFilesAndTheEnvironment) {
    struct stat st {};
    EXPECT_TRUE(::stat(QFile::encodeName(path), &st) == 0 && (st.st_mode & 0777) == 0600);
    const QString stale = dir.filePath(QStringLiteral("stale.sock"));  // bound, never listened at
    const char* bind = "import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])";
    ASSERT_EQ(QProcess::execute("python3", {"-c", bind, stale}), 0);
    ControlServer other(panel);
    EXPECT_TRUE(other.listen(stale)) << other.error().toStdString();
    EXPECT_EQ(Client(stale).ask(":defaults"), "OK");
    EXPECT_FALSE(other.listen(path));
    EXPECT_THAT(other.error().toStdString(), ::testing::HasSubstr("another program answers"));
    EXPECT_EQ(Client(path).ask(":defaults"), "OK");  // the first still answers
    ASSERT_TRUE(QFile(dir.filePath("plain")).open(QIODevice::WriteOnly));
    EXPECT_FALSE(other.listen(dir.filePath("plain")));
    EXPECT_TRUE(QFile::exists(dir.filePath("plain")));
    EXPECT_EQ(socketFileName(QStringLiteral("Zelmor - a/b%c\x01\u00e9")) + socketFileName(".."),
              "Zelmor - a%2Fb%25c%01%C3%A9.sock%2E%2E.sock");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    const QString folder = dir.filePath(QStringLiteral("zelmor"));
    EXPECT_EQ(socketPlace(QStringLiteral("Zelmor - 2")).path, folder + "/Zelmor - 2.sock");
    EXPECT_TRUE(::stat(QFile::encodeName(folder), &st) == 0 && (st.st_mode & 0777) == 0700);
    ::chmod(QFile::encodeName(folder), 0750);  // others may enter: not used
    const auto problem = [] { return socketPlace(QStringLiteral("Zelmor")).problem.toStdString(); };
    EXPECT_THAT(problem(), ::testing::HasSubstr("others cannot enter"));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_THAT(problem(), ::testing::HasSubstr("XDG_RUNTIME_DIR is not set"));
    qputenv("ZELMOR_CONTROL", "off");
    EXPECT_EQ(socketPlace(QStringLiteral("Zelmor")).path + socketPlace({}).problem, QString());
    qunsetenv("ZELMOR_CONTROL");
}

}  // namespace
}  // namespace zelmor::control
