// A generated document of many notes, larger than the chunks a save is written in,
// written and read back in every encoding: not one byte may change, and the file
// must hold exactly the text the writer builds in memory.

#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct TCase
{
    const char *name;
    TTextEncoding encoding;
    bool enciphered;
};

// Characters the encoding can hold: for a code page every byte from 0x20 up, for
// UTF-8 also characters outside the basic plane, whose halves a chunk must not cut.
QString alphabet(TTextEncoding encoding)
{
    if (encoding != TTextEncoding::Utf8) {
        QByteArray bytes;
        for (int b = 0x20; b <= 0xFF; ++b)
            bytes.append(static_cast<char>(b));
        return TextEncoding::decodeLegacy(bytes, encoding);
    }
    return u"abc XYZ 09 <>&;/ äöü Привет 日本語 😀🎉𝄞"_s;
}

QString randomText(quint32 &seed, const QString &chars, int length)
{
    QString text;
    for (int i = 0; i < length; ++i) {
        seed = seed * 1664525u + 1013904223u;
        qsizetype at = (seed >> 8) % chars.size();
        if (chars[at].isLowSurrogate())
            --at;
        text += chars[at];
        if (chars[at].isHighSurrogate())
            text += chars[at + 1];
    }
    return text;
}

// Some 1,500 notes up to six deep, with empty bodies, blank lines, trailing blanks
// and lines that must be escaped.
void generate(TNoteTree &tree, TTextEncoding encoding)
{
    const QString chars = alphabet(encoding);
    quint32 seed = 7;
    const QStringList special{u"</pre></dd>"_s, u"&lt;/pre></dd>"_s, u"&amp;lt;/pre></dd>"_s,
                              QString(), u"trailing  "_s, u"<dl>"_s};
    TNote *parent = nullptr;
    for (int i = 0; i < 1500; ++i) {
        TNote *note = tree.AddNote(parent, randomText(seed, chars, 12), imLastChild);
        QStringList body;
        for (int line = 0; line < i % 7; ++line)
            body.append(i % 11 == line ? special[i % special.size()]
                                       : randomText(seed, chars, 30 + i % 50));
        note->SetBody(body);
        if (i % 5 == 0 && note->Level() < 6)
            parent = note;
        else if (i % 13 == 0 && parent)
            parent = parent->Parent();
    }
}

class LargeRoundTrip : public ::testing::TestWithParam<TCase>
{
protected:
    QByteArray readBytes(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

TEST_P(LargeRoundTrip, FileWrittenBackIsByteIdenticalAndAsBuiltInMemory)
{
    const TCase param = GetParam();
    const QString name = dir.filePath(param.enciphered ? u"doc.vle"_s : u"doc.vlt"_s);
    TNoteTree tree;
    generate(tree, param.encoding);

    TArchive writer(&tree);
    writer.Password = u"secret"_s;
    writer.Title = u"Generated"_s;
    writer.LastNode = tree.NoteAt(tree.Count() / 2);
    writer.Encoding = param.encoding;
    const QStringList lines = writer.BuildLines(nullptr);
    ASSERT_TRUE(lines.contains(u"<!--Escaped-->"_s));
    writer.WriteNotes(nullptr, name);
    EXPECT_EQ(writer.Encoding, param.encoding);
    const QByteArray written = readBytes(name);
    ASSERT_GT(written.size(), 200 * 1024);
    TArchive inMemory(&tree);
    inMemory.Password = writer.Password;
    inMemory.Encoding = param.encoding;
    EXPECT_EQ(inMemory.FileBytes(lines, name), written);

    TNoteTree back;
    TArchive reader(&back);
    reader.Password = writer.Password;
    reader.LegacyEncoding =
        param.encoding == TTextEncoding::Utf8 ? TTextEncoding::Windows1252 : param.encoding;
    ASSERT_TRUE(reader.ReadNotes(nullptr, name));
    EXPECT_EQ(reader.Encoding, param.encoding);
    ASSERT_EQ(back.Count(), tree.Count());
    for (int i = 0; i < tree.Count(); i += 97) {
        EXPECT_EQ(back.NoteAt(i)->Title(), tree.NoteAt(i)->Title());
        EXPECT_EQ(back.NoteAt(i)->Body(), tree.NoteAt(i)->Body());
    }

    TArchive again(&back);
    again.Password = writer.Password;
    again.Title = reader.Title;
    again.LastNode = reader.LastNode;
    again.Encoding = reader.Encoding;
    const QString copy = dir.filePath(param.enciphered ? u"copy.vle"_s : u"copy.vlt"_s);
    again.WriteNotes(nullptr, copy);
    EXPECT_EQ(readBytes(copy), written);

    // A branch on its own, as an export writes it.
    TNote *branch = tree.NoteAt(0);
    ASSERT_TRUE(branch->HasChildren());
    const QString branchName = dir.filePath(param.enciphered ? u"b.vle"_s : u"b.vlt"_s);
    writer.WriteNotes(branch, branchName);
    EXPECT_EQ(inMemory.FileBytes(writer.BuildLines(branch), branchName), readBytes(branchName));
}

INSTANTIATE_TEST_SUITE_P(Encodings, LargeRoundTrip,
                         ::testing::Values(TCase{"Utf8", TTextEncoding::Utf8, false},
                                           TCase{"Windows1250", TTextEncoding::Windows1250, false},
                                           TCase{"Windows1251", TTextEncoding::Windows1251, false},
                                           TCase{"Windows1252", TTextEncoding::Windows1252, false},
                                           TCase{"Utf8Enciphered", TTextEncoding::Utf8, true},
                                           TCase{"Windows1251Enciphered",
                                                 TTextEncoding::Windows1251, true}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
