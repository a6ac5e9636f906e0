// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QList>
#include <QLockFile>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "StoreFixture.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::settings::test {
namespace {

const QString kKey = QStringLiteral("Zelmor");

class FileStoreFailureTest : public StoreFixture {
protected:
    QString makerDir() const { return QFileInfo(file()).absolutePath(); }
    QStringList backups() const {
        return QDir(makerDir()).entryList({"registry.json.corrupt-*"}, QDir::Files, QDir::Name);
    }
    std::unique_ptr<QProcess> startWriter(int id, int count, const QString& goFile) const {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(
            QCoreApplication::applicationFilePath(),
            {"--settings-writer", cfg(), QString::number(id), QString::number(count), goFile});
        EXPECT_TRUE(process->waitForStarted(10'000));
        return process;
    }
};

TEST_F(FileStoreFailureTest, CorruptFileReadsAsDefaultsAndIsKeptAsideBeforeAWrite) {
    const QList<QByteArray> corrupt = {R"({"Zelmor": {"X": {"dword": 5}})", "[1, 2]", "",
                                       "\xff\xfe not text"};
    QList<QByteArray> expectedBackups;
    for (const QByteArray& bytes : corrupt) {
        SCOPED_TRACE(bytes.toHex().constData());
        writeRaw(bytes);
        EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), -1);
        EXPECT_TRUE(store_->DeleteSettings(kKey));  // opens, but finds nothing to remove
        EXPECT_EQ(readRaw(), bytes);

        ASSERT_TRUE(store_->WriteSetting(kKey, names::Y, expectedBackups.size()));
        EXPECT_EQ(store_->ReadSetting(kKey, names::Y, -1), expectedBackups.size());
        EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), -1);
        expectedBackups << bytes;
        QList<QByteArray> kept;
        for (const QString& name : backups()) {
            QFile backup(QDir(makerDir()).filePath(name));
            ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
            kept << backup.readAll();
        }
        std::sort(kept.begin(), kept.end());
        QList<QByteArray> sorted = expectedBackups;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(kept, sorted);
    }
}

int messageCount = 0;

TEST_F(FileStoreFailureTest, UnwritableDirectoryFailsWritesQuietly) {
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 5));
    const QFileDevice::Permissions readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ExeGroup;
    ASSERT_TRUE(QFile::setPermissions(makerDir(), readOnly));
    QFile probe(QDir(makerDir()).filePath("probe"));
    std::int32_t expectedX = 5;
    if (probe.open(QIODevice::WriteOnly)) {
        // Permission bits do not stop root: put a regular file where the directory must be.
        probe.remove();
        ASSERT_TRUE(QFile::setPermissions(makerDir(), readOnly | QFileDevice::WriteOwner));
        ASSERT_TRUE(QDir(makerDir()).removeRecursively());
        QFile blocker(makerDir());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a directory");
        expectedX = 100;
    }
    const QStringList before = entries();
    messageCount = 0;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString&) { ++messageCount; });

    EXPECT_FALSE(store_->WriteSetting(kKey, names::Y, 1));
    EXPECT_FALSE(store_->WriteSettingText(kKey, "t", "x"));
    EXPECT_FALSE(store_->DeleteSettings(kKey));
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 100), expectedX);
    EXPECT_EQ(store_->ReadSetting(kKey, names::Y, 2), 2);

    qInstallMessageHandler(previous);
    EXPECT_EQ(messageCount, 0);
    EXPECT_EQ(entries(), before);
    QFile::setPermissions(makerDir(), readOnly | QFileDevice::WriteOwner);
}

TEST_F(FileStoreFailureTest, ConcurrentProcessesLoseNoValue) {
    constexpr int kWriters = 6;
    constexpr int kValues = 15;
    const QString go = tmp_.filePath("go");
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int id = 0; id < kWriters; ++id) writers.push_back(startWriter(id, kValues, go));
    QFile(go).open(QIODevice::WriteOnly);  // releases them together

    for (auto& writer : writers) {
        ASSERT_TRUE(writer->waitForFinished(120'000));
        EXPECT_EQ(writer->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(writer->exitCode(), 0);  // failed writes
    }
    for (int id = 0; id < kWriters; ++id) {
        const QString own = QStringLiteral("Zelmor - w%1").arg(id);
        for (int k = 0; k < kValues; ++k) {
            EXPECT_EQ(store_->ReadSetting(own, QStringLiteral("V%1").arg(k), -1), id * 1000 + k);
        }
        EXPECT_EQ(store_->ReadSetting("Zelmor - shared", QStringLiteral("W%1").arg(id), -1),
                  kValues - 1);
    }
    EXPECT_EQ(entries(), QStringList({"cfg", "cfg/Tamrisk Software",
                                      "cfg/Tamrisk Software/registry.json", "go"}));
}

TEST_F(FileStoreFailureTest, KilledWriterLeavesAWholeFileAndNoBlockingLock) {
    const QString go = tmp_.filePath("go");
    QFile(go).open(QIODevice::WriteOnly);
    auto writer = startWriter(0, -1, go);
    const QDeadlineTimer deadline(60'000);
    while (store_->ReadSetting("Zelmor - w0", "V19", -1) < 0 && !deadline.hasExpired()) {
        QThread::msleep(5);
    }
    QThread::msleep(50);
    writer->kill();
    ASSERT_TRUE(writer->waitForFinished(10'000));

    QJsonParseError error{};
    EXPECT_TRUE(QJsonDocument::fromJson(readRaw(), &error).isObject())
        << error.errorString().toStdString();
    EXPECT_EQ(store_->ReadSetting("Zelmor - w0", "V19", -1) % 20, 19);
    QElapsedTimer took;
    took.start();
    EXPECT_TRUE(store_->WriteSetting(kKey, names::X, 1));
    EXPECT_LT(took.elapsed(), 3000);  // a lock of a dead process is taken over at once
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_FALSE(QFile::exists(file() + ".lock"));
}

TEST_F(FileStoreFailureTest, LiveLockIsWaitedForAndAnOldOneTakenOver) {
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 1));
    {
        QLockFile holder(file() + ".lock");
        ASSERT_TRUE(holder.lock());
        std::thread releaser([&holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            holder.unlock();
        });
        QElapsedTimer took;
        took.start();
        EXPECT_TRUE(store_->WriteSetting(kKey, names::X, 2));
        EXPECT_GE(took.elapsed(), 350);
        releaser.join();
    }
    // A lock left by a copy on another host: unreadable owner, last touched an hour ago.
    QFile stale(file() + ".lock");
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("?\n");
    ASSERT_TRUE(stale.flush());  // a later flush would touch the time again
    ASSERT_TRUE(stale.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                  QFileDevice::FileModificationTime));
    stale.close();
    QElapsedTimer took;
    took.start();
    EXPECT_TRUE(store_->WriteSetting(kKey, names::X, 3));
    EXPECT_LT(took.elapsed(), 3000);
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 3);
}

}  // namespace
}  // namespace zelmor::settings::test
