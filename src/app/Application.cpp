// SPDX-License-Identifier: MIT
#include "zelmor/app/Application.h"

#include <QApplication>
#include <QIcon>
#include <QPointer>
#include <QSize>
#include <QSocketNotifier>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "zelmor/app/CommandLine.h"
#include "zelmor/app/Main.h"
#include "zelmor/link/Backends.h"
#include "zelmor/link/PrologixDriver.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::app {

namespace {
int signalPipe[2] = {-1, -1};
std::atomic<int> signalsSeen{0};

extern "C" void onSignal(int sig) {
    if (signalsSeen.fetch_add(1) > 0) _exit(128 + sig);  // the user insists: no clean-up
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

// The installed theme's icon; run from the build folder, the copy built into the program.
QIcon applicationIcon() {
    QIcon builtIn;
    for (const int size : {16, 32, 48, 64, 128}) {
        builtIn.addFile(QStringLiteral(":/zelmor/icons/%1/zelmor.png").arg(size),
                        QSize(size, size));
    }
    return QIcon::fromTheme(QStringLiteral("zelmor"), builtIn);
}
}  // namespace

void closeOnSignals(QWidget* window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QPointer<QWidget> target(window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [target, notifier] {
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        // A modal dialog goes first, so its caller does not carry on after the window closed.
        for (int open = 0; open < 8; ++open) {  // dialog, then a message box over it at most
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->close()) break;
        }
        if (target) target->close();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int run(int argc, char** argv) {
    // A write to a pipe whose reader left (a trace into "| head"), or past the file size limit,
    // fails with EPIPE or EFBIG where it is made instead of ending the program on the spot,
    // before the instrument is handed back and the settings are written.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // The whole command line is the program's own: Qt must not take "-reverse" or "-style X"
    // out of an instance name. Qt's options come from the environment (QT_QPA_PLATFORM...).
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << argumentText(argv[i]);
    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelmor"));
    QApplication::setDesktopFileName(QStringLiteral("zelmor"));  // Wayland's app id
    QApplication::setWindowIcon(applicationIcon());

    auto store = settings::makeFileStore(settings::defaultConfigDir());
    link::BackendRegistry registry;
    link::registerBuiltinBackends(registry);
    link::registerAdapterBackends(registry);

    Main window(
        *store, [&registry] { return link::createFromEnvironment(registry); },
        panel::messageBoxFunction(nullptr));
    if (!window.Form_Load(arguments.join(QLatin1Char(' ')))) return 0;
    closeOnSignals(&window);
    window.show();
    // At its first display the window is the active one, ready for the keyboard, with or
    // without a window manager to make it so.
    window.activateWindow();
    return QApplication::exec();
}

}  // namespace zelmor::app
