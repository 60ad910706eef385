// The program's command line: which argument is the file, which are options.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct CommandLineCase
{
    const char *name;
    QStringList arguments;
    TCommandLine::TAction action;
    QString file;
    QString error;
};

class CommandLine : public ::testing::TestWithParam<CommandLineCase>
{
};

TEST_P(CommandLine, TellsOptionsFromTheFileName)
{
    const CommandLineCase &c = GetParam();
    const TCommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.Action, c.action);
    EXPECT_EQ(line.FileParameter, c.file);
    EXPECT_EQ(line.Error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLine,
    ::testing::Values(
        CommandLineCase{"Nothing", {}, TCommandLine::clOpen, {}, {}},
        CommandLineCase{"OneFile", {u"notes.vlt"_s}, TCommandLine::clOpen, u"notes.vlt"_s, {}},
        CommandLineCase{"FurtherFilesIgnored", {u"a.vlt"_s, u"b.vlt"_s}, TCommandLine::clOpen,
                        u"a.vlt"_s, {}},
        CommandLineCase{"HelpIsNoFileName", {u"--help"_s}, TCommandLine::clHelp, {}, {}},
        CommandLineCase{"ShortHelp", {u"-h"_s}, TCommandLine::clHelp, {}, {}},
        CommandLineCase{"VersionIsNoFileName", {u"--version"_s}, TCommandLine::clVersion, {}, {}},
        CommandLineCase{"HelpAfterAFile", {u"a.vlt"_s, u"--help"_s}, TCommandLine::clHelp,
                        u"a.vlt"_s, {}},
        CommandLineCase{"HelpBeforeVersion", {u"--version"_s, u"-h"_s}, TCommandLine::clHelp, {},
                        {}},
        CommandLineCase{"VersionBeforeAnUnknownOption", {u"--frobnicate"_s, u"-v"_s},
                        TCommandLine::clVersion, {}, u"--frobnicate"_s},
        CommandLineCase{"UnknownOption", {u"--frobnicate"_s, u"a.vlt"_s}, TCommandLine::clError,
                        u"a.vlt"_s, u"--frobnicate"_s},
        CommandLineCase{"AfterDoubleDashEverythingIsAFile", {u"--"_s, u"--help"_s},
                        TCommandLine::clOpen, u"--help"_s, {}},
        CommandLineCase{"APathIsAFile", {u"./--help"_s}, TCommandLine::clOpen, u"./--help"_s, {}},
        CommandLineCase{"ALoneDashIsAFile", {u"-"_s}, TCommandLine::clOpen, u"-"_s, {}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
