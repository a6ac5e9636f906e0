// SPDX-License-Identifier: MIT
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "StoreFixture.h"

namespace {

using namespace zelmor::settings;

const char* const kClosing[] = {names::Board, names::PAd, names::SAd, names::X, names::Y};

// What a closing window stores, for copy `id` in `round`.
std::vector<std::pair<QString, double>> closing(int id, int round) {
    std::vector<std::pair<QString, double>> values;
    for (int k = 0; k < 5; ++k) values.emplace_back(kClosing[k], id * 1000 + round * 10 + k);
    return values;
}

// A store on a disk that fills up: a tmpfs of 64 KiB where this process may mount one (in a
// mount namespace of its own, gone with it), else a file-size limit on this process. The exit
// code has one bit per failed check.
int fullDisk(const QString& cfg) {
    QDir().mkpath(cfg);
    const bool tmpfs = ::unshare(CLONE_NEWNS) == 0 &&
                       ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                       ::mount("zelmor-test", QFile::encodeName(cfg).constData(), "tmpfs", 0,
                               "size=64k") == 0;
    const auto store = makeFileStore(cfg);
    if (!store->WriteSettings("Zelmor", closing(1, 0))) return 1;
    const QString file = storeFilePath(cfg);
    const auto bytes = [&] {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    const QByteArray filler = QFile::encodeName(cfg + "/filler");
    rlimit limit{};
    if (tmpfs) {
        // Full, but for one page: the lock file takes it and the new file finds no room.
        const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT, 0600);
        static const char page[4096] = {};
        off_t size = 0;
        for (ssize_t n = 0; (n = ::write(fd, page, sizeof page)) > 0;) size += n;
        if (::ftruncate(fd, size - std::min<off_t>(size, 4096)) != 0) return 1;
        ::close(fd);
    } else {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{static_cast<rlim_t>(before.size()), limit.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    int failed = 0;
    if (store->WriteSettings("Zelmor - 2", closing(2, 0))) failed |= 2;  // must not fit
    if (bytes() != before) failed |= 4;
    const QStringList left = QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files);
    if (left != QStringList{"registry.json"}) failed |= 8;
    if (store->ReadSetting("Zelmor", names::X, 0) != 1003) failed |= 16;
    tmpfs ? (void)::unlink(filler.constData()) : (void)::setrlimit(RLIMIT_FSIZE, &limit);
    if (!store->WriteSettings("Zelmor - 2", closing(2, 0))) failed |= 32;  // room again
    std::fprintf(stderr, "full disk: %s, failed checks %d\n", tmpfs ? "tmpfs" : "size limit", failed);
    return failed;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    // Child modes, each run by a test in a process of its own:
    //   --close <configDir> <id> <round> <goFile>: waits for <goFile>, then stores what a
    //     closing window "Zelmor - c<id>" stores; exit code 1 when it was not stored.
    //   --full-disk <configDir>: see fullDisk.
    if (args.size() == 6 && args.at(1) == QLatin1String("--close")) {
        while (!QFileInfo::exists(args.at(5))) QThread::msleep(5);  // the parent kills on failure
        const int id = args.at(3).toInt();
        return makeFileStore(args.at(2))->WriteSettings(QStringLiteral("Zelmor - c%1").arg(id),
                                                        closing(id, args.at(4).toInt()))
                   ? 0
                   : 1;
    }
    if (args.size() == 3 && args.at(1) == QLatin1String("--full-disk")) return fullDisk(args.at(2));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
