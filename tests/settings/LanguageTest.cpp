#include "QtPrinters.h"
#include "settings/LngMan.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// --- The profile syntax --------------------------------------------------------------

struct ParseCase
{
    const char *name;
    QByteArray file;
    QString section;
    QString key;
    QString expected; // a null string: the key is not there
};

void PrintTo(const ParseCase &c, std::ostream *os)
{
    *os << c.name;
}

class ProfileParse : public testing::TestWithParam<ParseCase>
{
};

TEST_P(ProfileParse, FindsTheValue)
{
    const ParseCase &c = GetParam();
    const QString value = TProfileData::parse(c.file).value(c.section, c.key);
    EXPECT_EQ(value.isNull(), c.expected.isNull());
    EXPECT_EQ(value, c.expected);
}

const QString kMissing;

INSTANTIATE_TEST_SUITE_P(Quirks, ProfileParse,
    testing::Values(ParseCase { "SectionAndKeyIgnoreCase", "[Strings]\r\nRoot_Note=Notes\r\n",
                        u"STRINGS"_s, u"root_note"_s, u"Notes"_s },
        ParseCase { "BlanksAroundDropped", "  [ Strings ]  \n \t key \t= \t a value \t\n",
            u"Strings"_s, u"key"_s, u"a value"_s },
        ParseCase { "FirstEqualKeyWins", "[s]\nk=first\nK=second\n", u"s"_s, u"k"_s, u"first"_s },
        ParseCase { "SameSectionTwiceReadAsOne", "[a]\nx=1\n[b]\ny=2\n[A]\ny=3\nz=4\n", u"a"_s,
            u"z"_s, u"4"_s },
        ParseCase { "KeyOfOtherSectionNotSeen", "[a]\nx=1\n[b]\ny=2\n", u"a"_s, u"y"_s, kMissing },
        ParseCase { "EqualsInValueKept", "[s]\nk=a=b\n", u"s"_s, u"k"_s, u"a=b"_s },
        ParseCase { "EmptyValueIsEmptyNotMissing", "[s]\nk=\n", u"s"_s, u"k"_s, u""_s },
        ParseCase {
            "LineWithoutEqualsIsEmptyKey", "[s]\nlone key\n", u"s"_s, u"lone key"_s, u""_s },
        ParseCase { "CommentLineIgnored", "[s]\n;k=hidden\n", u"s"_s, u";k"_s, kMissing },
        ParseCase { "EntryBeforeAnySectionIgnored", "k=v\n[s]\n", u"s"_s, u"k"_s, kMissing },
        ParseCase { "LoneCrAndLfEndLines", "[s]\rk=1\ry=2\nz=3", u"s"_s, u"y"_s, u"2"_s },
        ParseCase { "UnclosedSectionHeader", "[s\nk=v\n", u"s"_s, u"k"_s, u"v"_s },
        ParseCase { "PipeReturnedUnchanged", "[s]\nk=a|b\n", u"s"_s, u"k"_s, u"a|b"_s },
        ParseCase {
            "Utf8WithByteOrderMark", "\xEF\xBB\xBF[s]\nk=\xC3\xBC\n", u"s"_s, u"k"_s, u"\u00FC"_s },
        ParseCase { "LegacyCodePageBytes", "[s]\nk=\xFC\n", u"s"_s, u"k"_s, u"\u00FC"_s },
        ParseCase { "Utf16LittleEndian", QByteArray("\xFF\xFE[\0s\0]\0\n\0k\0=\0v\0", 16), u"s"_s,
            u"k"_s, u"v"_s },
        ParseCase { "NonAsciiKeysFoldCase",
            "[s]\n\xC3\x9C"
            "ber=x\n",
            u"s"_s, u"\u00FCBER"_s, u"x"_s },
        ParseCase { "EmptyFile", "", u"s"_s, u"k"_s, kMissing }),
    [](const testing::TestParamInfo<ParseCase> &info) { return std::string(info.param.name); });

TEST(ProfileLimits, ValuesAreCutAt2047Characters)
{
    const QByteArray longValue(5000, 'x');
    const TProfileData data = TProfileData::parse("[s]\nk=" + longValue + "\n");
    EXPECT_EQ(data.value(u"s", u"k").size(), TProfileData::MaxValueLength);
}

TEST(ProfileLimits, KeyNamesStopAtSixteenKilobytesWithoutPartialNames)
{
    QByteArray file = "[s]\n";
    for (int i = 0; i < 1000; ++i)
        file += "component" + QByteArray::number(i).rightJustified(4, '0') + ".Caption=x\n";
    const QStringList keys = TProfileData::parse(file).keys(u"s");
    ASSERT_GT(keys.size(), 0);
    ASSERT_LT(keys.size(), 1000);
    qsizetype used = 0;
    for (const QString &key : keys) {
        EXPECT_TRUE(key.endsWith(u".Caption"_s)) << key.toStdString();
        used += key.size() + 1;
    }
    EXPECT_LT(used, TProfileData::MaxSectionKeyChars);
    // The next whole name would not have fitted.
    EXPECT_GE(used + keys.first().size() + 1, TProfileData::MaxSectionKeyChars);
}

TEST(ProfileLimits, KeysListedOnceInFileOrderWithFirstSpelling)
{
    const TProfileData data
        = TProfileData::parse("[f]\nb.Caption=1\na.Hint=2\nB.CAPTION=3\n[F]\nc.Text=4\n");
    EXPECT_EQ(data.keys(u"F"), QStringList({ u"b.Caption"_s, u"a.Hint"_s, u"c.Text"_s }));
    EXPECT_EQ(data.sections(), QStringList({ u"f"_s }));
}

// --- The language manager --------------------------------------------------------------

class LngManTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        writeBytes(path(u"One.lng"_s), "[Strings]\nnew_note=One note\nempty_key=\n");
        writeBytes(path(u"Two.lng"_s), "[Strings]\nnew_note=Two note\n");
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    TLngMan m_lng;
};

TEST_F(LngManTest, SetLanguageBeforeFolderFailsWithFixedText)
{
    try {
        m_lng.SetLanguage(u"One.lng"_s);
        FAIL() << "no exception";
    } catch (const ELngManagerException &e) {
        EXPECT_EQ(e.message(), u"Language manager not initialized!"_s);
    }
    EXPECT_FALSE(m_lng.HasLanguage());
}

TEST_F(LngManTest, MissingFileFailsAndTheCurrentLanguageStays)
{
    m_lng.SetFolder(m_dir.path());
    m_lng.SetLanguage(u"One.lng"_s);
    for (const QString &bad : { u"Missing.lng"_s, u"../One.lng"_s, u""_s }) {
        try {
            m_lng.SetLanguage(bad);
            FAIL() << "no exception for " << bad.toStdString();
        } catch (const ELngManagerException &e) {
            EXPECT_EQ(e.message(), u"Couldn't find language file!"_s);
        }
    }
    EXPECT_EQ(m_lng.LanguageName(), u"One.lng"_s);
    EXPECT_EQ(m_lng.GetString(u"new_note"_s, u"Strings"_s), u"One note"_s);
}

TEST_F(LngManTest, ReadsTheFileAtEveryLookUp)
{
    m_lng.SetFolder(m_dir.path());
    m_lng.SetLanguage(u"One.lng"_s);
    writeBytes(path(u"One.lng"_s), "[Strings]\nnew_note=Edited\n");
    EXPECT_EQ(m_lng.GetString(u"new_note"_s, u"Strings"_s), u"Edited"_s);
}

TEST_F(LngManTest, SameNameAgainDoesNothingEvenAfterTheFolderChanged)
{
    m_lng.SetFolder(m_dir.path());
    m_lng.SetLanguage(u"One.lng"_s);
    m_lng.SetFolder(u"/nonexistent-folder"_s);
    EXPECT_NO_THROW(m_lng.SetLanguage(u"One.lng"_s));
    EXPECT_EQ(m_lng.GetString(u"new_note"_s, u"Strings"_s), u"One note"_s);
    EXPECT_THROW(m_lng.SetLanguage(u"Two.lng"_s), ELngManagerException);
}

TEST_F(LngManTest, BuiltInEnglishFillsWhatNoFileGives)
{
    const QString builtIn = BuiltInLanguage().value(u"Strings", u"new_note");
    ASSERT_FALSE(builtIn.isEmpty());
    // No language at all.
    EXPECT_EQ(m_lng.GetString(u"new_note"_s, u"Strings"_s), builtIn);
    m_lng.SetFolder(m_dir.path());
    m_lng.SetLanguage(u"One.lng"_s);
    // A key the file lacks; a key the file blanks on purpose stays blank.
    EXPECT_EQ(m_lng.GetString(u"root_note"_s, u"Strings"_s),
        BuiltInLanguage().value(u"Strings", u"root_note"));
    EXPECT_EQ(m_lng.GetString(u"empty_key"_s, u"Strings"_s), u""_s);
    EXPECT_EQ(m_lng.GetString(u"no_such_key"_s, u"Strings"_s), u""_s);
    // The file vanished after it was chosen.
    QFile::remove(path(u"One.lng"_s));
    EXPECT_EQ(m_lng.GetString(u"new_note"_s, u"Strings"_s), builtIn);
}

TEST_F(LngManTest, ListsOnlyLanguageFilesAndAppends)
{
    writeBytes(path(u"Upper.LNG"_s), "");
    writeBytes(path(u"notes.txt"_s), "");
    QDir(m_dir.path()).mkdir(u"Folder.lng"_s);
    m_lng.SetFolder(m_dir.path());
    QStringList list { u"kept"_s };
    m_lng.ListLanguages(list);
    EXPECT_EQ(list.first(), u"kept"_s);
    list.removeFirst();
    list.sort();
    EXPECT_EQ(list, QStringList({ u"One.lng"_s, u"Two.lng"_s, u"Upper.LNG"_s }));

    TLngMan other;
    other.SetFolder(path(u"empty"_s));
    QStringList none;
    other.ListLanguages(none);
    EXPECT_TRUE(none.isEmpty());
}

TEST_F(LngManTest, FormTextsSplitComponentAndPropertyAndBreakLines)
{
    writeBytes(path(u"Form.lng"_s),
        "[frmOptions]\ncbMinimize.Hint=two|lines\nrgConfirmDelete.Items=a|b|c\n"
        "lblX.Caption.Ignored=x\nNoDot=y\n");
    m_lng.SetFolder(m_dir.path());
    m_lng.SetLanguage(u"Form.lng"_s);
    const QList<TFormText> texts = m_lng.FormTexts(u"FRMOPTIONS"_s);
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts[0].Component, u"cbMinimize"_s);
    EXPECT_EQ(texts[0].Property, u"Hint"_s);
    EXPECT_EQ(texts[0].Value, u"two\nlines"_s);
    EXPECT_EQ(texts[1].Value, u"a\nb\nc"_s);
    EXPECT_EQ(texts[2].Property, u"Caption"_s);
    EXPECT_EQ(texts[3].Component, u"NoDot"_s);
    EXPECT_TRUE(texts[3].Property.isEmpty());
}

TEST_F(LngManTest, StartupFallsBackToEnglish)
{
    writeBytes(path(u"English.lng"_s), "[Strings]\nnew_note=From English\n");
    EXPECT_EQ(StartupLanguageName(m_dir.path(), u"Two.lng"_s), u"Two.lng"_s);
    EXPECT_EQ(StartupLanguageName(m_dir.path(), u"Gone.lng"_s), u"English.lng"_s);
    EXPECT_EQ(StartupLanguageName(m_dir.path(), u"../Two.lng"_s), u"English.lng"_s);
    EXPECT_TRUE(StartLanguageManager(m_lng, m_dir.path(), u"Gone.lng"_s));
    EXPECT_EQ(m_lng.LanguageName(), u"English.lng"_s);

    TLngMan bare;
    EXPECT_FALSE(StartLanguageManager(bare, path(u"nowhere"_s), u"Two.lng"_s));
    EXPECT_FALSE(bare.HasLanguage());
    EXPECT_FALSE(bare.GetString(u"root_note"_s, u"Strings"_s).isEmpty());
}

// --- The shipped language files ---------------------------------------------------------

TProfileData shipped(const QString &name)
{
    QFile file(QDir(QStringLiteral(VT_LNG_DIR)).filePath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return TProfileData::parse(file.readAll());
}

QList<QPair<QString, QString>> keysUsedAtRunTime()
{
    QList<QPair<QString, QString>> keys;
    for (const char *key : { "root_note", "new_note", "prompt_create", "prompt_save",
             "prompt_delete", "file_not_found", "filter", "txt_filter", "prompt_import",
             "prompt_export", "btn_import", "btn_export", "btn_open", "btn_save", "not_found",
             "replaced", "replaced_one", "text_not_found",
             "no_print", "no_match", "short_password", "enter_pass", "margin_invalid",
             "no_room_to_print", "page_footer", "print_progress", "print_page_number",
             "print_preparing", "print_printing", "print_finished", "about_credit" })
        keys.append({ u"Strings"_s, QString::fromLatin1(key) });
    keys.append({ u"FindForm"_s, u"FindForm.Caption"_s });
    keys.append({ u"frmAbout"_s, u"lblInformation.Caption"_s });
    return keys;
}

qsizetype countOf(const QString &text, const QString &what)
{
    return text.count(what);
}

TEST(ShippedLanguages, EveryRunTimeKeyIsInBothFiles)
{
    for (const QString &file : { u"English.lng"_s, u"Deutsch.lng"_s }) {
        const TProfileData data = shipped(file);
        for (const auto &[section, key] : keysUsedAtRunTime()) {
            EXPECT_FALSE(data.value(section, key).isEmpty())
                << file.toStdString() << " " << section.toStdString() << "/" << key.toStdString();
        }
    }
}

TEST(ShippedLanguages, BothFilesHaveTheSameSectionsKeysAndPlaceholders)
{
    const TProfileData english = shipped(u"English.lng"_s);
    const TProfileData german = shipped(u"Deutsch.lng"_s);
    const QStringList forms = { u"Language"_s, u"frmMain"_s, u"frmOptions"_s, u"frmPassword"_s, u"frmPrint"_s,
        u"frmNewNote"_s, u"frmSearchReplace"_s, u"FindForm"_s, u"frmAbout"_s, u"Strings"_s };
    EXPECT_EQ(english.sections(), forms);
    EXPECT_EQ(german.sections(), forms);
    for (const QString &section : forms) {
        const QStringList keys = english.keys(section);
        EXPECT_EQ(german.keys(section), keys) << section.toStdString();
        for (const QString &key : keys) {
            const QString en = english.value(section, key);
            const QString de = german.value(section, key);
            const std::string where = section.toStdString() + "/" + key.toStdString();
            EXPECT_FALSE(de.isEmpty()) << where;
            EXPECT_EQ(countOf(de, u"%s"_s), countOf(en, u"%s"_s)) << where;
            // Lists must keep their number of items, and filters their pairs.
            if (key.endsWith(u".Items"_s) || section == u"Strings"_s) {
                EXPECT_EQ(countOf(de, u"|"_s), countOf(en, u"|"_s)) << where;
            }
        }
    }
}

} // namespace
