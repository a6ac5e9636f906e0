// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "zelmor/link/GpibBinding.h"
#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/Conf.h"
#include "zelmor/panel/Twips.h"

namespace {

using zelmor::panel::MessageIcon;
using zelmor::panel::twipsToPixels;
using Values = std::array<int, 3>;
using Calls = std::vector<std::string>;

struct Shown {
    MessageIcon icon;
    QString title, text;
    bool operator==(const Shown&) const = default;
};
void PrintTo(const Shown& s, std::ostream* os) {
    *os << s.title.toStdString() << ": " << s.text.toStdString();
}
const Shown kTestOk{MessageIcon::Information, "GPIB Test", "Test is OK"};
const Shown kUnable{MessageIcon::Critical, "GPIB Test", "Unable to open device"};

class ConfTest : public ::testing::Test {
protected:
    ConfTest() { owner_.setGeometry(100, 100, 400, 300), owner_.show(); }

    QLineEdit* field(int i) {
        return conf_.window()->findChild<QLineEdit*>(QString("vVal%1").arg(i));
    }
    void type(int i, const QString& text) {  // replaces the text, as a user would
        QTest::keyClick(field(i), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field(i), Qt::Key_Backspace);
        QTest::keyClicks(field(i), text);
    }
    void fill(const QString& b, const QString& p, const QString& s) {
        type(0, b), type(1, p), type(2, s);
    }
    void click(const char* name) {
        QTest::mouseClick(conf_.window()->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    // Runs showModal() with `steps` inside its loop; a dialog the steps leave open is closed.
    void modal(const std::function<void()>& steps) {
        QTimer::singleShot(0, &owner_, [&] {
            steps();
            if (conf_.window() != nullptr) conf_.window()->reject();
        });
        conf_.showModal();
    }
    Values stored() const { return {conf_.Brd(), conf_.pad(), conf_.sad()}; }
    bool open() { return conf_.window() != nullptr && conf_.window()->isVisible(); }

    QWidget owner_;
    zelmor::link::SimGenerator sim_;  // PAD 7, no SAD, on board 0
    zelmor::link::GpibBinding binding_{sim_};
    zelmor::link::GpibBinding* bound_ = &binding_;
    std::vector<Shown> shown_;
    zelmor::panel::Conf conf_{&owner_, [this] { return bound_; },
                              [this](MessageIcon i, const QString& t, const QString& x) {
                                  shown_.push_back({i, t, x});
                              }};
};

TEST_F(ConfTest, OkReadsLeadingNumberRoundedHalvesToEven) {
    const std::pair<QString, int> cases[] = {
        {"  7", 7}, {"12abc", 12}, {"abc", 0},  {"2.5", 2},           {"3.5", 4},
        {"", 0},    {"-0.5", 0},   {"- 4", -4}, {"-32768.5", -32768}, {"32767", 32767}};
    for (const auto& [text, want] : cases) {
        SCOPED_TRACE(text.toStdString());
        modal([&] { fill(text, text, text), click("OK"); });
        EXPECT_EQ(stored(), (Values{want, want, want}));
    }
    EXPECT_TRUE(shown_.empty());
}

TEST_F(ConfTest, TestLeavesStoredValuesAndDialogAlone) {
    modal([&] { fill("1", "2", "96"), click("OK"); });
    bool stayedOpen = false;
    modal([&] {
        fill("0", "7", "0"), click("Test");
        stayedOpen = open();
        QTest::keyClick(conf_.window(), Qt::Key_Escape);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(stored(), (Values{1, 2, 96}));
    EXPECT_EQ(shown_, std::vector{kTestOk});
    EXPECT_EQ(sim_.calls(), (Calls{"ibdev 0 7 0 12 1 0", "ibwrt 1 \"XX\"", "ibonl 1 0"}));
    EXPECT_EQ(sim_.descriptorsOnLine(), 0);
}

TEST_F(ConfTest, WritingLoadsTheWindowAndClosingKeepsStoredValues) {
    conf_.pad(31), conf_.sad(-5);
    QPointer<QDialog> first = conf_.window();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), "Configuration");
    EXPECT_EQ(field(0)->selectedText(), "0");  // the stored 0, first character selected
    EXPECT_EQ(field(1)->text() + field(2)->text(), "31-5");
    modal([&] { first->close(); });
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(stored(), (Values{0, 0, 0}));
    QString reloaded;
    modal([&] { reloaded = field(1)->text(); });
    EXPECT_EQ(reloaded, "0");
    EXPECT_TRUE(sim_.calls().empty());
}

TEST_F(ConfTest, TestReportsEachOutcomeAndNeverLeavesADescriptor) {
    struct Row {
        const char *b, *p, *s;
        bool listening, driver, ok;
    };
    const Row rows[] = {{"", "7", "", true, true, true},     {"0", "31", "0", true, true, false},
                        {"1", "7", "0", true, true, false},  {"0", "5", "0", true, true, false},
                        {"0", "7", "96", true, true, false}, {"0", "7", "0", false, true, false},
                        {"0", "7", "0", true, false, false}};  // the last: no driver at all
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.b) + "/" + r.p + "/" + r.s);
        sim_.setListening(r.listening);
        bound_ = r.driver ? &binding_ : nullptr;
        shown_.clear();
        modal([&] { fill(r.b, r.p, r.s), click("Test"); });
        EXPECT_EQ(shown_, std::vector{r.ok ? kTestOk : kUnable});
        EXPECT_EQ(sim_.descriptorsOnLine(), 0);  // released after a failed probe too
    }
    EXPECT_EQ(sim_.calls()[0], "ibdev 0 7 0 12 1 0");   // empty fields read 0
    modal([&] { fill("0", "31", "0"), click("OK"); });  // accepted all the same
    EXPECT_EQ(stored(), (Values{0, 31, 0}));
}

TEST_F(ConfTest, OutOfRangeFieldIsNamedFocusedAndChangesNothing) {
    const std::array<QString, 3> names = {"Board", "PAD", "SAD"};
    const std::pair<int, QString> rows[] = {
        {0, "40000"}, {1, "-32769"}, {2, "32767.5"}, {1, QString(400, '9')}};
    for (const char* button : {"OK", "Test"}) {
        for (const auto& [i, text] : rows) {
            SCOPED_TRACE(std::string(button) + " " + std::to_string(i));
            shown_.clear();
            bool stayedOpen = false, focused = false;
            modal([&] {
                fill("1", "1", "1"), type(i, text), click(button);
                stayedOpen = open(), focused = conf_.window()->focusWidget() == field(i);
            });
            EXPECT_TRUE(stayedOpen && focused);
            ASSERT_EQ(shown_.size(), 1u);
            EXPECT_EQ(shown_[0].icon, MessageIcon::Critical);
            EXPECT_EQ(shown_[0].title, QString(button) == "OK" ? "Configuration" : "GPIB Test");
            EXPECT_TRUE(shown_[0].text.startsWith(names[i] + " "));
            EXPECT_TRUE(shown_[0].text.contains("-32768 to 32767"));
            EXPECT_EQ(stored(), (Values{0, 0, 0}));
        }
    }
    EXPECT_TRUE(sim_.calls().empty());
}

TEST_F(ConfTest, PlacedBelowOrAboveOwnerAndNeverAboveTheScreen) {
    const QRect avail = owner_.screen()->availableGeometry();
    const double dpi = zelmor::panel::logicalDpi(&owner_);
    const int gap = twipsToPixels(20, dpi);
    enum Where { Below, Above, Top };
    const std::pair<QRect, Where> rows[] = {{{100, 100, 400, 300}, Below},
                                            {{100, avail.bottom() - 320, 400, 300}, Above},
                                            {{100, 40, 400, avail.height() - 60}, Top}};
    for (const auto& [geometry, where] : rows) {
        owner_.setGeometry(geometry);
        QRect o, d;
        QSize client;
        modal([&] {
            o = owner_.frameGeometry(), d = conf_.window()->frameGeometry();
            client = conf_.window()->size();
        });
        const int want[] = {o.bottom() + 1 + gap, o.top() - d.height() - gap, avail.top()};
        EXPECT_EQ(d.top(), want[where]) << where;
        EXPECT_EQ(d.left(), o.left() + twipsToPixels(100, dpi));
        EXPECT_EQ(client, QSize(twipsToPixels(1590, dpi), twipsToPixels(1830, dpi)));
    }
}

TEST_F(ConfTest, TabOrderAndAccessKeys) {
    std::vector<QString> order;
    modal([&] {
        QWidget* w = field(0);
        for (int n = 0; n < 5; ++n, w = w->nextInFocusChain()) {
            while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
            order.push_back(w->objectName());
        }
        ASSERT_TRUE(QTest::qWaitForWindowActive(conf_.window()));
        fill("4", "7", "0");
        // Access keys click with an animation: wait for its end.
        QTest::keyClick(field(2), Qt::Key_T, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !shown_.empty(); }));
        QTest::keyClick(field(2), Qt::Key_O, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !open(); }));
    });
    EXPECT_EQ(order, (std::vector<QString>{"vVal0", "vVal1", "vVal2", "Test", "OK"}));
    EXPECT_EQ(shown_, std::vector{kUnable});  // nothing on board 4
    EXPECT_EQ(stored(), (Values{4, 7, 0}));
}

TEST_F(ConfTest, WindowShownWithoutModalLoopIsDestroyedOnOkAndWithConf) {
    conf_.sad(96);
    QPointer<QDialog> w = conf_.window();
    w->show();
    click("OK");
    EXPECT_EQ(conf_.window(), nullptr);
    EXPECT_EQ(stored(), (Values{0, 0, 96}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    {
        zelmor::panel::Conf other(&owner_, nullptr, nullptr);
        other.Brd(1);
        w = other.window();
    }
    EXPECT_TRUE(w.isNull());
}

TEST(MessageBoxFunction, OkOnlyBoxWithTheGivenIconAndTitle) {
    QWidget parent;
    const std::pair<MessageIcon, QMessageBox::Icon> icons[] = {
        {MessageIcon::None, QMessageBox::NoIcon},
        {MessageIcon::Information, QMessageBox::Information},
        {MessageIcon::Critical, QMessageBox::Critical}};
    for (const auto& [icon, qtIcon] : icons) {
        QString seen;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr || !box->isVisible()) continue;
                seen = QString("%1|%2|%3|%4").arg(box->icon()).arg(box->windowTitle(), box->text());
                seen = seen.arg(int(box->standardButtons()));
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            }
        });
        zelmor::panel::messageBoxFunction (&parent)(icon, "GPIB Test", "Test is OK");
        EXPECT_EQ(seen,
                  QString("%1|GPIB Test|Test is OK|%2").arg(qtIcon).arg(int(QMessageBox::Ok)));
    }
}

}  // namespace
