#include "TempFiles.h"
#include "TreeText.h"

#include "crypto/STRMBlowfish.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Qt::StringLiterals;
using TreeText::build;
using TreeText::dump;
using TreeText::find;

namespace {

QByteArray crlf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

QList<QByteArray> header(const QByteArray &lastNote = "0", const QByteArray &title = "")
{
    return {"<!DOCTYPE Vellumtree-File>", "<!--LastNote:" + lastNote + "-->", "<html>", "<head>",
            "<title>" + title + "</title>", "</head>", "", "<body bgcolor=\"#ffffff\">", "", "<dl>"};
}

class ArchiveTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }

    void writeBytes(const QString &name, const QByteArray &bytes) const
    {
        WriteTestFile(path(name), bytes);
    }

    QByteArray readBytes(const QString &name) const { return ReadTestFile(path(name)); }

    bool readInto(TNoteTree &into, const QString &name, TNote *parent = nullptr)
    {
        TArchive archive(&into);
        archive.LegacyEncoding = TTextEncoding::Windows1252;
        const bool ok = archive.ReadNotes(parent, path(name));
        lastTitle = archive.Title;
        lastNote = archive.LastNode;
        return ok;
    }

    QTemporaryDir dir;
    TNoteTree tree;
    QString lastTitle;
    TNote *lastNote = nullptr;
};

TEST_F(ArchiveTest, WritesTheDocumentLineByLine)
{
    build(tree, u"A(B(C),D),E"_s);
    find(tree, u"A"_s)->SetBodyText(u"a <b> & c\r\n\r\nlast"_s);
    find(tree, u"C"_s)->SetBodyText(u"c"_s);
    TArchive archive(&tree);
    archive.Title = u"My notes"_s;
    archive.LastNode = find(tree, u"D"_s);
    ASSERT_TRUE(archive.WriteNotes(nullptr, path(u"doc.vlt"_s)));

    QList<QByteArray> expected = header("3", "My notes");
    expected << "<dt><h3>A</h3></dt>" << "<dd><pre>" << "a <b> & c" << "" << "last"
             << "</pre></dd>" << "<dl>" << "" << "<dt><h3>B</h3></dt>" << "<dd><pre>"
             << "</pre></dd>" << "<dl>" << "" << "<dt><h3>C</h3></dt>" << "<dd><pre>" << "c"
             << "</pre></dd>" << "</dl>" << "" << "<dt><h3>D</h3></dt>" << "<dd><pre>"
             << "</pre></dd>" << "</dl>" << "<dt><h3>E</h3></dt>" << "<dd><pre>" << "</pre></dd>"
             << "</dl>" << "</body>" << "</html>";
    EXPECT_EQ(readBytes(u"doc.vlt"_s), crlf(expected));
}

TEST_F(ArchiveTest, EmptyTreeWritesThirteenLinesAndReadsBackEmpty)
{
    TArchive archive(&tree);
    archive.WriteNotes(nullptr, path(u"empty.vlt"_s));
    EXPECT_EQ(readBytes(u"empty.vlt"_s), crlf(header() << "</dl>" << "</body>" << "</html>"));

    TNoteTree back;
    build(back, u"old"_s);
    ASSERT_TRUE(readInto(back, u"empty.vlt"_s));
    EXPECT_EQ(back.Count(), 0);
    EXPECT_EQ(lastNote, nullptr);
}

TEST_F(ArchiveTest, BranchExportReadsBackAsOneRootNote)
{
    build(tree, u"A(B(C),D),E"_s);
    TArchive archive(&tree);
    archive.WriteNotes(find(tree, u"E"_s), path(u"leaf.vlt"_s));
    EXPECT_EQ(readBytes(u"leaf.vlt"_s),
              crlf(header() << "<dt><h3>E</h3></dt>" << "<dd><pre>" << "</pre></dd>" << ""
                            << "<dl>" << "</dl>" << "</dl>" << "</body>" << "</html>"));
    TArchive(&tree).WriteNotes(find(tree, u"A"_s), path(u"branch.vlt"_s));

    TNoteTree back;
    ASSERT_TRUE(readInto(back, u"leaf.vlt"_s));
    EXPECT_EQ(dump(back), u"E"_s);
    ASSERT_TRUE(readInto(back, u"branch.vlt"_s));
    EXPECT_EQ(dump(back), u"A(B(C),D)"_s);
}

TEST_F(ArchiveTest, RoundTripKeepsBodiesLineForLine)
{
    build(tree, u"A(B),C"_s);
    find(tree, u"A"_s)->SetBody(QStringList{QString(), u"  indented"_s, QString(), QString()});
    find(tree, u"B"_s)->SetBody(QStringList{u"<dt><h3>not a title</h3></dt>"_s, u"<dl>"_s});
    find(tree, u"C"_s)->SetBody(QStringList{u"\ttab"_s, u"trailing "_s});
    TArchive archive(&tree);
    archive.Title = u"T"_s;
    archive.LastNode = find(tree, u"C"_s);
    archive.WriteNotes(nullptr, path(u"doc.vlt"_s));
    const QByteArray written = readBytes(u"doc.vlt"_s);

    TNoteTree back;
    ASSERT_TRUE(readInto(back, u"doc.vlt"_s));
    EXPECT_EQ(dump(back), u"A(B),C"_s);
    for (const char *title : {"A", "B", "C"})
        EXPECT_EQ(find(back, QString::fromLatin1(title))->Body(),
                  find(tree, QString::fromLatin1(title))->Body());
    EXPECT_EQ(lastTitle, u"T"_s);
    EXPECT_EQ(lastNote, find(back, u"C"_s));

    TArchive again(&back);
    again.Title = lastTitle;
    again.LastNode = lastNote;
    again.WriteNotes(nullptr, path(u"again.vlt"_s));
    EXPECT_EQ(readBytes(u"again.vlt"_s), written);
}

TEST_F(ArchiveTest, BodyLineThatClosesTheBodyNoLongerCutsTheNote)
{
    TNote *a = tree.AddNote(nullptr, u"A"_s, imLastChild);
    const QStringList body{u"before"_s, u"</pre></dd>"_s, u"<dt><h3>Extra</h3></dt>"_s};
    a->SetBody(body);
    TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s));
    TNoteTree back;
    ASSERT_TRUE(readInto(back, u"doc.vlt"_s));
    EXPECT_EQ(dump(back), u"A"_s);
    EXPECT_EQ(find(back, u"A"_s)->Body(), body);
}

struct ReaderCase
{
    const char *name;
    QList<QByteArray> lines;
    bool isNotes;
    const char *shape;
    const char *title;     // nullptr: derived from the file name
    const char *lastNote;  // title of the last note, nullptr for none
};

class ReaderQuirks : public ArchiveTest, public ::testing::WithParamInterface<ReaderCase>
{
};

TEST_P(ReaderQuirks, ReadsTheTextAsTheOldReaderDid)
{
    const ReaderCase &c = GetParam();
    writeBytes(u"case.file.vlt"_s, crlf(c.lines));
    build(tree, u"Existing"_s);
    EXPECT_EQ(readInto(tree, u"case.file.vlt"_s), c.isNotes);
    EXPECT_EQ(dump(tree), QString::fromLatin1(c.shape));
    if (!c.isNotes)
        return;
    EXPECT_EQ(lastTitle, c.title ? QString::fromUtf8(c.title) : u"case.file"_s);
    if (c.lastNote)
        EXPECT_EQ(lastNote, find(tree, QString::fromLatin1(c.lastNote)));
    else
        EXPECT_EQ(lastNote, nullptr);
}

const QList<QByteArray> kTwoNotes = {"<dt><h3>A</h3></dt>", "<dd><pre>", "</pre></dd>",
                                     "<dt><h3>B</h3></dt>", "</dl>", "</body>", "</html>"};

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderQuirks,
    ::testing::Values(
        ReaderCase{"TrailingBlankOnTheFirstLine",
                   {"<!DOCTYPE Vellumtree-File> ", "<dl>", "<dt><h3>A</h3></dt>"}, false,
                   "Existing", nullptr, nullptr},
        ReaderCase{"EmptyFile", {}, false, "Existing", nullptr, nullptr},
        ReaderCase{"OnlyTypeAndListLines", {"<!DOCTYPE Vellumtree-File>", "<dl>"}, true, "",
                   nullptr, nullptr},
        ReaderCase{"NoListLineReadsNoNotes",
                   {"<!DOCTYPE Vellumtree-File>", "<dt><h3>A</h3></dt>"}, true, "", nullptr,
                   nullptr},
        ReaderCase{"LastNoteIndex", header("1", "t") + kTwoNotes, true, "A,B", "t", "B"},
        ReaderCase{"LastNoteEqualToCount", header("2", "t") + kTwoNotes, true, "A,B", "t",
                   nullptr},
        ReaderCase{"LastNoteNegative", header("-1", "t") + kTwoNotes, true, "A,B", "t", nullptr},
        ReaderCase{"LastNoteWithoutDigitsIsTheFirst", header("x", "t") + kTwoNotes, true, "A,B",
                   "t", "A"},
        ReaderCase{"LastNoteDigitsBeforeJunk", header(" +1junk", "t") + kTwoNotes, true, "A,B",
                   "t", "B"},
        ReaderCase{"LastNoteHuge", header("99999999999999999999", "t") + kTwoNotes, true, "A,B",
                   "t", nullptr},
        ReaderCase{"TitleLineWithoutElement",
                   {"<!DOCTYPE Vellumtree-File>", "", "", "", "plain title", "", "<dl>",
                    "<dt><h3>A</h3></dt>"},
                   true, "A", "plain title", nullptr},
        ReaderCase{"IndentedBlockKeepsPartOfTheMarkup",
                   {"<!DOCTYPE Vellumtree-File>", "<dl>", "  <dt><h3>A</h3></dt>", "  <dd><pre>",
                    "stray", "</pre></dd>"},
                   true, "3>A", "stray", nullptr},
        ReaderCase{"MissingBodyEndKeepsTheRest",
                   {"<!DOCTYPE Vellumtree-File>", "<dl>", "<dt><h3>A</h3></dt>", "<dd><pre>",
                    "x", "<dt><h3>B</h3></dt>"},
                   true, "A", "x", nullptr},
        ReaderCase{"ExtraListEndAtRootChangesNothing",
                   {"<!DOCTYPE Vellumtree-File>", "<dl>", "</dl>", "</dl>",
                    "<dt><h3>A</h3></dt>", "<dl>", "<dt><h3>B</h3></dt>", "</dl>", "</dl>",
                    "<dt><h3>C</h3></dt>"},
                   true, "A(B),C", "<dt><h3>A</h3></dt>", nullptr},
        ReaderCase{"ShortTitleLineGivesAnEmptyTitle",
                   {"<!DOCTYPE Vellumtree-File>", "<dl>", "<dt><h3>", "<dl>",
                    "<dt><h3>x</h3></dt>"},
                   true, "(x)", nullptr, nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ArchiveTest, ReadingUnderANoteAddsLastChildrenAndTouchesNothingElse)
{
    TNoteTree source;
    build(source, u"X(Y),Z"_s);
    TArchive(&source).WriteNotes(nullptr, path(u"import.vlt"_s));
    // Stray list ends and a body before any title must not reach notes outside.
    writeBytes(u"hostile.vlt"_s,
               crlf({"<!DOCTYPE Vellumtree-File>", "<dl>", "<dd><pre>", "into parent?",
                     "</pre></dd>", "</dl>", "</dl>", "</dl>", "<dt><h3>W</h3></dt>"}));

    build(tree, u"A(B),C"_s);
    TNote *a = find(tree, u"A"_s);
    a->SetBodyText(u"keep"_s);
    ASSERT_TRUE(readInto(tree, u"import.vlt"_s, a));
    EXPECT_EQ(dump(tree), u"A(B,X(Y),Z),C"_s);
    ASSERT_TRUE(readInto(tree, u"hostile.vlt"_s, a));
    EXPECT_EQ(dump(tree), u"A(B,X(Y),Z,W),C"_s);
    EXPECT_EQ(a->Body(), QStringList{u"keep"_s});
}

TEST_F(ArchiveTest, DamageIsReportedAlongWhatCouldBeRead)
{
    build(tree, u"A"_s);
    tree.AddNote(nullptr, u"B"_s, imLastChild, u"b text"_s);
    TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s));
    const QByteArray whole = readBytes(u"doc.vlt"_s);
    const auto damageOf = [this](const QByteArray &bytes) {
        writeBytes(u"x.vlt"_s, bytes);
        TNoteTree read;
        TArchive archive(&read);
        EXPECT_TRUE(archive.ReadNotes(nullptr, path(u"x.vlt"_s)));
        return archive.Damage;
    };
    EXPECT_FALSE(damageOf(whole).Any());
    EXPECT_FALSE(damageOf(whole + "\r\n\r\n").Any()); // blank lines after the end

    const TArchive::TDamage cut = damageOf(whole.left(whole.indexOf("b text")));
    EXPECT_TRUE(cut.Unclosed);
    EXPECT_EQ(cut.NulAt, -1);
    EXPECT_EQ(cut.NotesRead, tree.Count());

    QByteArray nul = whole;
    const qsizetype at = whole.indexOf("b text");
    nul[at] = '\0';
    const TArchive::TDamage afterNul = damageOf(nul);
    EXPECT_EQ(afterNul.NulAt, at);
    EXPECT_TRUE(afterNul.Unclosed);
}

// A listing reads titles and structure only; what it reports of a damaged file is
// what a full read reports.
TEST_F(ArchiveTest, TitlesOnlyReadGivesTheTreeAndItsDamageWithoutBodies)
{
    build(tree, u"A(B(C),D),E"_s);
    for (TNote *note = tree.FirstNote(); note; note = tree.NextInTreeOrder(note))
        note->SetBodyText(note->Title() + u" body\r\n</pre></dd>\r\n<dt><h3>not a title"_s);
    TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s));
    const QByteArray whole = readBytes(u"doc.vlt"_s);
    const QByteArray cut = whole.left(whole.indexOf("D body"));
    for (const QByteArray &bytes : {whole, cut}) {
        writeBytes(u"x.vlt"_s, bytes);
        TNoteTree full;
        TArchive fullRead(&full);
        ASSERT_TRUE(fullRead.ReadNotes(nullptr, path(u"x.vlt"_s)));
        TNoteTree titles;
        TArchive titlesRead(&titles);
        titlesRead.TitlesOnly = true;
        ASSERT_TRUE(titlesRead.ReadNotes(nullptr, path(u"x.vlt"_s)));
        EXPECT_EQ(dump(titles), dump(full));
        for (TNote *note = titles.FirstNote(); note; note = titles.NextInTreeOrder(note))
            EXPECT_FALSE(note->HasBody()) << note->Title().toStdString();
        EXPECT_EQ(titlesRead.Damage.Unclosed, fullRead.Damage.Unclosed);
        EXPECT_EQ(titlesRead.Damage.NotesRead, fullRead.Damage.NotesRead);
        EXPECT_EQ(titlesRead.Title, fullRead.Title);
    }
}

TEST_F(ArchiveTest, NulByteEndsTheText)
{
    QByteArray bytes = crlf({"<!DOCTYPE Vellumtree-File>", "<dl>", "<dt><h3>A</h3></dt>"});
    bytes += QByteArray("\0", 1) + crlf({"<dt><h3>B</h3></dt>"});
    writeBytes(u"nul.vlt"_s, bytes);
    ASSERT_TRUE(readInto(tree, u"nul.vlt"_s));
    EXPECT_EQ(dump(tree), u"A"_s);
}

// Every byte a legacy code page can hold, the undefined ones included, must come
// back unchanged: the file is the user's and may hold anything.
class LegacyRoundTrip : public ArchiveTest, public ::testing::WithParamInterface<TTextEncoding>
{
};

TEST_P(LegacyRoundTrip, FileWrittenBackIsByteIdentical)
{
    QByteArray everyByte;
    for (int b = 0x80; b <= 0xFF; ++b)
        everyByte.append(static_cast<char>(b));
    const QByteArray original = crlf(header("1", "\xC0\xE9") << "<dt><h3>T\xE4\xF6</h3></dt>"
                                                         << "<dd><pre>" << everyByte
                                                         << "</pre></dd>" << "<dt><h3>x</h3></dt>"
                                                         << "<dd><pre>" << "</pre></dd>" << "</dl>"
                                                         << "</body>" << "</html>");
    ASSERT_FALSE(TextEncoding::isValidUtf8(original));
    writeBytes(u"legacy.vlt"_s, original);

    TArchive reader(&tree);
    reader.LegacyEncoding = GetParam();
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"legacy.vlt"_s)));
    EXPECT_EQ(reader.Encoding, GetParam());
    EXPECT_EQ(reader.LastNode, find(tree, u"x"_s));

    TArchive writer(&tree);
    writer.Title = reader.Title;
    writer.LastNode = reader.LastNode;
    writer.Encoding = reader.Encoding;
    writer.WriteNotes(nullptr, path(u"back.vlt"_s));
    EXPECT_EQ(readBytes(u"back.vlt"_s), original);
}

INSTANTIATE_TEST_SUITE_P(CodePages, LegacyRoundTrip,
                         ::testing::Values(TTextEncoding::Windows1250, TTextEncoding::Windows1251,
                                           TTextEncoding::Windows1252),
                         [](const auto &info) {
                             return TextEncoding::encodingName(info.param)
                                 .remove(u'-')
                                 .toStdString();
                         });

TEST_F(ArchiveTest, CyrillicLegacyFileReadsAsCyrillic)
{
    writeBytes(u"ru.vlt"_s, crlf({"<!DOCTYPE Vellumtree-File>", "<dl>",
                                  "<dt><h3>\xCF\xF0\xE8\xE2\xE5\xF2</h3></dt>"}));
    TArchive reader(&tree);
    reader.LegacyEncoding = TTextEncoding::Windows1251;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"ru.vlt"_s)));
    EXPECT_EQ(tree.RootNote(0)->Title(), u"Привет"_s);
}

TEST_F(ArchiveTest, TextThatLeavesItsCodePageIsWrittenAsUtf8)
{
    writeBytes(u"old.vlt"_s, crlf({"<!DOCTYPE Vellumtree-File>", "<dl>", "<dt><h3>caf\xE9</h3></dt>"}));
    TArchive reader(&tree);
    reader.LegacyEncoding = TTextEncoding::Windows1252;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"old.vlt"_s)));
    tree.AddNote(nullptr, u"日本"_s, imLastChild);

    TArchive writer(&tree);
    writer.Encoding = reader.Encoding;
    writer.WriteNotes(nullptr, path(u"new.vlt"_s));
    EXPECT_EQ(writer.Encoding, TTextEncoding::Utf8);
    TNoteTree back;
    ASSERT_TRUE(readInto(back, u"new.vlt"_s));
    EXPECT_EQ(dump(back), u"café,日本"_s);
}

TEST_F(ArchiveTest, MissingFileRaisesAnErrorNamingIt)
{
    TArchive archive(&tree);
    try {
        archive.ReadNotes(nullptr, path(u"nowhere.vlt"_s));
        FAIL() << "no error";
    } catch (const EFileError &e) {
        EXPECT_TRUE(e.message().contains(u"nowhere.vlt"_s)) << e.what();
    }
}

TEST_F(ArchiveTest, FailedWriteLeavesThePreviousFileWhole)
{
    build(tree, u"A"_s);
    TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s));
    const QByteArray before = readBytes(u"doc.vlt"_s);

    // A file standing where the folder should be.
    writeBytes(u"blocker"_s, "x");
    EXPECT_THROW(TArchive(&tree).WriteNotes(nullptr, path(u"blocker/doc.vlt"_s)), EFileError);
    EXPECT_THROW(TArchive(&tree).WriteNotes(nullptr, path(u"missing/doc.vlt"_s)), EFileError);

#ifdef Q_OS_UNIX
    // A full disk, as a file size limit: the write fails half-way.
    for (int i = 0; i < 2000; ++i)
        tree.AddNote(nullptr, u"note %1"_s.arg(i), imLastChild, u"some body text"_s);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto *oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    bool threw = false;
    try {
        TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s));
    } catch (const EFileError &e) {
        threw = e.message().contains(u"doc.vlt"_s);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(threw);
    EXPECT_EQ(readBytes(u"doc.vlt"_s), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "temporary file left behind";
#endif
}

// A text with more line breaks than a read accepts would turn an openable file into one
// that is refused: the write fails and the file stays as it was, plain or enciphered.
TEST_F(ArchiveTest, WriteRefusesATextWithMoreLineBreaksThanAReadAccepts)
{
    for (const QString &name : {u"doc.vlt"_s, u"doc.vle"_s}) {
        TNoteTree small;
        small.AddNote(nullptr, u"A"_s, imLastChild, u"body"_s);
        TArchive first(&small);
        first.Password = u"secret12"_s;
        first.WriteNotes(nullptr, path(name));
        const QByteArray before = readBytes(name);

        TNoteTree large;
        // Each body line is one CR LF: two line break characters as the reader counts.
        large.AddNote(nullptr, u"Long"_s, imLastChild,
                      u"\r\n"_s.repeated(TArchive::MaxLineBreaks / 2));
        TArchive archive(&large);
        archive.Password = u"secret12"_s;
        try {
            archive.WriteNotes(nullptr, path(name));
            ADD_FAILURE() << "written: " << name.toStdString();
        } catch (const EFileError &e) {
            EXPECT_TRUE(e.message().contains(u"line breaks"_s)) << e.message().toStdString();
        }
        EXPECT_EQ(readBytes(name), before) << name.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "temporary file left behind";
}

TEST_F(ArchiveTest, BackupHoldsThePreviousVersionAndFailsSafely)
{
    build(tree, u"First"_s);
    TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s), path(u"doc.bak"_s));
    EXPECT_FALSE(QFile::exists(path(u"doc.bak"_s))) << "nothing to back up yet";
    const QByteArray first = readBytes(u"doc.vlt"_s);

    tree.SetTitle(tree.RootNote(0), u"Second"_s);
    TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s), path(u"doc.bak"_s));
    const QByteArray second = readBytes(u"doc.vlt"_s);
    EXPECT_EQ(readBytes(u"doc.bak"_s), first);
    EXPECT_NE(second, first);

    // A backup place that cannot be written stops the save before anything moves.
    tree.SetTitle(tree.RootNote(0), u"Third"_s);
    writeBytes(u"blocker"_s, "x");
    EXPECT_THROW(TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s), path(u"blocker/doc.bak"_s)),
                 EFileError);
    EXPECT_EQ(readBytes(u"doc.vlt"_s), second);
    EXPECT_EQ(readBytes(u"doc.bak"_s), first);
}

// ------------------------------------------------------------ enciphered files

TEST_F(ArchiveTest, EncipheredFileIsMagicAndCipherTextOfThePlainFile)
{
    build(tree, u"Secret(Inner),Other"_s);
    find(tree, u"Inner"_s)->SetBodyText(u"pin 1234"_s);
    TArchive plain(&tree);
    plain.WriteNotes(nullptr, path(u"doc.vlt"_s));
    TArchive enciphered(&tree);
    enciphered.Password = u"pass word"_s;
    enciphered.WriteNotes(nullptr, path(u"doc.VLE"_s));

    EXPECT_FALSE(QFile::exists(path(u"doc.VLE"_s)));
    EXPECT_TRUE(QFile::exists(path(u"doc.vle"_s)));
    const QByteArray text = readBytes(u"doc.vlt"_s);
    const QByteArray file = readBytes(u"doc.vle"_s);
    ASSERT_TRUE(file.startsWith("VLE"));
    const qsizetype padded = (text.size() + 7) / 8 * 8;
    EXPECT_EQ(file.size(), 3 + padded);
    QByteArray cipherText = file.mid(3);
    TBlowfish(QByteArray("pass word")).DecryptString(cipherText);
    EXPECT_EQ(cipherText, text + QByteArray(padded - text.size(), '\0'));

    TNoteTree back;
    TArchive reader(&back);
    reader.Password = u"pass word"_s;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"doc.vle"_s)));
    EXPECT_EQ(dump(back), u"Secret(Inner),Other"_s);
    EXPECT_EQ(find(back, u"Inner"_s)->Body(), QStringList{u"pin 1234"_s});
}

TEST_F(ArchiveTest, WrongPasswordNeverChangesTheTree)
{
    TNoteTree source;
    build(source, u"A"_s);
    TArchive writer(&source);
    writer.Password = u"right"_s;
    writer.WriteNotes(nullptr, path(u"doc.vle"_s));

    build(tree, u"Open,Document"_s);
    for (const QString &wrong : {u"wrong"_s, u"Right"_s, QString(), u"right "_s}) {
        TArchive reader(&tree);
        reader.Password = wrong;
        bool read = true;
        try {
            read = reader.ReadNotes(nullptr, path(u"doc.vle"_s));
        } catch (const EInvalidPassword &e) {
            EXPECT_EQ(e.message(), u"Invalid password!"_s);
            read = false;
        }
        EXPECT_FALSE(read) << wrong.toStdString();
        EXPECT_EQ(dump(tree), u"Open,Document"_s);
    }
}

TEST_F(ArchiveTest, FileWithoutTheMagicHasAnInvalidSignature)
{
    for (const QByteArray &bytes : {QByteArray(), QByteArray("VL"), QByteArray("vle12345678"),
                                    QByteArray("XVLE1234")}) {
        writeBytes(u"bad.vle"_s, bytes);
        TArchive reader(&tree);
        reader.Password = u"x"_s;
        try {
            reader.ReadNotes(nullptr, path(u"bad.vle"_s));
            ADD_FAILURE() << "no error for " << bytes.toStdString();
        } catch (const EInvalidSignature &e) {
            EXPECT_EQ(e.message(), u"Invalid file signature!"_s);
        }
    }
}

TEST_F(ArchiveTest, PasswordKeyedWithCodePageBytesStillOpens)
{
    const QByteArray text = crlf({"<!DOCTYPE Vellumtree-File>", "<dl>", "<dt><h3>old</h3></dt>"});
    QByteArray cipherText = text;
    TBlowfish(QByteArray("p\xE4ss")).EncryptString(cipherText); // "päss" in windows-1252
    writeBytes(u"old.vle"_s, "VLE" + cipherText);

    TArchive reader(&tree);
    reader.LegacyEncoding = TTextEncoding::Windows1252;
    reader.Password = u"päss"_s;
    ASSERT_TRUE(reader.ReadNotes(nullptr, path(u"old.vle"_s)));
    EXPECT_EQ(dump(tree), u"old"_s);
}

TEST(ArchiveNames, EncipheredNamesAreRecognisedInAnyCaseAndWrittenLowerCase)
{
    EXPECT_TRUE(TArchive::IsEncryptedName(u"a.vle"_s));
    EXPECT_TRUE(TArchive::IsEncryptedName(u"/x/A.VlE"_s));
    EXPECT_FALSE(TArchive::IsEncryptedName(u"a.vlt"_s));
    EXPECT_FALSE(TArchive::IsEncryptedName(u"/x.vle/a"_s));
    EXPECT_EQ(TArchive::EncryptedName(u"/d.x/a.VLE"_s), u"/d.x/a.vle"_s);
    EXPECT_EQ(TArchive::EncryptedName(u"/d.x/a.vlt"_s), u"/d.x/a.vle"_s);
    EXPECT_EQ(TArchive::EncryptedName(u"/d.x/a"_s), u"/d.x/a.vle"_s);
}

} // namespace

namespace {

// Every line the reader treats as markup, and the escaped forms themselves, as body
// lines: each must come back as it was, in a whole-tree file and in a branch export.
TEST_F(ArchiveTest, BodyLineThatLooksLikeMarkupSurvivesTheRoundTrip)
{
    const QStringList body = {u"</pre></dd>"_s,
                              u"<dt><h3>extra</h3></dt>"_s,
                              u"&lt;/pre></dd>"_s,
                              u"&amp;lt;/pre></dd>"_s,
                              u"&amp;amp;lt;/pre></dd>"_s,
                              u"&amp;/pre></dd>"_s,
                              u"<dd><pre>"_s,
                              u"<dl>"_s,
                              u"</dl>"_s,
                              u"<!DOCTYPE Vellumtree-File>"_s,
                              u"<!--LastNote:1-->"_s,
                              u"<!--Escaped-->"_s,
                              u"</pre></dd> "_s,
                              u"</body>"_s,
                              QString(),
                              u"</pre></dd>"_s};
    build(tree, u"A(B),C"_s);
    find(tree, u"A"_s)->SetBody(body);
    find(tree, u"B"_s)->SetBody(body);
    TArchive(&tree).WriteNotes(nullptr, path(u"doc.vlt"_s));
    TArchive(&tree).WriteNotes(find(tree, u"A"_s), path(u"branch.vlt"_s));
    for (const QString &name : {u"doc.vlt"_s, u"branch.vlt"_s}) {
        TNoteTree back;
        ASSERT_TRUE(readInto(back, name));
        EXPECT_EQ(dump(back), name == u"doc.vlt"_s ? u"A(B),C"_s : u"A(B)"_s);
        EXPECT_EQ(find(back, u"A"_s)->Body(), body);
        EXPECT_EQ(find(back, u"B"_s)->Body(), body);
    }
    // A browser shows the body's text: no line closes the preformatted block early.
    const QByteArray bytes = readBytes(u"doc.vlt"_s);
    EXPECT_EQ(bytes.count("</pre></dd>\r\n"), 3);
    EXPECT_TRUE(bytes.contains("<dd><pre>\r\n&lt;/pre></dd>\r\n<dt><h3>extra</h3></dt>\r\n"
                               "&amp;lt;/pre></dd>\r\n&amp;amp;lt;/pre></dd>\r\n"
                               "&amp;amp;amp;lt;/pre></dd>\r\n&amp;/pre></dd>\r\n"));
}

// Files without the marker are read exactly as before: an escaped-looking line stays,
// and a bare closing line still ends the body.
TEST_F(ArchiveTest, FileWrittenBeforeTheEscapeReadsAsBefore)
{
    writeBytes(u"old.vlt"_s,
               crlf(header() + QList<QByteArray>{"<dt><h3>A</h3></dt>", "<dd><pre>",
                                                 "&lt;/pre></dd>", "</pre></dd>",
                                                 "<dt><h3>B</h3></dt>", "</dl>"}));
    ASSERT_TRUE(readInto(tree, u"old.vlt"_s));
    EXPECT_EQ(dump(tree), u"A,B"_s);
    EXPECT_EQ(find(tree, u"A"_s)->Body(), QStringList{u"&lt;/pre></dd>"_s});

    // A document that needs no escape is written byte for byte as before.
    TNoteTree plain;
    build(plain, u"A"_s);
    find(plain, u"A"_s)->SetBody(QStringList{u"&lt;/pre></dd> x"_s});
    TArchive(&plain).WriteNotes(nullptr, path(u"plain.vlt"_s));
    EXPECT_EQ(readBytes(u"plain.vlt"_s),
              crlf(header() + QList<QByteArray>{"<dt><h3>A</h3></dt>", "<dd><pre>",
                                                "&lt;/pre></dd> x", "</pre></dd>", "</dl>",
                                                "</body>", "</html>"}));
}

// Bodies are kept with a CR LF after every line whatever the file broke its lines
// with, and a body the file leaves unclosed still ends with one.
TEST_F(ArchiveTest, OtherLineBreaksReadAsTheTextForm)
{
    QByteArray bytes = crlf(header());
    bytes += "<dt><h3>A</h3></dt>\n<dd><pre>\none\ntwo\rthree\r\n\n</pre></dd>\r"
             "<dt><h3>B</h3></dt>\r\n<dd><pre>\r\nlast line";
    writeBytes(u"breaks.vlt"_s, bytes);
    ASSERT_TRUE(readInto(tree, u"breaks.vlt"_s));
    EXPECT_EQ(dump(tree), u"A,B"_s);
    EXPECT_EQ(find(tree, u"A"_s)->BodyText(), u"one\r\ntwo\r\nthree\r\n\r\n"_s);
    EXPECT_EQ(find(tree, u"B"_s)->BodyText(), u"last line\r\n"_s);

    TArchive(&tree).WriteNotes(nullptr, path(u"back.vlt"_s));
    const QByteArray back = readBytes(u"back.vlt"_s);
    EXPECT_TRUE(back.contains("<dd><pre>\r\none\r\ntwo\r\nthree\r\n\r\n</pre></dd>\r\n"));
    EXPECT_TRUE(back.contains("<dd><pre>\r\nlast line\r\n</pre></dd>\r\n"));
}

// A line that needs escaping may come from a file without the marker, or be typed
// into a body that was saved before: either way the next save escapes it.
TEST_F(ArchiveTest, EveryLineThatEndsABodyIsEscapedWhenWritten)
{
    writeBytes(u"old.vlt"_s,
               crlf(header() + QList<QByteArray>{"<dt><h3>A</h3></dt>", "<dd><pre>",
                                                 "&lt;/pre></dd>", "</pre></dd>",
                                                 "<dt><h3>B</h3></dt>", "<dd><pre>", "b",
                                                 "</pre></dd>", "</dl>"}));
    ASSERT_TRUE(readInto(tree, u"old.vlt"_s));
    TArchive(&tree).WriteNotes(nullptr, path(u"new.vlt"_s));
    EXPECT_TRUE(readBytes(u"new.vlt"_s).contains("\r\n<!--Escaped-->\r\n"));
    TNoteTree back;
    ASSERT_TRUE(readInto(back, u"new.vlt"_s));
    EXPECT_EQ(find(back, u"A"_s)->BodyText(), u"&lt;/pre></dd>\r\n"_s);

    // B was saved as needing no escape; what is typed into it now does.
    find(back, u"A"_s)->SetBodyText(u"a"_s);
    find(back, u"B"_s)->SetBodyText(u"b\r\n</pre></dd>\r\nafter"_s);
    TArchive(&back).WriteNotes(nullptr, path(u"typed.vlt"_s));
    TNoteTree typed;
    ASSERT_TRUE(readInto(typed, u"typed.vlt"_s));
    EXPECT_EQ(dump(typed), u"A,B"_s);
    EXPECT_EQ(find(typed, u"B"_s)->Body(), (QStringList{u"b"_s, u"</pre></dd>"_s, u"after"_s}));
}

// A file is read a chunk (1 MB) at a time: no line break, character or body may be
// cut where one chunk ends, and a byte that is not UTF-8 in a later chunk still
// decides the encoding of the whole text.
TEST_F(ArchiveTest, ChunksOfALargeFileCutNothing)
{
    constexpr qsizetype kChunk = 1 << 20;
    struct Case
    {
        QByteArray piece; // placed to start `before` bytes ahead of the chunk's end
        qsizetype before;
        QString expected;
        TTextEncoding encoding;
    };
    const QList<Case> cases{
        {"\r\n", 1, u"\r\n"_s, TTextEncoding::Utf8},
        {"\r\n", 2, u"\r\n"_s, TTextEncoding::Utf8},
        {"\n\r", 1, u"\r\n\r\n"_s, TTextEncoding::Utf8},
        {"\xC3\xA9", 1, u"é"_s, TTextEncoding::Utf8},
        {"\xE2\x82\xAC", 1, u"€"_s, TTextEncoding::Utf8},
        {"\xE2\x82\xAC", 2, u"€"_s, TTextEncoding::Utf8},
        {"\xF0\x9F\x98\x80", 3, QString::fromUcs4(U"\U0001F600", 1), TTextEncoding::Utf8},
        {"\xF0\x9F\x98\x80", 1, QString::fromUcs4(U"\U0001F600", 1), TTextEncoding::Utf8},
        {"\xE9", -1000, u"é"_s, TTextEncoding::Windows1252},
    };
    for (const Case &c : cases) {
        const QByteArray head = crlf(header()) + "<dt><h3>A</h3></dt>\r\n<dd><pre>\r\n";
        const qsizetype pad = kChunk - c.before - head.size();
        QByteArray bytes = head + QByteArray(pad, 'x') + c.piece + "y\r\nafter\r\n</pre></dd>\r\n"
            + "<dt><h3>B</h3></dt>\r\n<dd><pre>\r\nb\r\n</pre></dd>\r\n</dl>\r\n";
        writeBytes(u"large.vlt"_s, bytes);
        TNoteTree large;
        TArchive archive(&large);
        archive.LegacyEncoding = TTextEncoding::Windows1252;
        ASSERT_TRUE(archive.ReadNotes(nullptr, path(u"large.vlt"_s))) << c.before;
        EXPECT_EQ(archive.Encoding, c.encoding) << c.before;
        EXPECT_EQ(dump(large), u"A,B"_s);
        EXPECT_EQ(find(large, u"A"_s)->BodyText(),
                  QString(pad, u'x') + c.expected + u"y\r\nafter\r\n"_s)
            << c.piece.toHex().toStdString() << " " << c.before;
        EXPECT_EQ(find(large, u"B"_s)->BodyText(), u"b\r\n"_s);
    }
}

// The text ends at a NUL even when the NUL is chunks away from the start.
TEST_F(ArchiveTest, NulInALaterChunkEndsTheText)
{
    QByteArray bytes = crlf(header()) + "<dt><h3>A</h3></dt>\r\n<dd><pre>\r\n"
        + QByteArray(3 << 20, 'x') + "\r\n</pre></dd>\r\n<dt><h3>B</h3></dt>\r\n";
    bytes += QByteArray(1, '\0') + "\r\n<dt><h3>C</h3></dt>\r\n";
    writeBytes(u"nul.vlt"_s, bytes);
    ASSERT_TRUE(readInto(tree, u"nul.vlt"_s));
    EXPECT_EQ(dump(tree), u"A,B"_s);
    EXPECT_EQ(find(tree, u"A"_s)->BodyText().size(), (3 << 20) + 2);
}

// A body of megabytes is written to the file a piece at a time: no character may be
// cut where one piece ends, wherever that falls.
TEST_F(ArchiveTest, LongBodyIsWrittenInPiecesThatCutNoCharacter)
{
    const QString pair = QString::fromUcs4(U"\U0001F600", 1);
    const qsizetype piece = (1 << 20) / 3; // UTF-16 units of one piece
    for (qsizetype shift = 0; shift < 3; ++shift) {
        QString body = QString(piece - 2 + shift, u'x') + pair + u"€é"_s;
        body += QString(piece, u'y') + pair + pair + u"\r\n"_s;
        body += (pair + u'z').repeated(piece) + u"\r\n"_s;
        TNoteTree doc;
        doc.AddNote(nullptr, u"A"_s, imLastChild, body);
        doc.AddNote(nullptr, u"B"_s, imLastChild, u"b"_s);
        TArchive archive(&doc);
        ASSERT_TRUE(archive.WriteNotes(nullptr, path(u"long.vlt"_s)));
        EXPECT_TRUE(readBytes(u"long.vlt"_s)
                    == TextEncoding::joinLines(archive.BuildLines(nullptr)).toUtf8())
            << shift;
        TNoteTree back;
        ASSERT_TRUE(readInto(back, u"long.vlt"_s));
        EXPECT_TRUE(find(back, u"A"_s)->BodyText() == body) << shift;
    }
}

TEST_F(ArchiveTest, FallbackTitleIsTheFileNameNotThePathCutAtTheFirstDot)
{
    QDir(dir.path()).mkdir(u"notes.d"_s);
    writeBytes(u"notes.d/x.y.vlt"_s, crlf({"<!DOCTYPE Vellumtree-File>", "<dl>"}));
    ASSERT_TRUE(readInto(tree, u"notes.d/x.y.vlt"_s));
    EXPECT_EQ(lastTitle, u"x.y"_s);
}

} // namespace
