#include "notes/TreeText.h"
#include "app/qkRicheditText.h"
#include "find/FindEngine.h"
#include "notes/NoteTree.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// ---------------------------------------------------------------- matching one text

struct SearchCase
{
    const char *name;
    QString text;
    QString search;
    bool caseSensitive;
    bool wholeWords;
    qsizetype start;
    qsizetype expected;
};

class SearchTextTest : public ::testing::TestWithParam<SearchCase>
{
};

TEST_P(SearchTextTest, FindsTheFirstMatchFromStart)
{
    const SearchCase &c = GetParam();
    const TTextMatcher matcher(c.search, c.caseSensitive, c.wholeWords);
    EXPECT_EQ(matcher.SearchText(c.text, c.start), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchTextTest,
    ::testing::Values(
        SearchCase{"WholeWordSkipsConcat", u"concat cat"_s, u"cat"_s, false, true, 1, 8},
        SearchCase{"WithoutWholeWordsConcatMatches", u"concat cat"_s, u"cat"_s, false, false, 1, 4},
        SearchCase{"DigitAfterIsNoWordEnd", u"cat1"_s, u"cat"_s, false, true, 1, 0},
        SearchCase{"WholeTitleIsAWord", u"cat"_s, u"cat"_s, false, true, 1, 1},
        SearchCase{"UnderscoreSeparates", u"my_cat"_s, u"cat"_s, false, true, 1, 4},
        SearchCase{"CyrillicWordsAreWords", u"котик кот"_s, u"кот"_s, false, true, 1, 7},
        SearchCase{"CyrillicFoldsCase", u"ПРИВЕТ мир"_s, u"привет"_s, false, false, 1, 1},
        SearchCase{"AccentedLatinFolds", u"Ein ÄPFEL"_s, u"äpfel"_s, false, false, 1, 5},
        SearchCase{"GreekFinalSigmaFolds", u"ΟΔΟΣ"_s, u"οδος"_s, false, false, 1, 1},
        SearchCase{"OutsideTheBasicPlaneFolds", u"x\U00010400y"_s, u"\U00010428y"_s, false, false,
                   1, 2},
        SearchCase{"CaseSensitiveKeepsCase", u"Cat cat"_s, u"cat"_s, true, false, 1, 5},
        SearchCase{"CaseSensitiveSingleCharacter", u"aAa"_s, u"A"_s, true, false, 1, 2},
        SearchCase{"StartsAtStart", u"abcabc"_s, u"abc"_s, false, false, 2, 4},
        SearchCase{"OverlappingFromNextPosition", u"aaa"_s, u"aa"_s, false, false, 2, 2},
        SearchCase{"StartPastTheEnd", u"abc"_s, u"c"_s, false, false, 4, 0},
        SearchCase{"EmptySearchFindsNothing", u"abc"_s, QString(), false, false, 1, 0},
        SearchCase{"LongerThanTheText", u"ab"_s, u"abc"_s, false, false, 1, 0},
        SearchCase{"WholeWordAfterAFailedCandidate", u"cats cat"_s, u"cat"_s, true, true, 1, 6},
        SearchCase{"LongLineNearMissesThenAMatch", u"cax cbt ca t cat cax cbt "_s.repeated(3),
                   u"cat"_s, true, false, 1, 14},
        SearchCase{"LongLineMatchInTheLastPlaces", QString(40, u'x') + u"Cat"_s, u"cat"_s, true,
                   false, 1, 0},
        SearchCase{"LongLineMatchInTheLastPlacesExactCase", QString(41, u'x') + u"cat"_s, u"cat"_s,
                   true, false, 1, 42},
        SearchCase{"LongLineMatchInTheLastPlacesAnyCase", QString(40, u'x') + u"Cat"_s, u"cAT"_s,
                   false, false, 1, 41},
        SearchCase{"LongLineFromAStartPosition", u"cat "_s.repeated(10), u"cat"_s, true, false, 6,
                   9},
        SearchCase{"LetterOutsideThePlaneJoinsTheWord", u"cat\U00010400"_s, u"cat"_s, false, true,
                   1, 0}),
    [](const ::testing::TestParamInfo<SearchCase> &info) { return std::string(info.param.name); });

struct ReplaceCase
{
    const char *name;
    QString text;
    QString search;
    QString replacement;
    bool caseSensitive;
    bool wholeWords;
    QString expected; // null: nothing replaced
    int count;
};

class ReplaceInTextTest : public ::testing::TestWithParam<ReplaceCase>
{
};

TEST_P(ReplaceInTextTest, ReplacesAndCounts)
{
    const ReplaceCase &c = GetParam();
    const TTextMatcher matcher(c.search, c.caseSensitive, c.wholeWords);
    int count = 0;
    const QString result = matcher.ReplaceInText(c.text, c.replacement, &count);
    EXPECT_EQ(result.isNull(), c.expected.isNull());
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(count, c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceInTextTest,
    ::testing::Values(
        ReplaceCase{"BananaGrowsByThree", u"banana"_s, u"a"_s, u"aa"_s, false, false,
                    u"baanaanaa"_s, 3},
        ReplaceCase{"AnyCaseWithoutCaseSensitivity", u"BaNaNA"_s, u"a"_s, u"x"_s, false, false,
                    u"BxNxNx"_s, 3},
        ReplaceCase{"OnlyExactCaseWithIt", u"BaNaNA"_s, u"a"_s, u"x"_s, true, false, u"BxNxNA"_s,
                    2},
        ReplaceCase{"WholeWordsOnly", u"cat concat cat"_s, u"cat"_s, u"dog"_s, false, true,
                    u"dog concat dog"_s, 2},
        ReplaceCase{"ReplacementHoldingTheTextIsNotReplacedAgain", u"cat cat"_s, u"cat"_s,
                    u"cats"_s, false, false, u"cats cats"_s, 2},
        // After a replacement the text reads on with the replacement before the next
        // match: "-" is no letter, so the second " a" is a whole word there.
        ReplaceCase{"WordRuleSeesTheReplacement", u" a a"_s, u" a"_s, u"-"_s, false, true,
                    u"--"_s, 2},
        ReplaceCase{"EmptyReplacementRemoves", u"a-b-c"_s, u"-"_s, QString(), false, false,
                    u"abc"_s, 2},
        ReplaceCase{"NothingMatchesGivesNull", u"abc"_s, u"x"_s, u"y"_s, false, false, QString(),
                    0}),
    [](const ::testing::TestParamInfo<ReplaceCase> &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- stepping through notes

class NoteSearchTest : public ::testing::Test
{
protected:
    TNote *note(const char *title) const { return TreeText::find(tree, QString::fromUtf8(title)); }

    // Every match Find and then Find Next give, as "title:T" or "body:T@position",
    // until nothing more is found (at most 20).
    QStringList steps(TNoteSearch &search)
    {
        QStringList out;
        bool found = search.Find();
        while (found && out.size() < 20) {
            const QString where = search.BodyPosition != 0
                ? u"body:%1@%2"_s.arg(search.CurrentNote->Title()).arg(search.BodyPosition)
                : u"title:"_s + search.CurrentNote->Title();
            out << where;
            search.MatchShown();
            found = search.FindNext(search.CurrentNote);
        }
        return out;
    }

    TNoteTree tree;
};

TEST_F(NoteSearchTest, TitleThenBodyThenTheNextNote)
{
    TNote *a = tree.AddNote(nullptr, u"cat A"_s, imLastChild, u"a cat\r\nthe cat"_s);
    tree.AddNote(nullptr, u"B"_s, imLastChild, u"no"_s);
    tree.AddNote(a, u"C"_s, imLastChild, u"Cat"_s);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"cat"_s, false, false);
    search.ComputeScope(nullptr);
    EXPECT_EQ(steps(search),
              (QStringList{u"title:cat A"_s, u"body:cat A@3"_s, u"body:cat A@12"_s,
                           u"body:C@1"_s}));

    search.Where = swBodies;
    EXPECT_EQ(steps(search).size(), 3);
    search.Where = swTitles;
    EXPECT_EQ(steps(search), QStringList{u"title:cat A"_s});
}

TEST_F(NoteSearchTest, MatchOnTheThirdLineMapsToTheEditorsPosition)
{
    TNote *n = tree.AddNote(nullptr, u"N"_s, imLastChild, u"one\r\ntwo\r\nthree cat"_s);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"cat"_s, true, false);
    search.Where = swBodies;
    search.ComputeScope(nullptr);
    ASSERT_TRUE(search.Find());
    EXPECT_EQ(search.BodyPosition, 17); // "one\r\ntwo\r\n" is 10 characters
    EXPECT_EQ(search.MatchLine(), 3);
    EXPECT_EQ(search.MatchColumn(), 7);
    const QString body = n->BodyText();
    EXPECT_EQ(BodyPosToEditorPos(body, search.BodyPosition - 1), 14);
    EXPECT_EQ(BodyTextToEditorText(body).mid(14, 3), u"cat"_s);
}

TEST_F(NoteSearchTest, SearchTextWithALineBreakSpansLines)
{
    tree.AddNote(nullptr, u"N"_s, imLastChild, u"ab\r\ncd\r\nab\r\ncd"_s);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"B\r\nC"_s, false, false);
    search.ComputeScope(nullptr);
    EXPECT_EQ(steps(search), (QStringList{u"body:N@2"_s, u"body:N@10"_s}));
    search.Find();
    EXPECT_EQ(search.MatchLine(), 1);
    int count = 0;
    search.ComputeScope(nullptr);
    count = search.ReplaceInScope(u"-"_s);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(tree.FirstNote()->Body(), (QStringList{u"a-d"_s, u"a-d"_s}));
}

TEST_F(NoteSearchTest, ScopesStartAndStopAsTheSelectionSays)
{
    TreeText::build(tree, u"A(B,C),D,E(F)"_s);
    TNoteSearch search(&tree);
    struct Case
    {
        int scope;
        const char *selected;
        const char *start;
        const char *stop;
    } cases[] = {
        {ssActiveNote, "C", "C", "C"},
        {ssActiveBranch, "A", "A", "D"},
        {ssActiveBranch, "B", "A", "D"}, // a note without children: its parent's branch
        {ssActiveBranch, nullptr, "A", "D"},
        {ssActiveBranch, "D", "D", "E"}, // a root note without children is its own branch
        {ssActiveBranch, "F", "E", "E"}, // the branch runs to the end of the tree
        {ssEntireTree, "F", "A", nullptr},
    };
    for (const Case &c : cases) {
        search.Scope = c.scope;
        search.ComputeScope(c.selected ? note(c.selected) : nullptr);
        EXPECT_EQ(search.ScopeStart, note(c.start)) << c.scope << c.selected;
        EXPECT_EQ(search.ScopeStop, c.stop ? note(c.stop) : nullptr) << c.scope << c.selected;
    }
}

TEST_F(NoteSearchTest, ScopeStopIsNeverCrossed)
{
    TreeText::build(tree, u"A(B,C),D,E(F)"_s);
    for (TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n))
        n->SetBodyText(u"x"_s);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"x"_s, false, false);
    search.Where = swBodies;
    search.Scope = ssActiveBranch;
    search.ComputeScope(note("B"));
    EXPECT_EQ(steps(search), (QStringList{u"body:A@1"_s, u"body:B@1"_s, u"body:C@1"_s}));
    search.ComputeScope(note("D"));
    EXPECT_EQ(steps(search), QStringList{u"body:D@1"_s});
    search.Scope = ssActiveNote;
    search.ComputeScope(note("E"));
    EXPECT_EQ(steps(search), QStringList{u"body:E@1"_s});

    // Replace All keeps to the same scopes.
    search.Scope = ssActiveBranch;
    search.ComputeScope(note("C"));
    TNote *last = nullptr;
    EXPECT_EQ(search.ReplaceInScope(u"y"_s, &last), 3);
    EXPECT_EQ(last, note("C"));
    search.Scope = ssActiveNote;
    search.ComputeScope(note("F"));
    EXPECT_EQ(search.ReplaceInScope(u"z"_s), 1);
    QStringList bodies;
    for (TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n))
        bodies << n->Body().join(u'|');
    EXPECT_EQ(bodies, (QStringList{u"y"_s, u"y"_s, u"y"_s, u"x"_s, u"x"_s, u"z"_s}));
}

TEST_F(NoteSearchTest, FindNextInAnotherNoteStartsAtItsBeginning)
{
    TreeText::build(tree, u"cat,cat"_s);
    tree.FirstNote()->SetBodyText(u"0123456789 cat"_s);
    tree.RootNote(1)->SetBodyText(u"cat"_s);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"cat"_s, false, false);
    search.ComputeScope(nullptr);
    ASSERT_TRUE(search.Find());
    search.MatchShown();
    ASSERT_TRUE(search.FindNext(search.CurrentNote)); // the body, at 12
    search.MatchShown();
    // The user selects the second note: its title comes first, then its body.
    ASSERT_TRUE(search.FindNext(tree.RootNote(1)));
    EXPECT_EQ(search.BodyPosition, 0);
    EXPECT_EQ(search.TitlePosition, TNoteSearch::TitleMatched);
}

TEST_F(NoteSearchTest, LongTitleMatchesOncePerVisit)
{
    const QString title = QString(1500, u'x') + u" cat"_s;
    tree.AddNote(nullptr, u"cat "_s + title, imLastChild);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"cat"_s, false, false);
    search.Where = swTitles;
    search.ComputeScope(nullptr);
    EXPECT_EQ(steps(search).size(), 1);
}

TEST_F(NoteSearchTest, ReplaceAllInTitlesAndBodiesCountsAndKeepsLinesWhole)
{
    TNote *a = tree.AddNote(nullptr, u"cat"_s, imLastChild, u"a cat\r\n\r\ncat cat"_s);
    TNote *b = tree.AddNote(nullptr, u"dog"_s, imLastChild, u"none"_s);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"CAT"_s, false, true);
    search.ComputeScope(nullptr);
    TNote *last = nullptr;
    EXPECT_EQ(search.ReplaceInScope(u"cow"_s, &last), 4);
    EXPECT_EQ(last, a);
    EXPECT_EQ(a->Title(), u"cow"_s);
    EXPECT_EQ(a->Body(), (QStringList{u"a cow"_s, QString(), u"cow cow"_s}));
    EXPECT_EQ(b->Body(), QStringList{u"none"_s});

    // A replacement with line breaks splits body lines but never a title.
    search.Matcher = TTextMatcher(u"cow"_s, false, false);
    EXPECT_EQ(search.ReplaceInScope(u"x\r\n"_s), 4);
    EXPECT_EQ(a->Title(), u"x "_s);
    EXPECT_EQ(a->BodyText(), u"a x\r\n\r\n\r\nx\r\n x\r\n\r\n"_s);
}

TEST_F(NoteSearchTest, DocumentHundredThousandLevelsDeepIsSearchedWithoutRecursion)
{
    TNote *n = nullptr;
    for (int i = 0; i < 100000; ++i)
        n = tree.AddNote(n, u"level"_s, imLastChild);
    n->SetBodyText(u"bottom"_s);
    TNoteSearch search(&tree);
    search.Matcher = TTextMatcher(u"bottom"_s, false, true);
    search.ComputeScope(nullptr);
    ASSERT_TRUE(search.Find());
    EXPECT_EQ(search.CurrentNote, n);
    search.Scope = ssActiveBranch;
    search.ComputeScope(tree.FirstNote());
    EXPECT_EQ(search.ReplaceInScope(u"top"_s), 1);
    EXPECT_EQ(n->Body(), QStringList{u"top"_s});
}

} // namespace
