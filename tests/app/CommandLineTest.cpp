// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "zelmor/app/CommandLine.h"

// The lines a user types; the fuzz target cmdline holds the whole rule, undecodable bytes too.
namespace zelmor::app {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, ParsesAsTheUserMeantIt) {
    // clang-format off
    const struct { const char* text; Action action; const char* instance; } cases[] = {
        {"   ", Action::Start, ""}, {"  lab gen  ", Action::Start, "lab gen"},
        {"-CLEAN", Action::Start, "-CLEAN"}, {"2 -clean", Action::Clean, "2"},
        {"-clean", Action::Clean, ""}, {"a-clean b", Action::Clean, "a       b"},
        {"-clean -clean", Action::Usage, ""}, {"-clean2-", Action::Usage, ""},
        {"a -? b", Action::Usage, ""}, {"Zürich/../x", Action::Start, "Zürich/../x"}};
    // clang-format on
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(argumentText(c.text));
        EXPECT_EQ(line.action, c.action) << c.text;
        if (c.action == Action::Usage) continue;
        const QString name = QString::fromUtf8(c.instance);
        EXPECT_EQ(line.instanceName, name) << c.text;
        EXPECT_EQ(line.AppKey, name.isEmpty() ? QStringLiteral("Zelmor") : "Zelmor - " + name)
            << c.text;
    }
    EXPECT_EQ(cleaningText(QString()),  // no name: two spaces between the words
              QStringLiteral("Cleaning  registry context\r\nPlease restart application"));
}

}  // namespace
}  // namespace zelmor::app
