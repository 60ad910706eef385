#pragma once

// Outside programs that tests start. A missing one fails the test at once with what
// to do about it, instead of as a time-out in some later assertion. Every program
// named here must come from a package that scripts/setup installs; the check
// scripts/check-programs makes sure of that.

#include <QStandardPaths>
#include <QString>

#include <gtest/gtest.h>

inline testing::AssertionResult Installed(const QString &program)
{
    if (!QStandardPaths::findExecutable(program).isEmpty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
        << program.toStdString() << " is not installed; scripts/setup installs it";
}

// The program's path; a test failure and an empty path when it is missing.
inline QString RequireProgram(const QString &program)
{
    EXPECT_TRUE(Installed(program));
    return QStandardPaths::findExecutable(program);
}
