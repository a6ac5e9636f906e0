// SPDX-License-Identifier: MIT
// The settings file as anything may have left it: what is read is a stored value of the right
// type or the default, and a write keeps every other key, or the unreadable file aside.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>

#include "Check.h"
#include "zelmor/settings/SettingsStore.h"

namespace {

bool same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Every value under the key and the name, in any spelling of either.
QList<QJsonObject> spelt(const QJsonObject& root, const QString& key, const QString& name) {
    QList<QJsonObject> found;
    for (auto k = root.begin(); k != root.end(); ++k) {
        const QJsonObject values = k.value().toObject();
        for (auto v = values.begin(); v != values.end(); ++v) {
            if (same(k.key(), key) && same(v.key(), name)) found += v.value().toObject();
        }
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QTemporaryDir dir;
    const QString path = zelmor::settings::storeFilePath(dir.path());
    const QString folder = QFileInfo(path).absolutePath();
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const bool readable = error.error == QJsonParseError::NoError && document.isObject();
    const QJsonObject root = document.object();
    // A key and a name from the file itself, spelt in another case, else the panel's own.
    const QString key = root.isEmpty() ? QStringLiteral("Zelmor") : root.begin().key().toUpper();
    const QJsonObject values = root.isEmpty() ? QJsonObject() : root.begin().value().toObject();
    const QString name = values.isEmpty() ? QStringLiteral("X") : values.begin().key().toLower();

    const auto store = zelmor::settings::makeFileStore(dir.path());
    const QList<QJsonObject> found = spelt(root, key, name);
    QList<double> numbers;  // whole, in the DWORD range, as the only data of their value
    QStringList texts;
    for (const QJsonObject& v : found) {
        const double d = v[u"dword"].toDouble(0.5);
        if (v.size() == 1 && d == std::floor(d) && d >= INT32_MIN && d <= INT32_MAX) numbers += d;
        if (v.size() == 1 && v[u"sz"].isString()) texts += v[u"sz"].toString();
    }
    const std::int32_t number = store->ReadSetting(key, name, -77);
    FUZZ_CHECK(number == -77 || numbers.contains(number));
    // Where the name is spelt one way only, a number there is the one read.
    FUZZ_CHECK(found.size() != 1 || numbers.size() != 1 || number == numbers[0]);
    const QString text = store->ReadSettingText(key, name, QStringLiteral("\x01"));
    FUZZ_CHECK(text == u"\x01" || texts.contains(text) || texts.contains(text + QChar(u'\0')));

    FUZZ_CHECK(store->WriteSetting(key, name, 1234.5) && store->ReadSetting(key, name, 0) == 1234);
    QFile written(path);
    FUZZ_CHECK(written.open(QIODevice::ReadOnly));
    const QJsonObject now = QJsonDocument::fromJson(written.readAll()).object();
    if (readable) {
        for (auto k = root.begin(); k != root.end(); ++k) {
            FUZZ_CHECK(same(k.key(), key) || now.value(k.key()) == k.value());
        }
    } else {
        const QStringList aside =
            QDir(folder).entryList({QStringLiteral("registry.json.corrupt-*")});
        QFile kept(folder + u'/' + aside.value(0));
        FUZZ_CHECK(aside.size() == 1 && kept.open(QIODevice::ReadOnly) && kept.readAll() == bytes);
    }
    return 0;
}
