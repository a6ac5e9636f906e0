// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QtCore>
#include <memory>
#include <optional>
#include <utility>

#include "zelmor/settings/SettingsStore.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace zelmor::settings::test {

inline const QString kKey = QStringLiteral("Zelmor");

// A store in a fresh temporary config directory that does not exist yet.
class StoreFixture : public ::testing::Test {
protected:
    QString cfg() const { return tmp_.filePath(QStringLiteral("cfg")); }
    QString file() const { return storeFilePath(cfg()); }
    QString makerDir() const { return QFileInfo(file()).absolutePath(); }

    void writeRaw(const QByteArray& bytes) const {
        ASSERT_TRUE(QDir().mkpath(makerDir()));
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }
    QByteArray readRaw(const QString& path = {}) const {
        QFile in(path.isEmpty() ? file() : path);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    QJsonObject root() const { return QJsonDocument::fromJson(readRaw()).object(); }

    // Every file and directory under the temporary directory, relative to it, sorted.
    QStringList entries() const {
        QStringList found;
        QDirIterator it(tmp_.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) found << QDir(tmp_.path()).relativeFilePath(it.next());
        found.sort();
        return found;
    }

    QTemporaryDir tmp_;
    std::unique_ptr<SettingsStore> store_ = makeFileStore(cfg());
};

inline const QStringList kOnlyTheStoreFile = {"cfg", "cfg/Tamrisk Software",
                                              "cfg/Tamrisk Software/registry.json"};

}  // namespace zelmor::settings::test
