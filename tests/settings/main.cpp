// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QThread>

#include "zelmor/settings/SettingsStore.h"

namespace {

// Child mode for the multi-process tests: --settings-writer <configDir> <id> <count> <goFile>.
// Waits for <goFile> so that all children start writing together, then writes <count>
// values (endlessly when negative). The exit code is the number of failed writes.
int runWriter(const QStringList& args) {
    const QString cfg = args.at(2);
    const int id = args.at(3).toInt();
    const int count = args.at(4).toInt();
    const QDeadlineTimer startBy(30'000);
    while (!QFileInfo::exists(args.at(5)) && !startBy.hasExpired()) QThread::msleep(5);

    auto store = zelmor::settings::makeFileStore(cfg);
    const QString own = QStringLiteral("Zelmor - w%1").arg(id);
    int failures = 0;
    for (int k = 0; count < 0 || k < count; ++k) {
        const int slot = count < 0 ? k % 20 : k;
        if (!store->WriteSetting(own, QStringLiteral("V%1").arg(slot), id * 1000 + k)) ++failures;
        if (!store->WriteSetting(QStringLiteral("Zelmor - shared"), QStringLiteral("W%1").arg(id),
                                 k)) {
            ++failures;
        }
    }
    return qMin(failures, 100);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 6 && args.at(1) == QLatin1String("--settings-writer")) {
        return runWriter(args);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
