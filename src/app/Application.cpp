// SPDX-License-Identifier: MIT
#include "zelmor/app/Application.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QPointer>
#include <QSize>
#include <QSocketNotifier>
#include <QStringList>
#include <QWidget>
#include <QWindow>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include "zelmor/app/CommandLine.h"
#include "zelmor/app/Main.h"
#include "zelmor/app/SimDisplay.h"
#include "zelmor/control/ControlServer.h"
#include "zelmor/control/SocketPath.h"
#include "zelmor/link/Backends.h"
#include "zelmor/link/PrologixDriver.h"
#include "zelmor/link/SimGenerator.h"
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

// Looking the icon up in the theme reads the icon folders: done once the window is first on
// screen, it no longer holds up the window's first appearance.
class IconOnFirstExpose final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose) {
            watched->removeEventFilter(this);
            QApplication::setWindowIcon(applicationIcon());
        }
        return false;
    }
};
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
    // The panel repaints a box or two at a time. Through shared memory, Qt waits for the X
    // server to be done with the last image (a round trip) before each paint, which cost a
    // sweep tick more than drawing; small images go as well through the socket. A user's own
    // choice stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    static int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelmor"));
    QApplication::setDesktopFileName(QStringLiteral("zelmor"));  // Wayland's app id

    auto store = settings::makeFileStore(settings::defaultConfigDir());
    link::BackendRegistry registry;
    link::registerBuiltinBackends(registry);
    link::registerAdapterBackends(registry);

    // The simulated generator is made at start-up when its display is wanted, so the display
    // shows the instrument before the panel first goes on line; the link takes it then.
    std::optional<link::DriverLoad> early;
    Main window(
        *store,
        [&registry, &early] {
            if (!early) return link::createFromEnvironment(registry);
            link::DriverLoad load = std::move(*early);
            early.reset();
            return load;
        },
        panel::messageBoxFunction(nullptr));
    if (!window.Form_Load(arguments.join(QLatin1Char(' ')))) return 0;
    std::unique_ptr<SimDisplay> simDisplay;
    if (link::schemeFromEnvironment() == "sim" &&
        qEnvironmentVariable("ZELMOR_SIM_DISPLAY") != "0") {
        early = link::createFromEnvironment(registry, [&simDisplay](link::GpibDriver& driver) {
            if (auto* sim = dynamic_cast<link::SimGenerator*>(&driver)) {
                simDisplay = std::make_unique<SimDisplay>(*sim);
            }
        });
    }
    closeOnSignals(&window);
    window.show();
    if (QWindow* shown = window.windowHandle()) {
        shown->installEventFilter(new IconOnFirstExpose(&window));
    } else {
        QApplication::setWindowIcon(applicationIcon());
    }
    // At its first display the window is the active one, ready for the keyboard, with or
    // without a window manager to make it so.
    window.activateWindow();
    if (simDisplay) {
        simDisplay->move(window.frameGeometry().right() + 10, window.frameGeometry().top());
        simDisplay->show();
    }
    // Scripts reach the panel once it is up; without a socket the panel runs all the same.
    control::ControlServer server(*window.remote());
    const control::SocketPlace place = control::socketPlace(window.AppKey);
    QString problem = place.problem;
    if (!place.path.isEmpty() && !server.listen(place.path)) {
        problem = server.error() + QStringLiteral(": this copy runs without a control socket");
    }
    if (!problem.isEmpty()) std::fprintf(stderr, "zelmor: %s\n", qPrintable(problem));
    const int status = QApplication::exec();
    simDisplay.reset();  // before the generator it follows goes with the window's link
    return status;
}

}  // namespace zelmor::app
