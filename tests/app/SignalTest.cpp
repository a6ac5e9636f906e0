// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "zelmor/settings/SettingsStore.h"

namespace zelmor::app {
namespace {

// The real program, offscreen on the simulated generator, ended by a signal as a service
// manager or a terminal would end it.
class ProgramRun {
public:
    explicit ProgramRun(const QTemporaryDir& config) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("ZELMOR_GPIB"), QStringLiteral("sim"));
        env.insert(QStringLiteral("ZELMOR_CONTROL"),
                   QStringLiteral("off"));  // not the user's folder
        process.setProcessEnvironment(env);
        // Qt options are part of the instance name: the whole command line is the program's.
        process.start(QStringLiteral(ZELMOR_EXECUTABLE),
                      {QStringLiteral("-reverse"), QStringLiteral("sig")});
    }
    // The window is up once the program has been idle for a moment.
    bool started() { return process.waitForStarted(10000) && !process.waitForFinished(1500); }
    QProcess process;
};

TEST(Signals, TerminationClosesTheWindowAndKeepsTheSettings) {
    for (const int sig : {SIGTERM, SIGINT}) {
        QTemporaryDir config;
        ProgramRun run(config);
        ASSERT_TRUE(run.started()) << run.process.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(run.process.processId()), sig);
        ASSERT_TRUE(run.process.waitForFinished(10000));
        EXPECT_EQ(run.process.exitStatus(), QProcess::NormalExit) << sig;
        EXPECT_EQ(run.process.exitCode(), 0) << sig;
        auto store = settings::makeFileStore(config.path());
        const QString key = QStringLiteral("Zelmor - -reverse sig");
        for (const char* name : {"X", "Y", "Board", "PAd", "SAd"}) {
            EXPECT_NE(store->ReadSetting(key, QLatin1String(name), -12345), -12345) << name;
        }
    }
}

}  // namespace
}  // namespace zelmor::app
