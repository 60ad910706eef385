#include <gtest/gtest.h>

#include "settings/SettingsTypes.h"
#include "settings/Utils.h"

using namespace Qt::StringLiterals;

namespace {

// A target unlike a new default font, so that "keeps the target's" shows.
const TFontDesc target { u"Courier"_s, 14, fsUnderline, fpVariable, 0x123456, 238 };

struct FontCase
{
    const char *name;
    const char16_t *text;
    TFontDesc expected;
    bool fails;
};

class TextToFontCases : public ::testing::TestWithParam<FontCase>
{
};

TEST_P(TextToFontCases, DecodesFieldsAsStored)
{
    TFontDesc font = target;
    const FontCase &c = GetParam();
    if (c.fails)
        EXPECT_THROW(TextToFont(QStringView(c.text), font), EConvertError);
    else
        EXPECT_NO_THROW(TextToFont(QStringView(c.text), font));
    EXPECT_EQ(font, c.expected) << FontToText(font).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Texts, TextToFontCases,
    ::testing::Values(FontCase { "Full", u"Arial,10,3,0,clRed,204,",
                          { u"Arial"_s, 10, 3, 0, 0x0000FF, 204 }, false },
        FontCase { "NoTrailingComma", u"Arial,10,3,2,clred,204",
            { u"Arial"_s, 10, 3, 2, 0x0000FF, 204 }, false },
        FontCase { "OnlyNameAndSize", u"Arial,10,",
            { u"Arial"_s, 10, 0, fpVariable, clWindowText, 1 }, true },
        FontCase {
            "StyleLowBits", u"Arial,10,259,0,clBlack,0,", { u"Arial"_s, 10, 3, 0, 0, 0 }, false },
        FontCase { "NonNumbersKeepTarget", u",x,y,z,$00FF00,big,",
            { u"Tahoma"_s, 14, 0, fpVariable, 0x00FF00, 238 }, false },
        FontCase { "OutOfRangePitchAndCharset", u"A,1,0,7,0,256,",
            { u"A"_s, 1, 0, fpVariable, 0, 238 }, false },
        FontCase {
            "DecimalColours", u"A,1,0,0,-16777211,0,", { u"A"_s, 1, 0, 0, 0xFF000005, 0 }, false },
        FontCase {
            "UnsignedColour", u"A,1,0,0,4278190085,0,", { u"A"_s, 1, 0, 0, 0xFF000005, 0 }, false },
        FontCase {
            "BadHexColour", u"A,12,1,2,$12G,0,", { u"A"_s, 12, 1, 2, clWindowText, 1 }, true },
        FontCase {
            "HexTooLong", u"A,12,1,2,$123456789,0,", { u"A"_s, 12, 1, 2, clWindowText, 1 }, true },
        FontCase { "Empty", u"", { u"Tahoma"_s, 14, 0, fpVariable, clWindowText, 1 }, true }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FontText, DefaultFontTextAndRoundTrip)
{
    EXPECT_EQ(FontToText(TFontDesc {}), u"Tahoma,8,0,0,clWindowText,1,"_s);
    // A "%" in the name is not a placeholder.
    const TFontDesc odd { u"Noto %1 Sans%0"_s, -11, fsStrikeOut, fpFixed, 0x00010203, 255 };
    EXPECT_EQ(FontToText(odd), u"Noto %1 Sans%0,-11,8,2,$00010203,255,"_s);
    TFontDesc back;
    TextToFont(FontToText(odd), back);
    EXPECT_EQ(back, odd);
}

TEST(Colors, EveryIdentifierReadsBackToItsValue)
{
    const QStringList idents
        = { u"clBlack"_s, u"clMoneyGreen"_s, u"clNone"_s, u"clDefault"_s, u"clScrollBar"_s,
              u"clWindow"_s, u"clInfoBk"_s, u"clHotLight"_s, u"clMenuBar"_s, u"cl3DDkShadow"_s };
    for (const QString &ident : idents) {
        TColor color = 0;
        ASSERT_TRUE(Colors::stringToColor(ident.toUpper(), &color)) << ident.toStdString();
        EXPECT_EQ(Colors::colorToString(color), ident);
    }
    TColor color = 0;
    EXPECT_TRUE(Colors::identToColor(u"clhotlight", &color));
    EXPECT_EQ(color, 0xFF00001Au);
    EXPECT_TRUE(Colors::colorToIdent(0xFF000019).isEmpty()); // index 25 has no name
    EXPECT_EQ(Colors::colorToString(0xFF000019), u"$FF000019"_s);
    EXPECT_FALSE(Colors::stringToColor(u"cl", &color));
    EXPECT_FALSE(Colors::stringToColor(u"$", &color));
    EXPECT_FALSE(Colors::stringToColor(u"4294967296", &color));
}

TEST(WindowPlacement, StoredFormIsElevenLittleEndianIntegers)
{
    TWindowPlacement wp;
    wp.length = 44;
    wp.showCmd = 3;
    wp.ptMinPosition = { -1, -2 };
    wp.rcNormalPosition = { 1, 2, 0x01020304, -5 };
    const QByteArray bytes = wp.toBytes();
    ASSERT_EQ(bytes.size(), 44);
    EXPECT_EQ(bytes.first(12), QByteArray("\x2c\0\0\0\0\0\0\0\x03\0\0\0", 12));
    EXPECT_EQ(bytes.sliced(12, 4), QByteArray("\xff\xff\xff\xff", 4));
    EXPECT_EQ(bytes.sliced(36, 8), QByteArray("\x04\x03\x02\x01\xfb\xff\xff\xff", 8));
    TWindowPlacement back;
    back.overlayBytes(bytes);
    EXPECT_EQ(back, wp);
}

TEST(Colors, ContrastFollowsLuminanceNotChannelSums)
{
    EXPECT_NEAR(Colors::contrastRatio(0x000000, 0xFFFFFF), 21.0, 1e-9);
    EXPECT_NEAR(Colors::contrastRatio(0xFFFFFF, 0x000000), 21.0, 1e-9);
    EXPECT_NEAR(Colors::contrastRatio(0x123456, 0x123456), 1.0, 1e-9);
    // Mid grey #777777 on white just misses ordinary text's 4.5; #767676 just makes it.
    EXPECT_LT(Colors::contrastRatio(0x777777, 0xFFFFFF), Colors::MinimumTextContrast);
    EXPECT_GE(Colors::contrastRatio(0x767676, 0xFFFFFF), Colors::MinimumTextContrast);
    // Green weighs most and blue least: pure green on black reads, pure blue does not.
    // Stored colours are 0x00BBGGRR.
    EXPECT_GT(Colors::contrastRatio(0x00FF00, 0x000000), 15.0);
    EXPECT_LT(Colors::contrastRatio(0xFF0000, 0x000000), 3.0);
    EXPECT_NEAR(Colors::luminance(0x0000FF), 0.2126, 1e-4); // red
}

TEST(Colors, ReadableAgainstKeepsWhatReadsAndReplacesWhatDoesNot)
{
    EXPECT_EQ(Colors::readableAgainst(0x202020, 0xFFFFFF), 0x202020u);
    EXPECT_EQ(Colors::readableAgainst(0xE6E6E6, 0xFFFFFF), 0x000000u);
    EXPECT_EQ(Colors::readableAgainst(0x303030, 0x232323), 0xFFFFFFu);
    // Dark blue takes white, a light yellow black.
    EXPECT_EQ(Colors::readableAgainst(0x400000, 0x500000), 0xFFFFFFu);
    EXPECT_EQ(Colors::readableAgainst(0x80FFFF, 0xA0FFFF), 0x000000u);
    EXPECT_FALSE(Colors::isSystemColor(0xFFFFFF));
    EXPECT_TRUE(Colors::isSystemColor(clWindowText));
}

} // namespace
