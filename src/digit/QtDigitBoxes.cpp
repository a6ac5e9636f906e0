// SPDX-License-Identifier: MIT
#include "zelmor/digit/QtDigitBoxes.h"

#include <QColor>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QValidator>
#include <QString>
#include <QStyle>
#include <QWidget>
#include <Qt>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace zelmor::digit {

namespace {

// QLineEdit draws its caret PM_TextCursorWidth pixels wide; zero draws none at all.
class CaretlessStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TextCursorWidth) return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// One object of T for every box, owned by the application (and made again under a new one).
template <class T>
T* sharedByApplication() {
    static QPointer<T> shared;
    if (shared == nullptr) {
        shared = new T;
        shared->setParent(QCoreApplication::instance());
    }
    return shared;
}

void hideCaretOf(QWidget* widget) {
    // Also after a style or style sheet change that brought the caret back. Our own style draws
    // no caret, so it needs no asking (the question goes through three styles at every key).
    if (dynamic_cast<const CaretlessStyle*>(widget->style()) != nullptr) return;
    if (widget->style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, widget) == 0) return;
    // One for all boxes: a style each made start-up build and polish a style per box. QWidget
    // keeps only a guarded pointer to its style.
    widget->setStyle(sharedByApplication<CaretlessStyle>());
}

// Empty or one digit.
class OneDigit final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*position*/) const override {
        const bool ok = input.isEmpty() || (input.size() == 1 && input.front() >= u'0' &&
                                            input.front() <= u'9');
        return ok ? Acceptable : Invalid;
    }
};

QColor toColor(Rgb c) {
    return QColor(std::clamp(c.r, 0, 255), std::clamp(c.g, 0, 255), std::clamp(c.b, 0, 255));
}

// Writes waiting for the key in hand to be handled, in the order given: a text, or a highlight.
struct Pending {
    QtDigitBox* box;
    bool isText;
    QString text;
    int start = 0, length = 0;
};
std::vector<Pending> pending;
int keysInHand = 0;  // nested when a key's handling runs an event loop (a message box)

// What a text write does: it keeps the highlight where it is, as the field re-selects only at
// key-down, so a row rewritten afterwards (a slider's echo, a sweep tick) must not drop the
// selected digit that the next typed digit overwrites.
void write(QtDigitBox* box, const QString& text) {
    const bool highlighted = box->hasSelectedText();
    box->QLineEdit::setText(text);
    if (highlighted) box->QLineEdit::setSelection(0, static_cast<int>(text.size()));
}

void flushPending() {
    std::vector<Pending> writes;
    writes.swap(pending);
    for (const Pending& w : writes) {
        if (w.isText) {
            write(w.box, w.text);
        } else {
            w.box->QLineEdit::setSelection(w.start, w.length);
        }
    }
}

// QLineEdit's own "no limit".
constexpr int kNoLimit = 32767;

// The character a key types, if it types a printable one.
std::optional<char16_t> printable(const QKeyEvent& event) {
    const QString text = event.text();
    if (text.size() != 1 || !text.front().isPrint()) return std::nullopt;
    return text.front().unicode();
}

bool isFieldKey(const QKeyEvent& event) {
    if ((event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return false;
    }
    const int key = event.key();
    switch (key) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return true;
        default:
            return key >= Qt::Key_0 && key <= Qt::Key_9;
    }
}

}  // namespace

std::int16_t keyDownCode(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return static_cast<std::int16_t>((keypad ? 96 : 48) + (key - Qt::Key_0));
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<std::int16_t>(65 + key - Qt::Key_A);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return static_cast<std::int16_t>(112 + key - Qt::Key_F1);
    }
    // The window toolkit's virtual-key numbering, which the field's handlers speak.
    switch (key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Pause:
            return 19;
        case Qt::Key_CapsLock:
            return 20;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Print:
            return 44;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        case Qt::Key_Menu:
            return 93;
        case Qt::Key_Asterisk:
            return keypad ? 106 : 0;
        case Qt::Key_Plus:
            return keypad ? 107 : 187;
        case Qt::Key_Minus:
            return keypad ? 109 : 189;
        case Qt::Key_Period:
            return keypad ? 110 : 190;
        case Qt::Key_Slash:
            return keypad ? 111 : 191;
        case Qt::Key_NumLock:
            return 144;
        case Qt::Key_ScrollLock:
            return 145;
        case Qt::Key_Semicolon:
            return 186;
        case Qt::Key_Equal:
            return 187;
        case Qt::Key_Comma:
            return 188;
        case Qt::Key_QuoteLeft:
            return 192;
        case Qt::Key_BracketLeft:
            return 219;
        case Qt::Key_Backslash:
            return 220;
        case Qt::Key_BracketRight:
            return 221;
        case Qt::Key_Apostrophe:
            return 222;
        default:
            return 0;
    }
}

std::int16_t charCode(const QKeyEvent& event) {
    const int key = event.key();
    switch (key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Escape:
            return 27;
        default:
            break;
    }
    // By key, so the keypad and layouts that shift their digits agree.
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<std::int16_t>('0' + key - Qt::Key_0);
    const std::optional<char16_t> c = printable(event);
    if (!c || *c > 0x7fff) return 0;
    return static_cast<std::int16_t>(*c);
}

QtDigitBox::QtDigitBox(int index, QWidget* parent) : QLineEdit(parent), index_(index) {
    hideCaretOf(this);
    QLineEdit::setMaxLength(1);
    setAlignment(Qt::AlignCenter);
    // Typing a digit is the only edit a user makes in a box. QLineEdit asks at every text
    // write, so one plain test for all boxes rather than a pattern each.
    setValidator(sharedByApplication<OneDigit>());
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setForeground(Rgb{255, 255, 255});
    setBackground(Rgb{0, 0, 0});
    // Opaque: a box that changes repaints alone, not the framed group box beneath it as well,
    // which cost most of a sweep tick.
    setAutoFillBackground(true);
}

QtDigitBox::~QtDigitBox() {
    std::erase_if(pending, [this](const Pending& w) { return w.box == this; });
}

std::string QtDigitBox::text() const { return text_; }

// An unchanged text is not written at all.
void QtDigitBox::setText(const std::string& text) {
    if (text == text_) return;
    QString t = QString::fromStdString(text);
    text_ = text;
    if (t.size() > maxLength()) {  // cut as QLineEdit will cut it
        t.truncate(maxLength());
        text_ = t.toStdString();
    }
    if (keysInHand == 0) {
        write(this, t);
        return;
    }
    pending.push_back({this, true, t});
    update();  // an event loop run by the key's handling paints the new text
}

void QtDigitBox::setMaxLength(int length) {
    flushPending();
    QLineEdit::setMaxLength(length > 0 ? length : kNoLimit);
    text_ = QLineEdit::text().toStdString();  // a shorter limit cuts the text
}

// The selected digit is drawn inverted: its colours are the box's, swapped.
void QtDigitBox::setBackground(Rgb colour) {
    flushPending();
    QPalette p = palette();
    p.setColor(QPalette::Base, toColor(colour));
    p.setColor(QPalette::Window, toColor(colour));
    p.setColor(QPalette::HighlightedText, toColor(colour));
    setPalette(p);
}

void QtDigitBox::setForeground(Rgb colour) {
    flushPending();
    QPalette p = palette();
    p.setColor(QPalette::Text, toColor(colour));
    p.setColor(QPalette::Highlight, toColor(colour));
    setPalette(p);
}

bool QtDigitBox::setFocus() {
    flushPending();
    QWidget::setFocus(Qt::OtherFocusReason);
    return hasFocus();
}

void QtDigitBox::setSelection(int start, int length) {
    if (keysInHand == 0) {
        QLineEdit::setSelection(start, length);
        return;
    }
    pending.push_back({this, false, QString(), start, length});
}

void QtDigitBox::hideCaret() {
    if (dynamic_cast<const CaretlessStyle*>(style()) != nullptr) return;
    flushPending();
    hideCaretOf(this);
}

bool QtDigitBox::event(QEvent* event) {
    flushPending();
    if (event->type() == QEvent::ShortcutOverride && !event->isAccepted()) {
        // The field's own keys, unmodified, are never a shortcut: taken here, the shortcut
        // map is not searched before every step.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isFieldKey(*key)) {
            event->accept();
            return true;
        }
        // QLineEdit's answer hangs on the key, its modifiers and the read-only flag alone, yet
        // it looks some twenty standard key sequences up in the platform theme at every key:
        // it is asked once for each key and remembered.
        const std::tuple<int, int, bool> asked{key->key(), key->modifiers().toInt(), isReadOnly()};
        static std::map<std::tuple<int, int, bool>, bool> answers;
        if (const auto known = answers.find(asked); known != answers.end()) {
            if (known->second) event->accept();
            return QWidget::event(event);
        }
        const bool handled = QLineEdit::event(event);
        answers.emplace(asked, event->isAccepted());
        return handled;
    }
    return QLineEdit::event(event);
}

void QtDigitBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (onFocusGained) onFocusGained();
}

// Only the box with the keyboard focus shows its digit highlighted. QLineEdit keeps the
// selection when the focus moves for an activation reason, which left two digits inverted;
// a window that merely lost activation keeps its highlight for when it comes back.
void QtDigitBox::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason && isActiveWindow()) deselect();
}

void QtDigitBox::keyPressEvent(QKeyEvent* event) {
    ++keysInHand;
    struct Done {
        ~Done() {
            if (--keysInHand == 0) flushPending();
        }
    } done;
    handleKey(event);
}

void QtDigitBox::handleKey(QKeyEvent* event) {
    const auto consumed = [event](const std::function<void(std::int16_t&)>& handler,
                                  std::int16_t& code) {
        if (code == 0 || !handler) return false;
        handler(code);
        if (code != 0) return false;
        event->accept();
        return true;
    };

    std::int16_t keyCode = keyDownCode(*event);
    std::int16_t keyAscii = charCode(*event);
    if (consumed(onKeyDown, keyCode)) {
        // The window previews the character of every key (Escape belongs to a pending direct
        // entry wherever it is typed); the box itself never sees a key its field consumed.
        if (charPreview && keyAscii != 0) charPreview(keyAscii);
        return;
    }
    if (consumed(charPreview, keyAscii) || consumed(onKeyPress, keyAscii)) return;

    // A digit the handlers left is typed over the box's one character, whatever the selection
    // (the handlers may have moved the focus on already). With Ctrl or Alt it is the plain
    // digit, as modifiers are not consulted anywhere else in a field.
    if (keyAscii >= '0' && keyAscii <= '9') {
        setText(std::string(1, static_cast<char>(keyAscii)));
        event->accept();
        return;
    }
    // Paste, cut, undo, Backspace and the like would edit the box behind the field's back.
    if (event->matches(QKeySequence::Copy)) {
        flushPending();
        QLineEdit::keyPressEvent(event);
    } else {
        event->ignore();
    }
}

void QtDigitBox::mousePressEvent(QMouseEvent* event) { event->accept(); }
void QtDigitBox::mouseMoveEvent(QMouseEvent* event) { event->accept(); }
void QtDigitBox::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }
void QtDigitBox::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

QtFocusHolder::QtFocusHolder(QWidget* parent) : QLineEdit(parent) {
    hideCaretOf(this);
    setFrame(false);
    resize(1, 1);  // so that any negative top hides it whole
    setFocusPolicy(Qt::ClickFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void QtFocusHolder::setTopTwips(int top) {
    const int pixels = static_cast<int>(std::lround(top * logicalDpiY() / 1440.0));
    move(x(), pixels);
}

void QtFocusHolder::setVisible(bool visible) { QLineEdit::setVisible(visible); }

void QtFocusHolder::setTabIndex(int index) {
    QWidget* top = window();
    if (top == this) return;
    // The window's focus chain, limited to what takes the focus (setTabOrder ignores the rest).
    std::vector<QWidget*> order;
    int steps = 0;
    for (QWidget* w = top->nextInFocusChain(); w != top && w != nullptr;
         w = w->nextInFocusChain()) {
        if (++steps > 100000) return;  // not a cycle through the window; leave it alone
        if (w != this && w->window() == top && w->focusPolicy() != Qt::NoFocus) order.push_back(w);
    }
    const auto at =
        static_cast<std::size_t>(std::clamp<int>(index, 0, static_cast<int>(order.size())));
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), this);
    for (std::size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void QtFocusHolder::setTabStop(bool stop) {
    setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void QtFocusHolder::setMaxLength(int length) {
    QLineEdit::setMaxLength(length > 0 ? length : kNoLimit);
}

bool QtFocusHolder::setFocus() {
    QWidget::setFocus(Qt::OtherFocusReason);
    return hasFocus();
}

void QtFocusHolder::hideCaret() { hideCaretOf(this); }

}  // namespace zelmor::digit
