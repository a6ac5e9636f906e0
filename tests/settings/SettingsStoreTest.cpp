// SPDX-License-Identifier: MIT
#include <sys/stat.h>

#include "StoreFixture.h"

namespace zelmor::settings::test {

using SettingsStoreTest = StoreFixture;

TEST_F(SettingsStoreTest, NumbersRoundHalvesToEvenAndRefuseWhatNoDwordHolds) {
    // clang-format off
    const std::pair<double, std::optional<std::int32_t>> cases[] = {  // nothing: write refused
        {1234.5, 1234}, {1235.5, 1236}, {-1234.5, -1234}, {-2.4, -2},
        {2147483647.4, 2147483647}, {2147483647.5, std::nullopt},
        {-2147483648.5, -2147483647 - 1}, {-2147483648.6, std::nullopt},
        {qInf(), std::nullopt}, {qQNaN(), std::nullopt}};
    // clang-format on
    for (const auto& [written, stored] : cases) {
        ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 42));
        EXPECT_EQ(store_->WriteSetting(kKey, names::X, written), stored.has_value()) << written;
        EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), stored.value_or(42)) << written;
    }
}

TEST_F(SettingsStoreTest, InstancesAreIndependentAndDeleteRemovesOneKeyOnly) {
    const QString second = QStringLiteral("Zelmor - 2");
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 100));
    ASSERT_TRUE(store_->WriteSetting(second, names::X, 200));
    ASSERT_TRUE(store_->WriteSetting("zelmor - 2", "x", 300));  // names ignore case
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 100);
    EXPECT_EQ(root().keys(), QStringList({kKey, second}));  // first spelling kept

    EXPECT_TRUE(store_->DeleteSettings("ZELMOR"));  // a prefix of the sibling's name
    EXPECT_TRUE(store_->DeleteSettings(kKey));      // already gone: the maker key still opens
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), -1);
    EXPECT_EQ(store_->ReadSetting(second, names::X, 0), 300);
    EXPECT_TRUE(store_->DeleteSettings(second));
    EXPECT_TRUE(root().isEmpty());
    EXPECT_EQ(entries(), kOnlyTheStoreFile);  // the maker key stays, empty
    // Hand edits may leave a key spelt several ways: a change leaves one, the first.
    writeRaw(R"({"ZELMOR": {}, "Zelmor": {}, "zelmor": {}, "Zelmor - 2": {}})");
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 5));
    EXPECT_EQ(root().keys(), QStringList({"ZELMOR", "Zelmor - 2"}));
}

TEST(ConfigDir, ARelativeXdgConfigHomeIsIgnored) {
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(defaultConfigDir(), QDir::homePath() + "/.config");
    qputenv("XDG_CONFIG_HOME", "/abs//cfg/");
    EXPECT_EQ(defaultConfigDir(), "/abs/cfg");
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsStoreTest, ReadsCreateNothing) {
    EXPECT_EQ(ReadSetting16(*store_, kKey, names::PAd, 7), 7);
    EXPECT_FALSE(store_->DeleteSettings(kKey));  // no maker key to open
    EXPECT_TRUE(entries().isEmpty());

    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 5));
    const QByteArray bytes = readRaw();
    EXPECT_EQ(store_->ReadSetting("Zelmor - 3", names::X, 1), 1);
    EXPECT_EQ(readRaw(), bytes);
}

TEST_F(SettingsStoreTest, HostileInstanceNamesAreDataNeverPaths) {
    // clang-format off
    const QStringList instances = {"lab gen", "a/b", "..", "../../etc/x", "k=v", "[section]",
                                   "two\nlines", QStringLiteral("Prüfstand 試験 ✓"),
                                   QString(10'000, u'x'), QStringLiteral("nul") + QChar(u'\0')};
    // clang-format on
    for (int n = 0; n < instances.size(); ++n) {
        ASSERT_TRUE(store_->WriteSetting("Zelmor - " + instances[n], names::X, n));
        EXPECT_EQ(store_->ReadSetting("Zelmor - " + instances[n], names::X, -1), n);
        EXPECT_TRUE(root().contains("Zelmor - " + instances[n])) << n;  // spelled as given
    }
    EXPECT_EQ(root().size(), instances.size());  // no two names share a key
    EXPECT_EQ(entries(), kOnlyTheStoreFile);
}

TEST_F(SettingsStoreTest, TextsAreNulTerminatedAndFitIn1024Bytes) {
    const QString max(1023, u'a');  // 1023 bytes and the NUL fill the read buffer
    const QString nul(QChar(u'\0'));
    // clang-format off
    const std::pair<QString, bool> written[] = {  // UTF-8 bytes count, not characters
        {max, true}, {max + "a", false}, {QString(511, u'é'), true}, {QString(512, u'é'), false},
        {"ab" + nul, false}};
    // clang-format on
    for (const auto& [text, kept] : written) {
        const QString before = store_->ReadSettingText(kKey, "t", "none");
        EXPECT_EQ(store_->WriteSettingText(kKey, "t", text), kept) << text.size();
        EXPECT_EQ(store_->ReadSettingText(kKey, "t", "none"), kept ? text : before);
    }
    // clang-format off
    const std::pair<QString, QString> asFound[] = {  // stored by hand -> read
        {"abc" + nul, "abc"}, {"abc" + nul + nul, "abc" + nul}, {max + nul, max},
        {max + "a", "default"}, {QString(1024, u'a') + nul, "default"}, {"", ""}};
    // clang-format on
    for (const auto& [stored, read] : asFound) {
        const QJsonObject instance{{"t", QJsonObject{{"sz", stored}}}};
        writeRaw(QJsonDocument(QJsonObject{{kKey, instance}}).toJson());
        EXPECT_EQ(store_->ReadSettingText(kKey, "t", "default"), read) << stored.size();
    }
}

TEST_F(SettingsStoreTest, ValueOfAnotherTypeOrShapeReadsAsAbsent) {
    writeRaw(R"({"Zelmor": {"X": {"sz": "12"}, "Y": {"dword": 1.5}, "Board": {"dword": "3"},
        "PAd": 5, "SAd": {"dword": 2147483648}, "A": {"dword": -2147483649},
        "B": {"dword": 3, "sz": "x"}, "T": {"dword": 8}}, "Zelmor - 2": 17})");
    for (const char* name : {"X", "Y", "Board", "PAd", "SAd", "A", "B"}) {
        EXPECT_EQ(store_->ReadSetting(kKey, name, -9), -9) << name;
    }
    EXPECT_EQ(store_->ReadSettingText(kKey, "T", "d"), "d");
    EXPECT_EQ(store_->ReadSettingText(kKey, "X", "d"), "12");
    EXPECT_EQ(store_->ReadSetting("Zelmor - 2", names::X, 1), 1);

    // A write replaces the type, keeps the other hand-made values and repairs a non-object key.
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 12));
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 12);
    EXPECT_EQ(root().value(kKey).toObject().size(), 8);
    ASSERT_TRUE(store_->WriteSetting("Zelmor - 2", names::X, 3));
    EXPECT_EQ(store_->ReadSetting("Zelmor - 2", names::X, 0), 3);
}

TEST_F(SettingsStoreTest, ReadSetting16TreatsOutOfRangeAsAbsent) {
    const std::pair<int, int> cases[] = {
        {32767, 32767}, {-32768, -32768}, {32768, 7}, {-32769, 7}, {65541, 7}};
    for (const auto& [stored, read] : cases) {
        ASSERT_TRUE(store_->WriteSetting(kKey, names::PAd, stored));
        EXPECT_EQ(ReadSetting16(*store_, kKey, names::PAd, 7), read) << stored;
    }
}

// Closing writes the five values as one change: refused values are left out, and values already
// stored leave the file as it is, not even rewritten. A read after another copy's change sees it.
TEST_F(SettingsStoreTest, WriteSettingsIsOneChangeAndNoneWhenNothingChanges) {
    const auto inode = [this] {
        struct stat st {};
        return ::stat(QFile::encodeName(file()).constData(), &st) == 0 ? st.st_ino : 0;
    };
    EXPECT_FALSE(store_->WriteSettings(kKey, {{"Board", 1}, {"x", 1234.5}, {"Y", qQNaN()}}));
    EXPECT_EQ(root(), QJsonObject({{kKey, QJsonObject{{"Board", QJsonObject{{"dword", 1}}},
                                                      {"x", QJsonObject{{"dword", 1234}}}}}}));
    const auto before = inode();
    EXPECT_TRUE(store_->WriteSettings(kKey, {{"BOARD", 1}, {"X", 1234}}));
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 1234);  // read once, kept
    ASSERT_TRUE(makeFileStore(cfg())->WriteSettings(kKey, {{"X", 5}, {"Y", 6}}));
    EXPECT_NE(inode(), before);
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 5);
}

}  // namespace zelmor::settings::test
