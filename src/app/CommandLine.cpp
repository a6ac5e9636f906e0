// SPDX-License-Identifier: MIT
#include "zelmor/app/CommandLine.h"

namespace zelmor::app {

namespace {
// Only ASCII spaces are trimmed: a tab or newline inside a name is part of it.
QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' ')) ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' ')) --end;
    return text.mid(begin, end - begin);
}
}  // namespace

CommandLine parseCommandLine(const QString& text) {
    CommandLine result;
    QString line = trimSpaces(text);
    if (line.contains(QStringLiteral("-?"))) {
        result.action = CommandLine::Action::Usage;
        return result;
    }
    const qsizetype clean = line.indexOf(QStringLiteral("-clean"));
    if (clean >= 0) {
        line.replace(clean, 6, QStringLiteral("      "));
        line = trimSpaces(line);
        if (line.contains(QLatin1Char('-'))) {
            result.action = CommandLine::Action::Usage;
            return result;
        }
        result.action = CommandLine::Action::Clean;
    }
    result.instanceName = line;
    result.InstanceSuffix = line.isEmpty() ? QString() : QStringLiteral(" - ") + line;
    result.AppKey = QLatin1String(ProgramName) + result.InstanceSuffix;
    return result;
}

QString usageText() {
    return QStringLiteral(
        "Usage:\tZelmor.exe (NUM) (-clean)\r\n     with\r\n\tNAME  = Instance name\r\n\t-clean = "
        "Registry clean option");
}

QString cleaningText(const QString& instanceName) {
    return QStringLiteral("Cleaning ") + instanceName +
           QStringLiteral(" registry context\r\nPlease restart application");
}

QString captionFor(const QString& instanceSuffix) {
    return QStringLiteral("Zelmor V%1.%2.%3").arg(ZELMOR_VERSION_MAJOR).arg(ZELMOR_VERSION_MINOR)
               .arg(ZELMOR_VERSION_PATCH) +
           instanceSuffix;
}

}  // namespace zelmor::app
