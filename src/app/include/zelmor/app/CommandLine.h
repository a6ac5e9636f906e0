// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QString>

#include "zelmor/panel/Conf.h"

namespace zelmor::app {

using panel::ProgramName;

// What the command line asks for.
struct CommandLine {
    enum class Action { Usage, Clean, Start };
    Action action = Action::Start;
    QString instanceName;     // trimmed; may hold spaces and dashes
    QString InstanceSuffix;   // " - " and the instance name, or empty
    QString AppKey;           // "Zelmor" followed by InstanceSuffix
};

// One command-line argument as text: decoded in the locale's encoding when it is valid there,
// else with each byte that does not decode, and each backslash, written as "\xHH" (upper-case
// hex), so that two such names never share a settings key.
QString argumentText(QByteArrayView bytes);

// `text` is the whole command line after the program name. Searches are case-sensitive.
CommandLine parseCommandLine(const QString& text);

// The exact texts of the usage and cleaning message boxes.
QString usageText();
QString cleaningText(const QString& instanceName);

// "Zelmor V1.1.1" followed by the instance suffix.
QString captionFor(const QString& instanceSuffix);

}  // namespace zelmor::app
