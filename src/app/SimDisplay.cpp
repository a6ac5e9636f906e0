// SPDX-License-Identifier: MIT
#include "zelmor/app/SimDisplay.h"

#include <QFont>
#include <QLabel>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <cstdint>
#include <cstdlib>

#include "zelmor/link/SimGenerator.h"

namespace zelmor::app {

namespace {

using link::ModSource;

// A whole number of steps as decimal text with `decimals` places: 1000000, 4 -> "100.0000".
QString fixed(std::int64_t steps, int decimals) {
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const QString sign = steps < 0 ? QStringLiteral("-") : QString();
    const std::int64_t magnitude = std::llabs(steps);
    QString text = sign + QString::number(magnitude / scale);
    if (decimals > 0) {
        text += QLatin1Char('.') +
                QStringLiteral("%1").arg(magnitude % scale, decimals, 10, QLatin1Char('0'));
    }
    return text;
}

QString source(ModSource s) {
    switch (s) {
        case ModSource::Internal400Hz:
            return QStringLiteral("INT 400 Hz");
        case ModSource::Internal1kHz:
            return QStringLiteral("INT 1 kHz");
        case ModSource::External:
            return QStringLiteral("EXT AC");
        case ModSource::ExternalDc:
            return QStringLiteral("EXT DC");
    }
    return {};
}

}  // namespace

SimDisplay::SimDisplay(link::SimGenerator& generator)
    : QWidget(nullptr, Qt::Window | Qt::WindowDoesNotAcceptFocus), generator_(generator) {
    setWindowTitle(QStringLiteral("HP 8656A (simulated)"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);  // the panel's window decides when the program ends
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QStringLiteral("background-color: black; color: rgb(255, 80, 60);"));
    text_ = new QLabel(this);
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono"),
                      QStringLiteral("Monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(11);
    font.setBold(true);
    text_->setFont(font);
    text_->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    generator_.setObserver([this] { refresh(); });
    refresh();
}

SimDisplay::~SimDisplay() { generator_.setObserver(nullptr); }

QString SimDisplay::readout() const { return text_->text(); }

void SimDisplay::refresh() {
    const link::SimGeneratorState& s = generator_.state();
    const auto modulation = [](const char* name, bool on, const QString& amount, ModSource src) {
        return QLatin1String(name) +
               (on ? amount + QLatin1Char(' ') + source(src) : QStringLiteral("OFF"));
    };
    QStringList lines{
        QStringLiteral("FREQUENCY  %1 MHz").arg(fixed(s.frequencyHz / 100, 4)),
        QStringLiteral("AMPLITUDE  %1%2 dBm")
            .arg(s.levelDeciDbm >= 0 ? QStringLiteral("+") : QString(), fixed(s.levelDeciDbm, 1)),
        modulation("AM         ", s.amOn, QStringLiteral("%1 %").arg(s.amDepthPercent), s.amSource),
        modulation("FM         ", s.fmOn, fixed(s.fmDeviationHz / 100, 1) + QStringLiteral(" kHz"),
                   s.fmSource),
        QStringLiteral("INCREMENT  %1 MHz  %2 dB")
            .arg(fixed(s.frequencyIncrementHz / 100, 4), fixed(s.levelIncrementDeciDb, 1)),
        QStringLiteral("%1%2").arg(
            generator_.remote() ? QStringLiteral("REMOTE") : QStringLiteral("LOCAL"),
            generator_.lockedOut() ? QStringLiteral("  LOCKOUT") : QString())};
    QString refused = QString::fromStdString(generator_.lastNote());
    refused.remove(QRegularExpression(QStringLiteral("^# sim: ")));
    lines << QStringLiteral("REFUSED    ") + (refused.isEmpty() ? QStringLiteral("none") : refused);
    text_->setText(lines.join(QLatin1Char('\n')));
}

}  // namespace zelmor::app
