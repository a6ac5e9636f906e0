// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtCore>
#include <optional>

#include "zelmor/settings/SettingsStore.h"

namespace zelmor::settings {

const QString kKey = QStringLiteral("Zelmor");

QByteArray readRaw(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// A store in a fresh temporary config directory that does not exist yet.
struct Store : ::testing::Test {
    QTemporaryDir tmp;
    const QString cfg = tmp.filePath("cfg"), file = storeFilePath(cfg);
    const QString makerDir = QFileInfo(file).absolutePath();
    void writeRaw(const QByteArray& bytes) const {
        QFile out(file);
        ASSERT_TRUE(QDir().mkpath(makerDir) && out.open(QIODevice::WriteOnly));
        ASSERT_EQ(out.write(bytes), bytes.size());
    }
    QJsonObject root() const { return QJsonDocument::fromJson(readRaw(file)).object(); }
    // Everything under the temporary folder, one line each, as `find -printf` tells it.
    QByteArray entries(const char* format = "%P %y") const {
        QProcess find;
        find.start("find", {tmp.path(), "-mindepth", "1", "-printf", format + QString("\\n")});
        return find.waitForFinished() ? find.readAll() : "failed";
    }
    int sh(const QString& command) const {  // in the maker key's folder
        return QProcess::execute("sh", {"-c", "cd \"$0\" && " + command, makerDir});
    }
    std::unique_ptr<SettingsStore> store = makeFileStore(cfg);
};

// Rows: written, stored (nothing: refused), then read by ReadSetting16 (outside 16 bits: absent).
TEST_F(Store, NumbersRoundHalvesToEvenAndRefuseWhatNoDwordHolds) {
    constexpr std::optional<std::int32_t> no;
    // clang-format off
    const std::tuple<double, std::optional<std::int32_t>, int> cases[] = {
        {1234.5, 1234, 1234}, {1235.5, 1236, 1236}, {-1234.5, -1234, -1234}, {-2.4, -2, -2},
        {32767.4, 32767, 32767}, {32767.5, 32768, 7}, {-32768.5, -32768, -32768},
        {-32768.6, -32769, 7}, {2147483647.4, 2147483647, 7}, {2147483647.5, no, 42},
        {-2147483648.5, -2147483647 - 1, 7}, {-2147483648.6, no, 42}, {qQNaN(), no, 42}};
    // clang-format on
    for (const auto& [written, stored, read16] : cases) {
        ASSERT_TRUE(store->WriteSetting(kKey, names::X, 42));  // again after a refusal: unchanged
        EXPECT_EQ(store->WriteSetting(kKey, names::X, written), stored.has_value()) << written;
        EXPECT_EQ(store->ReadSetting(kKey, names::X, -1), stored.value_or(42)) << written;
        EXPECT_EQ(ReadSetting16(*store, kKey, names::X, 7), read16) << written;
    }
}

TEST_F(Store, InstancesAreIndependentDataNeverPathsAndDeleteRemovesOneKeyOnly) {
    EXPECT_FALSE(store->DeleteSettings(kKey));  // no maker key to open
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 100));
    ASSERT_TRUE(store->WriteSetting("Zelmor - 2", names::X, 200));
    ASSERT_TRUE(store->WriteSetting("zelmor - 2", "x", 300));     // names ignore case
    EXPECT_EQ(root().keys(), QStringList({kKey, "Zelmor - 2"}));  // first spelling kept
    EXPECT_TRUE(store->DeleteSettings("ZELMOR"));                 // a prefix of the sibling's name
    EXPECT_TRUE(store->DeleteSettings(kKey));  // already gone: the maker key still opens
    EXPECT_EQ(store->ReadSetting("Zelmor - 2", names::X, 0), 300);
    // Hand edits may leave a key spelt several ways: a change leaves one, the first.
    writeRaw(R"({"ZELMOR": {}, "Zelmor": {}, "zelmor": {}, "Zelmor - 2": {}})");
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 5));
    EXPECT_EQ(root().keys(), QStringList({"ZELMOR", "Zelmor - 2"}));
    for (const QString& name : {QString("../../etc/x"), QString("a\nb"), QString(10'000, u'x'),
                                QStringLiteral("nul") + QChar(u'\0')}) {
        ASSERT_TRUE(store->WriteSetting(name, names::X, 9));
        EXPECT_EQ(store->ReadSetting(name, names::X, 0), 9);
    }
    EXPECT_EQ(entries(), "cfg d\ncfg/Tamrisk Software d\ncfg/Tamrisk Software/registry.json f\n");
}

TEST(ConfigDir, ARelativeXdgConfigHomeIsIgnored) {
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(defaultConfigDir(), QDir::homePath() + "/.config");
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(Store, TextsAreNulTerminatedAndFitIn1024Bytes) {
    const QString max(1023, u'a'), nul(QChar(u'\0'));  // 1023 bytes and the NUL fill the buffer
    // clang-format off
    const std::pair<QString, bool> written[] = {  // UTF-8 bytes count, not characters
        {max, true}, {max + "a", false}, {QString(511, u'é'), true}, {QString(512, u'é'), false},
        {"ab" + nul, false}};
    // clang-format on
    for (const auto& [text, kept] : written) {
        EXPECT_EQ(store->WriteSettingText(kKey, "t", text), kept) << text.size();
        EXPECT_EQ(store->ReadSettingText(kKey, "t", "") == text, kept);  // a refusal keeps the last
    }
    // clang-format off
    const std::pair<QString, QString> asFound[] = {  // stored by hand -> read
        {"abc" + nul + nul, "abc" + nul}, {max + nul, max}, {max + "a", "default"}, {"", ""}};
    // clang-format on
    for (const auto& [stored, read] : asFound) {
        const QJsonObject instance{{"t", QJsonObject{{"sz", stored}}}};
        writeRaw(QJsonDocument(QJsonObject{{kKey, instance}}).toJson());
        EXPECT_EQ(store->ReadSettingText(kKey, "t", "default"), read) << stored.size();
    }
}

TEST_F(Store, ValueOfAnotherTypeOrShapeReadsAsAbsentAndAWriteRepairsIt) {
    writeRaw(R"({"Zelmor": {"X": {"sz": "12"}, "Y": {"dword": 1.5}, "Board": {"dword": "3"},
        "PAd": 5, "SAd": {"dword": 2147483648}, "A": {"dword": -2147483649},
        "B": {"dword": 3, "sz": "x"}, "T": {"dword": 8}}})");
    for (const char* name : {"X", "Y", "Board", "PAd", "SAd", "A", "B"})
        EXPECT_EQ(store->ReadSetting(kKey, name, -9), -9) << name;
    EXPECT_EQ(store->ReadSettingText(kKey, "T", "") + store->ReadSettingText(kKey, "X", ""), "12");
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 12));  // the other hand-made values stay
    EXPECT_EQ(root().value(kKey).toObject().size(), 8);
}

TEST_F(Store, CorruptFileReadsAsDefaultsAndIsKeptAsideBeforeAWrite) {
    QSet<QByteArray> expected;  // a second backup within the same second must not replace the first
    for (const QByteArray& bytes : {QByteArray(R"({"Zelmor": {"X": {)"), QByteArray("[1]")}) {
        writeRaw(bytes);
        EXPECT_EQ(store->ReadSetting(kKey, names::X, -1), -1);
        EXPECT_TRUE(store->DeleteSettings(kKey));  // opens, but finds nothing to remove
        EXPECT_EQ(readRaw(file), bytes);
        ASSERT_TRUE(store->WriteSetting(kKey, names::Y, 7));
        EXPECT_EQ(root(), QJsonObject({{kKey, QJsonObject{{"Y", QJsonObject{{"dword", 7}}}}}}));
        QSet<QByteArray> kept;
        for (const QString& name : QDir(makerDir).entryList({"registry.json.corrupt-*"}))
            kept << readRaw(makerDir + '/' + name);
        EXPECT_EQ(kept, expected << bytes);
    }
}

// A FIFO hung start-up and a link to /dev/zero ate memory: only a regular file of bounded size
// is used. Each row makes the store file's place hostile (a shell command in the maker key's
// folder) after a first write stored X = 5; then the value reads as absent (but where only the
// folder is read-only), every change fails and the place is left exactly as it is.
using Place = std::pair<const char*, const char*>;  // what the place is, the command making it
const Place kHostile[] = {
    {"fifo", "rm registry.json && mkfifo registry.json"},
    {"link to a fifo", "mkfifo f && ln -sf f registry.json"},  // a broken store writes through
    {"dangling link", "ln -sf nowhere registry.json"},
    {"folder", "rm registry.json && mkdir registry.json"},
    {"too big", "truncate -s 65M registry.json"},
    {"read-only folder", "chmod 500 ."},
    {"file for the folder", "cd .. && rm -r 'Tamrisk Software' && touch 'Tamrisk Software'"}};
struct HostilePlace : Store, ::testing::WithParamInterface<Place> {};
INSTANTIATE_TEST_SUITE_P(Rows, HostilePlace, ::testing::ValuesIn(kHostile));

TEST_P(HostilePlace, ReadsAsAbsentFailsEveryChangeAndIsLeftAlone) {
    const bool readOnly = GetParam().first == std::string("read-only folder");
    if (readOnly && ::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 5));
    ASSERT_EQ(sh(GetParam().second), 0);
    const QByteArray before = entries("%P %i %y %s");
    EXPECT_EQ(store->ReadSetting(kKey, names::X, -1), readOnly ? 5 : -1);
    EXPECT_FALSE(store->WriteSetting(kKey, names::Y, 1));
    EXPECT_FALSE(store->DeleteSettings(kKey));
    EXPECT_EQ(entries("%P %i %y %s"), before);
    ::chmod(QFile::encodeName(makerDir), 0700);  // for clean-up
}

// Twenty copies with their own instance names close at once, ten times over: each copy's
// values are all there, and a reader meanwhile always finds a whole file.
TEST_F(Store, TwentyCopiesClosingAtOnceLoseNothing) {
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 1));
    const auto copyKey = [](int id) { return QStringLiteral("Zelmor - c%1").arg(id); };
    for (int round = 0, go[2]; round < 10; ++round) {
        ASSERT_EQ(::pipe(go), 0);
        pid_t copies[20];
        for (int id = 0; id < 20; ++id) {
            if ((copies[id] = ::fork()) != 0) continue;
            char byte;  // a copy waits till the pipe closes, then stores; exit code 1: not stored
            ::close(go[1]);
            const int v = id * 100 + round;
            _exit(::read(go[0], &byte, 1) != 0 ||
                  !store->WriteSettings(copyKey(id), {{names::X, v}, {names::Y, v + 1}}));
        }
        ::close(go[0]);
        ::close(go[1]);  // releases them together
        int torn = 0, status = -1;
        for (const pid_t copy : copies) {
            while (::waitpid(copy, &status, WNOHANG) == 0)
                torn += store->ReadSetting(kKey, "x", 0) != 1;
            EXPECT_EQ(status, 0) << "round " << round;
        }
        EXPECT_EQ(torn, 0);
        for (int id = 0; id < 20; ++id)
            EXPECT_EQ(store->ReadSetting(copyKey(id), names::Y, -1), id * 100 + round + 1);
    }
}

TEST_F(Store, LockLeftByADeadCopyOnAnotherHostIsTakenOver) {
    writeRaw("{}");  // the lock's owner cannot be read; it was last touched an hour ago
    ASSERT_EQ(sh("echo ? >registry.json.lock && touch -d '1 hour ago' registry.json.lock"), 0);
    EXPECT_TRUE(store->WriteSetting(kKey, names::X, 3));  // else it waits 12 s and fails
}

// A full disk fails the change and leaves the file as it was, with no temporary copy or lock; so
// does a new file that cannot take the old one's place.
// In a child, in a mount namespace of its own, on a tmpfs of two pages: a change takes one for
// the lock file and one for the new file.
TEST_F(Store, FullDiskFailsTheChangeAndKeepsTheFile) {
    const QByteArray tmpfs = QFile::encodeName(tmp.path());
    const pid_t child = ::fork();
    if (child == 0) {  // no ASSERT here: it would return into the rest of the run
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("zelmor-test", tmpfs, "tmpfs", 0, "size=8k") != 0)
            _exit(77);
        EXPECT_TRUE(store->WriteSetting(kKey, names::X, 1));
        EXPECT_FALSE(store->WriteSetting("Zelmor - 2", names::X, 2));  // the old file takes a page
        EXPECT_EQ(root().keys(), QStringList{kKey});  // whole, and unchanged
        EXPECT_EQ(QDir(makerDir).entryList(QDir::Files), QStringList{"registry.json"});
        // With room again, the file as a mount point cannot be replaced: the new file is written,
        // its rename fails.
        EXPECT_EQ(::mount(nullptr, tmpfs, nullptr, MS_REMOUNT, "size=64k"), 0);
        EXPECT_EQ(::mount(QFile::encodeName(file), QFile::encodeName(file), "", MS_BIND, ""), 0);
        EXPECT_FALSE(store->WriteSetting(kKey, names::X, 3));
        _exit(HasFailure() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no tmpfs may be mounted here";
    EXPECT_EQ(status, 0);
}

}  // namespace zelmor::settings
