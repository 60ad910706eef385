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

TEST(TextEncoding, TextFormIsEveryLineFollowedByCrLf)
{
    EXPECT_TRUE(TextEncoding::isTextForm(u""_s));
    EXPECT_TRUE(TextEncoding::isTextForm(u"a\r\n\r\nb\r\n"_s));
    for (const QString &text : {u"a"_s, u"a\n"_s, u"a\r"_s, u"a\rb\r\n"_s, u"a\nb\r\n"_s,
                                u"a\r\r\n"_s, u"\n\r\n"_s})
        EXPECT_FALSE(TextEncoding::isTextForm(text)) << text.toStdString();

    EXPECT_EQ(TextEncoding::toTextForm(u"a\rb\nc\r\nd"_s), u"a\r\nb\r\nc\r\nd\r\n"_s);
    EXPECT_EQ(TextEncoding::toTextForm(u"a\n\rb"_s), u"a\r\n\r\nb\r\n"_s);
    EXPECT_EQ(TextEncoding::toTextForm(u"\r\n"_s), u"\r\n"_s);
    EXPECT_EQ(TextEncoding::textFormLineCount(u"a\r\n\r\n"_s), 2);

    QStringList lines;
    TextEncoding::forEachTextFormLine(u"one\r\n\r\nthree\r\n"_s,
                                      [&lines](QStringView line) { lines.append(line.toString()); });
    EXPECT_EQ(lines, (QStringList{u"one"_s, QString(), u"three"_s}));
}

// The writer's own encoder must give the bytes Qt gives, wherever a character that
// is not ASCII falls against its sixteen-unit steps.
TEST(TextEncoding, AppendUtf8GivesWhatToUtf8Gives)
{
    const QString surrogatePair = QString::fromUcs4(U"\U0001F600", 1);
    const QList<QString> tails{
        QString(), u"plain ascii text that is longer than sixteen units"_s, u"café"_s,
        u"日本語のテキスト"_s, surrogatePair + u"x"_s, QString(QChar(0xD800)) + u"lone high"_s,
        u"lone low"_s + QChar(0xDC00), u"\x7F\x80\u07FF\u0800\uFFFF"_s};
    for (const QString &tail : tails) {
        for (int pad = 0; pad < 34; ++pad) {
            const QString text = QString(pad, u'a') + tail + QString(pad % 5, u'z');
            QByteArray out(text.size() * 3, '\0');
            out.truncate(TextEncoding::appendUtf8(out.data(), text) - out.data());
            EXPECT_EQ(out, text.toUtf8()) << pad << " " << tail.toStdString();
        }
    }
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
