#include "TempFiles.h"
#include "settings/ShellTarget.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

class ShellTargetFiles : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString write(const QString &name, const QByteArray &content, QFile::Permissions extra = {})
    {
        return WriteTestFileWithPermissions(dir.filePath(name), content, extra);
    }

    QTemporaryDir dir;
};

// A program is a program whatever its name says, and a script whatever its permissions.
TEST_F(ShellTargetFiles, ProgramsScriptsAndDesktopEntriesAreRunnableByNameOrContent)
{
    QFile program(u"/bin/true"_s);
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QString elf = write(u"readme.txt"_s, program.readAll());
    EXPECT_TRUE(IsRunnableFile(elf));
    EXPECT_TRUE(IsRunnableFile(write(u"notes"_s, "#!/bin/sh\necho hi\n")));
    EXPECT_TRUE(IsRunnableFile(write(u"tool.py"_s, "print(1)\n")));
    EXPECT_TRUE(IsRunnableFile(write(u"App.DESKTOP"_s, "[Desktop Entry]\n")));
    EXPECT_TRUE(IsRunnableFile(write(u"marked.txt"_s, "text\n", QFile::ExeOther)));
    EXPECT_FALSE(IsRunnableFile(write(u"letter.txt"_s, "Dear reader\n")));
    EXPECT_FALSE(IsRunnableFile(write(u"page.html"_s, "<html></html>\n")));
    EXPECT_FALSE(IsRunnableFile(dir.path()));
}

TEST_F(ShellTargetFiles, FilesAndFoldersArePlannedByWhatTheyAre)
{
    const QString letter = write(u"letter.txt"_s, "Dear reader\n");
    TOpenPlan plan = PlanOpen(letter);
    EXPECT_EQ(plan.Action, TOpenAction::Open);
    EXPECT_EQ(plan.Url, QUrl::fromLocalFile(letter));
    EXPECT_EQ(PlanOpen(u"file://localhost"_s + letter).Url, QUrl::fromLocalFile(letter));

    plan = PlanOpen(QUrl::fromLocalFile(dir.path()).toString());
    EXPECT_EQ(plan.Action, TOpenAction::Open);
    EXPECT_EQ(plan.Url, QUrl::fromLocalFile(dir.path()));

    const QString script = write(u"run.sh"_s, "#!/bin/sh\n", QFile::ExeOwner);
    plan = PlanOpen(script);
    EXPECT_EQ(plan.Action, TOpenAction::ShowInFolder);
    EXPECT_EQ(plan.Url, QUrl::fromLocalFile(dir.path()));
    EXPECT_EQ(plan.Shown, script);

    EXPECT_EQ(PlanOpen(dir.filePath(u"missing.txt"_s)).Action, TOpenAction::FileNotFound);
    EXPECT_EQ(PlanOpen(dir.filePath(u"no/such/x.txt"_s)).Action, TOpenAction::FolderNotFound);
    EXPECT_EQ(PlanOpen(u"file://elsewhere/etc/hostname"_s).Action, TOpenAction::Invalid);
}

struct AddressCase
{
    const char *name;
    QString target;
    TOpenAction action;
    bool browser; // may start a browser for a new window
};

void PrintTo(const AddressCase &c, std::ostream *os)
{
    *os << c.name;
}

class ShellTargetAddresses : public testing::TestWithParam<AddressCase>
{
};

TEST_P(ShellTargetAddresses, OpenAskOrRefuse)
{
    const AddressCase &c = GetParam();
    const TOpenPlan plan = PlanOpen(c.target);
    EXPECT_EQ(plan.Action, c.action);
    if (c.action == TOpenAction::Open || c.action == TOpenAction::AskScheme) {
        EXPECT_EQ(plan.Url, QUrl(c.target));
        EXPECT_EQ(QUrl(plan.Shown), QUrl(c.target));
    }
    const QStringList command = BrowserCommand(u"/usr/bin/browser"_s, QUrl(c.target));
    EXPECT_EQ(BrowserAddress(c.target).isValid(), c.browser);
    if (c.browser) {
        EXPECT_EQ(command,
            QStringList({ u"/usr/bin/browser"_s, QUrl(c.target).toString(QUrl::FullyEncoded) }));
    } else {
        EXPECT_TRUE(command.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, ShellTargetAddresses,
    testing::Values(AddressCase { "Http", u"http://example.org/a b"_s, TOpenAction::Open, true },
        AddressCase { "HttpsUpperCase", u"HTTPS://Example.org"_s, TOpenAction::Open, true },
        AddressCase { "Ftp", u"ftp://ftp.gnu.org/gnu/"_s, TOpenAction::Open, true },
        AddressCase { "Mail", u"mailto:user@example.org"_s, TOpenAction::Open, false },
        AddressCase { "OtherSchemeAsks", u"evilproto://run-anything?http://x"_s,
            TOpenAction::AskScheme, false },
        AddressCase {
            "SchemeWithoutSlashesAsks", u"javascript:alert(1)"_s, TOpenAction::AskScheme, false },
        AddressCase { "WebWithoutHost", u"http:///etc/passwd"_s, TOpenAction::Invalid, false },
        AddressCase { "EmptyMail", u"mailto:"_s, TOpenAction::Invalid, false },
        AddressCase { "OptionIsNoAddress", u"--gpu-launcher=/p.sh#http://x"_s,
            TOpenAction::FolderNotFound, false }),
    [](const testing::TestParamInfo<AddressCase> &info) { return std::string(info.param.name); });

} // namespace
