// SPDX-License-Identifier: MIT
// The least a Qt program does with a key or a tick, for the benchmarks to set beside zelmor: one
// window showing one line of text (so, like any program with text, it loads the fonts) that writes
// through the driver library ZELMOR_GPIB=lib:PATH names, loaded with dlopen at the first write as
// zelmor loads it when it goes on line. "--sweep MS": a Qt::PreciseTimer writes "FRUP" every MS
// milliseconds instead; "--sweep MS --show": and each tick also shows its count in the line of
// text, the least any window does to show a sweep's steps.
#include <dlfcn.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void write(const char* text) {
    using Ibwrt = int (*)(int, const void*, long);
    static const Ibwrt ibwrt = [] {
        const std::string spec = qEnvironmentVariable("ZELMOR_GPIB").toStdString();
        void* library = spec.rfind("lib:", 0) == 0 ? dlopen(spec.c_str() + 4, RTLD_NOW) : nullptr;
        auto found =
            library != nullptr ? reinterpret_cast<Ibwrt>(dlsym(library, "ibwrt")) : nullptr;
        if (found == nullptr) std::fprintf(stderr, "no ibwrt in ZELMOR_GPIB=%s\n", spec.c_str());
        return found;
    }();
    if (ibwrt != nullptr) ibwrt(1, text, static_cast<long>(std::strlen(text)));
}

class Window final : public QWidget {
public:
    Window() {
        setWindowTitle(QStringLiteral("minimal"));
        setFocusPolicy(Qt::StrongFocus);
        setFixedSize(451, 131);  // zelmor's window at 96 dpi
        label_.setText(QStringLiteral("A minimal Qt window"));
        label_.move(10, 10);
    }

    void showTick() { label_.setNum(++ticks_); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        write(event->key() == Qt::Key_Up ? "FR101MZ" : "FR100MZ");
        event->accept();
    }

private:
    QLabel label_{this};
    int ticks_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int sweepMs = argc >= 3 && std::strcmp(argv[1], "--sweep") == 0 ? std::atoi(argv[2]) : 0;
    const bool show = argc == 4 && std::strcmp(argv[3], "--show") == 0;
    Window window;
    window.show();
    window.activateWindow();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&window, show] {
        write("FRUP");
        if (show) window.showTick();
    });
    if (sweepMs > 0) timer.start(sweepMs);
    return QApplication::exec();
}
