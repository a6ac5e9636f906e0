// SPDX-License-Identifier: MIT
#include <fcntl.h>
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

// What a closing window stores, for copy `id` in `round`.
std::vector<std::pair<QString, double>> closing(int id, int round) {
    std::vector<std::pair<QString, double>> values;
    for (const char* name : {names::Board, names::PAd, names::SAd, names::X, names::Y}) {
        values.emplace_back(name, id * 1000 + round * 10 + values.size());
    }
    return values;
}

QByteArray readRaw(const QString& path) {
    QFile in(path);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// Creates `path` holding `bytes`, last changed `age` seconds ago.
bool make(const QString& path, const QByteArray& bytes, int age = 0) {
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush() &&
           out.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFile::FileModificationTime);
}

// A store in a fresh temporary config directory that does not exist yet.
struct Store : ::testing::Test {
    QString cfg() const { return tmp.filePath(QStringLiteral("cfg")); }
    QString file() const { return storeFilePath(cfg()); }
    QString makerDir() const { return QFileInfo(file()).absolutePath(); }
    void writeRaw(const QByteArray& bytes) const {
        ASSERT_TRUE(QDir().mkpath(makerDir()) && make(file(), bytes));
    }
    QJsonObject root() const { return QJsonDocument::fromJson(readRaw(file())).object(); }
    // Every entry under the temporary directory, relative to it, sorted.
    QStringList entries() const {
        QStringList found;
        QDirIterator it(tmp.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) found << QDir(tmp.path()).relativeFilePath(it.next());
        found.sort();
        return found;
    }
    // The store file's inode and type.
    std::pair<ino_t, mode_t> node() const {
        struct stat st {};
        ::lstat(QFile::encodeName(file()), &st);
        return {st.st_ino, st.st_mode};
    }
    QTemporaryDir tmp;
    std::unique_ptr<SettingsStore> store = makeFileStore(cfg());
};

TEST_F(Store, NumbersRoundHalvesToEvenAndRefuseWhatNoDwordHolds) {
    // clang-format off
    const std::pair<double, std::optional<std::int32_t>> cases[] = {  // nothing: write refused
        {1234.5, 1234}, {1235.5, 1236}, {-1234.5, -1234}, {-2.4, -2},
        {2147483647.4, 2147483647}, {2147483647.5, std::nullopt},
        {-2147483648.5, -2147483647 - 1}, {-2147483648.6, std::nullopt},
        {qInf(), std::nullopt}, {qQNaN(), std::nullopt}};
    // clang-format on
    for (const auto& [written, stored] : cases) {
        ASSERT_TRUE(store->WriteSetting(kKey, names::X, 42));  // again after a refusal: unchanged
        EXPECT_EQ(store->WriteSetting(kKey, names::X, written), stored.has_value()) << written;
        EXPECT_EQ(store->ReadSetting(kKey, names::X, -1), stored.value_or(42)) << written;
    }
    // ReadSetting16 takes what lies outside 16 bits as absent.
    const std::pair<int, int> cases16[] = {
        {32767, 32767}, {-32768, -32768}, {32768, 7}, {-32769, 7}, {65541, 7}};
    for (const auto& [kept, read] : cases16) {
        ASSERT_TRUE(store->WriteSetting(kKey, names::PAd, kept));
        EXPECT_EQ(ReadSetting16(*store, kKey, names::PAd, 7), read) << kept;
    }
}

TEST_F(Store, InstancesAreIndependentDataNeverPathsAndDeleteRemovesOneKeyOnly) {
    EXPECT_EQ(ReadSetting16(*store, kKey, names::PAd, 7), 7);
    EXPECT_FALSE(store->DeleteSettings(kKey));  // no maker key to open
    EXPECT_TRUE(entries().isEmpty());           // reads create nothing
    const QString second = QStringLiteral("Zelmor - 2");
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 100));
    ASSERT_TRUE(store->WriteSetting(second, names::X, 200));
    ASSERT_TRUE(store->WriteSetting("zelmor - 2", "x", 300));  // names ignore case
    EXPECT_EQ(root().keys(), QStringList({kKey, second}));     // first spelling kept
    EXPECT_TRUE(store->DeleteSettings("ZELMOR"));              // a prefix of the sibling's name
    EXPECT_TRUE(store->DeleteSettings(kKey));  // already gone: the maker key still opens
    EXPECT_EQ(store->ReadSetting(second, names::X, 0), 300);
    EXPECT_TRUE(store->DeleteSettings(second));
    EXPECT_TRUE(QFileInfo::exists(file()) && root().isEmpty());  // the maker key stays, empty
    // Hand edits may leave a key spelt several ways: a change leaves one, the first.
    writeRaw(R"({"ZELMOR": {}, "Zelmor": {}, "zelmor": {}, "Zelmor - 2": {}})");
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 5));
    EXPECT_EQ(root().keys(), QStringList({"ZELMOR", "Zelmor - 2"}));
    // clang-format off
    const QStringList hostile = {"a/b", "..", "../../etc/x", "[section]", "two\nlines",
                                 QStringLiteral("Prüfstand 試験 ✓"), QString(10'000, u'x'),
                                 QStringLiteral("nul") + QChar(u'\0')};
    // clang-format on
    for (int n = 0; n < hostile.size(); ++n) {
        ASSERT_TRUE(store->WriteSetting("Zelmor - " + hostile[n], names::X, n));
        EXPECT_EQ(store->ReadSetting("Zelmor - " + hostile[n], names::X, -1), n);
        EXPECT_TRUE(root().contains("Zelmor - " + hostile[n])) << n;  // spelled as given
    }
    EXPECT_EQ(root().size(), hostile.size() + 2);  // no two names share a key
    EXPECT_EQ(entries(),
              QStringList({"cfg", "cfg/Tamrisk Software", "cfg/Tamrisk Software/registry.json"}));
}

TEST(ConfigDir, ARelativeXdgConfigHomeIsIgnored) {
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(defaultConfigDir(), QDir::homePath() + "/.config");
    qputenv("XDG_CONFIG_HOME", "/abs//cfg/");
    EXPECT_EQ(defaultConfigDir(), "/abs/cfg");
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
        const QString before = store->ReadSettingText(kKey, "t", "none");
        EXPECT_EQ(store->WriteSettingText(kKey, "t", text), kept) << text.size();
        EXPECT_EQ(store->ReadSettingText(kKey, "t", "none"), kept ? text : before);
    }
    // clang-format off
    const std::pair<QString, QString> asFound[] = {  // stored by hand -> read
        {"abc" + nul, "abc"}, {"abc" + nul + nul, "abc" + nul}, {max + nul, max},
        {max + "a", "default"}, {QString(1024, u'a') + nul, "default"}, {"", ""}};
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
        "B": {"dword": 3, "sz": "x"}, "T": {"dword": 8}}, "Zelmor - 2": 17})");
    for (const char* name : {"X", "Y", "Board", "PAd", "SAd", "A", "B"}) {
        EXPECT_EQ(store->ReadSetting(kKey, name, -9), -9) << name;
    }
    EXPECT_EQ(store->ReadSettingText(kKey, "T", "d") + store->ReadSettingText(kKey, "X", "d"),
              "d12");
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 12));  // the other hand-made values stay
    EXPECT_EQ(root().value(kKey).toObject().size(), 8);
    ASSERT_TRUE(store->WriteSetting("Zelmor - 2", names::X, 3));
    EXPECT_EQ(store->ReadSetting("Zelmor - 2", names::X, 0), 3);
}

// Closing writes the five values as one change: refused values are left out, and values already
// stored leave the file as it is, not even rewritten.
TEST_F(Store, WriteSettingsIsOneChangeAndNoneWhenNothingChanges) {
    EXPECT_FALSE(store->WriteSettings(kKey, {{"Board", 1}, {"x", 1234.5}, {"Y", qQNaN()}}));
    EXPECT_EQ(root(), QJsonObject({{kKey, QJsonObject{{"Board", QJsonObject{{"dword", 1}}},
                                                      {"x", QJsonObject{{"dword", 1234}}}}}}));
    const auto before = node();
    EXPECT_TRUE(store->WriteSettings(kKey, {{"BOARD", 1}, {"X", 1234}}));
    EXPECT_EQ(node(), before);
}

TEST_F(Store, CorruptFileReadsAsDefaultsAndIsKeptAsideBeforeAWrite) {
    QSet<QByteArray> expected;  // a second backup within the same second must not replace the first
    for (const QByteArray& bytes : {QByteArray(R"({"Zelmor": {"X": {)"), QByteArray("[1]")}) {
        writeRaw(bytes);
        EXPECT_EQ(store->ReadSetting(kKey, names::X, -1), -1);
        EXPECT_TRUE(store->DeleteSettings(kKey));  // opens, but finds nothing to remove
        EXPECT_EQ(readRaw(file()), bytes);
        ASSERT_TRUE(store->WriteSetting(kKey, names::Y, 7));
        EXPECT_EQ(root(), QJsonObject({{kKey, QJsonObject{{"Y", QJsonObject{{"dword", 7}}}}}}));
        QSet<QByteArray> kept;
        for (const QString& name : QDir(makerDir()).entryList({"registry.json.corrupt-*"})) {
            kept << readRaw(makerDir() + '/' + name);
        }
        EXPECT_EQ(kept, expected << bytes);
    }
}

// A FIFO hung start-up and a link to /dev/zero ate memory: only a regular file of bounded size,
// in a folder the store may change, is used. Each row makes the store file's place hostile after
// a first write stored X = 5; then the value reads as absent (but where only the folder is
// read-only), every change fails, nothing is said and the place is left exactly as it is.
using Make = bool (*)(const QByteArray& file, const QByteArray& folder);
// clang-format off
const std::pair<const char*, Make> kHostile[] = {
    {"fifo", [](auto& f, auto&) { return ::unlink(f) == 0 && ::mkfifo(f, 0600) == 0; }},
    {"link to a fifo", [](auto& f, auto&) {  // never a device: a broken store would write to it
        return ::mkfifo(f + ".fifo", 0600) == 0 && ::unlink(f) == 0 && ::symlink(f + ".fifo", f) == 0;
    }},
    {"dangling link", [](auto& f, auto&) { return ::unlink(f) == 0 && ::symlink("nowhere", f) == 0; }},
    {"folder", [](auto& f, auto&) { return ::unlink(f) == 0 && ::mkdir(f, 0700) == 0; }},
    {"sparse file too big", [](auto& f, auto&) { return ::truncate(f, 65 << 20) == 0; }},
    {"read-only folder", [](auto&, auto& d) { return ::chmod(d, 0500) == 0; }},
    {"file for the folder", [](auto&, auto& d) {
        return QDir(d).removeRecursively() && make(d, {});
    }}};
// clang-format on
struct HostilePlace : Store, ::testing::WithParamInterface<std::pair<const char*, Make>> {};
INSTANTIATE_TEST_SUITE_P(Rows, HostilePlace, ::testing::ValuesIn(kHostile));
int messages = 0;

TEST_P(HostilePlace, ReadsAsAbsentFailsEveryChangeQuietlyAndIsLeftAlone) {
    const bool readOnly = GetParam().first == std::string("read-only folder");
    if (readOnly && ::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 5));
    ASSERT_TRUE(GetParam().second(QFile::encodeName(file()), QFile::encodeName(makerDir())));
    const QStringList before = entries();
    const auto node = this->node();
    const auto fresh = makeFileStore(cfg());  // as at start-up
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString&) { ++messages; });
    EXPECT_EQ(fresh->ReadSetting(kKey, names::X, -1), readOnly ? 5 : -1);
    EXPECT_FALSE(fresh->WriteSetting(kKey, names::Y, 1));
    EXPECT_FALSE(fresh->DeleteSettings(kKey));
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(this->node(), node);
    ::chmod(QFile::encodeName(makerDir()), 0700);  // for clean-up
}

// Twenty copies with their own instance names close at once, ten times over: each copy's last
// five values are all there, and a reader meanwhile always finds a whole file.
TEST_F(Store, TwentyCopiesClosingAtOnceLoseNothing) {
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 1));
    const auto copyKey = [](int id) { return QStringLiteral("Zelmor - c%1").arg(id); };
    for (int round = 0; round < 10; ++round) {
        int go[2];
        ASSERT_EQ(::pipe(go), 0);
        pid_t copies[20];
        for (int id = 0; id < 20; ++id) {
            if ((copies[id] = ::fork()) == 0) {  // waits till the pipe closes, then closes
                char byte;
                ::close(go[1]);
                const bool released = ::read(go[0], &byte, 1) == 0;
                _exit(released && store->WriteSettings(copyKey(id), closing(id, round)) ? 0 : 1);
            }
        }
        ::close(go[0]);
        ::close(go[1]);  // releases them together
        int torn = 0;
        for (const pid_t copy : copies) {
            int status = -1;
            while (::waitpid(copy, &status, WNOHANG) == 0) {
                torn += store->ReadSetting(kKey, names::X, 0) != 1;
            }
            EXPECT_EQ(status, 0) << "round " << round;
        }
        EXPECT_EQ(torn, 0);
        for (int id = 0; id < 20; ++id) {
            for (const auto& [name, value] : closing(id, round)) {
                EXPECT_EQ(store->ReadSetting(copyKey(id), name, -1), value);
            }
        }
    }
    EXPECT_EQ(QDir(makerDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"registry.json"});
}

// A full disk fails the change and leaves the file as it was, with no temporary copy; the next
// change, with room again, stores. In a child, in a mount namespace of its own: a tmpfs of 64 KiB.
TEST_F(Store, FullDiskFailsTheChangeAndKeepsTheFile) {
    const pid_t child = ::fork();
    if (child == 0) {  // no ASSERT here: it would return into the rest of the run
        QDir().mkpath(cfg());
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("zelmor-test", QFile::encodeName(cfg()), "tmpfs", 0, "size=64k") != 0) {
            _exit(77);
        }
        EXPECT_TRUE(store->WriteSettings(kKey, closing(1, 0)));
        const QByteArray before = readRaw(file()), filler = QFile::encodeName(cfg() + "/filler");
        // Full, but for one page: the lock file takes it, and the new file finds no room.
        const int fd = ::open(filler, O_WRONLY | O_CREAT, 0600);
        static const char page[4096] = {};
        off_t size = 0;
        for (ssize_t n = 0; (n = ::write(fd, page, sizeof page)) > 0;) size += n;
        EXPECT_TRUE(::ftruncate(fd, size - 4096) == 0 && ::close(fd) == 0);
        EXPECT_FALSE(store->WriteSettings("Zelmor - 2", closing(2, 0)));
        EXPECT_EQ(readRaw(file()), before);
        EXPECT_EQ(QDir(makerDir()).entryList(QDir::Files), QStringList{"registry.json"});
        EXPECT_EQ(store->ReadSetting(kKey, names::X, 0), 1003);
        ::unlink(filler);
        EXPECT_TRUE(store->WriteSettings("Zelmor - 2", closing(2, 0)));  // room again
        _exit(HasFailure() ? 1 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no tmpfs may be mounted here";
    EXPECT_EQ(status, 0);
}

TEST_F(Store, LockLeftByADeadCopyOnAnotherHostIsTakenOver) {
    writeRaw("{}");  // the lock's owner cannot be read; it was last touched an hour ago
    ASSERT_TRUE(make(file() + ".lock", "?\n", 3600));
    EXPECT_TRUE(store->WriteSetting(kKey, names::X, 3));  // else it waits 12 s and fails
}

// A copy killed before its save's rename leaves a whole temporary copy: the next save removes it
// once it is a minute old, and nothing else. Rows: name, age in seconds (0: a link to an old file).
TEST_F(Store, NextSaveRemovesOnlyOldLeftoversOfSaves) {
    const std::pair<const char*, int> files[] = {
        {"registry.json.aB3xZ9", 61}, {"registry.json.qwerty", 5}, {"registry.json.abcde", 99},
        {"registry.json.ab-def", 99}, {"other.json.abcdef", 99},   {"registry.json.Link12", 0}};
    writeRaw("{}");
    for (const auto& [name, age] : files) {
        const QString path = makerDir() + '/' + name;
        ASSERT_TRUE(age ? make(path, {}, age) : QFile::link("other.json.abcdef", path));
    }
    ASSERT_TRUE(store->WriteSetting(kKey, names::X, 1));
    for (const auto& [name, age] : files) {
        EXPECT_EQ(QFileInfo::exists(makerDir() + '/' + name), age != 61) << name;
    }
}

}  // namespace zelmor::settings
