// SPDX-License-Identifier: MIT
#include "zelmor/panel/FrontPanel.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <optional>

#include "zelmor/digit/Number.h"
#include "zelmor/panel/Commands.h"
#include "zelmor/panel/StackedButton.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::panel {

using digit::RoundHalfEven;

namespace {

// Escape abandons an edit. The field's own rule shows its last confirmed value again, but
// after steps, slider moves, a sweep or a clamped entry the generator is elsewhere; the field
// must show what the generator has.
constexpr std::int16_t EscapeKey = 27;

const digit::Rgb Black{0, 0, 0};
const digit::Rgb Red{255, 0, 0};
const digit::Rgb Green{0, 255, 0};
const digit::Rgb Amber{255, 176, 0};
const digit::Rgb Yellow{255, 255, 0};
const digit::Rgb LightCyan{128, 255, 255};

enum class Kind { Mono, Sans };

QFont makeFont(Kind kind, double points, bool bold) {
    QFont font;
    if (kind == Kind::Mono) {
        font.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono", "Monospace"});
        // Digits and signs need no shaping; without it a changed digit is laid out in a
        // fraction of the time (at every sweep tick).
        font.setStyleHint(QFont::TypeWriter, QFont::PreferNoShaping);
    } else {
        font.setFamilies(
            {"Arial", "MS Sans Serif", "Liberation Sans", "DejaVu Sans", "Sans Serif"});
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The modulation scroll bars step as the panel's scroll bars always have: Right and Down add a
// step, Left and Up take one away, the Page keys a page. QScrollBar inverts its controls so
// that the wheel scrolls content down, which also turns its arrow keys round; the wheel keeps
// Qt's direction, as users of this desktop expect.
class StepScrollBar final : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const auto action = [key = event->key()]() -> std::optional<SliderAction> {
            switch (key) {
                case Qt::Key_Right:
                case Qt::Key_Down:
                    return SliderSingleStepAdd;
                case Qt::Key_Left:
                case Qt::Key_Up:
                    return SliderSingleStepSub;
                case Qt::Key_PageDown:
                    return SliderPageStepAdd;
                case Qt::Key_PageUp:
                    return SliderPageStepSub;
                case Qt::Key_Home:
                    return SliderToMinimum;
                case Qt::Key_End:
                    return SliderToMaximum;
                default:
                    return std::nullopt;
            }
        }();
        if (!action) {
            QScrollBar::keyPressEvent(event);
            return;
        }
        triggerAction(*action);
        event->accept();
    }
};

// The largest size, up to the list's own, at which every text shows whole in the list: the step
// list is narrow, and a font wider than the design's would cut "0.1dBm" short.
void fitFont(QListWidget* list, const QStringList& texts) {
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int room = list->contentsRect().width() - 2 * margin;
    QFont font = list->font();
    for (const QString& text : texts) {
        while (QFontMetrics(font).horizontalAdvance(text) > room && font.pointSizeF() > 5) {
            font.setPointSizeF(font.pointSizeF() - 0.25);
        }
    }
    list->setFont(font);
}

QString background(const digit::Rgb& c) {
    return QStringLiteral("background-color: rgb(%1, %2, %3);").arg(c.r).arg(c.g).arg(c.b);
}

// A slider whose position is a whole number in the panel's units; the notification fires for
// program moves as well as user moves, and only when the position really changes.
QSlider* makeSlider(QWidget* parent, const QString& tip) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setToolTip(tip);
    s->setFocusPolicy(Qt::StrongFocus);
    return s;
}

// Sets a position outside the slider's range without a change notification, so that the
// model it would report back is not altered by the slider's own clamping.
void setPosition(QAbstractSlider* s, double position) {
    const int p = static_cast<int>(RoundHalfEven(position));
    if (p < s->minimum() || p > s->maximum()) {
        const QSignalBlocker quiet(s);
        s->setValue(p);
        return;
    }
    s->setValue(p);
}

// The generator refuses values outside its range, and the window is the only record of its
// state: a value from a key or a slider is bounded as the fields bound it (the upper bound
// first) before any view or command shows it.
double clampTo(double v, double lo, double hi) {
    if (v > hi) v = hi;
    if (v < lo) v = lo;
    return v;
}

// A field's value, bounded, and shown bounded.
double committed(digit::clsDigit& field, double lo, double hi) {
    const double v = field.value();
    const double c = clampTo(v, lo, hi);
    if (c != v) field.value(c);
    return c;
}

}  // namespace

namespace {
// Each key, click or turn of the wheel, anywhere in the program, is a new user action for the
// link: within one action an open that failed is not tried again.
class ActionWatcher final : public QObject {
public:
    ActionWatcher(QObject* parent, link::DeviceLink& link) : QObject(parent), link_(link) {}

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
                link_.beginAction();
                break;
            default:
                break;
        }
        return false;
    }

private:
    link::DeviceLink& link_;
};
}  // namespace

FrontPanel::FrontPanel(link::DeviceLink& link, link::GpibAddress& address, MessageFunction message,
                       QWidget* parent)
    : QWidget(parent), link_(link), address_(address), message_(std::move(message)) {
    conf_ = std::make_unique<Conf>(
        this, [this] { return link_.binding(); }, message_);
    buildControls();
    setTabOrder();
    qApp->installEventFilter(new ActionWatcher(this, link_));
}

FrontPanel::~FrontPanel() = default;


void FrontPanel::buildControls() {
    setWindowTitle(QStringLiteral("HP-8656A"));
    const double dpiX = panel::logicalDpiX(this);
    const double dpiY = panel::logicalDpiY(this);
    setFixedSize(twipsToPixels(6765, dpiX), twipsToPixels(1965, dpiY));

    // The window's own font, which controls without a font of their own inherit.
    setFont(makeFont(Kind::Sans, 8.25, false));
    const QFont digitFont = makeFont(Kind::Mono, 21.75, true);
    const QFont smallDigitFont = makeFont(Kind::Mono, 12, true);
    const QFont labelFont = makeFont(Kind::Sans, 9, false);
    const QFont listFont = makeFont(Kind::Sans, 8.25, true);

    auto frame = [&](QWidget* parent, const QString& title, double l, double t, double w,
                     double h) {
        auto* f = new QGroupBox(title, parent);
        placeTwips(f, l, t, w, h);
        return f;
    };
    auto label = [&](QWidget* parent, const QString& text, double l, double t, double w, double h) {
        auto* lab = new QLabel(text, parent);
        lab->setFont(labelFont);
        placeTwips(lab, l, t, w, h);
        return lab;
    };
    auto box = [&](QWidget* parent, int index, const QFont& font, const digit::Rgb& colour,
                   double l, double t, double w, double h) {
        auto* b = new digit::QtDigitBox(index, parent);
        b->setFont(font);
        b->setBackground(Black);
        b->setForeground(colour);
        placeTwips(b, l, t, w, h);
        b->charPreview = [this](std::int16_t& a) { routeCharacter(a); };
        return b;
    };

    // Display frame: frequency, level, AM and FM.
    auto* display = frame(this, QString(), 0, -40, 4395, 2040);
    Frame[0] = display;
    Label[0] = label(display, QStringLiteral("Frequency (100Hz)"), 120, 120, 2055, 255);
    const std::array<double, 7> frqLeft{120, 465, 795, 1140, 1480, 1815, 2160};
    for (std::size_t i = 0; i < Frq.size(); ++i) {
        const auto idx = static_cast<std::int16_t>(i);
        Frq[i] = box(display, idx, digitFont, Red, frqLeft[i], 360, 375, 615);
        wire(Frq[i], &FrontPanel::Frq_GotFocus, &FrontPanel::Frq_KeyDown,
             &FrontPanel::Frq_KeyPress);
    }
    HScrFrq[0] = makeSlider(display, QStringLiteral("Change MHz"));
    placeTwips(HScrFrq[0], 120, 960, 1095, 225);
    HScrFrq[1] = makeSlider(display, QStringLiteral("Change KHz"));
    placeTwips(HScrFrq[1], 1125, 960, 1455, 225);

    Label[1] = label(display, QStringLiteral("Level (dBm)"), 2600, 120, 1335, 255);
    const std::array<double, 5> lvlLeft{2600, 2960, 3300, 3650, 3980};
    for (std::size_t i = 0; i < Lvl.size(); ++i) {
        const auto idx = static_cast<std::int16_t>(i);
        Lvl[i] = box(display, idx, digitFont, Green, lvlLeft[i], 360, 375, 615);
        wire(Lvl[i], &FrontPanel::Lvl_GotFocus, &FrontPanel::Lvl_KeyDown,
             &FrontPanel::Lvl_KeyPress);
    }
    Lvl[0]->setFocusPolicy(Qt::ClickFocus);  // the sign box is not a tab stop
    HScrLvl = makeSlider(display, QStringLiteral("Level setting"));
    placeTwips(HScrLvl, 2600, 960, 1740, 225);

    const std::array<double, 3> dotLeft{1080, 2100, 3920};
    const std::array<digit::Rgb, 3> dotColour{Red, Red, Green};
    // Colours come from palettes here and below, not style sheets: each style sheet is parsed at
    // start-up and makes its widget paint through the slower style-sheet style.
    for (std::size_t i = 0; i < Dot.size(); ++i) {
        Dot[i] = new QLabel(display);
        QPalette fill = Dot[i]->palette();
        fill.setColor(QPalette::Window, QColor(dotColour[i].r, dotColour[i].g, dotColour[i].b));
        Dot[i]->setPalette(fill);
        Dot[i]->setAutoFillBackground(true);
        placeTwips(Dot[i], dotLeft[i], 720, 40, 40);
        Dot[i]->raise();
    }

    // AM and FM groups share one layout.
    auto modulation = [&](const QString& title, double left, double rate1Width,
                          std::array<digit::QtDigitBox*, 2>& boxes, QScrollBar*& bar,
                          std::array<QRadioButton*, 2>& rates) {
        auto* g = frame(display, title, left, 1200, 1575, 800);
        boxes[0] = box(g, 0, smallDigitFont, Yellow, 120, 240, 270, 390);
        boxes[1] = box(g, 1, smallDigitFont, Yellow, 360, 240, 270, 390);
        bar = new StepScrollBar(Qt::Horizontal, g);
        placeTwips(bar, 120, 600, 495, 135);
        bar->setTracking(false);  // nothing is handled while the thumb is dragged
        bar->setFocusPolicy(Qt::StrongFocus);
        bar->setRange(0, ModulationMax);
        bar->setValue(99);  // so that the set-up's move to 0 shows through the change handler
        rates[0] = new QRadioButton(QStringLiteral("400Hz"), g);
        placeTwips(rates[0], 720, 240, 820, 255);
        rates[1] = new QRadioButton(QStringLiteral("1KHz"), g);
        placeTwips(rates[1], 720, 480, rate1Width, 255);
        rates[0]->setChecked(true);
        for (digit::DigitBox* b : boxes) b->setText("9");
        return g;
    };
    Frame[1] = modulation(QStringLiteral("AM"), 120, 740, AMm, HScrAMm, AMk);
    Frame[2] = modulation(QStringLiteral("FM"), 1780, 820, FMm, HScrFMm, FMk);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto idx = static_cast<std::int16_t>(i);
        wire(AMm[i], &FrontPanel::AMm_GotFocus, &FrontPanel::AMm_KeyDown,
             &FrontPanel::AMm_KeyPress);
        wire(FMm[i], &FrontPanel::FMm_GotFocus, &FrontPanel::FMm_KeyDown,
             &FrontPanel::FMm_KeyPress);
        connect(AMk[i], &QRadioButton::toggled, this, [this, idx](bool on) {
            if (on) AMk_Click(idx);
        });
        connect(FMk[i], &QRadioButton::toggled, this, [this, idx](bool on) {
            if (on) FMk_Click(idx);
        });
    }

    // Sweep frame.
    auto* sweep = frame(this, QString(), 4440, -40, 2320, 1620);
    Frame[3] = sweep;
    Label[2] = label(sweep, QStringLiteral("Excursion"), 120, 120, 975, 255);
    const std::array<double, 3> excLeft{120, 465, 795};
    for (std::size_t i = 0; i < Exc.size(); ++i) {
        const auto idx = static_cast<std::int16_t>(i);
        Exc[i] = box(sweep, idx, digitFont, LightCyan, excLeft[i], 360, 375, 615);
        wire(Exc[i], &FrontPanel::Exc_GotFocus, &FrontPanel::Exc_KeyDown,
             &FrontPanel::Exc_KeyPress);
    }
    HScrExc = makeSlider(sweep, QStringLiteral("Frequency/Level excursion"));
    placeTwips(HScrExc, 120, 960, 1035, 225);
    // Created off 0 so that the set-up's move to 0 runs the change handler, which sets the run
    // button's enabled state.
    HScrExc->setRange(0, ExcMax);
    HScrExc->setValue(1);
    // Each slider's top row lies under the digit boxes' bottom row. Stacked beneath the opaque
    // boxes, a slider is not repainted with a box whose digit changed (at every sweep tick).
    for (QSlider* s : {HScrFrq[0], HScrFrq[1], HScrLvl, HScrExc}) s->lower();

    QPalette listColours = palette();
    listColours.setColor(QPalette::Base, QColor(255, 255, 192));
    Typ = new QListWidget(sweep);
    Typ->setFont(listFont);
    Typ->setPalette(listColours);
    Typ->setToolTip(QStringLiteral("Select sweep factor"));
    Typ->addItems({QStringLiteral("Frequency"), QStringLiteral("Level")});
    placeTwips(Typ, 1200, 120, 1040, 450);
    Off = new QListWidget(sweep);
    Off->setPalette(listColours);
    Off->setToolTip(QStringLiteral("Select sweep unit"));
    placeTwips(Off, 1200, 600, 660, 645);
    for (auto* list : {Typ, Off}) {
        // Both lists are sized to show all their entries; a scroll bar would only hide them.
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setFrameShape(QFrame::Box);
        list->setLineWidth(1);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setTextElideMode(Qt::ElideNone);
    }
    fitFont(Off, {QStringLiteral("0.1dBm"), QStringLiteral("1.0dBm"), QStringLiteral("3.0dBm"),
                  QStringLiteral("100Hz")});

    Swp = new StackedButton(QStringLiteral("&R U N"), sweep);
    Swp->setFont(listFont);
    Swp->setToolTip(QStringLiteral("Start/Stop sweeping"));
    placeTwips(Swp, 1920, 600, 340, 660);

    DlyLbl = new QLabel(QStringLiteral("D:0000ms"), sweep);
    DlyLbl->setFont(listFont);
    QPalette blue = DlyLbl->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    DlyLbl->setPalette(blue);
    DlyLbl->setToolTip(QStringLiteral("Sweep delay in ms"));
    placeTwips(DlyLbl, 100, 1335, 855, 255);
    HScrDly = makeSlider(sweep, QStringLiteral("Sweep delay"));
    placeTwips(HScrDly, 975, 1335, 1320, 225);

    // Buttons directly on the window.
    Cnf = new QPushButton(QStringLiteral("&Config"), this);
    Cnf->setToolTip(QStringLiteral("Configure GPIB parameters"));
    placeTwips(Cnf, 4440, 1600, 600, 330);
    Raz = new QPushButton(QStringLiteral("Ra&z"), this);
    Raz->setToolTip(QStringLiteral("Default values"));
    placeTwips(Raz, 5040, 1600, 525, 330);
    Onn = new QPushButton(this);
    Onn->setFont(listFont);
    Onn->setToolTip(QStringLiteral("On / Off"));
    placeTwips(Onn, 5560, 1600, 1200, 330);
    setOnnLook(QStringLiteral(" O N"));
    for (auto* b : {Cnf, Raz, Onn, static_cast<QPushButton*>(Swp)}) {
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::StrongFocus);
    }

    HidFocus = new digit::QtFocusHolder(this);
    placeTwips(HidFocus, 0, -1000, 375, 285);

    Timer = new QTimer(this);
    Timer->setTimerType(Qt::PreciseTimer);  // the sweep's period is the delay to the millisecond

    frqRow_ = std::make_unique<digit::QtDigitRow>(
        std::vector<digit::QtDigitBox*>(Frq.begin(), Frq.end()));
    lvlRow_ = std::make_unique<digit::QtDigitRow>(
        std::vector<digit::QtDigitBox*>(Lvl.begin(), Lvl.end()));
    amRow_ = std::make_unique<digit::QtDigitRow>(
        std::vector<digit::QtDigitBox*>(AMm.begin(), AMm.end()));
    fmRow_ = std::make_unique<digit::QtDigitRow>(
        std::vector<digit::QtDigitBox*>(FMm.begin(), FMm.end()));
    excRow_ = std::make_unique<digit::QtDigitRow>(
        std::vector<digit::QtDigitBox*>(Exc.begin(), Exc.end()));

    // Every change notification has one handler.
    connect(HScrFrq[0], &QSlider::valueChanged, this, [this] { HScrFrq_Change(0); });
    connect(HScrFrq[1], &QSlider::valueChanged, this, [this] { HScrFrq_Change(1); });
    connect(HScrLvl, &QSlider::valueChanged, this, [this] { HScrLvl_Change(); });
    connect(HScrAMm, &QScrollBar::valueChanged, this, [this] { HScrAMm_Change(); });
    connect(HScrFMm, &QScrollBar::valueChanged, this, [this] { HScrFMm_Change(); });
    connect(HScrExc, &QSlider::valueChanged, this, [this] { HScrExc_Change(); });
    connect(HScrDly, &QSlider::valueChanged, this, [this] { HScrDly_Change(); });
    connect(Typ, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) Typ_Click();
    });
    connect(Off, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) Off_Click();
    });
    connect(Swp, &QPushButton::clicked, this, [this] { Swp_Click(); });
    connect(Onn, &QPushButton::clicked, this, [this] { Onn_Click(); });
    connect(Raz, &QPushButton::clicked, this, [this] { Raz_Click(); });
    connect(Cnf, &QPushButton::clicked, this, [this] { Cnf_Click(); });
    connect(Timer, &QTimer::timeout, this, [this] { Timer_Timer(); });
}

// A box's events reach the window's handlers with the box's index; the handlers may move the
// index and consume the code, as the field's key operations do.
void FrontPanel::wire(digit::QtDigitBox* box, GotFocus gotFocus, KeyDownHandler keyDown,
                      KeyPressHandler keyPress) {
    const auto idx = static_cast<std::int16_t>(box->index());
    box->onFocusGained = [this, idx, gotFocus] { (this->*gotFocus)(idx); };
    box->onKeyDown = [this, idx, keyDown](std::int16_t& code) {
        std::int16_t index = idx;
        (this->*keyDown)(index, code, 0);
    };
    box->onKeyPress = [this, idx, keyPress](std::int16_t& ascii) {
        std::int16_t index = idx;
        (this->*keyPress)(index, ascii);
    };
}

void FrontPanel::setTabOrder() {
    std::vector<QWidget*> order;
    for (auto* b : Frq) order.push_back(b);
    order.push_back(HScrFrq[0]);
    order.push_back(HScrFrq[1]);
    for (std::size_t i = 1; i < Lvl.size(); ++i) order.push_back(Lvl[i]);
    order.push_back(HScrLvl);
    order.insert(order.end(), {AMm[0], AMm[1], HScrAMm, AMk[0], AMk[1]});
    order.insert(order.end(), {FMm[0], FMm[1], HScrFMm, FMk[0], FMk[1]});
    order.insert(order.end(), {Exc[0], Exc[1], Exc[2], HScrExc, Typ, Off, Swp, HScrDly});
    order.insert(order.end(), {Onn, Cnf, Raz});
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void FrontPanel::setUpPanel() {
    InitFrq();
    InitLvl();
    InitExc();
    InitTyp();
    StopSweep();
    InitDly();
    InitAMm();
    InitFMm();
    installKeyPreview();
}

// ---------------------------------------------------------------------------------------------
// Keyboard routing

void FrontPanel::installKeyPreview() {
    // Digit boxes call routeCharacter themselves, between their key-down and character
    // handlers; every other control is previewed here.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<digit::QtDigitBox*>(w) == nullptr) w->installEventFilter(this);
    }
}

bool FrontPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        std::int16_t ascii = digit::charCode(*key);
        if (ascii != 0) {
            routeCharacter(ascii);
            if (ascii == 0) return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrontPanel::routeCharacter(std::int16_t& KeyAscii) {
    if (!FrqDigit || FrqDigit->HasFocus()) return;
    const bool escape = KeyAscii == EscapeKey;
    if (FrqDigit->ProcessKey(KeyAscii)) CommitFrq();
    if (escape) FrqDigit->value(FrqValue[0]);
}

void FrontPanel::send(const std::string& command) {
    if (!Online) return;
    link_.SendCommand(command);
    showLinkState();
}

// ---------------------------------------------------------------------------------------------
// Frequency

void FrontPanel::InitFrq() {
    FrqValue[0] = 1000000;
    FrqValue[1] = FrqValue[0];
    FrqDigit = std::make_unique<digit::clsDigit>();
    FrqDigit->Initialize(*HidFocus, *frqRow_, false);
    FrqDigit->Max(FrqMax);
    FrqDigit->Min(FrqMin);
    FrqDigit->Cur(0);
    {
        // A position clamped by a new range is not a frequency the user chose: it must not
        // be composed into the model.
        const QSignalBlocker quiet0(HScrFrq[0]);
        const QSignalBlocker quiet1(HScrFrq[1]);
        HScrFrq[0]->setMaximum(990);
        HScrFrq[0]->setMinimum(1);
        HScrFrq[1]->setMaximum(9999);
        HScrFrq[1]->setMinimum(0);
    }
    SendFrq();
    // The sliders may already stand at the new value, so that no change notification
    // refreshed the field (after a pending direct entry, say).
    FrqDigit->value(FrqValue[0]);
}

void FrontPanel::SendFrq() {
    Updating = true;
    // The command first: the sliders' echo rewrites the row and lays out their handles, which
    // need not delay the generator.
    send(FrqCommand(FrqValue[0]));
    const double v = RoundHalfEven(FrqValue[0]);
    setPosition(HScrFrq[1], std::fmod(v, 10000));
    const int k = HScrFrq[1]->value();
    setPosition(HScrFrq[0], RoundHalfEven((FrqValue[0] - k) / 10000));
    Updating = false;
}

void FrontPanel::CommitFrq() {
    FrqValue[0] = committed(*FrqDigit, FrqMin, FrqMax);
    FrqValue[1] = FrqValue[0];
    SendFrq();
}

void FrontPanel::Frq_GotFocus(std::int16_t Index) {
    if (FrqDigit) FrqDigit->ForceFocus(Index, true);
}

void FrontPanel::Frq_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift) {
    const bool escape = KeyCode == EscapeKey;
    if (FrqDigit->KeyDown(Index, KeyCode, Shift)) CommitFrq();
    if (escape) FrqDigit->value(FrqValue[0]);
}

void FrontPanel::Frq_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii) {
    if (FrqDigit->KeyPress(Index, KeyAscii)) CommitFrq();
}

void FrontPanel::HScrFrq_Change(std::int16_t Index) {
    if (!FrqDigit) return;  // ranges set while the controls are built
    const double current = RoundHalfEven(FrqValue[0]);
    const double below = std::fmod(current, 10000);
    double v = Index == 0 ? HScrFrq[0]->value() * 10000.0 + below
                          : HScrFrq[1]->value() + (current - below);
    v = clampTo(v, FrqMin, FrqMax);
    FrqValue[0] = v;
    FrqDigit->value(v);
    if (!Updating) SendFrq();
}

// ---------------------------------------------------------------------------------------------
// Level

void FrontPanel::InitLvl() {
    LvlValue[1] = -1270;
    LvlValue[0] = LvlValue[1];
    LvlDigit = std::make_unique<digit::clsDigit>();
    LvlDigit->Initialize(*HidFocus, *lvlRow_, true);
    LvlDigit->Max(LvlMax);
    LvlDigit->Min(LvlMin);
    {
        const QSignalBlocker quiet(HScrLvl);
        HScrLvl->setMaximum(static_cast<int>(LvlMax));
        HScrLvl->setMinimum(static_cast<int>(LvlMin));
    }
    SendLvl();
    LvlDigit->value(LvlValue[0]);
}

void FrontPanel::SendLvl() {
    Updating = true;
    send(LvlCommand(LvlValue[0]));  // before the slider, as for the frequency
    setPosition(HScrLvl, LvlValue[0]);
    Updating = false;
}

void FrontPanel::CommitLvl() {
    LvlValue[0] = committed(*LvlDigit, LvlMin, LvlMax);
    LvlValue[1] = LvlValue[0];
    SendLvl();
}

void FrontPanel::Lvl_GotFocus(std::int16_t Index) {
    if (LvlDigit) LvlDigit->ForceFocus(Index, true);
}

void FrontPanel::Lvl_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift) {
    const bool escape = KeyCode == EscapeKey;
    if (LvlDigit->KeyDown(Index, KeyCode, Shift)) CommitLvl();
    if (escape) LvlDigit->value(LvlValue[0]);
}

void FrontPanel::Lvl_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii) {
    if (LvlDigit->KeyPress(Index, KeyAscii)) CommitLvl();
}

void FrontPanel::HScrLvl_Change() {
    if (!LvlDigit) return;
    LvlValue[0] = clampTo(HScrLvl->value(), LvlMin, LvlMax);
    LvlDigit->value(LvlValue[0]);
    if (!Updating) SendLvl();
}

// ---------------------------------------------------------------------------------------------
// Modulation

// The AM and FM groups differ only in their names, units and command codes.
FrontPanel::Modulation FrontPanel::am() {
    return {AMDepth, AMmDigit, *amRow_, HScrAMm, AMk, &FrontPanel::AMk_Click, AmOffCommand};
}

FrontPanel::Modulation FrontPanel::fm() {
    return {FMDeviation, FMmDigit, *fmRow_, HScrFMm, FMk, &FrontPanel::FMk_Click, FmOffCommand};
}

void FrontPanel::initModulation(const Modulation& m) {
    m.setting = 0;
    m.digit = std::make_unique<digit::clsDigit>();
    m.digit->Initialize(*HidFocus, m.row, false);
    m.digit->Min(0);
    m.digit->Max(ModulationMax);
    m.bar->setMaximum(ModulationMax);
    m.bar->setMinimum(0);
    m.bar->setValue(m.setting);
}

// A commit only moves the scroll bar: the command goes out from its change handler, so a
// commit of the value already set writes nothing.
void FrontPanel::commitModulation(const Modulation& m, bool changed) {
    if (!changed) return;
    m.setting = digit::ToInt16(m.digit->value()).value_or(m.setting);
    m.bar->setValue(m.setting);
}

void FrontPanel::modulationChanged(const Modulation& m) {
    if (!m.digit) return;  // ranges set while the controls are built
    m.setting = static_cast<std::int16_t>(m.bar->value());
    m.digit->value(m.setting);
    if (m.setting != 0) {
        for (std::int16_t i = 0; i < 2; ++i) {
            if (m.rates[i]->isChecked()) (this->*m.click)(i);
        }
    } else {
        send(m.off);
    }
    for (auto* k : m.rates) k->setEnabled(m.setting != 0);
}

void FrontPanel::InitAMm() { initModulation(am()); }
void FrontPanel::SyncHScrAMm() { HScrAMm->setValue(AMDepth); }
void FrontPanel::AMm_GotFocus(std::int16_t Index) {
    if (AMmDigit) AMmDigit->ForceFocus(Index, true);
}
void FrontPanel::AMm_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift) {
    const bool escape = KeyCode == EscapeKey;
    commitModulation(am(), AMmDigit->KeyDown(Index, KeyCode, Shift));
    if (escape) AMmDigit->value(AMDepth);
}
void FrontPanel::AMm_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii) {
    commitModulation(am(), AMmDigit->KeyPress(Index, KeyAscii));
}
void FrontPanel::HScrAMm_Change() { modulationChanged(am()); }
void FrontPanel::AMk_Click(std::int16_t Index) { send(AmCommand(Index, AMDepth)); }

void FrontPanel::InitFMm() { initModulation(fm()); }
void FrontPanel::SyncHScrFMm() { HScrFMm->setValue(FMDeviation); }
void FrontPanel::FMm_GotFocus(std::int16_t Index) {
    if (FMmDigit) FMmDigit->ForceFocus(Index, true);
}
void FrontPanel::FMm_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift) {
    const bool escape = KeyCode == EscapeKey;
    commitModulation(fm(), FMmDigit->KeyDown(Index, KeyCode, Shift));
    if (escape) FMmDigit->value(FMDeviation);
}
void FrontPanel::FMm_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii) {
    commitModulation(fm(), FMmDigit->KeyPress(Index, KeyAscii));
}
void FrontPanel::HScrFMm_Change() { modulationChanged(fm()); }
void FrontPanel::FMk_Click(std::int16_t Index) { send(FmCommand(Index, FMDeviation)); }

// ---------------------------------------------------------------------------------------------
// Sweep

void FrontPanel::InitExc() {
    ExcDigit = std::make_unique<digit::clsDigit>();
    ExcDigit->Initialize(*HidFocus, *excRow_, false);
    ExcDigit->Max(ExcMax);
    ExcDigit->Min(0.0);
    HScrExc->setMinimum(0);
    HScrExc->setMaximum(ExcMax);
    ExcValue = {0, 0};
    SyncHScrExc();
}

void FrontPanel::SyncHScrExc() {
    HScrExc->setValue(static_cast<int>(RoundHalfEven(ExcValue[SweepFrq ? 0 : 1])));
}

void FrontPanel::HScrExc_Change() {
    if (!ExcDigit) return;
    const int position = HScrExc->value();
    Swp->setEnabled(!(position == 0 && !Sweeping));
    double& swept = ExcValue[SweepFrq ? 0 : 1];
    swept = position;
    ExcDigit->value(swept);
}

void FrontPanel::Exc_GotFocus(std::int16_t Index) {
    if (ExcDigit) ExcDigit->ForceFocus(Index, true);
}

void FrontPanel::Exc_KeyDown(std::int16_t& Index, std::int16_t& KeyCode, std::int16_t Shift) {
    const bool escape = KeyCode == EscapeKey;
    if (ExcDigit->KeyDown(Index, KeyCode, Shift)) {
        ExcValue[SweepFrq ? 0 : 1] = ExcDigit->value();
        SyncHScrExc();
    }
    if (escape) ExcDigit->value(ExcValue[SweepFrq ? 0 : 1]);
}

void FrontPanel::Exc_KeyPress(std::int16_t& Index, std::int16_t& KeyAscii) {
    if (ExcDigit->KeyPress(Index, KeyAscii)) {
        ExcValue[SweepFrq ? 0 : 1] = ExcDigit->value();
        SyncHScrExc();
    }
}

void FrontPanel::InitTyp() {
    Typ->setCurrentRow(0);
    Typ_Click();
}

void FrontPanel::Typ_Click() {
    const QListWidgetItem* item = Typ->currentItem();
    if (item == nullptr) return;
    const bool frequency = item->text() == QStringLiteral("Frequency");
    {
        const QSignalBlocker quiet(Off);
        Off->clear();
        for (const StepEntry& e : frequency ? FrqSteps : LvlSteps) {
            auto* entry = new QListWidgetItem(QString::fromLatin1(e.text), Off);
            entry->setData(Qt::UserRole, e.step);
        }
    }
    SweepFrq = frequency;
    const int before = HScrExc->value();
    {
        // The slider's own clamping of its position must not write the other quantity's
        // excursion into this one's.
        const QSignalBlocker quiet(HScrExc);
        HScrExc->setMaximum(frequency ? ExcMax : HScrLvl->maximum() - HScrLvl->minimum());
    }
    const int clamped = HScrExc->value();
    const int wanted = static_cast<int>(RoundHalfEven(ExcValue[SweepFrq ? 0 : 1]));
    HScrExc->setValue(wanted);
    HScrExc->setMinimum(0);
    SyncHScrExc();
    if (clamped != before && wanted == clamped) HScrExc_Change();
    ExcDigit->value(ExcValue[SweepFrq ? 0 : 1]);
    Off->setCurrentRow(0);
}

void FrontPanel::Off_Click() {
    const QListWidgetItem* item = Off->currentItem();
    if (item == nullptr) return;
    const std::int32_t step = item->data(Qt::UserRole).toInt();
    send(SweepFrq ? FrqIncrementCommand(step) : LvlIncrementCommand(step));
}

void FrontPanel::InitDly() {
    HScrDly->setMinimum(DlyMin);
    HScrDly->setMaximum(DlyMax);
    HScrDly->setValue(HScrDly->minimum());
    HScrDly_Change();
}

void FrontPanel::HScrDly_Change() {
    const int d = HScrDly->value();
    DlyLbl->setText(QStringLiteral("D:%1ms").arg(d, 4, 10, QLatin1Char('0')));
    Timer->setInterval(d);
}

void FrontPanel::Swp_Click() {
    Sweeping = !Sweeping;
    if (Sweeping) {
        Timer->start();
        Swp->setText(QStringLiteral("&S T P"));
        Typ->setEnabled(false);
    } else {
        Timer->stop();
        Swp->setText(QStringLiteral("&R U N"));
        Typ->setEnabled(true);
        SendFrq();
        SendLvl();
    }
}

void FrontPanel::StopSweep() {
    Sweeping = true;
    Swp_Click();
}

void FrontPanel::Timer_Timer() {
    const QListWidgetItem* item = Off->currentItem();
    if (item == nullptr) return;
    const std::int32_t step = item->data(Qt::UserRole).toInt();
    std::array<double, 2>& model = SweepFrq ? FrqValue : LvlValue;
    digit::clsDigit& field = SweepFrq ? *FrqDigit : *LvlDigit;
    const double top = SweepFrq ? HScrFrq[0]->maximum() * 10000.0 : HScrLvl->maximum();
    model[0] += step;
    const double limit = model[1] + static_cast<std::int32_t>(HScrExc->value() * step);
    const bool wrapped = model[0] > top || model[0] > limit;
    if (wrapped) model[0] = model[1];
    // A dead bus costs one time-out per try: after a failed open or write the sweep tries again
    // at most every 3 s, and the ticks in between write nothing, so nothing queues up behind
    // the window.
    const bool holdOff = !link_.DeviceOpen() && link_.failedWithin(std::chrono::seconds(3));
    if (Online && !holdOff) {
        link_.beginAction();
        send(wrapped ? (SweepFrq ? FrqCommand(model[0]) : LvlCommand(model[0]))
                     : (SweepFrq ? FrqStepUpCommand : LvlStepUpCommand));
    }
    field.value(model[0]);
}

// ---------------------------------------------------------------------------------------------
// On line, defaults, configuration

void FrontPanel::setOnnLook(const QString& caption) {
    Onn->setText(caption);
    showLinkState();
}

// Green while on line and the last write reached the generator, amber while on line but the
// last open or write failed, red off line; the tooltip says why the bus failed. Restyled only
// when that changes, not at every sweep tick.
void FrontPanel::showLinkState() {
    const std::string failure = link_.failureText();
    const digit::Rgb& colour = !Online ? Red : failure.empty() ? Green : Amber;
    // Asked after every command: nothing is composed unless the colour or the failure changed.
    if (&colour != shownColour_) {
        shownColour_ = &colour;
        Onn->setStyleSheet(QStringLiteral("QPushButton { %1 }").arg(background(colour)));
    }
    if (failure != shownFailure_) {
        shownFailure_ = failure;
        Onn->setToolTip(failure.empty() ? QStringLiteral("On / Off")
                                        : QString::fromStdString(failure));
    }
}

void FrontPanel::Onn_Click() {
    if (Online) {
        Online = false;
        setOnnLook(QStringLiteral("ON"));
        link_.CloseDevice();
        return;
    }
    try {
        if (!link_.OpenDevice()) {
            showLinkState();
            return;
        }
        Online = true;
        setOnnLook(QStringLiteral("OFF"));
        SendFrq();
        SendLvl();
        HScrAMm_Change();
        HScrFMm_Change();
        Typ_Click();
        Off_Click();
    } catch (...) {
        Online = false;
        setOnnLook(QStringLiteral("ON"));
    }
}

void FrontPanel::Raz_Click() {
    StopSweep();
    InitFrq();
    InitLvl();
    InitExc();
    // The new field object knows nothing of a box that already had the focus.
    if (QApplication::focusWidget() == Frq[2]) {
        Frq_GotFocus(2);
    } else {
        Frq[2]->QWidget::setFocus(Qt::OtherFocusReason);
    }
    link_.CloseDevice();
    link_.OpenDevice();
    showLinkState();
}

void FrontPanel::Cnf_Click() {
    link_.CloseDevice();
    conf_->Brd(address_.Board);
    conf_->pad(address_.PAd);
    conf_->sad(address_.SAd);
    const bool accepted = conf_->showModal();
    if (closed_) return;  // the window closed under the dialog (a signal): touch nothing more
    Raz_Click();
    // A dialog closed without "&OK" hands back the values of the last "&OK" (0, 0, 0 before
    // the first), which would silently replace the address the user has: keep it instead.
    if (accepted) {
        address_.Board = conf_->Brd();
        address_.PAd = conf_->pad();
        address_.SAd = conf_->sad();
    }
    link_.OpenDevice();
    showLinkState();
}

}  // namespace zelmor::panel
