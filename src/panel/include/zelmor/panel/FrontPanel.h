// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "zelmor/digit/QtDigitBoxes.h"
#include "zelmor/digit/clsDigit.h"
#include "zelmor/link/DeviceLink.h"
#include "zelmor/panel/Conf.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSlider;
class QTimer;

namespace zelmor::panel {

class StackedButton;

// The generator's front panel: every control of the main window, the panel models and the
// handlers that turn changes into instrument commands. Everything runs on the UI thread; a
// command written on line blocks it until the link returns.
class FrontPanel : public QWidget {
    Q_OBJECT
public:
    // The link and the address belong to the window that owns the panel.
    FrontPanel(link::DeviceLink& link, link::GpibAddress& address, MessageFunction message,
               QWidget* parent = nullptr);
    ~FrontPanel() override;

    // The set-ups, in the order start-up calls them, and window-level key preview.
    void setUpPanel();

    // --- models ---
    std::array<double, 2> FrqValue{};
    std::array<double, 2> LvlValue{};
    std::int16_t AMDepth = 0;
    std::int16_t FMDeviation = 0;
    std::array<double, 2> ExcValue{};
    bool Updating = false;
    bool Online = false;
    bool Sweeping = false;
    bool SweepFrq = true;

    std::unique_ptr<digit::clsDigit> FrqDigit;
    std::unique_ptr<digit::clsDigit> LvlDigit;
    std::unique_ptr<digit::clsDigit> AMmDigit;
    std::unique_ptr<digit::clsDigit> FMmDigit;
    std::unique_ptr<digit::clsDigit> ExcDigit;

    // --- controls ---
    std::array<QGroupBox*, 4> Frame{};
    std::array<QLabel*, 3> Label{};
    std::array<digit::QtDigitBox*, 7> Frq{};
    std::array<QSlider*, 2> HScrFrq{};
    std::array<digit::QtDigitBox*, 5> Lvl{};
    QSlider* HScrLvl = nullptr;
    std::array<QLabel*, 3> Dot{};
    std::array<digit::QtDigitBox*, 2> AMm{};
    QScrollBar* HScrAMm = nullptr;
    std::array<QRadioButton*, 2> AMk{};
    std::array<digit::QtDigitBox*, 2> FMm{};
    QScrollBar* HScrFMm = nullptr;
    std::array<QRadioButton*, 2> FMk{};
    std::array<digit::QtDigitBox*, 3> Exc{};
    QSlider* HScrExc = nullptr;
    QListWidget* Typ = nullptr;
    QListWidget* Off = nullptr;
    StackedButton* Swp = nullptr;
    QLabel* DlyLbl = nullptr;
    QSlider* HScrDly = nullptr;
    QPushButton* Cnf = nullptr;
    QPushButton* Raz = nullptr;
    QPushButton* Onn = nullptr;
    digit::QtFocusHolder* HidFocus = nullptr;
    QTimer* Timer = nullptr;

    // --- frequency ---
    void InitFrq();
    void SendFrq();
    void CommitFrq();
    void Frq_GotFocus(std::int16_t Index);
    void Frq_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift);
    void Frq_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii);
    void HScrFrq_Change(std::int16_t Index);

    // --- level ---
    void InitLvl();
    void SendLvl();
    void CommitLvl();
    void Lvl_GotFocus(std::int16_t Index);
    void Lvl_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift);
    void Lvl_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii);
    void HScrLvl_Change();

    // --- modulation ---
    void InitAMm();
    void SyncHScrAMm();
    void AMm_GotFocus(std::int16_t Index);
    void AMm_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift);
    void AMm_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii);
    void HScrAMm_Change();
    void AMk_Click(std::int16_t Index);
    void InitFMm();
    void SyncHScrFMm();
    void FMm_GotFocus(std::int16_t Index);
    void FMm_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift);
    void FMm_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii);
    void HScrFMm_Change();
    void FMk_Click(std::int16_t Index);

    // --- sweep ---
    void InitExc();
    void SyncHScrExc();
    void HScrExc_Change();
    void Exc_GotFocus(std::int16_t Index);
    void Exc_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift);
    void Exc_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii);
    void InitTyp();
    void Typ_Click();
    void Off_Click();
    void InitDly();
    void HScrDly_Change();
    void Swp_Click();
    void StopSweep();
    void Timer_Timer();

    // --- on line, defaults, configuration ---
    void Onn_Click();
    void Raz_Click();
    void Cnf_Click();
    Conf& conf() { return *conf_; }

    // A user action that comes from outside the window (a line on the control socket), like a
    // key or a click: the link may try once more to open a link that failed before.
    void beginAction() { link_.beginAction(); }

    // Window-level routing of one typed character; `KeyAscii` is 0 when it was consumed.
    void routeCharacter(std::int16_t& KeyAscii);

    // The window has been closed (its settings stored, the instrument released): a handler
    // still running under a modal dialog stops when the dialog returns.
    void markClosed() { closed_ = true; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using GotFocus = void (FrontPanel::*)(std::int16_t);
    using KeyDownHandler = void (FrontPanel::*)(std::int16_t&, std::int16_t&, std::int16_t);
    using KeyPressHandler = void (FrontPanel::*)(std::int16_t&, std::int16_t&);
    // One modulation group's model, field and controls.
    struct Modulation {
        std::int16_t& setting;
        std::unique_ptr<digit::clsDigit>& digit;
        digit::QtDigitRow& row;
        QScrollBar* bar;
        std::array<QRadioButton*, 2>& rates;
        void (FrontPanel::*click)(std::int16_t);  // writes the command for one rate
        const char* off;
    };

    void wire(digit::QtDigitBox* box, GotFocus gotFocus, KeyDownHandler keyDown,
              KeyPressHandler keyPress);
    Modulation am();
    Modulation fm();
    void initModulation(const Modulation& m);
    void commitModulation(const Modulation& m, bool changed);
    void modulationChanged(const Modulation& m);
    void buildControls();
    void setTabOrder();
    void installKeyPreview();
    void send(const std::string& command);
    void setOnnLook(const QString& caption);
    void showLinkState();

    link::DeviceLink& link_;
    link::GpibAddress& address_;
    MessageFunction message_;
    std::unique_ptr<Conf> conf_;
    std::unique_ptr<digit::QtDigitRow> frqRow_, lvlRow_, amRow_, fmRow_, excRow_;
    bool closed_ = false;
    // What the on-line button last showed: its colour and the failure in its tooltip.
    const digit::Rgb* shownColour_ = nullptr;
    std::string shownFailure_;
};

}  // namespace zelmor::panel
