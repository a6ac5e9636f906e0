// SPDX-License-Identifier: MIT
#include "zelmor/panel/PanelRemote.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "zelmor/panel/Commands.h"
#include "zelmor/panel/FrontPanel.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/settings/SettingsStore.h"

namespace zelmor::panel {

namespace {

QString valueName(int n) { return QLatin1String(settings::names::Preset) + QString::number(n); }

int checkedRate(const std::array<QRadioButton*, 2>& rates) { return rates[1]->isChecked() ? 1 : 0; }

}  // namespace

PanelRemote::PanelRemote(FrontPanel& panel, settings::SettingsStore& store, QString appKey,
                         MessageFunction message)
    : panel_(panel), store_(store), appKey_(std::move(appKey)), message_(std::move(message)) {}

bool PanelRemote::busy() const { return QApplication::activeModalWidget() != nullptr; }

std::string PanelRemote::check(const PanelRequest& r, bool sweeping) const {
    if (r.sweepFrq && *r.sweepFrq != panel_.SweepFrq && sweeping) {
        return "the swept quantity cannot change while the sweep runs";
    }
    if (r.excursion && r.sweepFrq.value_or(panel_.SweepFrq) && *r.excursion > ExcMax) {
        return ":excursion of a frequency sweep takes 0 to " + std::to_string(ExcMax);
    }
    return {};
}

std::string PanelRemote::apply(const PanelRequest& request) {
    panel_.beginAction();
    std::string refusal = check(request, panel_.Sweeping);
    if (refusal.empty()) run(request);
    return refusal;
}

// One write at most per quantity that changes, none for one that does not; the order is the
// one switching on uses.
void PanelRemote::run(const PanelRequest& r) {
    FrontPanel& p = panel_;
    // A typed commit: both the current value and the sweep reference take it.
    if (r.frequency && (p.FrqValue[0] != *r.frequency || p.FrqValue[1] != *r.frequency)) {
        p.FrqDigit->value(*r.frequency);
        p.CommitFrq();
    }
    if (r.level && (p.LvlValue[0] != *r.level || p.LvlValue[1] != *r.level)) {
        p.LvlDigit->value(*r.level);
        p.CommitLvl();
    }
    // The option buttons write the command for the depth shown, and cannot be clicked while it
    // is 0; when the depth changes, its handler writes the one command with the rate chosen
    // just before it.
    const auto modulation = [](const PanelRequest::Modulation& m, std::int16_t& setting,
                               std::array<QRadioButton*, 2>& rates, auto sync) {
        const int depth = m.depth.value_or(setting);
        const int rate = m.rate.value_or(checkedRate(rates));
        if (depth == setting) {
            if (rate != checkedRate(rates)) {
                const QSignalBlocker quiet0(depth == 0 ? rates[0] : nullptr);
                const QSignalBlocker quiet1(depth == 0 ? rates[1] : nullptr);
                rates[rate]->setChecked(true);
            }
            return;
        }
        {
            const QSignalBlocker quiet0(rates[0]), quiet1(rates[1]);
            rates[rate]->setChecked(true);
        }
        setting = static_cast<std::int16_t>(depth);
        sync();
    };
    modulation(r.am, p.AMDepth, p.AMk, [&p] { p.SyncHScrAMm(); });
    modulation(r.fm, p.FMDeviation, p.FMk, [&p] { p.SyncHScrFMm(); });
    // The swept quantity, then the step, as a user picks them from the two lists.
    if (r.sweepFrq && *r.sweepFrq != p.SweepFrq) p.Typ->setCurrentRow(*r.sweepFrq ? 0 : 1);
    if (r.step && p.Off->currentRow() != *r.step) p.Off->setCurrentRow(*r.step);
    if (r.excursion) p.HScrExc->setValue(*r.excursion);
    if (r.delay) p.HScrDly->setValue(*r.delay);
}

PanelState PanelRemote::panelState() const {
    const FrontPanel& p = panel_;
    PanelState s;
    s.frequency = p.FrqValue[0];
    s.level = p.LvlValue[0];
    s.amDepth = p.AMDepth;
    s.amRate = checkedRate(p.AMk);
    s.fmDeviation = p.FMDeviation;
    s.fmRate = checkedRate(p.FMk);
    s.sweepFrq = p.SweepFrq;
    s.step = std::max(p.Off->currentRow(), 0);
    s.excursion = p.HScrExc->value();
    s.delay = p.HScrDly->value();
    return s;
}

std::string PanelRemote::state() const { return stateCommands(panelState()); }

std::string PanelRemote::act(Action action, int argument) {
    FrontPanel& p = panel_;
    p.beginAction();
    switch (action) {
        case Action::Online:
            if (p.Online != (argument == 1)) p.Onn_Click();
            if (p.Online != (argument == 1)) return "the generator did not answer";
            return {};
        case Action::Sweep:
            if (p.Sweeping == (argument == 1)) return {};
            if (!p.Swp->isEnabled()) return "nothing to sweep: the excursion is 0";
            p.Swp_Click();
            return {};
        case Action::Defaults:
            p.Raz_Click();
            return {};
        case Action::Store:
            return store(argument);
        case Action::Recall:
            return recall(argument);
    }
    return {};
}

PanelRemote::Preset PanelRemote::preset(int n) const {
    Preset p;
    p.text = store_.ReadSettingText(appKey_, valueName(n), QString());
    p.reading = readPanelRequest(p.text.toStdString());
    return p;
}

std::string PanelRemote::store(int n) {
    const QString text = QString::fromStdString(stateText(panelState()));
    if (!store_.WriteSettingText(appKey_, valueName(n), text)) {
        return "preset " + std::to_string(n) + " could not be stored";
    }
    return {};
}

std::string PanelRemote::recall(int n) {
    const Preset p = preset(n);
    const std::string which = "preset " + std::to_string(n);
    if (p.text.isEmpty()) return which + " is empty";
    if (!p.reading.ok()) {
        return which + " cannot be read: " + std::to_string(p.reading.errorAt) + ": " +
               p.reading.error;
    }
    std::string refusal = check(p.reading.request, false);
    if (!refusal.empty()) return which + ": " + refusal;
    if (panel_.Sweeping) panel_.Swp_Click();
    run(p.reading.request);
    return {};
}

std::unique_ptr<QMenu> PanelRemote::menu(QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    menu->setWindowTitle(QStringLiteral("Presets"));  // what window lists and tests see
    QMenu* storeIn = menu->addMenu(QStringLiteral("Store in"));
    QMenu* recallFrom = menu->addMenu(QStringLiteral("Recall"));
    recallFrom->setToolTipsVisible(true);
    const auto done = [this](const std::string& refusal) {
        if (!refusal.empty() && message_) {
            message_(MessageIcon::Critical, QLatin1String(ProgramName),
                     QString::fromStdString(refusal));
        }
    };
    for (int n = 0; n < kPresets; ++n) {
        const Preset p = preset(n);
        const QString words = p.text.isEmpty() ? QStringLiteral("empty")
                              : p.reading.ok() ? QString::fromStdString(describe(p.reading.request))
                                               : QStringLiteral("cannot be read");
        const QString label = QStringLiteral("&%1: %2").arg(n).arg(words);
        storeIn->addAction(label, [this, n, done] { done(store(n)); });
        QAction* a = recallFrom->addAction(label, [this, n, done] { done(recall(n)); });
        a->setEnabled(!p.text.isEmpty() && p.reading.ok());
        if (!p.text.isEmpty() && !p.reading.ok()) {
            a->setToolTip(QStringLiteral("%1: %2")
                              .arg(p.reading.errorAt)
                              .arg(QString::fromStdString(p.reading.error)));
        }
    }
    return menu;
}

void PanelRemote::showMenu(const QPoint& globalPos) { menu(&panel_)->exec(globalPos); }

}  // namespace zelmor::panel
