// SPDX-License-Identifier: MIT
#include "FileSettingsStore.h"

#include "JsonSplice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QThread>
#include <cerrno>
#include <cmath>
#include <limits>
#include <optional>

namespace zelmor::settings {
namespace {

constexpr char kFileName[] = "registry.json";
constexpr char kDword[] = "dword";
constexpr char kSz[] = "sz";
// Size of the read buffer for an SZ value, terminating NUL included.
constexpr qsizetype kMaxTextBytes = 1024;
// A change holds the lock for a few milliseconds; a lock this old belongs to a copy that died
// on another host (a dead copy on this host is recognised at once by its process id).
constexpr int kStaleLockMs = 10'000;
// Longest a change waits for the lock; it blocks the UI thread for that long at worst.
constexpr int kLockWaitMs = 12'000;
// Age in seconds past which a temporary file of a save is a leftover of a copy that died.
constexpr int kLeftoverAgeS = 60;
// Far above what any number of instance keys needs; a larger file is not this store's.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// The stale check inside QLockFile runs on every attempt; short random sleeps keep several
// copies from waiting in lock step, where QLockFile's own doubling back-off starves them.
bool acquire(QLockFile& lock) {
    lock.setStaleLockTime(kStaleLockMs);
    const QDeadlineTimer deadline(kLockWaitMs);
    for (;;) {
        if (lock.tryLock(0)) return true;
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired()) return false;
        QThread::msleep(2 + QRandomGenerator::global()->bounded(10));
    }
}

// Nearest integer with halves to the even neighbour; nothing when outside the DWORD's
// signed range or not a number.
std::optional<std::int32_t> toDword(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    double whole = std::floor(value);
    const double fraction = value - whole;  // exact for every double
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole < std::numeric_limits<std::int32_t>::min() ||
        whole > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(whole);
}

QJsonValue findMember(const QJsonObject& object, const QString& name) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.value();
    }
    return QJsonValue(QJsonValue::Undefined);
}

// Removes every member matching `name` without regard to case (hand edits may leave several)
// and returns the spelling of the first, so a rewrite keeps the name as it stood.
std::optional<QString> removeMember(QJsonObject& object, const QString& name) {
    std::optional<QString> spelling;
    for (auto it = object.begin(); it != object.end();) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) {
            if (!spelling) spelling = it.key();
            it = object.erase(it);
        } else {
            ++it;
        }
    }
    return spelling;
}

int countMembers(const QJsonObject& object, const QString& name) {
    int count = 0;
    for (auto it = object.begin(); it != object.end(); ++it) {
        count += it.key().compare(name, Qt::CaseInsensitive) == 0;
    }
    return count;
}

// The one typed member of a value object, or Undefined when the value has another type or
// shape.
QJsonValue typedData(const QJsonObject& value, const char* type) {
    if (value.size() != 1) return QJsonValue(QJsonValue::Undefined);
    return value.value(QLatin1String(type));
}

}  // namespace

FileSettingsStore::FileId FileSettingsStore::idOf(const struct stat& st) {
    const auto ns = [](const timespec& t) {
        return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
    };
    return {static_cast<std::int64_t>(st.st_dev), static_cast<std::int64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
}

FileSettingsStore::FileSettingsStore(const QString& configDir) : path_(filePathFor(configDir)) {
    dir_ = QFileInfo(path_).absolutePath();
}

QString FileSettingsStore::filePathFor(const QString& configDir) {
    const QString maker = QString::fromLatin1(MakerKey).section(QLatin1Char('\\'), -1);
    return QDir(QFileInfo(configDir).absoluteFilePath()).filePath(maker) + QLatin1Char('/') +
           QLatin1String(kFileName);
}

// Only a regular file of bounded size is read, and its opening never blocks: a FIFO under the
// file's name hung start-up, and a link to /dev/zero ate memory until the program aborted.
// Anything else reads as unreadable, so reads give the defaults and nothing replaces it.
FileSettingsStore::Snapshot FileSettingsStore::load(bool reuse) const {
    const QByteArray name = QFile::encodeName(path_);
    if (reuse && parsed_) {
        struct stat now {};
        if (::stat(name.constData(), &now) == 0 && S_ISREG(now.st_mode) &&
            idOf(now) == parsed_->id) {
            return {FileState::Ok, parsed_->root};
        }
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A dangling link is there all the same: it is not ours to replace.
        struct stat link {};
        const bool there = errno != ENOENT || ::lstat(name.constData(), &link) == 0;
        return {there ? FileState::Unreadable : FileState::Missing, {}};
    }
    QByteArray bytes;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileBytes;
    if (ok) bytes.reserve(st.st_size + 1);
    while (ok) {
        char chunk[65536];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        bytes.append(chunk, n);
        ok = bytes.size() <= kMaxFileBytes;  // it may have grown since fstat
    }
    ::close(fd);
    if (!ok) return {FileState::Unreadable, {}};
    // The id is taken before the bytes were read, so a file changed meanwhile reads again.
    if (parsed_ && bytes == parsed_->bytes) {
        parsed_->id = idOf(st);
        return {FileState::Ok, parsed_->root};
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return {FileState::Corrupt, {}};
    }
    parsed_ = Parsed{idOf(st), bytes, document.object()};
    return {FileState::Ok, parsed_->root};
}

QJsonObject FileSettingsStore::findValue(const QString& appKey, const QString& name) const {
    const Snapshot snapshot = load(true);
    if (snapshot.state != FileState::Ok) return {};
    return findMember(findMember(snapshot.root, appKey).toObject(), name).toObject();
}

std::int32_t FileSettingsStore::ReadSetting(const QString& appKey, const QString& name,
                                            std::int32_t def) {
    const QJsonValue data = typedData(findValue(appKey, name), kDword);
    if (!data.isDouble()) return def;
    const double number = data.toDouble();
    if (number != std::floor(number) || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
        return def;
    }
    return static_cast<std::int32_t>(number);
}

QString FileSettingsStore::ReadSettingText(const QString& appKey, const QString& name,
                                           const QString& def) {
    const QJsonValue data = typedData(findValue(appKey, name), kSz);
    if (!data.isString()) return def;
    QString text = data.toString();
    const bool terminated = text.endsWith(QChar(u'\0'));
    const qsizetype bytes = text.toUtf8().size() + (terminated ? 0 : 1);
    if (bytes > kMaxTextBytes) return def;  // too big for the read buffer
    if (terminated) text.chop(1);
    return text;
}

bool FileSettingsStore::WriteSetting(const QString& appKey, const QString& name, double value) {
    return WriteSettings(appKey, {{name, value}});
}

bool FileSettingsStore::WriteSettings(const QString& appKey,
                                      const std::vector<std::pair<QString, double>>& values) {
    std::vector<std::pair<QString, QJsonObject>> dwords;
    for (const auto& [name, value] : values) {
        if (const std::optional<std::int32_t> dword = toDword(value)) {
            dwords.emplace_back(name, QJsonObject{{QLatin1String(kDword), qint64{*dword}}});
        }
    }
    if (dwords.empty()) return values.empty();
    return writeValues(appKey, dwords) && dwords.size() == values.size();
}

bool FileSettingsStore::WriteSettingText(const QString& appKey, const QString& name,
                                         const QString& text) {
    // A NUL inside would end the SZ early, and a text that outgrows the read buffer could
    // never be read back: refuse both rather than report a value that is not kept.
    if (text.contains(QChar(u'\0')) || text.toUtf8().size() + 1 > kMaxTextBytes) return false;
    return writeValues(appKey, {{name, QJsonObject{{QLatin1String(kSz), text}}}});
}

bool FileSettingsStore::writeValues(const QString& appKey,
                                    const std::vector<std::pair<QString, QJsonObject>>& values) {
    // Values stored already need no change, so no lock either: the file is read whole, as it
    // stands at one moment (or known unchanged since it was), and writing nothing loses nobody's
    // update. The lock file alone costs a sync to disk.
    if (changed(load(true), appKey, values) == std::nullopt) return true;

    if (!QDir().mkpath(dir_)) return false;
    QLockFile lock(path_ + QLatin1String(".lock"));
    if (!acquire(lock)) return false;

    const Snapshot snapshot = load(false);
    // A file that exists but cannot be read may hold other copies' settings: never replace it.
    if (snapshot.state == FileState::Unreadable) return false;
    if (snapshot.state == FileState::Corrupt && !setCorruptFileAside()) return false;
    const std::optional<QJsonObject> instance = changed(snapshot, appKey, values);
    if (!instance) return true;
    QJsonObject root = snapshot.root;
    const QString keyName = removeMember(root, appKey).value_or(appKey);
    root.insert(keyName, *instance);
    // Only this key's text changes: with thousands of other copies' keys in the file, writing
    // the whole document out again took most of the time of a close.
    std::optional<QByteArray> text;
    if (snapshot.state == FileState::Ok && parsed_) {
        text = replaceTopLevelValue(parsed_->bytes, appKey, *instance);
    }
    return save(root, text);
}

std::optional<QJsonObject> FileSettingsStore::changed(
    const Snapshot& snapshot, const QString& appKey,
    const std::vector<std::pair<QString, QJsonObject>>& values) {
    const QJsonValue found = findMember(snapshot.root, appKey);
    QJsonObject instance = found.toObject();
    for (const auto& [name, value] : values) {
        const QString valueName = removeMember(instance, name).value_or(name);
        instance.insert(valueName, value);
    }
    // The file would come out the same: the key stands alone under its one spelling and holds
    // these values already.
    if (snapshot.state == FileState::Ok && found.isObject() && instance == found.toObject() &&
        countMembers(snapshot.root, appKey) == 1) {
        return std::nullopt;
    }
    return instance;
}

bool FileSettingsStore::DeleteSettings(const QString& appKey) {
    // The maker key is opened, never created, so there is nothing to lock without the file.
    if (!QFileInfo::exists(path_)) return false;
    QLockFile lock(path_ + QLatin1String(".lock"));
    if (!acquire(lock)) return false;

    const Snapshot snapshot = load(false);
    switch (snapshot.state) {
        case FileState::Missing:
        case FileState::Unreadable:
            return false;
        case FileState::Corrupt:
            // Nothing in it can be read, so no key can be removed; the file stays for repair.
            return true;
        case FileState::Ok:
            break;
    }
    QJsonObject root = snapshot.root;
    if (!removeMember(root, appKey)) return true;
    return save(root);
}

// A copy killed between writing its temporary file and renaming it over the store leaves a whole
// copy behind, named as QSaveFile names it ("registry.json." and six letters or digits). Saves
// run under the lock and take milliseconds, so one a minute old is no save in progress.
void FileSettingsStore::removeLeftovers() const {
    static const QRegularExpression own(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(QLatin1String(kFileName)) + QLatin1String("\\.[A-Za-z0-9]{6}")));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-kLeftoverAgeS);
    const QFileInfoList found = QDir(dir_).entryInfoList(
        {QLatin1String(kFileName) + QLatin1String(".??????")}, QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo& info : found) {
        if (own.match(info.fileName()).hasMatch() && info.lastModified() < before) {
            QFile::remove(info.filePath());
        }
    }
}

// Keeps the unreadable bytes under a new name beside the file, so a hand edit gone wrong can
// be repaired; the caller then starts from an empty maker key.
bool FileSettingsStore::setCorruptFileAside() const {
    const QString stem = path_ + QLatin1String(".corrupt-") +
                         QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmss'Z'");
    for (int n = 0; n < 1000; ++n) {
        const QString backup = n == 0 ? stem : stem + QLatin1Char('-') + QString::number(n);
        if (QFileInfo::exists(backup)) continue;
        return QFile::rename(path_, backup);
    }
    return false;
}

bool FileSettingsStore::save(const QJsonObject& root, const std::optional<QByteArray>& text) const {
    removeLeftovers();
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = text ? *text : QJsonDocument(root).toJson(QJsonDocument::Indented);
    // write() only fills a buffer, and commit() renames even when emptying it failed: on a full
    // disk an empty file replaced every copy's settings. An explicit flush reports the failure,
    // and the temporary file is then discarded.
    if (file.write(bytes) != bytes.size() || !file.flush()) return false;
    if (!file.commit()) return false;
    // Still under the lock, so the file is the one just written.
    struct stat st {};
    if (::stat(QFile::encodeName(path_).constData(), &st) == 0) {
        parsed_ = Parsed{idOf(st), bytes, root};
    } else {
        parsed_.reset();
    }
    return true;
}

}  // namespace zelmor::settings
