// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace zelmor::link {
class SimGenerator;
}

namespace zelmor::app {

// What the simulated HP 8656A shows on its own front panel, in a small window beside the panel:
// frequency, amplitude, AM and FM with their rates, the increments, remote and lockout, and the
// last command it refused. It follows the generator after every driver call, and never takes
// the keyboard from the panel.
class SimDisplay final : public QWidget {
public:
    explicit SimDisplay(link::SimGenerator& generator);
    ~SimDisplay() override;
    SimDisplay(const SimDisplay&) = delete;
    SimDisplay& operator=(const SimDisplay&) = delete;

    // The read-outs, one line each, as shown.
    QString readout() const;

private:
    void refresh();

    link::SimGenerator& generator_;
    QLabel* text_ = nullptr;
};

}  // namespace zelmor::app
