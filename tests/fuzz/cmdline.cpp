// SPDX-License-Identifier: MIT
// The command line: argument bytes to text, then text to action, instance name and key.
#include <iconv.h>

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <string>

#include "Check.h"
#include "zelmor/app/CommandLine.h"

namespace {

using zelmor::app::CommandLine;

// Well-formed UTF-8 (shortest forms, no surrogates, nothing past U+10FFFF), as iconv reads it.
bool wellFormed(const QByteArray& b) {
    static const iconv_t utf8 = iconv_open("UTF-32LE", "UTF-8");
    iconv(utf8, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(b.data());
    std::size_t inLeft = b.size(), outLeft = 4 * inLeft;
    std::string out(outLeft, '\0');
    char* o = out.data();
    return iconv(utf8, &in, &inLeft, &o, &outLeft) == 0 && inLeft == 0;
}

// Each "\xHH" as its byte, everything else in UTF-8.
QByteArray unescaped(const QString& text) {
    static const QRegularExpression escape(QStringLiteral(R"(\\x([0-9A-F]{2}))"));
    QByteArray out;
    qsizetype at = 0;
    for (auto it = escape.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out +=
            text.mid(at, m.capturedStart() - at).toUtf8() + char(m.captured(1).toInt(nullptr, 16));
        at = m.capturedEnd();
    }
    return out + text.mid(at).toUtf8();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = zelmor::app::argumentText(bytes);
    // Valid text is kept; any other bytes can be told back from the text, so never share a key.
    FUZZ_CHECK(wellFormed(bytes) ? text.toUtf8() == bytes : unescaped(text) == bytes);

    const CommandLine line = zelmor::app::parseCommandLine(text);
    const qsizetype clean = text.indexOf(u"-clean");
    const QString rest = clean < 0 ? text : QString(text).replace(clean, 6, QString(6, u' '));
    const bool usage = text.contains(u"-?") || (clean >= 0 && rest.contains(u'-'));
    FUZZ_CHECK((line.action == CommandLine::Action::Usage) == usage);
    if (usage) return 0;
    FUZZ_CHECK((line.action == CommandLine::Action::Clean) == (clean >= 0));
    FUZZ_CHECK(line.instanceName ==
               QString(rest).remove(QRegularExpression(QStringLiteral("^ +| +\\z"))));
    const QString suffix =
        line.instanceName.isEmpty() ? QString() : QStringLiteral(" - ") + line.instanceName;
    FUZZ_CHECK(line.InstanceSuffix == suffix && line.AppKey == QStringLiteral("Zelmor") + suffix);
    return 0;
}
