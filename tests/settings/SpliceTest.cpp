// SPDX-License-Identifier: MIT
// A change rewrites only its own key's text in a file of many keys: the file must come out as a
// whole rewrite would have written it, whatever the other keys hold or however it was laid out.
#include <gtest/gtest.h>

#include <QtCore>
#include <tuple>

#include "JsonSplice.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::settings {
namespace {

QJsonObject dwords(std::initializer_list<std::pair<const char*, int>> values) {
    QJsonObject object;
    for (const auto& [name, v] : values) object.insert(name, QJsonObject{{"dword", v}});
    return object;
}

TEST(Splice, OnlyTheOneKeyChangesAndTheTextIsAsAWholeRewrite) {
    QJsonObject others{{"A \"quoted\" \\ key", dwords({{"X", 1}})},
                       {"Zelmor - 2", "hand\n edited"},
                       {"\u00e9t\u00e9 \u0001", QJsonArray{1, "}", QJsonObject{}}},
                       {"\u00ff last", 3}};
    for (int i = 0; i < 2000; ++i) others.insert(QString("Zelmor - %1").arg(i + 3), dwords({{"X", i}}));
    const QJsonObject mine = dwords({{"X", 7}, {"Note", 8}});
    const QString key = R"(Zelmor \x80)";  // as an undecodable instance name is kept
    // clang-format off
    const std::tuple<const char*, bool, bool, const char*, bool> cases[] = {
        // what; this copy's key is there; laid out by hand; the key spelt another way too; splices
        {"as the store writes it", true, false, nullptr, true},
        {"laid out by hand", true, true, nullptr, true},
        {"a key spelt twice", true, false, R"(ZELMOR \X80)", false},
        {"no such key", false, false, nullptr, false}};
    // clang-format on
    for (const auto& [what, stored, compact, otherSpelling, splices] : cases) {
        QJsonObject root = others;
        if (stored) root.insert(key, dwords({{"X", 5}, {"Y", 6}}));
        if (otherSpelling) root.insert(otherSpelling, dwords({{"Y", 9}}));
        const QByteArray text = QJsonDocument(root).toJson(compact ? QJsonDocument::Compact
                                                                   : QJsonDocument::Indented);
        const auto spliced = replaceTopLevelValue(text, key.toLower(), mine);
        ASSERT_EQ(spliced.has_value(), splices) << what;
        if (!spliced) continue;
        root.insert(key, mine);
        EXPECT_EQ(QJsonDocument::fromJson(*spliced).object(), root) << what;
        EXPECT_TRUE(compact || *spliced == QJsonDocument(root).toJson(QJsonDocument::Indented));
    }
    EXPECT_FALSE(replaceTopLevelValue("{\"Zelmor\": {}} x", "Zelmor", mine));
    EXPECT_FALSE(replaceTopLevelValue("[{\"Zelmor\": {}}]", "Zelmor", mine));
}

}  // namespace
}  // namespace zelmor::settings
