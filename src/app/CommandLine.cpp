// SPDX-License-Identifier: MIT
#include "zelmor/app/CommandLine.h"

#include <QStringDecoder>

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

QString argumentText(QByteArrayView bytes) {
    // A byte order mark is a character of the name like any other, not a header to drop.
    constexpr auto kFlags =
        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;
    QString text = QStringDecoder(QStringDecoder::System, kFlags)(bytes);
    if (text.toLocal8Bit() == bytes) return text;
    // At each place, the shortest run of bytes that decodes alone (one whole character), else
    // the one byte as an escape. UTF-8, the encoding Qt assumes here, needs at most 4 bytes.
    text.clear();
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype taken = 0;
        for (qsizetype n = 1; taken == 0 && n <= 4 && at + n <= bytes.size(); ++n) {
            const QByteArrayView run = bytes.sliced(at, n);
            QStringDecoder decode(QStringDecoder::System, kFlags);
            const QString character = decode(run);
            if (decode.hasError() || character.toLocal8Bit() != run) continue;
            // The name's own backslashes are escaped too, or "\xFF" typed after a byte that
            // does not decode would read as the byte 0xFF, and share its key.
            text += character == u'\\' ? QStringLiteral("\\x5C") : character;
            taken = n;
        }
        if (taken == 0) {
            text += QString::asprintf("\\x%02X", static_cast<unsigned char>(bytes[at]));
            taken = 1;
        }
        at += taken;
    }
    return text;
}

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
