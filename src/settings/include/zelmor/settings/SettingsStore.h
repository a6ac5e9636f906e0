// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace zelmor::settings {

// Value names of an instance key. The store compares them without regard to case.
namespace names {
inline constexpr char X[] = "X";
inline constexpr char Y[] = "Y";
inline constexpr char Board[] = "Board";
inline constexpr char PAd[] = "PAd";
inline constexpr char SAd[] = "SAd";
// Followed by the preset's number, 0 to 9: "Preset0".
inline constexpr char Preset[] = "Preset";
}  // namespace names

// The maker key that holds one instance key per running copy (AppKey).
inline constexpr char MakerKey[] = "SOFTWARE\\Tamrisk Software";

// Per-instance persisted settings: numbers are 32-bit DWORDs, texts are NUL-terminated SZ
// values. Every call opens what it needs and releases it before returning; failures never
// raise and never show anything.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The stored DWORD, or `def` when the file, the key or the value is missing, unreadable
    // or of another type. Never creates anything.
    virtual std::int32_t ReadSetting(const QString& appKey, const QString& name,
                                     std::int32_t def) = 0;
    // The stored SZ text (at most 1024 bytes with its NUL), or `def` as above.
    virtual QString ReadSettingText(const QString& appKey, const QString& name,
                                    const QString& def) = 0;

    // Stores the number as a DWORD, rounded to the nearest integer with halves to even.
    // False when nothing could be stored, and for NaN or a value that rounds outside the
    // 32-bit signed range (the old value stays).
    virtual bool WriteSetting(const QString& appKey, const QString& name, double value) = 0;
    // False, with the old value kept, also for a text that could never be read back: one
    // holding a NUL, or longer than 1023 bytes in UTF-8.
    virtual bool WriteSettingText(const QString& appKey, const QString& name,
                                  const QString& text) = 0;

    // Stores several numbers, in the order given, each as WriteSetting would; true when every
    // one was stored. The file store makes it one change, and saves nothing when each value is
    // already stored as given.
    virtual bool WriteSettings(const QString& appKey,
                               const std::vector<std::pair<QString, double>>& values);

    // Removes one instance key with all its values; the maker key stays. True when the maker
    // key could be opened, whether or not the instance key existed; false when it is missing
    // or cannot be changed, or when the removal could not be saved.
    virtual bool DeleteSettings(const QString& appKey) = 0;
};

// A number read as a signed 16-bit value: a stored number outside -32768..32767 counts as
// absent, so `def` is returned.
std::int16_t ReadSetting16(SettingsStore& store, const QString& appKey, const QString& name,
                           std::int16_t def);

// $XDG_CONFIG_HOME, else ~/.config.
QString defaultConfigDir();

// The file store: one human-readable file for the maker key inside `configDir`.
std::unique_ptr<SettingsStore> makeFileStore(const QString& configDir);

// Where the file store for `configDir` keeps the maker key (the file may not exist yet).
QString storeFilePath(const QString& configDir);

}  // namespace zelmor::settings
