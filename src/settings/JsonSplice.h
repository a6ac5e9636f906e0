// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace zelmor::settings {

// `json` (a JSON object as QJsonDocument writes it, indented) with the value of its one top-level
// member named `key` (without regard to case) replaced by `value`, written as QJsonDocument would
// write it there. Nothing when the text is no object, or when no member or several members match:
// the caller then writes the whole document.
std::optional<QByteArray> replaceTopLevelValue(const QByteArray& json, const QString& key,
                                               const QJsonObject& value);

}  // namespace zelmor::settings
