// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <clocale>

#include "zelmor/panel/Commands.h"

namespace zelmor::panel {
namespace {

struct Case {
    double value;
    const char* command;
};

TEST(Commands, Frequency) {
    for (const Case& c : {Case{1000000, "FR100MZ"}, Case{1000, "FR.1MZ"}, Case{9900000, "FR990MZ"},
                          Case{1234567, "FR123.4567MZ"}, Case{15000, "FR1.5MZ"},
                          Case{5000, "FR.5MZ"}, Case{1000010, "FR100.001MZ"}}) {
        EXPECT_EQ(FrqCommand(c.value), c.command);
    }
}

TEST(Commands, Level) {
    for (const Case& c : {Case{-1270, "AP-127DM"}, Case{130, "AP13DM"}, Case{0, "AP0DM"},
                          Case{-5, "AP-.5DM"}, Case{5, "AP.5DM"}, Case{-1234, "AP-123.4DM"},
                          Case{-100, "AP-10DM"}}) {
        EXPECT_EQ(LvlCommand(c.value), c.command);
    }
}

TEST(Commands, ModulationAndIncrements) {
    EXPECT_EQ(AmCommand(0, 30), "S2AM30PC");
    EXPECT_EQ(AmCommand(1, 30), "S3AM30PC");
    EXPECT_EQ(AmCommand(0, 5), "S2AM5PC");
    EXPECT_EQ(FmCommand(0, 10), "S2FM10KZ");
    EXPECT_EQ(FmCommand(1, 99), "S3FM99KZ");
    EXPECT_EQ(FrqIncrementCommand(1), "FRIS100HZ");
    EXPECT_EQ(FrqIncrementCommand(10), "FRIS1000HZ");
    EXPECT_EQ(FrqIncrementCommand(10000), "FRIS1000000HZ");
    EXPECT_EQ(LvlIncrementCommand(1), "APIS0.1DM");
    EXPECT_EQ(LvlIncrementCommand(10), "APIS1DM");
    EXPECT_EQ(LvlIncrementCommand(30), "APIS3DM");
}

TEST(Commands, DecimalPointWhateverTheLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old != nullptr ? old : "C";
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "C.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr &&
            std::localeconv()->decimal_point[0] == ',') {
            switched = true;
            break;
        }
    }
    ASSERT_TRUE(switched) << "a locale with a decimal comma (package locales-all) is needed";
    EXPECT_EQ(FrqCommand(1234567), "FR123.4567MZ");
    EXPECT_EQ(LvlIncrementCommand(1), "APIS0.1DM");
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace zelmor::panel
