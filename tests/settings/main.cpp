// SPDX-License-Identifier: MIT
#include "StoreFixture.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    // Child mode: --settings-writer <configDir> <id> <count> <goFile>. Waits for <goFile>, then
    // writes <count> values; the exit code is the number of failed writes.
    if (args.size() == 6 && args.at(1) == QLatin1String("--settings-writer")) {
        const int id = args.at(3).toInt();
        while (!QFileInfo::exists(args.at(5))) QThread::msleep(5);  // the parent kills on failure
        auto store = zelmor::settings::makeFileStore(args.at(2));
        int failures = 0;
        for (int k = 0; k < args.at(4).toInt(); ++k) {
            failures += !store->WriteSetting(QStringLiteral("Zelmor - w%1").arg(id),
                                             QStringLiteral("V%1").arg(k), id * 1000 + k);
        }
        return failures;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
