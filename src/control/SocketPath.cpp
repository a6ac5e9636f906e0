// SPDX-License-Identifier: MIT
#include "zelmor/control/SocketPath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace zelmor::control {

QString socketFileName(const QString& settingsKey) {
    const QByteArray bytes = settingsKey.toUtf8();
    const bool dots = bytes == "." || bytes == "..";
    QByteArray name;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b > 0x7E || b == '/' || b == '%' || (dots && b == '.')) {
            name += '%' + QByteArray::number(b, 16).toUpper().rightJustified(2, '0');
        } else {
            name += ch;
        }
    }
    return QString::fromLatin1(name) + QLatin1String(".sock");
}

SocketPlace socketPlace(const QString& settingsKey) {
    const QString chosen = qEnvironmentVariable("ZELMOR_CONTROL");
    if (chosen == QLatin1String("off")) return {};
    if (!chosen.isEmpty()) return {QFileInfo(chosen).absoluteFilePath(), {}};
    // Only the runtime folder is private to the user by rule; a shared one such as /tmp would
    // let others take the name first.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime)) {
        return {{},
                QStringLiteral("XDG_RUNTIME_DIR is not set: no control socket (ZELMOR_CONTROL="
                               "PATH chooses one)")};
    }
    const QString folder = QDir::cleanPath(runtime) + QLatin1String("/zelmor");
    const QByteArray name = QFile::encodeName(folder);
    struct stat st {};
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        return {{},
                QStringLiteral("cannot make %1: %2: no control socket")
                    .arg(folder, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 0077) != 0) {
        return {{},
                QStringLiteral("%1 is not a folder of this user's that others cannot enter "
                               "(mode 0700): no control socket")
                    .arg(folder)};
    }
    return {folder + QLatin1Char('/') + socketFileName(settingsKey), {}};
}

}  // namespace zelmor::control
