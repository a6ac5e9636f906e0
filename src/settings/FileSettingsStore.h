// SPDX-License-Identifier: MIT
#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>

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
class FileSettingsStore final : public SettingsStore {
public:
    explicit FileSettingsStore(const QString& configDir);

    std::int32_t ReadSetting(const QString& appKey, const QString& name, std::int32_t def) override;
    QString ReadSettingText(const QString& appKey, const QString& name,
                            const QString& def) override;
    bool WriteSetting(const QString& appKey, const QString& name, double value) override;
    bool WriteSettingText(const QString& appKey, const QString& name, const QString& text) override;
    bool DeleteSettings(const QString& appKey) override;

    static QString filePathFor(const QString& configDir);

private:
    enum class FileState { Missing, Unreadable, Corrupt, Ok };
    struct Snapshot {
        FileState state = FileState::Missing;
        QJsonObject root;
    };

    Snapshot load() const;
    // The stored value object, or an empty object when the file, key or value is absent.
    QJsonObject findValue(const QString& appKey, const QString& name) const;
    bool writeValue(const QString& appKey, const QString& name, const QJsonObject& value);
    bool setCorruptFileAside() const;
    // Removes temporary files of saves that never finished; under the lock.
    void removeLeftovers() const;
    bool save(const QJsonObject& root) const;

    QString dir_;
    QString path_;
};

}  // namespace zelmor::settings
