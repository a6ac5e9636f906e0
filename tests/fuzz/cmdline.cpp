// SPDX-License-Identifier: MIT
// The command line: argument bytes to text, then text to action, instance name and key.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "Check.h"
#include "zelmor/app/CommandLine.h"

namespace {

using zelmor::app::CommandLine;

// Well-formed UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool wellFormed(const QByteArray& b) {
    for (qsizetype i = 0; i < b.size();) {
        const auto c = static_cast<unsigned char>(b[i]);
        const int n = c < 0x80   ? 0
                      : c < 0xC2 ? -1
                      : c < 0xE0 ? 1
                      : c < 0xF0 ? 2
                      : c < 0xF5 ? 3
                                 : -1;
        if (n < 0 || b.size() - i <= n) return false;
        char32_t cp = c & (0x7F >> (n + 1));
        for (int k = 1; k <= n; ++k) {
            if ((b[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (b[i + k] & 0x3F);
        }
        if ((n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (n == 3 && cp < 0x10000) ||
            cp > 0x10FFFF) {
            return false;
        }
        i += n + 1;
    }
    return true;
}

// Each "\xHH" as its byte, everything else in UTF-8.
QByteArray unescaped(const QString& text) {
    static const QString kHex = QStringLiteral("0123456789ABCDEF");
    QByteArray out;
    QString run;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int hi = kHex.indexOf(text.mid(i + 2, 1)), lo = kHex.indexOf(text.mid(i + 3, 1));
        if (text.mid(i, 2) != u"\\x" || hi < 0 || lo < 0 || i + 4 > text.size()) {
            run += text[i];
            continue;
        }
        out += run.toUtf8() + static_cast<char>(hi * 16 + lo);
        run.clear();
        i += 3;
    }
    return out + run.toUtf8();
}

QString spacesTrimmed(QString text) {
    while (text.startsWith(u' ')) text.remove(0, 1);
    while (text.endsWith(u' ')) text.chop(1);
    return text;
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
    FUZZ_CHECK(line.instanceName == spacesTrimmed(rest));
    FUZZ_CHECK(
        line.InstanceSuffix ==
        (line.instanceName.isEmpty() ? QString() : QStringLiteral(" - ") + line.instanceName));
    FUZZ_CHECK(line.AppKey == QStringLiteral("Zelmor") + line.InstanceSuffix);
    return 0;
}
