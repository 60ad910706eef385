#include "notes/CaseFold.h"
#include "notes/TextEncoding.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(TextEncoding, Utf8WhenValidOtherwiseTheLegacyPage)
{
    TTextEncoding used = TTextEncoding::Windows1252;
    EXPECT_EQ(TextEncoding::decode("caf\xC3\xA9", TTextEncoding::Windows1251, &used), u"café"_s);
    EXPECT_EQ(used, TTextEncoding::Utf8);
    EXPECT_EQ(TextEncoding::decode("caf\xE9", TTextEncoding::Windows1252, &used), u"café"_s);
    EXPECT_EQ(used, TTextEncoding::Windows1252);
    EXPECT_EQ(TextEncoding::decode("\xC0\xFF", TTextEncoding::Windows1251, &used), u"Ая"_s);
    EXPECT_EQ(TextEncoding::decode("\x8A\xB9", TTextEncoding::Windows1250, &used), u"Šą"_s);
    // A lone continuation byte is not UTF-8.
    EXPECT_FALSE(TextEncoding::isValidUtf8("\x80"));
    EXPECT_TRUE(TextEncoding::isValidUtf8("plain ascii"));
}

TEST(TextEncoding, EncodeFallsBackToUtf8WhenTheTextDoesNotFit)
{
    TTextEncoding used = TTextEncoding::Utf8;
    EXPECT_EQ(TextEncoding::encode(u"Привет"_s, TTextEncoding::Windows1251, &used),
              QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2"));
    EXPECT_EQ(used, TTextEncoding::Windows1251);
    EXPECT_EQ(TextEncoding::encode(u"Привет €"_s, TTextEncoding::Windows1252, &used),
              u"Привет €"_s.toUtf8());
    EXPECT_EQ(used, TTextEncoding::Utf8);
    QByteArray out;
    EXPECT_FALSE(TextEncoding::encodeLegacy(u"日本"_s, TTextEncoding::Windows1250, &out));
}

TEST(TextEncoding, LegacyPagesFollowTheLocale)
{
    EXPECT_EQ(TextEncoding::legacyEncodingFor(QLocale(QLocale::Russian)), TTextEncoding::Windows1251);
    EXPECT_EQ(TextEncoding::legacyEncodingFor(QLocale(QLocale::Polish)), TTextEncoding::Windows1250);
    EXPECT_EQ(TextEncoding::legacyEncodingFor(QLocale(QLocale::German)), TTextEncoding::Windows1252);
    EXPECT_EQ(TextEncoding::legacyEncodingFor(QLocale(QLocale::Serbian, QLocale::LatinScript,
                                                      QLocale::Serbia)),
              TTextEncoding::Windows1250);
}

TEST(TextEncoding, SplitLinesTakesEveryBreakAndNoEmptyLastLine)
{
    EXPECT_EQ(TextEncoding::splitLines(u"a\r\nb\rc\nd"_s),
              (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    EXPECT_EQ(TextEncoding::splitLines(u"a\r\n"_s), QStringList{u"a"_s});
    EXPECT_EQ(TextEncoding::splitLines(u"\n\n"_s), (QStringList{QString(), QString()}));
    EXPECT_EQ(TextEncoding::splitLines(u"a\n\rb"_s), (QStringList{u"a"_s, QString(), u"b"_s}));
    EXPECT_TRUE(TextEncoding::splitLines(QString()).isEmpty());
    EXPECT_EQ(TextEncoding::joinLines({u"a"_s, QString()}), u"a\r\n\r\n"_s);
}

TEST(TextEncoding, DecodeLinesDecidesForTheWholeTextNotPerLine)
{
    TTextEncoding used = TTextEncoding::Utf8;
    // The first line alone is valid UTF-8, the text as a whole is not.
    EXPECT_EQ(TextEncoding::decodeLines("caf\xC3\xA9\r\nb\xE9\n", TTextEncoding::Windows1252, &used),
              (QStringList{u"cafÃ©"_s, u"bé"_s}));
    EXPECT_EQ(used, TTextEncoding::Windows1252);
    EXPECT_EQ(TextEncoding::decodeLines("caf\xC3\xA9\rx\r\n\r\n", TTextEncoding::Windows1252, &used),
              (QStringList{u"café"_s, u"x"_s, QString()}));
    EXPECT_EQ(used, TTextEncoding::Utf8);
}

// The old fixed table folded these byte pairs of the Cyrillic code page; the
// character-wise folding must still fold every one of them.
TEST(CaseFold, FoldsEveryPairOfTheOldCyrillicTable)
{
    QList<std::pair<int, int>> pairs = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C},
                                        {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2},
                                        {0xA3, 0xBC}, {0xA5, 0xB4}, {0xA8, 0xB8}, {0xAA, 0xBA},
                                        {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};
    for (int b = 0xC0; b <= 0xDF; ++b)
        pairs.append({b, b + 0x20});
    for (const auto &[upper, lower] : pairs) {
        const QString u = TextEncoding::decodeLegacy(QByteArray(1, char(upper)), TTextEncoding::Windows1251);
        const QString l = TextEncoding::decodeLegacy(QByteArray(1, char(lower)), TTextEncoding::Windows1251);
        EXPECT_TRUE(CaseFold::equal(u, l)) << std::hex << upper;
    }
}

TEST(CaseFold, ComparesCharactersNotBytes)
{
    EXPECT_TRUE(CaseFold::equal(u"ΣΟΦΊΑ"_s, u"σοφία"_s));
    EXPECT_TRUE(CaseFold::equal(u"\U00010400"_s, u"\U00010428"_s)); // Deseret, outside the BMP
    // "Ā" and "ā" share no bytes with "Ä"/"ä": folding must not match across letters.
    EXPECT_FALSE(CaseFold::equal(u"Ā"_s, u"ä"_s));
    EXPECT_FALSE(CaseFold::equal(u"ab"_s, u"abc"_s));
    EXPECT_EQ(CaseFold::indexOf(u"Hello WORLD"_s, u"world"_s), 6);
    EXPECT_EQ(CaseFold::indexOf(u"Hello"_s, u"x"_s), -1);
}

} // namespace
