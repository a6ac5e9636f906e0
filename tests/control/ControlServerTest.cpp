// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <optional>

#include "LineClient.h"
#include "zelmor/control/ControlServer.h"
#include "zelmor/control/SocketPath.h"

namespace zelmor::control {
namespace {

using ::testing::HasSubstr;
using testing::LineClient;

// A panel that notes what reaches it.
struct FakePanel final : PanelControl {
    bool busy() const override { return isBusy; }
    std::string apply(const panel::PanelRequest& r) override {
        const auto number = [](const char* name, std::optional<int> v) {
            return v ? name + std::to_string(*v) : std::string();
        };
        seen += "apply " + describe(r) + number(" step ", r.step) + number(" exc ", r.excursion) +
                number(" dly ", r.delay) + ";";
        return {};
    }
    std::string state() const override { return "FR100MZ AP-127DM AMS2S4 FMS2S4 FRIS100HZ"; }
    std::string act(Action a, int n) override {
        seen += "act " + std::to_string(static_cast<int>(a)) + " " + std::to_string(n) + ";";
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

TEST_F(Control, EachRequestHasOneReplyInOrder) {
    const struct {
        std::string line, reply, seen;
    } rows[] = {
        {"?", "OK FR100MZ AP-127DM AMS2S4 FMS2S4 FRIS100HZ", ""},
        {"FR145.50MZ AP-30DM S3AM30PC\r", "OK", "apply 145.5 MHz, −30.0 dBm, AM 30 % 1 kHz;"},
        {" FMS2S4 S2FM10KZ APIS1DM :excursion 1400 :delay 250", "OK",
         "apply FM 10 kHz 400 Hz step 1 exc 1400 dly 250;"},
        {"FR100MZ" + std::string(1017, ' ') + "\r", "OK", "apply 100 MHz;"},
        {"FR100MZ" + std::string(1018, ' '), "ERR line longer than 1024 bytes", ""},
        {"FR99.9KZ", "ERR 2: frequency 99.9KZ is outside 0.1 to 990 MHz", ""},
        {"FR100\rMZ", "ERR 5: unexpected byte \"\\r\"", ""},
        {std::string("FR\0\xff", 4), "ERR 2: unexpected byte \"\\x00\"", ""},
        {"S2FM10.5KZ", "ERR 4: FM deviation 10.5 kHz is finer than the panel's 1 kHz", ""},
        {"FRIS2000HZ", "ERR 4: frequency increment 2000 Hz is not one of the panel's steps", ""},
        {"APUP", "ERR 2: APUP steps the generator, not the panel: send the value", ""},
        {"S1AM30PC", "ERR 0: S1 (external AM) is not on the panel", ""},
        {"FR1MZ :bogus", "ERR 6: unknown action \":bogus\"", ""},
        {":delay 100", "ERR 7: :delay takes a whole number from 120 to 5000", ""},
        {":online 1", "OK", "act 0 1;"},
        {":store 9", "OK", "act 3 9;"},
        {":sweep 0", "OK", "act 1 0;"},
        {":recall 0", "OK", "act 4 0;"},
        {":recall 10", "ERR :recall takes a preset number, 0 to 9", ""},
        {":online", "ERR :online takes 0 or 1", ""},
        {":bogus 1", "ERR unknown action", ""},
    };
    LineClient c(path);
    std::string seen;
    for (const auto& row : rows) {
        c.send(row.line + "\n");  // all at once: the replies keep their order
        seen += row.seen;
    }
    for (const auto& row : rows) {
        EXPECT_EQ(c.reply().substr(0, row.reply.size()), row.reply) << row.line.substr(0, 40);
    }
    EXPECT_EQ(panel.seen, seen);
    panel.isBusy = true;  // a modal dialog: nothing reaches the panel
    EXPECT_EQ(c.ask("FR1MZ") + c.ask(":online 1"), "ERR busyERR busy");
    EXPECT_EQ(panel.seen, seen);
}

TEST_F(Control, ClientsInterleaveAndOneLeavingMidLineLosesOnlyThatLine) {
    LineClient a(path), b(path);
    a.send("FR1");
    EXPECT_EQ(b.ask("AP0DM"), "OK");
    a.send("00MZ\n");
    EXPECT_EQ(a.reply(), "OK");
    LineClient stops(path), leaves(path);
    stops.send("FR2MZ\nFR");
    ::shutdown(static_cast<int>(stops.socket.socketDescriptor()), SHUT_WR);  // `echo | socat`
    EXPECT_EQ(stops.reply(), "OK");
    leaves.send("FR3MZ\nFR4");
    leaves.socket.abort();
    EXPECT_TRUE(QTest::qWaitFor([this] { return panel.seen.find("3 MHz") != std::string::npos; }));
    EXPECT_EQ(b.ask("?").substr(0, 2), "OK");
    EXPECT_EQ(panel.seen, "apply 0.0 dBm;apply 100 MHz;apply 2 MHz;apply 3 MHz;");
    // A flood is taken a few requests per turn of the event loop, in order.
    int turns = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&turns] { ++turns; });
    tick.start(0);
    std::string flood;
    for (int i = 1; i <= 40; ++i) flood += "AP" + std::to_string(i % 14) + "DM\n";
    a.send(flood);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(a.reply(), "OK") << i;
    EXPECT_GE(turns, 40 / ControlServer::kPerTurn);
    EXPECT_THAT(panel.seen,
                ::testing::EndsWith("apply +10.0 dBm;apply +11.0 dBm;apply +12.0 dBm;"));
}

TEST_F(Control, AStaleSocketIsReplacedALiveOneLeftAlone) {
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // others cannot drive the generator
    // A socket left by a copy that died: bound, never listened at.
    const QString stalePath = dir.filePath(QStringLiteral("stale.sock"));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{AF_UNIX, {}};
    std::strcpy(addr.sun_path, QFile::encodeName(stalePath).constData());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    FakePanel other;
    ControlServer replacing(other);
    EXPECT_TRUE(replacing.listen(stalePath)) << replacing.error().toStdString();
    EXPECT_EQ(LineClient(stalePath).ask(":defaults"), "OK");
    EXPECT_EQ(other.seen, "act 2 0;");

    ControlServer second(other);
    EXPECT_FALSE(second.listen(path));
    EXPECT_THAT(second.error().toStdString(), HasSubstr("another program answers"));
    EXPECT_EQ(LineClient(path).ask(":defaults"), "OK");  // the first still answers
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    EXPECT_FALSE(second.listen(plain.fileName()));
    EXPECT_TRUE(plain.exists());
    EXPECT_FALSE(second.listen(dir.filePath(QString(120, QLatin1Char('x')))));
    EXPECT_THAT(second.error().toStdString(), HasSubstr("too long for a socket"));
}

TEST(SocketPlace, FollowsTheEnvironmentAndKeepsKeysApart) {
    EXPECT_EQ(socketFileName(QStringLiteral("Zelmor - a/b%c\x01\u00e9")),
              QStringLiteral("Zelmor - a%2Fb%25c%01%C3%A9.sock"));
    EXPECT_EQ(socketFileName(QStringLiteral("..")), QStringLiteral("%2E%2E.sock"));
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString folder = runtime.filePath(QStringLiteral("zelmor"));
    EXPECT_EQ(socketPlace(QStringLiteral("Zelmor - 2")).path,
              folder + QStringLiteral("/Zelmor - 2.sock"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::chmod(QFile::encodeName(folder).constData(), 0750);  // others may enter: not used
    const auto problem = [] { return socketPlace(QStringLiteral("Zelmor")).problem.toStdString(); };
    EXPECT_THAT(problem(), HasSubstr("others cannot enter"));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_THAT(problem(), HasSubstr("XDG_RUNTIME_DIR is not set"));
    qputenv("ZELMOR_CONTROL", "off");
    EXPECT_EQ(socketPlace(QStringLiteral("Zelmor")).path + socketPlace({}).problem, QString());
    qunsetenv("ZELMOR_CONTROL");
}

}  // namespace
}  // namespace zelmor::control

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
