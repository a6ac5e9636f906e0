// SPDX-License-Identifier: MIT
#include "zelmor/app/Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "zelmor/app/CommandLine.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::app {

namespace names = settings::names;
using panel::pixelsToTwips;
using panel::twipsToPixels;

namespace {
// Notes a mouse press on the window while it is not active: the click that activates it.
class PressWatcher final : public QObject {
public:
    PressWatcher(QWidget* window, bool& pressed)
        : QObject(window), window_(window), pressed_(pressed) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress && !window_->isActiveWindow()) {
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (widget != nullptr && widget->window() == window_) pressed_ = true;
        }
        return false;
    }

private:
    QWidget* window_;
    bool& pressed_;
};
}  // namespace

Main::Main(settings::SettingsStore& store, link::DeviceLink::DriverSource source,
           panel::MessageFunction message)
    : MainLink(std::move(source),
               [message](const std::string& text) {
                   // Also where the program was started from, for a log or a terminal.
                   std::string lines = text;
                   std::replace(lines.begin(), lines.end(), '\r', '\n');
                   std::fprintf(stderr, "zelmor: %s\n", lines.c_str());
                   message(panel::MessageIcon::Critical, QLatin1String(ProgramName),
                           QString::fromStdString(text));
               }),
      panel::FrontPanel(MainLink::link, MainLink::address, message),
      store_(store),
      message_(std::move(message)) {
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            [this](QWindow* now) { focusWindowChanged(now); });
    qApp->installEventFilter(new PressWatcher(this, pressedWhileInactive_));
}

Main::~Main() = default;

bool Main::Form_Load(const QString& commandLine) {
    const CommandLine line = parseCommandLine(commandLine);
    const QString title = QLatin1String(ProgramName);
    if (line.action == CommandLine::Action::Usage) {
        // Also on standard output, so "zelmor -?" answers in a shell; flushed before the modal
        // box blocks.
        const QString shellText = usageText().replace(QLatin1String("\r\n"), QLatin1String("\n"));
        std::fputs(qPrintable(shellText + QLatin1Char('\n')), stdout);
        std::fflush(stdout);
        message_(panel::MessageIcon::None, title, usageText());
        return false;
    }
    InstanceSuffix = line.InstanceSuffix;
    AppKey = line.AppKey;
    if (line.action == CommandLine::Action::Clean) {
        message_(panel::MessageIcon::None, title, cleaningText(line.instanceName));
        store_.DeleteSettings(AppKey);
        return false;
    }

    setWindowTitle(captionFor(InstanceSuffix));

    const double dpiX = panel::logicalDpiX(this);
    const double dpiY = panel::logicalDpiY(this);
    const double createdTop = pixelsToTwips(pos().y(), dpiY);
    double x = store_.ReadSetting(AppKey, QLatin1String(names::X), 100);
    double y = store_.ReadSetting(AppKey, QLatin1String(names::Y),
                                  static_cast<std::int32_t>(std::lround(createdTop)));
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
    const double screenWidth = pixelsToTwips(area.width(), dpiX);
    const double screenHeight = pixelsToTwips(area.height(), dpiY);
    if (x < 0 || x > screenWidth - 100) x = 100;
    if (y < 0 || y > screenHeight - 100) y = createdTop;
    move(twipsToPixels(x, dpiX), pos().y());
    move(pos().x(), twipsToPixels(y, dpiY));

    address.Board = settings::ReadSetting16(store_, AppKey, QLatin1String(names::Board), 0);
    address.PAd = settings::ReadSetting16(store_, AppKey, QLatin1String(names::PAd), 7);
    address.SAd = settings::ReadSetting16(store_, AppKey, QLatin1String(names::SAd), 0);

    setUpPanel();
    remote_ = std::make_unique<panel::PanelRemote>(*this, store_, AppKey, message_);
    loaded_ = true;
    return true;
}

void Main::Form_Activate() { Frq[2]->QWidget::setFocus(Qt::OtherFocusReason); }

// The window is activated at its first display and when another window of the program (the
// configuration dialog, a message box) hands control back; coming back from another
// application keeps the user's selection or pending entry. Qt has restored the window's own
// focus by the time this signal comes, so the move is made at once: a deferred one landed
// between the press and the release of the click that activated the window, took the focus off
// the pressed button and lost the click. A click that activates the window (pressed before the
// activation, or still held) chose its own control, so the 1 MHz digit is not selected then.
void Main::focusWindowChanged(QWindow* now) {
    if (now == nullptr) return;  // another application has the focus for now
    // A menu hands the keyboard back to whatever had it, selection and pending entry included.
    if (now->type() == Qt::Popup) return;
    const bool activated = loaded_ && now == windowHandle() && lastFocusWindow_ != now;
    lastFocusWindow_ = now;
    if (!activated) return;
    const bool clicked = pressedWhileInactive_ || QGuiApplication::mouseButtons() != Qt::NoButton;
    pressedWhileInactive_ = false;
    if (!clicked) Form_Activate();
}

void Main::Form_Unload() {
    if (!loaded_ || unloaded_) return;
    unloaded_ = true;
    markClosed();
    if (Online) link.CloseDevice();
    Timer->stop();
    const double dpiX = panel::logicalDpiX(this);
    const double dpiY = panel::logicalDpiY(this);
    // One change of the file for all five, and none when they are stored already.
    store_.WriteSettings(AppKey, {{QLatin1String(names::Board), address.Board},
                                  {QLatin1String(names::PAd), address.PAd},
                                  {QLatin1String(names::SAd), address.SAd},
                                  {QLatin1String(names::X), pixelsToTwips(pos().x(), dpiX)},
                                  {QLatin1String(names::Y), pixelsToTwips(pos().y(), dpiY)}});
}

void Main::contextMenuEvent(QContextMenuEvent* event) {
    if (remote_) remote_->showMenu(event->globalPos());
    event->accept();
}

void Main::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

}  // namespace zelmor::app
