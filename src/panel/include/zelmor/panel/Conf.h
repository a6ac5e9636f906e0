// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

class QWidget;
class QDialog;

namespace zelmor::link {
class GpibBinding;
}

namespace zelmor::panel {

// The title of the program's own message boxes.
inline constexpr char ProgramName[] = "Zelmor";

enum class MessageIcon { None, Information, Critical };
// Shows a message box with an OK button; blocks until it is dismissed.
using MessageFunction =
    std::function<void(MessageIcon icon, const QString& title, const QString& text)>;
// The default: a QMessageBox over `parent`.
MessageFunction messageBoxFunction(QWidget* parent);

// The GPIB configuration dialog. Its three stored values outlive the dialog's window: they
// start at 0 and change only on "&OK".
class Conf {
public:
    // `owner` is the main window the dialog is placed against and modal over. `binding`
    // gives the driver binding for "&Test" (nullptr when the driver cannot be loaded).
    Conf(QWidget* owner, std::function<link::GpibBinding*()> binding, MessageFunction message);
    ~Conf();
    Conf(const Conf&) = delete;
    Conf& operator=(const Conf&) = delete;

    // Writing fills the matching text field, loading the dialog first if it is not loaded.
    void Brd(std::int16_t v);
    void pad(std::int16_t v);
    void sad(std::int16_t v);
    // Reading gives the stored value, loaded or not.
    std::int16_t Brd() const { return brd_; }
    std::int16_t pad() const { return pad_; }
    std::int16_t sad() const { return sad_; }

    // Shows the dialog modally (loading it if needed) and returns when it has closed: true
    // when it was closed with "&OK".
    bool showModal();
    // The loaded dialog window, or nullptr; for tests and placement.
    QDialog* window() const;

private:
    struct Ui;
    void load();
    void unload();
    void test();
    void ok();

    QWidget* owner_;
    std::function<link::GpibBinding*()> binding_;
    MessageFunction message_;
    Ui* ui_ = nullptr;
    std::int16_t brd_ = 0;
    std::int16_t pad_ = 0;
    std::int16_t sad_ = 0;
};

}  // namespace zelmor::panel
