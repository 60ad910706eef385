#include "QtPrinters.h"
#include "app/qkRicheditText.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Line holds "|" just before the clicked character (at its end: beyond the line).
struct LinkCase
{
    const char *name;
    QString line;
    TLinkKind kind;
    QString text;
    QString selected;
};

void PrintTo(const LinkCase &c, std::ostream *os)
{
    *os << c.name;
}

class LinkAtLineRules : public testing::TestWithParam<LinkCase>
{
};

TEST_P(LinkAtLineRules, FindsKindTextAndSelection)
{
    const LinkCase &c = GetParam();
    QString line = c.line;
    const qsizetype click = line.indexOf(u'|');
    line.remove(click, 1);
    const TLinkInfo info = LinkAtLine(line, click + 1);
    EXPECT_EQ(info.Kind, c.kind);
    EXPECT_EQ(info.Text, c.text);
    EXPECT_EQ(line.mid(info.SelStart - 1, info.SelLength), c.selected);
}

INSTANTIATE_TEST_SUITE_P(LinkAt, LinkAtLineRules,
    testing::Values(LinkCase { "TitleInBrackets", u"see [My N|ote] here"_s, lkTitleLink,
                        u"My Note"_s, u"[My Note]"_s },
        LinkCase { "TitleClickOnClosingBracket", u"[ab|]"_s, lkTitleLink, u"ab"_s, u"[ab]"_s },
        LinkCase { "OneCharInBracketsIsNoTitle", u"x [|a] y"_s, lkNone, {}, {} },
        LinkCase { "ClickOnOpeningBracket", u"x |[ab] y"_s, lkTitleLink, u"ab"_s, u"[ab]"_s },
        LinkCase { "ClosedBracketOpensNothingAfterIt", u"[ab] c|d]"_s, lkNone, {}, {} },
        LinkCase { "LineStartServesAsBracket", u"Sh|opping] list"_s, lkTitleLink, u"Shopping"_s,
            u"Shopping]"_s },
        LinkCase { "UnclosedBracketIsNoTitle", u"[abc d|ef"_s, lkNone, {}, {} },
        LinkCase { "NoteLinkToSemicolon", u"go note://Top\\Ch|ild; now"_s, lkNoteLink,
            u"note://Top\\Child;"_s, u"note://Top\\Child;"_s },
        LinkCase {
            "NoteLinkAnyCase", u"NOTE://T|op;"_s, lkNoteLink, u"NOTE://Top;"_s, u"NOTE://Top;"_s },
        LinkCase { "NoteLinkLastOccurrence", u"note://A; note://|B;"_s, lkNoteLink, u"note://B;"_s,
            u"note://B;"_s },
        LinkCase {
            "NoteLinkWithoutSemicolonNamesNothing", u"note://Top\\Ch|ild"_s, lkNoteLink, {}, {} },
        LinkCase { "FileLinkPath", u"open file:///home/u/My F|ile.txt; ok"_s, lkFileLink,
            u"file:///home/u/My%20File.txt"_s, u"file:///home/u/My File.txt;"_s },
        LinkCase { "FileUrlWithoutSemicolonEndsAtBlank", u"file:///tm|p/x y"_s, lkFileLink,
            u"file:///tmp/x"_s, u"file:///tmp/x"_s },
        LinkCase {
            "FileLinkWithoutSemicolonNamesNothing", u"file:///tmp/My F|ile"_s, lkFileLink, {}, {} },
        LinkCase { "PathThatLooksLikeAnAddressStaysAFile", u"file:///evil:x|y;"_s, lkFileLink,
            u"file:///evil:xy"_s, u"file:///evil:xy;"_s },
        LinkCase { "WwwWithFullStop", u"Visit www.ex|ample.com."_s, lkWebAddress,
            u"http://www.example.com"_s, {} },
        LinkCase { "WwwInParentheses", u"(www.x|.org)"_s, lkWebAddress, u"http://www.x.org"_s, {} },
        LinkCase {
            "TrailingColonDropped", u"http://x.o|rg:"_s, lkWebAddress, u"http://x.org"_s, {} },
        LinkCase { "HostAndPathIsNoLink", u"exam|ple.com/path"_s, lkNone, {}, {} },
        LinkCase { "WwwInsideAWordIsNoLink", u"xwww.ex|ample.com"_s, lkNone, {}, {} },
        LinkCase { "HttpsWithWwwKeepsScheme", u"https://www.ex|ample.com"_s, lkWebAddress,
            u"https://www.example.com"_s, {} },
        LinkCase { "HttpsWithoutWww", u"https://exa|mple.com"_s, lkWebAddress,
            u"https://example.com"_s, {} },
        LinkCase { "FtpHostOnWebAddressStaysWeb", u"http://ftp.g|nu.org"_s, lkWebAddress,
            u"http://ftp.gnu.org"_s, {} },
        LinkCase { "FtpHostCompleted", u"ftp.examp|le.org"_s, lkFtpAddress,
            u"ftp://ftp.example.org"_s, {} },
        LinkCase { "MailGetsMailto", u"write to us|er@example.com, please"_s, lkMailAddress,
            u"mailto:user@example.com"_s, {} },
        LinkCase { "MailtoKept", u"mailto:us|er@example.com"_s, lkMailAddress,
            u"mailto:user@example.com"_s, {} },
        LinkCase { "ThreeCharacterWord", u"a|@b"_s, lkNone, {}, {} },
        LinkCase { "ClickOnSpace", u"www.a.com| www.b.com"_s, lkNone, {}, {} },
        LinkCase { "BeyondLineEnd", u"www.a.com|"_s, lkNone, {}, {} }),
    [](const testing::TestParamInfo<LinkCase> &info) { return std::string(info.param.name); });

// Faults of a word that merely contained an address: the whole word was opened while
// only the address in it was underlined, so another scheme's handler or a browser
// option came along. Only the underlined address opens now; the rest is no link.
INSTANTIATE_TEST_SUITE_P(WordsAroundAnAddress, LinkAtLineRules,
    testing::Values(LinkCase { "OtherSchemeWordOpensOnlyItsHttpPart",
                        u"evilproto://run-anything?http://|x"_s, lkWebAddress, u"http://x"_s, {} },
        LinkCase {
            "OtherSchemeItselfIsNoLink", u"evil|proto://run-anything?http://x"_s, lkNone, {}, {} },
        LinkCase { "OptionBeforeAnAddressIsNoLink", u"--gpu|-launcher=/path/payload.sh#http://x"_s,
            lkNone, {}, {} },
        LinkCase { "AddressAfterAnOptionOpensAlone", u"--gpu-launcher=/path/payload.sh#http:|//x"_s,
            lkWebAddress, u"http://x"_s, {} }),
    [](const testing::TestParamInfo<LinkCase> &info) { return std::string(info.param.name); });

// The fault: in "A note://Projects\Garden; B [Garden] C" a click on the note link took
// the line's start for a "[" and gave the title "A note://Projects\Garden; B [Garden",
// and a click on "note://" gave nothing, although the whole link is underlined.
TEST(LinkAtLine, NoteLinkBeforeATitleFollowsFromEveryCharacter)
{
    const QString line = u"A note://Projects\\Garden; B [Garden] C"_s;
    const qsizetype noteStart = line.indexOf(u"note://"_s);
    const qsizetype noteEnd = line.indexOf(u';') + 1;
    for (qsizetype i = noteStart; i < noteEnd; ++i) {
        const TLinkInfo info = LinkAtLine(line, i + 1);
        EXPECT_EQ(info.Kind, lkNoteLink) << i;
        EXPECT_EQ(info.Text, u"note://Projects\\Garden;"_s) << i;
        EXPECT_EQ(line.mid(info.SelStart - 1, info.SelLength), info.Text) << i;
    }
    const qsizetype titleStart = line.indexOf(u'[');
    for (qsizetype i = titleStart; i <= line.indexOf(u']'); ++i) {
        const TLinkInfo info = LinkAtLine(line, i + 1);
        EXPECT_EQ(info.Kind, lkTitleLink) << i;
        EXPECT_EQ(info.Text, u"Garden"_s) << i;
        EXPECT_EQ(line.mid(info.SelStart - 1, info.SelLength), u"[Garden]"_s) << i;
    }
    for (const QChar other : { u'A', u'B', u'C' })
        EXPECT_EQ(LinkAtLine(line, line.indexOf(other) + 1).Kind, lkNone) << other.toLatin1();
}

// What a click follows is what the editor underlines: for every character of a line,
// the link LinkAt reports covers exactly the underlined span the character lies in,
// and a character outside every span follows no address, file or note link.
TEST(LinkAtLine, EveryCharacterFollowsExactlyTheUnderlinedLinkItLiesIn)
{
    const QList<QString> lines { u"evilproto://run-anything?http://x and www.a.org."_s,
        u"--gpu-launcher=/p.sh#http://x"_s, u"mail a.b@c.de, see (https://x.org/a_(b))"_s,
        u"file:///tmp/a b.txt; note://A\\B; ftp.gnu.org mailto:x@y.z"_s,
        u"xhttp://a.b http:// note://x xwww.a.org"_s };
    for (const QString &line : lines) {
        const QList<TLinkSpan> spans = FindLinkSpans(line);
        for (qsizetype i = 0; i < line.size(); ++i) {
            const TLinkInfo info = LinkAtLine(line, i + 1);
            const auto span = std::find_if(spans.begin(), spans.end(),
                [i](const TLinkSpan &s) { return i >= s.Start && i < s.Start + s.Length; });
            if (span == spans.end()) {
                EXPECT_TRUE(info.Kind == lkNone || info.Kind == lkTitleLink || info.Text.isEmpty())
                    << line.toStdString() << " at " << i;
                continue;
            }
            EXPECT_EQ(info.Kind, span->Kind) << line.toStdString() << " at " << i;
            EXPECT_EQ(info.Text, span->Target) << line.toStdString() << " at " << i;
            EXPECT_EQ(info.LinkStart, span->Start + 1) << line.toStdString() << " at " << i;
            EXPECT_EQ(info.LinkLength, span->Length) << line.toStdString() << " at " << i;
        }
    }
}

// --- The links the control underlines -------------------------------------------------

struct SpanCase
{
    const char *name;
    QString line;
    // Each expected link as its text in the line, its kind and what a click opens.
    std::vector<std::tuple<QString, TLinkKind, QString>> links;
};

void PrintTo(const SpanCase &c, std::ostream *os)
{
    *os << c.name;
}

class LinkSpans : public testing::TestWithParam<SpanCase>
{
};

TEST_P(LinkSpans, FindsEachLinkAndItsTarget)
{
    const SpanCase &c = GetParam();
    const QList<TLinkSpan> spans = FindLinkSpans(c.line);
    ASSERT_EQ(size_t(spans.size()), c.links.size());
    for (size_t i = 0; i < c.links.size(); ++i) {
        const auto &[text, kind, target] = c.links[i];
        EXPECT_EQ(c.line.mid(spans[i].Start, spans[i].Length), text);
        EXPECT_EQ(spans[i].Kind, kind);
        EXPECT_EQ(spans[i].Target, target);
    }
}

INSTANTIATE_TEST_SUITE_P(Scanner, LinkSpans,
    testing::Values(SpanCase { "UrlsLosePunctuationAndStrayParenthesis",
                        u"see http://e.com/a_(b), and (https://x.org)."_s,
                        { { u"http://e.com/a_(b)"_s, lkWebAddress, u"http://e.com/a_(b)"_s },
                            { u"https://x.org"_s, lkWebAddress, u"https://x.org"_s } } },
        SpanCase { "BareHostsGetSchemes", u"www.example.com, ftp.gnu.org."_s,
            { { u"www.example.com"_s, lkWebAddress, u"http://www.example.com"_s },
                { u"ftp.gnu.org"_s, lkFtpAddress, u"ftp://ftp.gnu.org"_s } } },
        SpanCase { "MailAddress", u"mail: john.doe@example.co.uk."_s,
            { { u"john.doe@example.co.uk"_s, lkMailAddress,
                u"mailto:john.doe@example.co.uk"_s } } },
        SpanCase { "FileAndNoteLinksToSemicolon", u"file:///tmp/My File.txt; note://Top\\Sub;"_s,
            { { u"file:///tmp/My File.txt;"_s, lkFileLink, u"file:///tmp/My%20File.txt"_s },
                { u"note://Top\\Sub;"_s, lkNoteLink, u"note://Top\\Sub;"_s } } },
        SpanCase { "AngleBracketsEndAddress", u"<ftp://host/f?y=1>"_s,
            { { u"ftp://host/f?y=1"_s, lkFtpAddress, u"ftp://host/f?y=1"_s } } },
        SpanCase { "NothingInsideWordsOrBareSchemes", u"xhttp://a.b http:// www. note://x"_s, {} }),
    [](const testing::TestParamInfo<SpanCase> &info) { return std::string(info.param.name); });

// --- Sorting and the two text forms ---------------------------------------------------

TEST(SortLinesText, SortsParagraphsIgnoringCaseKeepingEqualOrder)
{
    QCollator collator { QLocale(QLocale::English, QLocale::UnitedStates) };
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    EXPECT_EQ(SortLinesText(u"b\nA\na"_s, collator), u"A\na\nb\n"_s);
    EXPECT_EQ(SortLinesText(u"a\nb\nA\n"_s, collator), u"a\nA\nb\n"_s);
    EXPECT_EQ(SortLinesText(u"b\n\na\n"_s, collator), u"\na\nb\n"_s);
    // Locale order, not code points: é between e and f.
    EXPECT_EQ(SortLinesText(u"f\n\u00e9\ne"_s, collator), u"e\n\u00e9\nf\n"_s);
    EXPECT_EQ(SortLinesText(QString(), collator), QString());
}

TEST(EditorTextForms, LineBreaksAndPositionsMapBothWays)
{
    EXPECT_EQ(BodyTextToEditorText(u"a\r\nb\rc\u2028d\r\n"_s), u"a\nb\nc\nd\n"_s);
    const QString editor = u"ab\n\ncd\u00a0e\n"_s;
    const QString body = EditorTextToBodyText(editor);
    EXPECT_EQ(body, u"ab\r\n\r\ncd\u00a0e\r\n"_s);
    for (qsizetype p = 0; p <= editor.size(); ++p) {
        const qsizetype b = EditorPosToBodyPos(editor, p);
        if (p < editor.size()) {
            // A line break maps to its CR, every other character to itself.
            EXPECT_EQ(body[b], editor[p] == u'\n' ? QChar(u'\r') : editor[p]) << p;
        }
        EXPECT_EQ(BodyPosToEditorPos(body, b), p) << p;
    }
}

TEST(EditorTextForms, FitsEditorCountsTheLinesTheEditorWouldShow)
{
    qsizetype length = 0;
    qsizetype lines = 0;
    EXPECT_TRUE(FitsEditor(u"a\r\nb\u2028c\r\n\r\n"_s, &length, &lines));
    EXPECT_EQ(length, 7);
    EXPECT_EQ(lines, 4);

    // Line breaks alone: far below the character limit, but each one is a line to lay out.
    const QString breaks = u"\r\n"_s.repeated(MaxEditorLineCount);
    EXPECT_TRUE(FitsEditor(breaks, &length, &lines));
    EXPECT_EQ(lines, MaxEditorLineCount);
    EXPECT_FALSE(FitsEditor(breaks + u"\r\n"_s, &length, &lines));
    EXPECT_EQ(lines, MaxEditorLineCount + 1);
    EXPECT_FALSE(FitsEditor(breaks + u"\u2029"_s));
}

} // namespace
