// Links of a note followed on a real desktop: an X server (run-under-x.sh starts one),
// xdg-open behind QDesktopServices, and a handler of the test's own, made the default
// with xdg-mime in the test's XDG folders for every scheme and type a link could
// reach. The handler writes its arguments to a record file, one line a start, so a
// test sees exactly which program a link started, with what.
#include "MainWindowFixture.h"
#include "OutsidePrograms.h"
#include "settings/UtilsGui.h"

#include <QDir>
#include <QProcess>
#include <QTextBlock>

namespace {

// Generous: the machines that run the tests are often busy.
constexpr int kTimeoutMs = 15000;

const char *const kDesktopVariables[] = { "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP",
    "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "BROWSER" };

class LinksOnTheDesktop : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(Installed(u"xdg-open"_s));
        const QString xdgMime = RequireProgram(u"xdg-mime"_s);
        ASSERT_FALSE(xdgMime.isEmpty());
        // The generic opener, not whatever desktop the machine runs: only it follows
        // the defaults set here.
        for (const char *name : kDesktopVariables) {
            saved.append({ name, qgetenv(name), qEnvironmentVariableIsSet(name) });
            qunsetenv(name);
        }

        records = path(u"records.txt"_s);
        recorder = path(u"recorder.sh"_s);
        writeFile(recorder,
            "#!/bin/sh\nfor a in \"$@\"; do printf '<%s>' \"$a\"; done >> '" + records.toUtf8()
                + "'\necho >> '" + records.toUtf8() + "'\n",
            QFile::ExeOwner);
        const QStringList types { u"x-scheme-handler/http"_s, u"x-scheme-handler/https"_s,
            u"x-scheme-handler/evilproto"_s, u"text/html"_s, u"text/plain"_s,
            u"application/x-shellscript"_s, u"text/x-shellscript"_s, u"application/x-desktop"_s,
            u"application/x-executable"_s, u"inode/directory"_s };
        writeFile(path(u"data/applications/vt-recorder.desktop"_s),
            "[Desktop Entry]\nType=Application\nName=Recorder\nNoDisplay=true\nExec="
                + recorder.toUtf8() + " %u\nMimeType=" + types.join(u';').toUtf8() + ";\n");
        QProcess mime;
        mime.start(xdgMime, QStringList { u"default"_s, u"vt-recorder.desktop"_s } + types);
        ASSERT_TRUE(mime.waitForFinished(kTimeoutMs));
        ASSERT_EQ(mime.exitCode(), 0) << mime.readAllStandardError().toStdString();

        // What a link must never run: a script that leaves a mark when it runs.
        payloadRan = path(u"payload-ran"_s);
        payload = path(u"payload.sh"_s);
        writeFile(payload, "#!/bin/sh\ntouch '" + payloadRan.toUtf8() + "'\n", QFile::ExeOwner);
        desktopEntry = path(u"payload.desktop"_s);
        writeFile(desktopEntry,
            "[Desktop Entry]\nType=Application\nName=Payload\nExec=" + payload.toUtf8() + "\n");
    }

    void TearDown() override
    {
        MainWindowTest::TearDown();
        for (const auto &[name, value, wasSet] : saved) {
            if (wasSet)
                qputenv(name, value);
        }
    }

    static void writeFile(
        const QString &name, const QByteArray &content, QFile::Permissions extra = {})
    {
        QDir().mkpath(QFileInfo(name).absolutePath());
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
    }

    QStringList recorded() const
    {
        QFile file(records);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // Waits until the handler has been started Count times in all.
    bool waitForRecords(qsizetype count) const
    {
        return QTest::qWaitFor([&] { return recorded().size() >= count; }, kTimeoutMs);
    }

    // A note with Lines as its body, shown in the editor.
    void showNote(const QStringList &lines)
    {
        start([&lines](TNoteTree &tree) {
            tree.AddNote(nullptr, u"Links"_s, imLastChild, lines.join(u"\r\n"_s));
        });
        window->Notes->setFocus();
    }

    // The middle of the character at Column of Line of the editor.
    QPoint pointOf(int line, int column) const
    {
        return editorPointOf(window->Notes->document()->findBlockByNumber(line).position()
                             + column);
    }

    void doubleClick(int line, int column)
    {
        QTest::mouseDClick(window->Notes->viewport(), Qt::LeftButton, {}, pointOf(line, column));
        QApplication::processEvents();
    }

    void rightClick(int line, int column) { window->NotesMouseDown(pointOf(line, column), false); }

    struct SavedVariable
    {
        const char *name;
        QByteArray value;
        bool wasSet;
    };
    QList<SavedVariable> saved;
    QString records;
    QString recorder;
    QString payload;
    QString payloadRan;
    QString desktopEntry;
};

// The faults: a double-click on "evilproto://run-anything?http://x" started the
// handler of "evilproto:", a "file://...payload.sh;" link went to the desktop's
// opener, and "Open in new window" on "--gpu-launcher=...#http://x" gave the browser
// the whole word. Only the underlined http address may start anything, and only the
// handler of http (or the browser) with exactly that address.
TEST_F(LinksOnTheDesktop, OnlyTheUnderlinedWebAddressStartsAProgram)
{
    const QStringList lines { u"evilproto://run-anything?http://x"_s,
        u"file://"_s + payload + u";"_s, u"file://"_s + desktopEntry + u";"_s,
        u"--gpu-launcher="_s + payload + u"#http://x"_s, u"see http://allowed.example/page"_s };
    showNote(lines);

    doubleClick(0, 3); // on "evilproto"
    EXPECT_TRUE(messages.isEmpty()) << "no link, no question";
    for (int line : { 1, 2 }) {
        messages.clear();
        doubleClick(line, int(lines[line].size()) - 4);
        EXPECT_EQ(messages.size(), 1) << "line " << line;
        EXPECT_TRUE(messages.join(u'\n').contains(line == 1 ? payload : desktopEntry))
            << messages.join(u'\n').toStdString();
    }

    rightClick(3, 3); // on "--gpu-launcher"
    EXPECT_FALSE(command("miOpenInNew")->isVisible());
    command("miOpenInNew")->trigger();
    rightClick(3, int(lines[3].size()) - 2); // on "http://x"
    EXPECT_TRUE(command("miOpenInNew")->isVisible());
    command("miOpenInNew")->trigger();

    doubleClick(4, 14); // on "allowed"
    ASSERT_TRUE(waitForRecords(2)) << recorded().join(u'\n').toStdString();
    // Anything started wrongly was started before these and has had its time.
    QTest::qWait(500);
    QStringList starts = recorded();
    starts.sort();
    EXPECT_EQ(starts.join(u'\n').toStdString(), "<http://allowed.example/page>\n<http://x>");
    EXPECT_FALSE(QFile::exists(payloadRan));
}

// Another scheme opens only when the user says Yes to its whole address; a script's
// link opens only its folder, and only on Yes.
TEST_F(LinksOnTheDesktop, QuestionsStartTheHandlerOnlyOnYes)
{
    const QString other = u"evilproto://run-anything?http://x"_s;
    showNote({ u"file://"_s + payload + u";"_s });

    ShellOpen(other, false);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.join(u'\n').contains(other)) << messages.join(u'\n').toStdString();
    QTest::qWait(1000);
    EXPECT_TRUE(recorded().isEmpty())
        << "started after No: " << recorded().join(u' ').toStdString();
    answers << QMessageBox::Yes;
    ShellOpen(other, false);
    ASSERT_TRUE(waitForRecords(1));
    EXPECT_EQ(recorded().last(), u"<"_s + other + u">"_s);

    const qsizetype before = recorded().size();
    answers << QMessageBox::Yes;
    doubleClick(0, 10);
    ASSERT_TRUE(waitForRecords(before + 1)) << recorded().join(u'\n').toStdString();
    const QString folderStart = recorded().at(before);
    EXPECT_TRUE(folderStart.contains(dir.path())) << folderStart.toStdString();
    EXPECT_FALSE(folderStart.contains(u"payload"_s)) << folderStart.toStdString();
    QTest::qWait(500);
    EXPECT_EQ(recorded().size(), before + 1) << recorded().join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(payloadRan));
}

} // namespace
