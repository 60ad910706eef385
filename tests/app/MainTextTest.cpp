#include "app/MainText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct TitleCase
{
    const char *name;
    QString clipboard;
    QString title;
};

class ClipboardTitle : public ::testing::TestWithParam<TitleCase>
{
};

TEST_P(ClipboardTitle, FollowsTheTitleRules)
{
    EXPECT_EQ(MainText::TitleFromClipboardText(GetParam().clipboard, u"New note"_s),
              GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ClipboardTitle,
    ::testing::Values(TitleCase{"LeadingSpacesAndFirstLine", u"  First line\r\nmore"_s, u"First line"_s},
                      TitleCase{"LoneLineFeed", u"one\ntwo"_s, u"one"_s},
                      TitleCase{"TabsStay", u"\tx"_s, u"\tx"_s},
                      TitleCase{"Empty", QString(), u"New note"_s},
                      TitleCase{"OnlySpacesThenBreak", u"   \r\nbody"_s, u"New note"_s},
                      TitleCase{"Exactly255", QString(255, u'x'), QString(255, u'x')},
                      TitleCase{"Long", QString(300, u'y'), QString(255, u'y') + u"..."_s}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SelectionTitle, JoinsLinesTrimsSpacesAndCapitalises)
{
    EXPECT_EQ(MainText::TitleFromSelection(u"  hello\r\nworld  "_s), u"Hello world"_s);
    EXPECT_EQ(MainText::TitleFromSelection(u"über\u2029alles"_s), u"Über alles"_s);
    EXPECT_EQ(MainText::TitleFromSelection(u"   "_s), QString());
    EXPECT_EQ(MainText::TitleFromSelection(u"\tx "_s), u"\tx"_s);
}

TEST(TrayTip, CutAtTheFirstBarAndAt63Characters)
{
    EXPECT_EQ(MainText::TrayTip(u"Vellumtree - [a|b]"_s), u"Vellumtree - [a"_s);
    EXPECT_EQ(MainText::TrayTip(QString(63, u'x')), QString(63, u'x'));
    EXPECT_EQ(MainText::TrayTip(QString(64, u'x') + u'|'), QString(63, u'x'));
    // A character outside the BMP at the cut is left out whole.
    const QString clef = u"\U0001D11E"_s;
    EXPECT_EQ(MainText::TrayTip(QString(62, u'x') + clef), QString(62, u'x'));
    EXPECT_EQ(MainText::TrayTip(QString(61, u'x') + clef + u'y'), QString(61, u'x') + clef);
}

} // namespace
