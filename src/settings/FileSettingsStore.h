// SPDX-License-Identifier: MIT
#pragma once

#include <sys/stat.h>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "zelmor/settings/SettingsStore.h"

namespace zelmor::settings {

// The maker key as one JSON file, "<configDir>/Tamrisk Software/registry.json":
//
//   { "Zelmor - 2": { "X": { "dword": 1234 }, "Note": { "sz": "text" } } }
//
// Members of the root are the instance keys, spelled as given (the name is data, never a
// path); each value is an object with exactly one typed member, so a value edited by hand into
// another shape reads as absent. Key and value names match without regard to case, like
// registry names. An "sz" text carries an implied terminating NUL unless it ends in one.
//
// Reads take no lock: every change replaces the file atomically, so a reader sees the old
// or the new file whole. Changes run read-modify-write under "registry.json.lock".
//
// The file last read or saved stays parsed: a read answers from it while the file is the same
// one (device, inode, size, modification and change times), so start-up reads the file once;
// a change, under the lock, always reads the file and parses it again only when its bytes
// differ. A change that would store what is stored saves nothing.
class FileSettingsStore final : public SettingsStore {
public:
    explicit FileSettingsStore(const QString& configDir);

    std::int32_t ReadSetting(const QString& appKey, const QString& name, std::int32_t def) override;
    QString ReadSettingText(const QString& appKey, const QString& name,
                            const QString& def) override;
    bool WriteSetting(const QString& appKey, const QString& name, double value) override;
    bool WriteSettingText(const QString& appKey, const QString& name, const QString& text) override;
    bool WriteSettings(const QString& appKey,
                       const std::vector<std::pair<QString, double>>& values) override;
    bool DeleteSettings(const QString& appKey) override;

    static QString filePathFor(const QString& configDir);

private:
    enum class FileState { Missing, Unreadable, Corrupt, Ok };
    struct Snapshot {
        FileState state = FileState::Missing;
        QJsonObject root;
    };
    // Which file the bytes came from, as stat(2) tells it.
    struct FileId {
        std::int64_t dev = 0, ino = 0, size = 0, mtimeNs = 0, ctimeNs = 0;
        bool operator==(const FileId&) const = default;
    };
    struct Parsed {
        FileId id;
        QByteArray bytes;
        QJsonObject root;
    };

    static FileId idOf(const struct stat& st);
    // `reuse`: a file that is still the one last read or saved is not read again (reads only).
    Snapshot load(bool reuse) const;
    // The stored value object, or an empty object when the file, key or value is absent.
    QJsonObject findValue(const QString& appKey, const QString& name) const;
    // One change: the values in the order given, each replacing any value of its name.
    bool writeValues(const QString& appKey,
                     const std::vector<std::pair<QString, QJsonObject>>& values);
    // The instance key as the change would leave it, or nothing when the file would come out
    // the same.
    static std::optional<QJsonObject> changed(
        const Snapshot& snapshot, const QString& appKey,
        const std::vector<std::pair<QString, QJsonObject>>& values);
    bool setCorruptFileAside() const;
    // Removes temporary files of saves that never finished; under the lock.
    void removeLeftovers() const;
    // `text`, when given, is `root` as the file's text; without it the document is written out.
    bool save(const QJsonObject& root, const std::optional<QByteArray>& text = std::nullopt) const;

    QString dir_;
    QString path_;
    mutable std::optional<Parsed> parsed_;
};

}  // namespace zelmor::settings
