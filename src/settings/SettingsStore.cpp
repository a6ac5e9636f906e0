// SPDX-License-Identifier: MIT
#include "zelmor/settings/SettingsStore.h"

#include <QDir>
#include <QtGlobal>
#include <limits>

#include "FileSettingsStore.h"

namespace zelmor::settings {

std::int16_t ReadSetting16(SettingsStore& store, const QString& appKey, const QString& name,
                           std::int16_t def) {
    const std::int32_t value = store.ReadSetting(appKey, name, def);
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        return def;
    }
    return static_cast<std::int16_t>(value);
}

bool SettingsStore::WriteSettings(const QString& appKey,
                                  const std::vector<std::pair<QString, double>>& values) {
    bool all = true;
    for (const auto& [name, value] : values) all = WriteSetting(appKey, name, value) && all;
    return all;
}

QString defaultConfigDir() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base directory rules say.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir::cleanPath(xdg);
    return QDir::homePath() + QLatin1String("/.config");
}

QString storeFilePath(const QString& configDir) {
    return FileSettingsStore::filePathFor(configDir);
}

std::unique_ptr<SettingsStore> makeFileStore(const QString& configDir) {
    return std::make_unique<FileSettingsStore>(configDir);
}

}  // namespace zelmor::settings
