// SPDX-License-Identifier: MIT
#include "zelmor/panel/Conf.h"

#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "zelmor/digit/Number.h"
#include "zelmor/link/GpibBinding.h"
#include "zelmor/link/GpibErrors.h"
#include "zelmor/panel/Twips.h"

namespace zelmor::panel {

namespace {

constexpr double ClientWidth = 1590;
constexpr double ClientHeight = 1830;
constexpr double Gap = 20;          // between the owner and the dialog, vertically
constexpr double LeftOffset = 100;  // from the owner's left edge

constexpr std::int16_t TimeoutT3s = 12;
constexpr std::int16_t EoiOnLast = 1;
constexpr std::int16_t NoEos = 0;

const std::array<const char*, 3> FieldNames = {"Board", "PAD", "SAD"};

// The dialog has no Cancel button, so Escape cancels nothing: a stray Escape in a field must
// not close it and restore the panel's defaults behind the user's back.
class ConfWindow final : public QDialog {
public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }
};

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

using Fields = std::array<QLineEdit*, 3>;
using Values = std::array<std::int16_t, 3>;

// Reads the three fields; on a number that does not fit 16 bits, says which field and puts the
// focus there so the user can correct it.
std::optional<Values> readFields(const Fields& fields, const QPointer<QDialog>& dialog,
                                 const MessageFunction& message) {
    Values values{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::optional<std::int16_t> v =
            digit::ToInt16(digit::LeadingNumber(fields[i]->text().toStdString()));
        if (!v) {
            message(MessageIcon::Critical, QLatin1String(ProgramName),
                    QStringLiteral("%1 is out of range.\nEnter a whole number from -32768 to "
                                   "32767.")
                        .arg(QString::fromLatin1(FieldNames[i])));
            // The dialog may have gone with its owner while the message was up.
            if (dialog != nullptr) {
                fields[i]->setFocus();
                fields[i]->selectAll();
            }
            return std::nullopt;
        }
        values[i] = *v;
    }
    return values;
}

// Below the owner, or above it when the screen has no room below.
void placeAgainst(QDialog* dlg, const QWidget* owner) {
    const QRect ownerFrame = owner->frameGeometry();
    const QScreen* screen =
        owner->screen() != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen != nullptr ? screen->availableGeometry() : QRect();
    const int gap = twipsToPixels(Gap, logicalDpiY(owner));
    // Not yet shown, the dialog has no frame; assume a caption like the owner's.
    const int decoration = ownerFrame.height() - owner->geometry().height();
    const int dlgHeight =
        dlg->frameGeometry().height() + (dlg->frameGeometry() == dlg->geometry() ? decoration : 0);

    int top = ownerFrame.top() + ownerFrame.height() + gap;
    if (!avail.isNull() && top + dlgHeight > avail.top() + avail.height()) {
        top = ownerFrame.top() - dlgHeight - gap;
        // A caption above the screen could not be reached to move the dialog.
        top = std::max(top, avail.top());
    }
    const int left = ownerFrame.left() + twipsToPixels(LeftOffset, logicalDpiX(owner));
    dlg->move(left, top);
}

// The window that was active before a modal box is active again once the box has closed, with or
// without a window manager to hand the keyboard back.
void giveBackActivation(const QPointer<QWidget>& window) {
    if (window != nullptr && window->isVisible()) window->activateWindow();
}

}  // namespace

MessageFunction messageBoxFunction(QWidget* parent) {
    // The parent may go away before a message is shown; never hand Qt a dangling pointer.
    QPointer<QWidget> guard(parent);
    return [guard](MessageIcon icon, const QString& title, const QString& text) {
        QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, guard.data());
        const QPointer<QWidget> active = QApplication::activeWindow();
        box.exec();
        giveBackActivation(active);
    };
}

struct Conf::Ui {
    QPointer<QDialog> dialog;
    std::array<QLineEdit*, 3> vVal{};
    QPushButton* Test = nullptr;
    QPushButton* OK = nullptr;
    bool modal = false;  // inside showModal(): it unloads once exec() returns
};

Conf::Conf(QWidget* owner, std::function<link::GpibBinding*()> binding, MessageFunction message)
    : owner_(owner),
      binding_(std::move(binding)),
      message_(message ? std::move(message) : messageBoxFunction(owner)) {}

Conf::~Conf() { unload(); }

QDialog* Conf::window() const { return ui_ != nullptr ? ui_->dialog.data() : nullptr; }

void Conf::Brd(std::int16_t v) {
    load();
    ui_->vVal[0]->setText(QString::number(v));
}

void Conf::pad(std::int16_t v) {
    load();
    ui_->vVal[1]->setText(QString::number(v));
}

void Conf::sad(std::int16_t v) {
    load();
    ui_->vVal[2]->setText(QString::number(v));
}

void Conf::load() {
    if (window() != nullptr) return;
    // The window may have been destroyed with its owner; start afresh.
    delete ui_;
    ui_ = new Ui;

    auto* dlg = new ConfWindow(owner_);
    ui_->dialog = dlg;
    dlg->setWindowTitle(QStringLiteral("Configuration"));
    dlg->setFixedSize(twipsToPixels(ClientWidth, logicalDpiX(dlg)),
                      twipsToPixels(ClientHeight, logicalDpiY(dlg)));

    auto* frame = new QGroupBox(QStringLiteral("Device"), dlg);
    placeTwips(frame, 0, 0, 1575, 1335);
    const std::array<const char*, 3> captions = {"Board:", "PAD:", "SAD:"};
    const std::array<double, 3> labelWidths = {615, 495, 495};
    for (int i = 0; i < 3; ++i) {
        const double top = 240 + 360 * i;
        auto* label = new QLabel(QString::fromLatin1(captions[i]), frame);
        placeTwips(label, 120, top, labelWidths[i], 255);
        auto* field = new QLineEdit(frame);
        field->setObjectName(QStringLiteral("vVal%1").arg(i));
        placeTwips(field, 720, top, 615, 285);
        ui_->vVal[i] = field;
    }

    ui_->Test = new QPushButton(QStringLiteral("&Test"), dlg);
    ui_->Test->setObjectName(QStringLiteral("Test"));
    placeTwips(ui_->Test, 0, 1440, 735, 375);
    ui_->OK = new QPushButton(QStringLiteral("&OK"), dlg);
    ui_->OK->setObjectName(QStringLiteral("OK"));
    placeTwips(ui_->OK, 840, 1440, 735, 375);
    // Enter in a field must not fire a button: a stray Enter would start a bus test.
    ui_->Test->setAutoDefault(false);
    ui_->OK->setAutoDefault(false);

    QWidget::setTabOrder(ui_->vVal[0], ui_->vVal[1]);
    QWidget::setTabOrder(ui_->vVal[1], ui_->vVal[2]);
    QWidget::setTabOrder(ui_->vVal[2], ui_->Test);
    QWidget::setTabOrder(ui_->Test, ui_->OK);
    ui_->vVal[0]->setFocus();

    QObject::connect(ui_->Test, &QPushButton::clicked, dlg, [this] { test(); });
    QObject::connect(ui_->OK, &QPushButton::clicked, dlg, [this] { ok(); });
    QObject::connect(dlg, &QDialog::finished, dlg, [this] {
        if (ui_ == nullptr || ui_->modal) return;
        // Shown without showModal(): we are inside the dialog's own signal, so delete later.
        QDialog* d = ui_->dialog;
        delete ui_;
        ui_ = nullptr;
        if (d != nullptr) d->deleteLater();
    });

    if (owner_ != nullptr) placeAgainst(dlg, owner_);

    ui_->vVal[0]->setText(QString::number(brd_));
    ui_->vVal[1]->setText(QString::number(pad_));
    ui_->vVal[2]->setText(QString::number(sad_));
    ui_->vVal[0]->setSelection(0, 1);
}

void Conf::unload() {
    if (ui_ == nullptr) return;
    QDialog* d = ui_->dialog;
    delete ui_;
    ui_ = nullptr;
    delete d;
}

bool Conf::showModal() {
    load();
    if (ui_->modal) return false;  // already running: Qt refuses a second exec() on one dialog
    ui_->modal = true;
    const QPointer<QWidget> active = QApplication::activeWindow();
    const bool accepted = ui_->dialog->exec() == QDialog::Accepted;
    unload();
    giveBackActivation(active);
    return accepted;
}

void Conf::test() {
    const QString title = QStringLiteral("GPIB Test");
    const auto values = readFields(ui_->vVal, ui_->dialog, message_);
    if (!values) return;
    const auto [board, pad, sad] = *values;

    bool ok = false;
    QString why = QStringLiteral("The GPIB driver could not be loaded.");
    link::GpibBinding* b = binding_ ? binding_() : nullptr;
    if (b != nullptr) {
        const std::int16_t ud = b->ibdev(board, pad, sad, TimeoutT3s, EoiOnLast, NoEos);
        const bool opened = !b->err();
        if (opened) b->ibwrt(ud, "XX");
        ok = opened && !b->err();
        const link::GpibStatus failure = b->status();
        // Released whether the probe worked or not, so a test never leaks a descriptor.
        if (opened) b->ibonl(ud, 0);
        const link::FailureText text = link::describeFailure(failure.iberr32, failure.ibcntl32,
                                                             board, pad, sad, b->endpoint());
        why = QString::fromStdString(text.what + ": " + text.check);
    }
    if (ok) {
        message_(MessageIcon::Information, title, QStringLiteral("Test is OK"));
    } else {
        // The reason on a second line, in the words of the on-line button's tooltip.
        message_(MessageIcon::Critical, title, QStringLiteral("Unable to open device\n") + why);
    }
}

void Conf::ok() {
    const auto values = readFields(ui_->vVal, ui_->dialog, message_);
    if (!values) return;
    brd_ = (*values)[0];
    pad_ = (*values)[1];
    sad_ = (*values)[2];
    ui_->dialog->accept();
}

}  // namespace zelmor::panel
