// SPDX-License-Identifier: MIT
#include "JsonSplice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <array>

namespace zelmor::settings {
namespace {

// A scanner over the text as it stands: it finds where each top-level member's key and value
// begin and end without building the document.
class Scanner {
public:
    explicit Scanner(const QByteArray& text) : s_(text.constData()), end_(s_ + text.size()) {}

    const char* pos() const { return p_; }
    void skipSpace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }
    bool take(char c) {
        skipSpace();
        if (p_ >= end_ || *p_ != c) return false;
        ++p_;
        return true;
    }
    bool atEnd() {
        skipSpace();
        return p_ == end_;
    }
    bool peek(char c) {
        skipSpace();
        return p_ < end_ && *p_ == c;
    }
    // A string token, quotes included; `escaped` tells whether it holds a backslash.
    bool string(const char*& from, bool& escaped) {
        skipSpace();
        if (p_ >= end_ || *p_ != '"') return false;
        from = p_++;
        escaped = false;
        for (;;) {
            skipTo(kInString);
            if (p_ >= end_) return false;
            if (*p_++ == '"') return true;
            escaped = true;
            if (p_++ == end_) return false;  // the escaped character
        }
    }
    // Any value: a string, or brackets balanced outside strings, or a bare word.
    bool value() {
        skipSpace();
        if (p_ >= end_) return false;
        const char* from = nullptr;
        bool escaped = false;
        if (*p_ == '"') return string(from, escaped);
        int depth = 0;
        for (;;) {
            skipTo(depth == 0 ? kEndsWord : kInBrackets);
            if (p_ >= end_) return depth == 0;
            switch (*p_) {
                case '"':
                    if (!string(from, escaped)) return false;
                    continue;
                case '{':
                case '[':
                    ++depth;
                    break;
                case '}':
                case ']':
                    if (depth == 0) return true;
                    if (--depth == 0) {
                        ++p_;
                        return true;
                    }
                    break;
                default:  // what ends a bare word
                    return true;
            }
            ++p_;
        }
    }

private:
    // Character classes for skipTo: the characters at which a scan stops.
    enum Class : unsigned char { kInString = 1, kInBrackets = 2, kEndsWord = 4 };
    static constexpr auto kStops = [] {
        std::array<unsigned char, 256> stops{};
        for (const char c : {'"', '\\'}) stops[static_cast<unsigned char>(c)] |= kInString;
        for (const char c : {'"', '{', '}', '[', ']'}) stops[static_cast<unsigned char>(c)] |= kInBrackets;
        for (const char c : {'"', '{', '}', '[', ']', ',', ' ', '\n', '\r', '\t'}) {
            stops[static_cast<unsigned char>(c)] |= kEndsWord;
        }
        return stops;
    }();
    // The file is megabytes with thousands of keys: most characters are passed over here.
    void skipTo(Class stop) {
        while (p_ < end_ && !(kStops[static_cast<unsigned char>(*p_)] & stop)) ++p_;
    }

    const char* s_;
    const char* end_;
    const char* p_ = s_;
};

bool isAscii(const char* from, const char* to) {
    return std::all_of(from, to, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether the string token names `key`, without regard to case. A file holds thousands of
// keys: plain ASCII ones, nearly all of them, are compared as they stand, without decoding.
bool names(const char* from, const char* to, bool escaped, const QString& key, bool keyIsAscii) {
    if (!escaped && keyIsAscii && isAscii(from + 1, to - 1)) {
        return to - from - 2 == key.size() &&
               QLatin1StringView(from + 1, to - from - 2).compare(key, Qt::CaseInsensitive) == 0;
    }
    const QString decoded =
        escaped ? QJsonDocument::fromJson('[' + QByteArray(from, to - from) + ']').array().at(0).toString()
                : QString::fromUtf8(from + 1, to - from - 2);
    return decoded.compare(key, Qt::CaseInsensitive) == 0;
}

}  // namespace

std::optional<QByteArray> replaceTopLevelValue(const QByteArray& json, const QString& key,
                                               const QJsonObject& value) {
    const bool keyIsAscii = std::all_of(key.begin(), key.end(), [](QChar c) { return c.unicode() < 0x80; });
    Scanner scan(json);
    if (!scan.take('{')) return std::nullopt;
    const char* valueFrom = nullptr;
    const char* valueTo = nullptr;
    bool more = !scan.peek('}');
    while (more) {
        const char* keyFrom = nullptr;
        bool escaped = false;
        if (!scan.string(keyFrom, escaped)) return std::nullopt;
        const bool match = names(keyFrom, scan.pos(), escaped, key, keyIsAscii);
        if (!scan.take(':')) return std::nullopt;
        scan.skipSpace();
        const char* from = scan.pos();
        if (!scan.value()) return std::nullopt;
        if (match) {
            if (valueFrom) return std::nullopt;  // several spellings: they are merged into one
            valueFrom = from;
            valueTo = scan.pos();
        }
        more = scan.take(',');
    }
    if (!scan.take('}') || !scan.atEnd() || !valueFrom) return std::nullopt;

    // A member's value sits one level in: every line after its first gains one indent.
    QByteArray text = QJsonDocument(value).toJson(QJsonDocument::Indented);
    text.chop(1);  // the document's closing newline
    text.replace('\n', "\n    ");
    const qsizetype at = valueFrom - json.constData();
    QByteArray out;
    out.reserve(json.size() + text.size());
    out.append(json.constData(), at).append(text).append(valueTo, json.constData() + json.size() - valueTo);
    return out;
}

}  // namespace zelmor::settings
