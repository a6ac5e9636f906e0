// SPDX-License-Identifier: MIT
#include <sys/stat.h>

#include <functional>

#include "StoreFixture.h"

namespace zelmor::settings::test {

using FileStoreFailureTest = StoreFixture;

TEST_F(FileStoreFailureTest, CorruptFileReadsAsDefaultsAndIsKeptAsideBeforeAWrite) {
    QSet<QByteArray> expected;
    for (const QByteArray& bytes :
         {QByteArray(R"({"Zelmor": {"X": {"dword": 5}})"), QByteArray("[1]")}) {
        writeRaw(bytes);
        EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), -1);
        EXPECT_TRUE(store_->DeleteSettings(kKey));  // opens, but finds nothing to remove
        EXPECT_EQ(readRaw(), bytes);

        ASSERT_TRUE(store_->WriteSetting(kKey, names::Y, 7));
        EXPECT_EQ(root(), QJsonObject({{kKey, QJsonObject{{"Y", QJsonObject{{"dword", 7}}}}}}));
        expected << bytes;  // a second backup within the same second must not replace the first
        QSet<QByteArray> kept;
        for (const QString& name : QDir(makerDir()).entryList({"registry.json.corrupt-*"})) {
            kept << readRaw(makerDir() + '/' + name);
        }
        EXPECT_EQ(kept, expected);
    }
}

// A FIFO hung start-up and a link to /dev/zero ate memory: only a regular file of bounded size
// is read; anything else (here a FIFO, a link to one, a dangling link, a folder, a file too big)
// gives the defaults and is left exactly as it is.
TEST_F(FileStoreFailureTest, AnythingButARegularFileReadsAsAbsentAndIsNeverReplaced) {
    const std::function<bool(const QString&)> makers[] = {
        [](const QString& f) { return ::mkfifo(QFile::encodeName(f).constData(), 0600) == 0; },
        [](const QString& f) {  // never a real device: a broken store would write through it
            const QByteArray fifo = QFile::encodeName(f + ".fifo");
            return ::mkfifo(fifo.constData(), 0600) == 0 && QFile::link(f + ".fifo", f);
        },
        [](const QString& f) { return QFile::link("nowhere", f); },
        [](const QString& f) { return QDir().mkdir(f); },
        [](const QString& f) {  // sparse, so it costs no disk
            QFile out(f);
            return out.open(QIODevice::WriteOnly) && out.resize(qint64{65} << 20);
        }};
    ASSERT_TRUE(QDir().mkpath(makerDir()));
    for (std::size_t i = 0; i < std::size(makers); ++i) {
        ASSERT_TRUE(makers[i](file())) << i;
        struct stat before {}, after {};
        ASSERT_EQ(::lstat(QFile::encodeName(file()).constData(), &before), 0);
        EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), -1) << i;
        EXPECT_FALSE(store_->WriteSetting(kKey, names::X, 5)) << i;
        EXPECT_FALSE(store_->DeleteSettings(kKey)) << i;
        ASSERT_EQ(::lstat(QFile::encodeName(file()).constData(), &after), 0);
        EXPECT_TRUE(before.st_ino == after.st_ino && before.st_mode == after.st_mode) << i;
        QFileInfo(file()).isDir() ? QDir(file()).removeRecursively() : QFile::remove(file());
        QFile::remove(file() + ".fifo");
    }
}

static int messageCount = 0;

TEST_F(FileStoreFailureTest, UnwritableDirectoryFailsWritesQuietly) {
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 5));
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
    ASSERT_TRUE(QFile::setPermissions(makerDir(), readOnly));
    std::int32_t expectedX = 5;
    if (QFile probe(makerDir() + "/probe"); probe.open(QIODevice::WriteOnly)) {
        // Permission bits do not stop root: put a regular file where the directory must be.
        ASSERT_TRUE(QDir(makerDir()).removeRecursively());
        ASSERT_TRUE(QFile(makerDir()).open(QIODevice::WriteOnly));
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
    qInstallMessageHandler(previous);
    EXPECT_EQ(messageCount, 0);
    EXPECT_EQ(entries(), before);
    QFile::setPermissions(makerDir(), readOnly | QFileDevice::WriteOwner);  // for clean-up
}

// Twenty copies with their own instance names close at once, ten times over: each copy's last
// five values are all there, and a reader meanwhile always finds a whole file.
TEST_F(FileStoreFailureTest, TwentyCopiesClosingAtOnceLoseNothing) {
    constexpr int kCopies = 20, kRounds = 10;
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 1));
    for (int round = 0; round < kRounds; ++round) {
        const QString go = tmp_.filePath(QStringLiteral("go%1").arg(round));
        QProcess copies[kCopies];
        for (int id = 0; id < kCopies; ++id) {
            copies[id].setProcessChannelMode(QProcess::ForwardedChannels);
            copies[id].start(QCoreApplication::applicationFilePath(),
                             {"--close", cfg(), QString::number(id), QString::number(round), go});
            ASSERT_TRUE(copies[id].waitForStarted(10'000));
        }
        ASSERT_TRUE(QFile(go).open(QIODevice::WriteOnly));  // releases them together
        int torn = 0;
        for (QProcess& copy : copies) {
            while (!copy.waitForFinished(1) && copy.state() != QProcess::NotRunning) {
                torn += store_->ReadSetting(kKey, names::X, 0) != 1;
            }
            EXPECT_EQ(copy.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(copy.exitCode(), 0) << "round " << round;
        }
        EXPECT_EQ(torn, 0);
        const char* const closing[] = {names::Board, names::PAd, names::SAd, names::X, names::Y};
        for (int n = 0; n < kCopies * 5; ++n) {
            EXPECT_EQ(store_->ReadSetting(QStringLiteral("Zelmor - c%1").arg(n / 5), closing[n % 5],
                                          -1),
                      n / 5 * 1000 + round * 10 + n % 5);
        }
    }
    EXPECT_EQ(QDir(makerDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"registry.json"});
}

// A full disk fails the change and leaves the file as it was, with no temporary copy; the next
// change, with room again, stores.
TEST_F(FileStoreFailureTest, FullDiskFailsTheChangeAndKeepsTheFile) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--full-disk", cfg()});
    ASSERT_TRUE(child.waitForFinished(30'000));
    EXPECT_EQ(child.exitCode(), 0);
}

TEST_F(FileStoreFailureTest, LockLeftByADeadCopyOnAnotherHostIsTakenOver) {
    writeRaw("{}");
    QFile stale(file() + ".lock");  // unreadable owner, last touched an hour ago
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly) && stale.write("?\n") == 2 && stale.flush());
    ASSERT_TRUE(stale.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                  QFileDevice::FileModificationTime));
    stale.close();
    EXPECT_TRUE(store_->WriteSetting(kKey, names::X, 3));  // else it waits 12 s and fails
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 3);
}

// A copy killed before its save's rename leaves a whole temporary copy: the next save removes it
// once it is a minute old, and nothing else. Rows: name, age in seconds (0: a link to an old file).
TEST_F(FileStoreFailureTest, NextSaveRemovesOnlyOldLeftoversOfSaves) {
    const std::pair<const char*, int> files[] = {
        {"registry.json.aB3xZ9", 61},  {"registry.json.qwerty", 5},    {"registry.json.abcde", 99},
        {"registry.json.abcdefg", 99}, {"registry.json.ab-def", 99},   {"other.json.abcdef", 99},
        {"registry.json.Link12", 0},   {"registry.json.corrupt-x", 99}};
    writeRaw("{}");
    for (const auto& [name, age] : files) {
        QFile file(makerDir() + '/' + name);
        ASSERT_TRUE(age == 0 ? QFile::link("other.json.abcdef", file.fileName())
                             : file.open(QIODevice::WriteOnly) &&
                                   file.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                                                    QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 1));
    for (const auto& [name, age] : files) {
        EXPECT_EQ(QFileInfo::exists(makerDir() + '/' + name), age != 61) << name;
    }
}

}  // namespace zelmor::settings::test
