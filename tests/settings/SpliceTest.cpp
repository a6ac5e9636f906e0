// SPDX-License-Identifier: MIT
// A change rewrites only its own key's text in a file of many keys: the file must come out as a
// whole rewrite would have written it, whatever the other keys hold or however it was laid out.
#include <gtest/gtest.h>

#include <QtCore>

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
    QJsonObject others{{"A \"quoted\" \\ key", dwords({{"X", 1}})}, {"Zelmor - 2", "hand\n edited"},
                       {"\u00e9t\u00e9 \u0001", QJsonArray{1, "}", QJsonObject{}}}, {"\u00ff last", 3}};
    for (int i = 0; i < 2000; ++i) others.insert(QString("Zelmor - %1").arg(i + 3), dwords({{"X", i}}));
    const QJsonObject mine = dwords({{"X", 7}, {"Note", 8}});
    const QString key = R"(Zelmor \x80)";  // as an undecodable instance name is kept
    struct Case {
        const char* what;
        QJsonValue stored;          // this copy's key as the file holds it; Undefined: absent
        bool compact;               // laid out by hand rather than by the store
        const char* otherSpelling;  // the same key spelt another way too
        bool splices;
    } cases[] = {{"a key as the store writes it", dwords({{"X", 5}, {"Y", 6}}), false, nullptr, true},
                 {"a file laid out by hand", dwords({{"X", 5}}), true, nullptr, true},
                 {"a key spelt twice", dwords({{"X", 5}}), false, R"(ZELMOR \X80)", false},
                 {"no such key", QJsonValue::Undefined, false, nullptr, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QJsonObject root = others;
        if (!c.stored.isUndefined()) root.insert(key, c.stored);
        if (c.otherSpelling) root.insert(c.otherSpelling, dwords({{"Y", 9}}));
        const auto layout = c.compact ? QJsonDocument::Compact : QJsonDocument::Indented;
        const auto text = replaceTopLevelValue(QJsonDocument(root).toJson(layout), key.toLower(), mine);
        ASSERT_EQ(text.has_value(), c.splices);
        if (!text) continue;
        root.insert(key, mine);
        EXPECT_EQ(QJsonDocument::fromJson(*text).object(), root);
        if (!c.compact) {
            EXPECT_EQ(*text, QJsonDocument(root).toJson(QJsonDocument::Indented));
        }
    }
    EXPECT_FALSE(replaceTopLevelValue("{\"Zelmor\": {}} x", "Zelmor", mine));
    EXPECT_FALSE(replaceTopLevelValue("[{\"Zelmor\": {}}]", "Zelmor", mine));
}

}  // namespace
}  // namespace zelmor::settings
