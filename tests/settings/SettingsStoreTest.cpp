// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "StoreFixture.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::settings::test {
namespace {

const QString kKey = QStringLiteral("Zelmor");
const QStringList kOnlyTheStoreFile = {"cfg", "cfg/Tamrisk Software",
                                       "cfg/Tamrisk Software/registry.json"};

using SettingsStoreTest = StoreFixture;

TEST_F(SettingsStoreTest, NumbersRoundHalvesToEvenAndRefuseWhatNoDwordHolds) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        double written;
        std::optional<std::int32_t> stored;  // nothing: the write fails, the old value stays
    } cases[] = {
        {1234.5, 1234},
        {1235.5, 1236},
        {-1234.5, -1234},
        {-1235.5, -1236},
        {0.5, 0},
        {-0.5, 0},
        {2.4999999, 2},
        {-7.0, -7},
        {2147483647.0, 2147483647},
        {2147483647.4, 2147483647},
        {2147483647.5, std::nullopt},
        {-2147483648.0, std::numeric_limits<std::int32_t>::min()},
        {-2147483648.5, std::numeric_limits<std::int32_t>::min()},
        {-2147483648.6, std::nullopt},
        {1e12, std::nullopt},
        {kInf, std::nullopt},
        {-kInf, std::nullopt},
        {std::nan(""), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 42));
        EXPECT_EQ(store_->WriteSetting(kKey, names::X, c.written), c.stored.has_value());
        EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), c.stored.value_or(42));
    }
}

TEST_F(SettingsStoreTest, InstancesAreIndependentAndDeleteRemovesOneKeyOnly) {
    const QString second = QStringLiteral("Zelmor - 2");
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 100));
    ASSERT_TRUE(store_->WriteSetting(second, names::X, 200));
    ASSERT_TRUE(store_->WriteSetting(second, names::PAd, 9));
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 100);
    EXPECT_EQ(store_->ReadSetting(second, names::X, 0), 200);
    EXPECT_EQ(store_->ReadSetting(kKey, names::PAd, 7), 7);

    // "Zelmor" is a prefix of "Zelmor - 2": deleting it must leave the sibling alone.
    EXPECT_TRUE(store_->DeleteSettings(kKey));
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, -1), -1);
    EXPECT_EQ(store_->ReadSetting(second, names::X, 0), 200);
    EXPECT_TRUE(store_->DeleteSettings(kKey));  // already gone: the maker key still opens
    EXPECT_TRUE(store_->DeleteSettings(second));
    EXPECT_EQ(store_->ReadSetting(second, names::PAd, 7), 7);
    EXPECT_TRUE(QFile::exists(file()));  // the maker key stays, empty
    EXPECT_TRUE(root().isEmpty());
    EXPECT_EQ(entries(), kOnlyTheStoreFile);
}

TEST_F(SettingsStoreTest, ReadsAndDeletesCreateNothing) {
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 100), 100);
    EXPECT_EQ(store_->ReadSettingText(kKey, names::Y, "d"), "d");
    EXPECT_EQ(ReadSetting16(*store_, kKey, names::PAd, 7), 7);
    EXPECT_FALSE(store_->DeleteSettings(kKey));  // no maker key to open
    EXPECT_TRUE(entries().isEmpty());

    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 5));
    const QStringList before = entries();
    const QByteArray bytes = readRaw();
    EXPECT_EQ(store_->ReadSetting(QStringLiteral("Zelmor - 3"), names::X, 1), 1);
    EXPECT_EQ(store_->ReadSetting(kKey, names::Y, 2), 2);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(readRaw(), bytes);
}

TEST_F(SettingsStoreTest, HostileInstanceNamesAreDataNeverPaths) {
    const QStringList instances = {
        QStringLiteral("lab gen"),
        QStringLiteral("a/b"),
        QStringLiteral(".."),
        QStringLiteral("../../etc/x"),
        QStringLiteral("k=v"),
        QStringLiteral("[section]"),
        QStringLiteral("two\nlines"),
        QStringLiteral("Prüfstand Größe 試験 ✓"),
        QString(10'000, u'x'),
        QStringLiteral("nul") + QChar(u'\0') + "inside",
        QString(),
    };
    const auto keyOf = [](const QString& instance) { return "Zelmor - " + instance; };
    const auto isSz = [](const QString& text) {
        return !text.contains(QChar(u'\0')) && text.toUtf8().size() < 1024;
    };
    for (int n = 0; n < instances.size(); ++n) {
        ASSERT_TRUE(store_->WriteSetting(keyOf(instances[n]), names::X, n));
        EXPECT_EQ(store_->WriteSettingText(keyOf(instances[n]), "Name", instances[n]),
                  isSz(instances[n]));
    }
    for (int n = 0; n < instances.size(); ++n) {
        EXPECT_EQ(store_->ReadSetting(keyOf(instances[n]), names::X, -1), n);
        EXPECT_TRUE(root().contains(keyOf(instances[n]))) << n;  // spelled exactly as given
        EXPECT_EQ(store_->ReadSettingText(keyOf(instances[n]), "Name", "-"),
                  isSz(instances[n]) ? instances[n] : "-");
    }
    EXPECT_EQ(root().size(), instances.size());
    EXPECT_EQ(entries(), kOnlyTheStoreFile);
}

TEST_F(SettingsStoreTest, TextsFollowSzRules) {
    const QString max = QString(1023, u'a');  // 1023 bytes and the NUL fill the read buffer
    EXPECT_TRUE(store_->WriteSettingText(kKey, "t", max));
    EXPECT_EQ(store_->ReadSettingText(kKey, "t", "d"), max);
    EXPECT_TRUE(store_->WriteSettingText(kKey, "t", QString()));
    EXPECT_EQ(store_->ReadSettingText(kKey, "t", "d"), QString());
    // Refused: one byte too many (counted in UTF-8), or a NUL that would cut the text short.
    EXPECT_FALSE(store_->WriteSettingText(kKey, "t", max + "a"));
    EXPECT_FALSE(store_->WriteSettingText(kKey, "t", QString(512, u'é')));
    EXPECT_TRUE(store_->WriteSettingText(kKey, "t", QString(511, u'é')));
    EXPECT_FALSE(store_->WriteSettingText(kKey, "t", QStringLiteral("ab") + QChar(u'\0')));
    EXPECT_EQ(store_->ReadSettingText(kKey, "t", "d"), QString(511, u'é'));

    // As found in a file edited by hand: a trailing NUL is the terminator and is dropped.
    const struct {
        QString stored;
        QString read;
    } cases[] = {
        {"abc", "abc"},
        {QStringLiteral("abc") + QChar(u'\0'), "abc"},
        {QStringLiteral("abc") + QChar(u'\0') + QChar(u'\0'), QStringLiteral("abc") + QChar(u'\0')},
        {max + QChar(u'\0'), max},
        {max + "a", "default"},
        {QString(1024, u'a') + QChar(u'\0'), "default"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.size());
        QJsonObject instance{{"t", QJsonObject{{"sz", c.stored}}}};
        writeRaw(QJsonDocument(QJsonObject{{kKey, instance}}).toJson());
        EXPECT_EQ(store_->ReadSettingText(kKey, "t", "default"), c.read);
    }
}

TEST_F(SettingsStoreTest, ValueOfAnotherTypeOrShapeReadsAsAbsent) {
    writeRaw(R"({"Zelmor": {
        "X": {"sz": "12"}, "Y": {"dword": 1.5}, "Board": {"dword": "3"}, "PAd": 5,
        "SAd": {"dword": 4294967295}, "A": {"dword": 3, "sz": "x"}, "B": {"DWORD": 4},
        "C": {"dword": -2147483649}, "T": {"dword": 8}, "U": {"sz": null}},
        "Zelmor - 2": 17})");
    for (const char* name : {"X", "Y", "Board", "PAd", "SAd", "A", "B", "C", "U"}) {
        EXPECT_EQ(store_->ReadSetting(kKey, name, -9), -9) << name;
    }
    EXPECT_EQ(store_->ReadSettingText(kKey, "T", "d"), "d");
    EXPECT_EQ(store_->ReadSettingText(kKey, "X", "d"), "12");
    EXPECT_EQ(store_->ReadSetting(QStringLiteral("Zelmor - 2"), names::X, 1), 1);

    // Writing replaces the value's type, keeps every other hand-made value, and repairs a key
    // that was not an object.
    ASSERT_TRUE(store_->WriteSetting(kKey, names::X, 12));
    EXPECT_EQ(store_->ReadSetting(kKey, names::X, 0), 12);
    EXPECT_EQ(store_->ReadSettingText(kKey, names::X, "d"), "d");
    EXPECT_EQ(root().value(kKey).toObject().size(), 10);
    ASSERT_TRUE(store_->WriteSetting(QStringLiteral("Zelmor - 2"), names::X, 3));
    EXPECT_EQ(store_->ReadSetting(QStringLiteral("Zelmor - 2"), names::X, 0), 3);
}

TEST_F(SettingsStoreTest, NamesMatchWithoutRegardToCase) {
    ASSERT_TRUE(store_->WriteSetting(QStringLiteral("Zelmor - Lab"), "board", 1));
    ASSERT_TRUE(store_->WriteSetting(QStringLiteral("ZELMOR - LAB"), names::Board, 2));
    EXPECT_EQ(store_->ReadSetting(QStringLiteral("zelmor - lab"), "BOARD", 0), 2);
    EXPECT_EQ(root().keys(), QStringList{"Zelmor - Lab"});  // first spelling kept, one key
    EXPECT_EQ(root().value("Zelmor - Lab").toObject().keys(), QStringList{"board"});
    EXPECT_TRUE(store_->DeleteSettings(QStringLiteral("zelmor - LAB")));
    EXPECT_TRUE(root().isEmpty());
}

TEST_F(SettingsStoreTest, ReadSetting16TreatsOutOfRangeAsAbsent) {
    const struct {
        std::optional<double> stored;
        std::int16_t read;
    } cases[] = {{32767, 32767}, {-32768, -32768}, {32768, 7},       {-32769, 7},
                 {65543, 7},     {0, 0},           {std::nullopt, 7}};
    for (const auto& c : cases) {
        ASSERT_TRUE(store_->DeleteSettings(kKey) || !QFile::exists(file()));
        if (c.stored) {
            ASSERT_TRUE(store_->WriteSetting(kKey, names::PAd, *c.stored));
        }
        EXPECT_EQ(ReadSetting16(*store_, kKey, names::PAd, 7), c.read) << c.stored.value_or(-1);
    }
}

TEST(DefaultConfigDirTest, UsesAbsoluteXdgConfigHomeElseDotConfig) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QString fallback = QDir::homePath() + "/.config";
    const struct {
        std::optional<QByteArray> env;
        QString expected;
    } cases[] = {{"/srv/cfg/", "/srv/cfg"},
                 {"relative/cfg", fallback},
                 {"", fallback},
                 {std::nullopt, fallback}};
    for (const auto& c : cases) {
        if (c.env) {
            qputenv("XDG_CONFIG_HOME", *c.env);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
        EXPECT_EQ(defaultConfigDir(), c.expected) << c.env.value_or("(unset)").constData();
    }
    if (wasSet) {
        qputenv("XDG_CONFIG_HOME", saved);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace zelmor::settings::test
