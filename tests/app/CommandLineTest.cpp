// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QStringDecoder>

#include "zelmor/app/CommandLine.h"

namespace zelmor::app {
namespace {

using Action = CommandLine::Action;

struct LineCase {
    const char* text;
    Action action;
    const char* instance;
    const char* key;
};

class CommandLineCases : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLineCases, ParsesAsTheUserMeantIt) {
    const LineCase& c = GetParam();
    const CommandLine line = parseCommandLine(argumentText(c.text));
    EXPECT_EQ(line.action, c.action) << c.text;
    if (c.action != Action::Usage) {
        // fromUtf8 would drop a leading byte order mark.
        const auto utf8 = [](const char* s) -> QString {
            return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(s);
        };
        EXPECT_EQ(line.instanceName, utf8(c.instance)) << c.text;
        EXPECT_EQ(line.AppKey, utf8(c.key)) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineCases,
    ::testing::Values(LineCase{"", Action::Start, "", "Zelmor"},
                      LineCase{"   ", Action::Start, "", "Zelmor"},
                      LineCase{"2", Action::Start, "2", "Zelmor - 2"},
                      LineCase{"  lab gen  ", Action::Start, "lab gen", "Zelmor - lab gen"},
                      LineCase{"-x", Action::Start, "-x", "Zelmor - -x"},
                      LineCase{"-CLEAN", Action::Start, "-CLEAN", "Zelmor - -CLEAN"},
                      LineCase{"2 -clean", Action::Clean, "2", "Zelmor - 2"},
                      LineCase{"-clean", Action::Clean, "", "Zelmor"},
                      LineCase{"a-clean b", Action::Clean, "a       b", "Zelmor - a       b"},
                      LineCase{"-clean -clean", Action::Usage, "", ""},
                      LineCase{"-clean -x", Action::Usage, "", ""},
                      LineCase{"-clean2-", Action::Usage, "", ""},
                      LineCase{"a -? b", Action::Usage, "", ""},
                      LineCase{"-?", Action::Usage, "", ""},
                      LineCase{"Zürich/../x", Action::Start, "Zürich/../x", "Zelmor - Zürich/../x"},
                      // Bytes that do not decode become "\\xHH", so names that differ in them
                      // stay apart; valid text keeps its key, even "\\x80" typed as such.
                      LineCase{"\x80", Action::Start, "\\x80", "Zelmor - \\x80"},
                      LineCase{"\xFF", Action::Start, "\\xFF", "Zelmor - \\xFF"},
                      LineCase{"\\x80", Action::Start, "\\x80", "Zelmor - \\x80"},
                      LineCase{"a\xC3", Action::Start, "a\\xC3", "Zelmor - a\\xC3"},
                      LineCase{"\xC3\xA9\xE9!", Action::Start, "é\\xE9!", "Zelmor - é\\xE9!"},
                      LineCase{"\xC0\xAF", Action::Start, "\\xC0\\xAF", "Zelmor - \\xC0\\xAF"},
                      // ... and so are its backslashes, else this would read as 0xB6 0x80.
                      LineCase{"\xB6\\x80", Action::Start, "\\xB6\\x5Cx80",
                               "Zelmor - \\xB6\\x5Cx80"},
                      // A byte order mark is valid text, first or not.
                      LineCase{"\xEF\xBB\xBF" "a", Action::Start, "\xEF\xBB\xBF" "a",
                               "Zelmor - \xEF\xBB\xBF" "a"},
                      LineCase{"\xEF\xBB\xBF\xFF", Action::Start, "\xEF\xBB\xBF\\xFF",
                               "Zelmor - \xEF\xBB\xBF\\xFF"},
                      LineCase{"\xF0\x9F\x8E\x9B\xF0", Action::Start, "🎛\\xF0", "Zelmor - 🎛\\xF0"}));

TEST(CommandLine, SuffixIsEmptyWithoutAName) {
    EXPECT_TRUE(parseCommandLine(QString()).InstanceSuffix.isEmpty());
    EXPECT_EQ(parseCommandLine(QStringLiteral("2")).InstanceSuffix, QStringLiteral(" - 2"));
}

TEST(CommandLine, CaptionCarriesVersionAndSuffix) {
    EXPECT_EQ(captionFor(QString()), QStringLiteral("Zelmor V1.1.1"));
    EXPECT_EQ(captionFor(QStringLiteral(" - 2")), QStringLiteral("Zelmor V1.1.1 - 2"));
}

TEST(CommandLine, MessageTextsAreExact) {
    EXPECT_EQ(usageText(), QStringLiteral("Usage:\tZelmor.exe (NUM) (-clean)\r\n     with\r\n"
                                          "\tNAME  = Instance name\r\n\t-clean = Registry clean option"));
    EXPECT_EQ(cleaningText(QStringLiteral("2")),
              QStringLiteral("Cleaning 2 registry context\r\nPlease restart application"));
    // No name: two spaces between the words.
    EXPECT_EQ(cleaningText(QString()),
              QStringLiteral("Cleaning  registry context\r\nPlease restart application"));
}

}  // namespace
}  // namespace zelmor::app
