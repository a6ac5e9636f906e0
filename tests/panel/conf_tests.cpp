// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <tuple>

#include "zelmor/link/GpibBinding.h"
#include "zelmor/link/SimGenerator.h"
#include "zelmor/panel/Conf.h"
#include "zelmor/panel/Twips.h"

namespace {

using zelmor::panel::MessageIcon;
using Values = std::array<int, 3>;
const std::string kUnable = "2 GPIB Test: Unable to open device";  // icon, title: text

class ConfTest : public ::testing::Test {
protected:
    ConfTest() { owner_.setGeometry(100, 100, 400, 300), owner_.show(); }

    QLineEdit* field(int i) {
        return conf_.window()->findChild<QLineEdit*>(QString("vVal%1").arg(i));
    }
    void submit(const std::array<QString, 3>& texts, const char* button) {  // as a user would
        for (int i = 0; i < 3; ++i) field(i)->clear(), QTest::keyClicks(field(i), texts[i]);
        QTest::mouseClick(conf_.window()->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    // Runs showModal() with `steps` inside its loop; says whether they left the dialog open.
    bool modal(const std::function<void()>& steps) {
        bool open = false;
        QTimer::singleShot(0, &owner_, [&] {
            steps();
            open = conf_.window() != nullptr && conf_.window()->isVisible();
            if (open) conf_.window()->reject();
        });
        accepted_ = conf_.showModal();
        return open;
    }
    Values stored() const { return {conf_.Brd(), conf_.pad(), conf_.sad()}; }

    bool accepted_ = false;  // what the last showModal() answered
    QWidget owner_;
    zelmor::link::SimGenerator sim_;  // PAD 7, no SAD, on board 0
    zelmor::link::GpibBinding binding_{sim_};
    zelmor::link::GpibBinding* bound_ = &binding_;
    std::vector<std::string> shown_;
    zelmor::panel::Conf conf_{
        &owner_, [this] { return bound_; },
        [this](MessageIcon i, const QString& t, const QString& x) {
            shown_.push_back(QString("%1 %2: %3").arg(int(i)).arg(t, x).toStdString());
        }};
};

// Test reports, releases any descriptor it got, and leaves the stored values and the dialog alone.
TEST_F(ConfTest, TestReportsEachOutcomeAndChangesNothingStored) {
    conf_.Brd(1), conf_.pad(2), conf_.sad(96);  // as the panel writes: into the fields only
    modal([&] { submit({field(0)->text(), field(1)->text(), field(2)->text()}, "OK"); });
    // clang-format off
    const struct { const char *b, *p, *s; bool listening, driver; std::string shown, lastCall; }
    rows[] = {
        {"", "7", "", true, true, "1 GPIB Test: Test is OK", "ibonl 1 0"},  // empty fields read 0
        {"0", "31", "0", true, true, kUnable + "\nNot a GPIB address: board 0, address 31: "
            "primary addresses are 0 to 30, secondary addresses 0 (none) or 96 to 126",
            "ibdev 0 31 0 12 1 0"},
        {"0", "7", "0", false, true, kUnable + "\nNo listener at board 0, address 7: is the "
            "generator switched on, at address 7, and the cable in?", "ibonl 1 0"},
        {"0", "7", "0", true, false, kUnable + "\nThe GPIB driver could not be loaded.", ""}};
    // clang-format on
    for (const auto& r : rows) {
        sim_.setListening(r.listening);
        bound_ = r.driver ? &binding_ : nullptr;
        shown_.clear();
        const std::size_t before = sim_.calls().size();
        EXPECT_TRUE(modal([&] { submit({r.b, r.p, r.s}, "Test"); })) << r.p;
        EXPECT_EQ(shown_, std::vector{r.shown}) << r.p;
        EXPECT_EQ(sim_.calls().size() == before ? "" : sim_.calls().back(), r.lastCall) << r.p;
        EXPECT_EQ(sim_.descriptorsOnLine(), 0) << r.p;
        EXPECT_EQ(stored(), (Values{1, 2, 96})) << r.p;
    }
    QString reopened;  // closed without OK: the stored values come back, the first selected
    modal([&] { reopened = field(0)->selectedText() + field(1)->text() + field(2)->text(); });
    EXPECT_EQ(reopened, "1296");
    // OK stores each field's leading number, an address the bus refuses too.
    EXPECT_FALSE(modal([&] { submit({"  7", "31", "- 4"}, "OK"); }));
    EXPECT_TRUE(accepted_);
    EXPECT_EQ(stored(), (Values{7, 31, -4}));
}

TEST_F(ConfTest, OutOfRangeFieldIsNamedFocusedAndChangesNothing) {
    // clang-format off
    const std::tuple<int, QString, std::string, const char*> rows[] = {
        {0, "40000", "Board", "Test"}, {1, "-32769", "PAD", "OK"}, {2, "32767.5", "SAD", "Test"},
        {1, QString(400, '9'), "PAD", "OK"}};
    // clang-format on
    for (const auto& [i, text, name, button] : rows) {
        std::array<QString, 3> texts{"1", "1", "1"};
        texts[i] = text, shown_.clear();
        QString focus;
        EXPECT_TRUE(modal([&] {
            submit(texts, button), focus = conf_.window()->focusWidget()->objectName();
        }));
        EXPECT_EQ(focus, QString("vVal%1").arg(i)) << i;
        EXPECT_TRUE(shown_.size() == 1 && shown_[0].starts_with("2 Zelmor: " + name + " ")) << i;
        EXPECT_EQ(stored(), (Values{0, 0, 0}));
    }
    // Escape and Enter in a field neither close the dialog nor start a bus test.
    EXPECT_TRUE(modal([&] {
        QTest::keyClick(field(1), Qt::Key_Escape), QTest::keyClick(field(1), Qt::Key_Return);
    }));
    EXPECT_TRUE(sim_.calls().empty());
}

TEST_F(ConfTest, PlacedBelowOrAboveOwnerAndNeverAboveTheScreen) {
    const QRect avail = owner_.screen()->availableGeometry();
    const double dpi = zelmor::panel::logicalDpi(&owner_);
    const int gap = zelmor::panel::twipsToPixels(20, dpi);
    const QRect owners[] = {{100, 100, 400, 300},
                            {100, avail.bottom() - 320, 400, 300},
                            {100, 40, 400, avail.height() - 60}};
    for (int where = 0; where < 3; ++where) {  // below, above, clamped to the screen's top
        owner_.setGeometry(owners[where]);
        QRect o, d;
        modal([&] { o = owner_.frameGeometry(), d = conf_.window()->frameGeometry(); });
        const int want[] = {o.bottom() + 1 + gap, o.top() - d.height() - gap, avail.top()};
        EXPECT_EQ(d.top(), want[where]) << where;
        EXPECT_EQ(d.left(), o.left() + zelmor::panel::twipsToPixels(100, dpi));
    }
}

}  // namespace
