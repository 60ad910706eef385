#include "QtPrinters.h"
#include "TempFiles.h"
#include "settings/UtilsGui.h"

#include "Errors.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// --- ShellOpen ----------------------------------------------------------------------

QString fakeAssociation(const QString &extension)
{
    if (extension == u".htm"_s)
        return u"/usr/bin/browser --new-window"_s;
    return {};
}

// ShellOpen with fakes that record what it would open and start, and answer its
// questions with Answer.
class ShellOpenFake : public testing::Test
{
protected:
    void SetUp() override
    {
        services.AssociatedProgram = fakeAssociation;
        services.Execute = [this](const TShellRequest &request) {
            requests << request;
            return 33;
        };
        services.ReportError = [this](QWidget *, const QString &text) { reported << text; };
        services.Confirm = [this](QWidget *, const QString &text) {
            questions << text;
            return answer;
        };
    }

    void open(const QString &target, bool newWindow = false)
    {
        requests.clear();
        questions.clear();
        reported.clear();
        ShellOpen(target, newWindow, services);
    }

    TShellServices services;
    QList<TShellRequest> requests;
    QStringList questions;
    QStringList reported;
    bool answer = false;
};

TEST_F(ShellOpenFake, WebFtpAndMailAddressesOpenAtOnceThroughTheDesktop)
{
    for (const QString &target : { u"http://example.org/a?b=1#c"_s, u"HTTPS://example.org"_s,
             u"ftp://ftp.gnu.org/gnu"_s, u"mailto:user@example.org"_s }) {
        open(target);
        EXPECT_TRUE(questions.isEmpty()) << target.toStdString();
        ASSERT_EQ(requests.size(), 1) << target.toStdString();
        EXPECT_EQ(requests[0].Url, QUrl(target));
        EXPECT_TRUE(requests[0].Command.isEmpty());
    }
}

// The fault: "evilproto://run-anything?http://x" reached the desktop's handler of
// "evilproto:" without a question.
TEST_F(ShellOpenFake, OtherSchemeAsksWithTheWholeTargetAndOpensOnlyOnYes)
{
    const QString target = u"evilproto://run-anything?http://x"_s;
    open(target);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains(target)) << questions[0].toStdString();
    EXPECT_TRUE(requests.isEmpty());

    // No question service at all counts as No.
    services.Confirm = nullptr;
    open(target);
    EXPECT_TRUE(requests.isEmpty());

    SetUp();
    answer = true;
    open(target);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].Url, QUrl(target));
}

TEST_F(ShellOpenFake, AddressesThatNameNothingAreReportedNotOpened)
{
    for (const QString &target : { u"http://"_s, u"mailto:"_s, u"file://elsewhere/etc/passwd"_s }) {
        open(target);
        EXPECT_TRUE(requests.isEmpty()) << target.toStdString();
        EXPECT_EQ(reported.size(), 1) << target.toStdString();
    }
}

// The fault: "--gpu-launcher=/path/payload.sh#http://x" in a new window started the
// browser with the whole word as its first argument.
TEST_F(ShellOpenFake, NewWindowStartsTheBrowserOnlyOnAValidatedWebAddress)
{
    open(u"http://example.org/x y"_s, true);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].Command,
        QStringList({ u"/usr/bin/browser"_s, u"--new-window"_s, u"http://example.org/x%20y"_s }));

    for (const QString &target :
        { u"--gpu-launcher=/path/payload.sh#http://x"_s, u"-http://example.org"_s,
            u"javascript:alert(1)"_s, u"file:///bin/sh"_s, u"www.example.org"_s }) {
        open(target, true);
        for (const TShellRequest &request : std::as_const(requests))
            EXPECT_TRUE(request.Command.isEmpty()) << target.toStdString();
    }

    // Without a browser a web address opens as usual.
    services.AssociatedProgram = [](const QString &) { return QString(); };
    open(u"https://example.org"_s, true);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests[0].Command.isEmpty());
    EXPECT_EQ(requests[0].Url, QUrl(u"https://example.org"_s));
}

// The fault: "file:///.../payload.sh;" went straight to the desktop's opener. A program
// or script is never opened; its folder is, when the user asks for it.
TEST_F(ShellOpenFake, RunnableFileOffersItsFolderAndIsNeverOpened)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write
        = [&dir](const QString &name, const QByteArray &content, QFile::Permissions extra = {}) {
              return WriteTestFileWithPermissions(dir.filePath(name), content, extra);
          };
    const QString payload = write(u"payload.sh"_s, "#!/bin/sh\ntouch /tmp/x\n", QFile::ExeOwner);
    const QString script = write(u"run.sh"_s, "#!/bin/sh\necho\n");
    const QString entry = write(u"app.desktop"_s, "[Desktop Entry]\nType=Application\nExec=x\n");
    const QString plain = write(u"notes.txt"_s, "just text\n");
    const QString link = dir.filePath(u"innocent.txt"_s);
    ASSERT_TRUE(QFile::link(payload, link));

    const QUrl folder = QUrl::fromLocalFile(dir.path());
    for (const QString &path : { payload, script, entry, link }) {
        for (const QString &target : { path, QUrl::fromLocalFile(path).toString() }) {
            answer = false;
            open(target);
            ASSERT_EQ(questions.size(), 1) << target.toStdString();
            EXPECT_TRUE(questions[0].contains(path)) << questions[0].toStdString();
            EXPECT_TRUE(requests.isEmpty()) << target.toStdString();
            answer = true;
            open(target);
            ASSERT_EQ(requests.size(), 1) << target.toStdString();
            EXPECT_EQ(requests[0].Url, folder) << target.toStdString();
        }
    }
    answer = false;
    open(QUrl::fromLocalFile(plain).toString());
    EXPECT_TRUE(questions.isEmpty());
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].Url, QUrl::fromLocalFile(plain));
}

TEST(ShellOpen, ReportsFailuresWithTheFixedTexts)
{
    QStringList reported;
    int result = 0;
    TShellServices services;
    services.AssociatedProgram = fakeAssociation;
    services.Execute = [&result](const TShellRequest &) { return result; };
    services.ReportError = [&reported](QWidget *, const QString &text) { reported << text; };
    for (int code : { 0, 2, 3, 11, 31, 32, 33, 42 }) {
        result = code;
        ShellOpen(u"http://www.example.org"_s, true, services);
    }
    EXPECT_EQ(reported,
        QStringList({ u"Error: Out of Memory"_s, u"Error: File not found"_s,
            u"Error: Directory not found"_s, u"Error: Wrong format in EXE"_s,
            u"Error Nr: 31 in ShellExecute"_s, u"Error Nr: 32 in ShellExecute"_s }));
}

TEST(ShellOpen, MissingLocalFileIsReportedAsNotFound)
{
    QTemporaryDir dir;
    QStringList reported;
    TShellServices services = DefaultShellServices();
    services.ReportError = [&reported](QWidget *, const QString &text) { reported << text; };
    ShellOpen(dir.filePath(u"missing.txt"_s), false, services);
    ShellOpen(dir.filePath(u"no/such/folder/x.txt"_s), false, services);
    EXPECT_EQ(
        reported, QStringList({ u"Error: File not found"_s, u"Error: Directory not found"_s }));
}

// --- Associations ---------------------------------------------------------------------

struct CommandCase
{
    const char *name;
    QString command;
    QString program;
};

void PrintTo(const CommandCase &c, std::ostream *os)
{
    *os << c.name;
}

class ProgramFromCommandCut : public testing::TestWithParam<CommandCase>
{
};

TEST_P(ProgramFromCommandCut, GivesThePath)
{
    EXPECT_EQ(ProgramFromCommand(GetParam().command), GetParam().program);
}

INSTANTIATE_TEST_SUITE_P(Commands, ProgramFromCommandCut,
    testing::Values(
        CommandCase { "QuotedPathQuotedArgument", u"\"C:\\Program Files\\Browser\\b.exe\" \"%1\""_s,
            u"C:\\Program Files\\Browser\\b.exe"_s },
        CommandCase { "DesktopFieldCode", u"firefox-esr %u"_s, u"firefox-esr"_s },
        CommandCase { "BareCommand", u"  /usr/bin/mousepad  "_s, u"/usr/bin/mousepad"_s },
        CommandCase {
            "ArgumentsBeforePercentKept", u"env A=1 prog --new %U"_s, u"env A=1 prog --new"_s },
        CommandCase { "PercentFirst", u"%1"_s, u""_s }, CommandCase { "Empty", u""_s, u""_s }),
    [](const testing::TestParamInfo<CommandCase> &info) { return std::string(info.param.name); });

TEST(Associations, ExecLineComesFromTheDesktopEntryGroup)
{
    const QString file = u"[Desktop Action new]\nExec=other --action %u\n"
                         "[Desktop Entry]\nName=Browser\nExecutable=no\n"
                         "Exec = \"/opt/my browser/run\" %u\n"_s;
    EXPECT_EQ(DesktopEntryExec(file), u"\"/opt/my browser/run\" %u"_s);
    EXPECT_EQ(ProgramFromCommand(DesktopEntryExec(file)), u"/opt/my browser/run"_s);
    EXPECT_EQ(DesktopEntryExec(u"[Desktop Entry]\nName=x\n"_s), u""_s);
}

TEST(Associations, FileExtensionLooksOnlyAtTheLastName)
{
    EXPECT_EQ(FileExtension(u"/a.b/c.TXT"_s), u".TXT"_s);
    EXPECT_EQ(FileExtension(u"/a.b/c"_s), u""_s);
    EXPECT_EQ(FileExtension(u"C:\\x.y\\z"_s), u""_s);
    EXPECT_EQ(FileExtension(u"mailto:a@b.org"_s), u".org"_s);
}

class RegisterFileTypeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", m_saved); }
    QString read(const QString &relative) const
    {
        QFile file(m_dir.filePath(relative));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    QByteArray m_saved;
};

TEST_F(RegisterFileTypeTest, WritesMimePackagesAndOneDesktopEntryForBothTypes)
{
    const QString program = u"/opt/odd \"dir\"/$HOME/vellumtree"_s;
    RegisterFileType(u".vlt"_s, program, 2, false);
    RegisterFileType(u".vle"_s, program, 1, false);
    RegisterFileType(u".vlt"_s, program, 2, false);

    const QString vlt = read(u"mime/packages/vellumtree-vlt.xml"_s);
    EXPECT_TRUE(vlt.contains(u"type=\"application/x-vellumtree-vlt\""_s)) << vlt.toStdString();
    EXPECT_TRUE(vlt.contains(u"<glob pattern=\"*.vlt\"/>"_s));
    EXPECT_TRUE(read(u"mime/packages/vellumtree-vle.xml"_s).contains(u"*.vle"_s));

    const QString entry = read(u"applications/vellumtree.desktop"_s);
    EXPECT_TRUE(entry.startsWith(u"[Desktop Entry]\n"_s));
    EXPECT_TRUE(
        entry.contains(u"MimeType=application/x-vellumtree-vlt;application/x-vellumtree-vle;\n"_s))
        << entry.toStdString();
    // Quoted for the Exec syntax, then each backslash doubled for the file's strings.
    EXPECT_TRUE(entry.contains(u"Exec=\"/opt/odd \\\\\"dir\\\\\"/\\\\$HOME/vellumtree\" %f\n"_s))
        << entry.toStdString();
}

// The Associate button and the installation must give the desktop the same types and
// the same entry, or a per-user association would undo what the package installed.
TEST_F(RegisterFileTypeTest, PerUserFilesAgreeWithTheInstalledOnes)
{
    const QDir installed(QDir::cleanPath(QStringLiteral(VT_TEST_DATA_DIR "/../../res/desktop")));
    const auto source = [&installed](const QString &name) {
        QFile file(installed.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    RegisterFileType(u".vlt"_s, u"/usr/bin/vellumtree"_s, 2, false);
    RegisterFileType(u".vle"_s, u"/usr/bin/vellumtree"_s, 1, false);
    RegisterFileType(u".vlx"_s, u"/usr/bin/vellumtree"_s, 1, false);
    for (const QString &package :
         { u"vellumtree-vlt.xml"_s, u"vellumtree-vle.xml"_s, u"vellumtree-vlx.xml"_s }) {
        ASSERT_FALSE(source(package).isEmpty()) << package.toStdString();
        EXPECT_EQ(read(u"mime/packages/"_s + package), source(package)) << package.toStdString();
    }
    // Only the program's path differs.
    EXPECT_EQ(read(u"applications/vellumtree.desktop"_s),
              source(u"vellumtree.desktop"_s)
                  .replace(u"Exec=vellumtree %f"_s, u"Exec=\"/usr/bin/vellumtree\" %f"_s));
}

TEST_F(RegisterFileTypeTest, RefusesExtensionsThatAreNoPlainName)
{
    for (const QString &bad : { u"."_s, u"../x"_s, u".a b"_s, u".v\"lt"_s })
        EXPECT_THROW(RegisterFileType(bad, u"/bin/true"_s, 0, false), EFileError)
            << bad.toStdString();
    EXPECT_FALSE(QDir(m_dir.filePath(u"mime"_s)).exists());
}

// --- Clipboard and windows -----------------------------------------------------------------

TEST(Clipboard, TextStopsAtTheFirstNul)
{
    SetClipboardText(u"plain text"_s);
    EXPECT_EQ(GetClipboardText(), u"plain text"_s);
    SetClipboardText(u"before"_s + QChar(0) + u"after"_s);
    EXPECT_EQ(GetClipboardText(), u"before"_s);
}

TEST(Windows, StayOnTopKeepsTheWindowWhereItWas)
{
    QWidget window;
    window.setGeometry(100, 120, 300, 200);
    window.show();
    const QRect before = window.geometry();
    SetStayOnTop(&window, true);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), before);
    SetStayOnTop(&window, false);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());

    QWidget hidden;
    SetStayOnTop(&hidden, true);
    EXPECT_FALSE(hidden.isVisible());
}

TEST(Windows, ForceForegroundRestoresAMinimisedWindow)
{
    QWidget window;
    window.showMinimized();
    ForceForegroundWindow(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

TEST(Windows, CharPosToScreenFollowsTheText)
{
    QPlainTextEdit editor;
    editor.setPlainText(u"first line\nsecond line"_s);
    editor.resize(400, 200);
    editor.move(50, 60);
    editor.show();
    QPoint start, later, nextLine, beyond, end;
    CharPosToScreen(&editor, 0, start);
    CharPosToScreen(&editor, 5, later);
    CharPosToScreen(&editor, 11, nextLine);
    CharPosToScreen(&editor, 10000, beyond);
    CharPosToScreen(&editor, 22, end);
    EXPECT_EQ(start,
        editor.viewport()->mapToGlobal(
            editor.cursorRect(QTextCursor(editor.document())).topLeft()));
    EXPECT_EQ(later.y(), start.y());
    EXPECT_GT(later.x(), start.x());
    EXPECT_GT(nextLine.y(), start.y());
    EXPECT_EQ(nextLine.x(), start.x());
    EXPECT_EQ(beyond, end);
}

// --- Images and drawing ----------------------------------------------------------------------

TEST(Images, StripIsCutIntoWholeImagesWithMagentaTransparent)
{
    QImage strip(40, 16, QImage::Format_RGB32);
    strip.fill(QColor(10, 20, 30));
    strip.setPixel(3, 4, qRgb(255, 0, 255));
    strip.setPixel(16 + 7, 8, qRgb(0, 200, 0));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"toolbar.png"_s);
    ASSERT_TRUE(strip.save(path));

    QList<QPixmap> list { QPixmap(1, 1) };
    ASSERT_TRUE(LoadImageList(list, path));
    ASSERT_EQ(list.size(), 2); // 40 pixels make two whole images
    const QImage first = list[0].toImage();
    EXPECT_EQ(first.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(first.pixel(3, 4)), 0);
    EXPECT_EQ(first.pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(list[1].toImage().pixel(7, 8), qRgb(0, 200, 0));

    EXPECT_FALSE(LoadImageList(list, dir.filePath(u"missing.png"_s)));
    EXPECT_TRUE(list.isEmpty());
}

TEST(Drawing, Frame3DDrawsNestedEdgesAndShrinksTheRect)
{
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRgb top = qRgb(192, 192, 192), bottom = qRgb(128, 128, 128), white = qRgb(255, 255, 255);
    QRect rect(0, 0, 10, 10);
    {
        QPainter painter(&image);
        DrawFrame3D(painter, rect, QColor(top), 2, QColor(bottom));
    }
    EXPECT_EQ(rect, QRect(2, 2, 6, 6));
    EXPECT_EQ(image.pixel(0, 0), top);
    EXPECT_EQ(image.pixel(5, 0), top);
    EXPECT_EQ(image.pixel(0, 5), top);
    EXPECT_EQ(image.pixel(9, 5), bottom);
    EXPECT_EQ(image.pixel(5, 9), bottom);
    EXPECT_EQ(image.pixel(9, 0), bottom); // the top-right corner belongs to the bottom edge
    EXPECT_EQ(image.pixel(1, 1), top); // second frame
    EXPECT_EQ(image.pixel(8, 8), bottom);
    EXPECT_EQ(image.pixel(2, 2), white); // inside untouched
}

} // namespace
