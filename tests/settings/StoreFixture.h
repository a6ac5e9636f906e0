// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>

#include "zelmor/settings/SettingsStore.h"

// Readable failure messages for Qt texts (found by argument-dependent lookup).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << bytes.toHex().constData();
}

namespace zelmor::settings::test {

// A store in a fresh temporary config directory that does not exist yet.
class StoreFixture : public ::testing::Test {
protected:
    QString cfg() const { return tmp_.filePath(QStringLiteral("cfg")); }
    QString file() const { return storeFilePath(cfg()); }

    void writeRaw(const QByteArray& bytes) const {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file()).absolutePath()));
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(out.write(bytes), bytes.size());
    }
    QByteArray readRaw() const {
        QFile in(file());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    QJsonObject root() const { return QJsonDocument::fromJson(readRaw()).object(); }

    // Every file and directory under the temporary directory, relative to it.
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

}  // namespace zelmor::settings::test
