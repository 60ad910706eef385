// The line printer's layout on a recording device with fixed metrics: every position
// below is worked out by hand from a 10-pixel character, a 20-pixel font with 2 pixels
// of leading and 10 pixels to the millimetre. The line pitch is taken before the
// document begins, from the font's height alone: 20 pixels at single spacing.

#include "QtPrinters.h"
#include "RecordingDevice.h"
#include "print/LinePrnt.h"
#include "settings/Utils.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class LinePrinterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        printer.SetMeasureUnit(muMillimeters);
    }

    // Puts the text area at the printable area's top-left corner with the given size
    // in pixels (multiples of 10).
    void area(int width, int height)
    {
        printer.SetMarginLeft(6);
        printer.SetMarginTop(6);
        printer.SetMarginRight(float(6 + (1980 - width) / 10));
        printer.SetMarginBottom(float(7 + (2840 - height) / 10));
        ASSERT_EQ(printer.PrintableWidth(), width);
        ASSERT_EQ(printer.PrintableHeight(), height);
    }

    std::vector<QStringList> print(const QStringList &lines)
    {
        printer.Lines = lines;
        printer.BeginDoc();
        printer.WriteLines(false);
        printer.EndDoc();
        return device.PageTexts();
    }

    TRecordingDevice device;
    TLinePrinter printer { &device };
};

// --- Properties and geometry -----------------------------------------------------------

TEST_F(LinePrinterTest, DefaultsAreTheMinimumMarginsInInches)
{
    TLinePrinter fresh(&device);
    EXPECT_EQ(fresh.MeasureUnit(), muInches);
    EXPECT_FLOAT_EQ(fresh.MarginTop(), 60.0f / 254);
    EXPECT_FLOAT_EQ(fresh.MarginBottom(), 70.0f / 254);
    EXPECT_EQ(fresh.LineSpacing(), lsSingleSpace);
    EXPECT_EQ(fresh.LinePitch(), 20); // the height of "M" while not printing
    EXPECT_EQ(fresh.Font().Name, u"Courier New"_s);
    EXPECT_EQ(fresh.Font().Size, 10);
    EXPECT_EQ(fresh.TabSize, 8);
    EXPECT_TRUE(fresh.WordWrap);
    EXPECT_FALSE(fresh.Printing());
}

TEST_F(LinePrinterTest, UnitSwitchConvertsMarginsOffsetAndColumnWidth)
{
    printer.SetMeasureUnit(muInches);
    printer.SetMarginLeft(1);
    printer.SetBorderOffset(0.5f);
    printer.SetDefaultColWidth(2);
    printer.SetMeasureUnit(muMillimeters);
    EXPECT_FLOAT_EQ(printer.MarginLeft(), 25.4f);
    EXPECT_FLOAT_EQ(printer.BorderOffset(), 12.7f);
    EXPECT_FLOAT_EQ(printer.DefaultColWidth(), 50.8f);
    EXPECT_EQ(printer.LeftPx(), 194); // 25.4 mm less the 6 mm the printer cannot reach
}

TEST_F(LinePrinterTest, MarginsAreClampedToThePrintersLimits)
{
    printer.SetMarginTop(1);
    EXPECT_FLOAT_EQ(printer.MarginTop(), 6);
    printer.SetMarginBottom(0);
    EXPECT_FLOAT_EQ(printer.MarginBottom(), 7);
    printer.SetMarginLeft(500);
    EXPECT_FLOAT_EQ(printer.MarginLeft(), 204); // page width less the minimum right margin
    printer.SetMarginRight(500);
    EXPECT_FLOAT_EQ(printer.MarginRight(), 204);
    printer.SetMarginTop(500);
    EXPECT_FLOAT_EQ(printer.MarginTop(), 290);
}

TEST_F(LinePrinterTest, MarginPixelsRoundHalvesToEven)
{
    device.Ppi = 2;
    printer.SetMeasureUnit(muInches);
    const float minLeft = printer.MinMarginLeft();
    for (const auto &[offset, pixels] : { std::pair { 0.25f, 0 }, { 0.75f, 2 }, { 1.25f, 2 } }) {
        printer.SetMarginLeft(minLeft + offset);
        EXPECT_EQ(printer.LeftPx(), pixels) << offset;
    }
}

TEST_F(LinePrinterTest, NegativeDefaultColWidthStoresZeroAndComplains)
{
    printer.SetDefaultColWidth(5);
    try {
        printer.SetDefaultColWidth(-1);
        FAIL() << "no exception";
    } catch (const ELinePrinter &e) {
        EXPECT_EQ(e.message(), u"DefaultColWidth must be greater than or equal to 0"_s);
    }
    EXPECT_EQ(printer.DefaultColWidth(), 0);
}

TEST_F(LinePrinterTest, FrozenWhilePrinting)
{
    const std::vector<std::pair<std::function<void()>, QString>> changes {
        { [this] { printer.SetMarginTop(20); }, u"Unable to change top margin while printing"_s },
        { [this] { printer.SetMarginBottom(20); },
            u"Unable to change bottom margin while printing"_s },
        { [this] { printer.SetMarginLeft(20); }, u"Unable to change left margin while printing"_s },
        { [this] { printer.SetMarginRight(20); },
            u"Unable to change right margin while printing"_s },
        { [this] { printer.SetTitle(u"x"_s); }, u"Unable to change title while printing"_s },
        { [this] { printer.SetOrientation(poLandscape); },
            u"Unable to change orientation while printing"_s },
    };
    printer.SetMarginLeft(10);
    printer.BeginDoc();
    for (const auto &[change, message] : changes) {
        try {
            change();
            ADD_FAILURE() << "no exception for " << message.toStdString();
        } catch (const ELinePrinter &e) {
            EXPECT_EQ(e.message(), message);
        }
    }
    EXPECT_FLOAT_EQ(printer.MarginLeft(), 10);
    EXPECT_EQ(device.Orientation(), poPortrait);
    printer.EndDoc();
}

TEST_F(LinePrinterTest, LinePitchFollowsSpacingAndFontMetricsWhilePrinting)
{
    const std::vector<std::pair<TLineSpacing, int>> idle { { lsHalfSpace, 10 },
        { lsSingleSpace, 20 }, { lsSingleAndAHalf, 30 }, { lsDoubleSpace, 40 } };
    for (const auto &[spacing, pitch] : idle) {
        printer.SetLineSpacing(spacing);
        EXPECT_EQ(printer.LinePitch(), pitch);
    }
    printer.BeginDoc();
    printer.SetLineSpacing(lsSingleAndAHalf);
    EXPECT_EQ(printer.LinePitch(), 33); // 22 / 2 + 22
    printer.EndDoc();
}

TEST(LinePrinterWithoutPrinter, UsesTheFallbackSheet)
{
    TLinePrinter printer(nullptr);
    printer.SetMeasureUnit(muMillimeters);
    EXPECT_FLOAT_EQ(printer.MinMarginTop(), 6);
    EXPECT_FLOAT_EQ(printer.MinMarginBottom(), 7);
    EXPECT_FLOAT_EQ(printer.MinMarginRight(), 6);
    printer.SetMarginLeft(16);
    EXPECT_EQ(printer.LeftPx(), 118); // 10 mm at 300 pixels per inch
    EXPECT_EQ(printer.Title(), u"<Unknown>"_s);
    EXPECT_EQ(printer.LinePitch(), 10);
    EXPECT_FALSE(printer.Printing());
    printer.SetMeasureUnit(muInches);
    EXPECT_FLOAT_EQ(printer.MinMarginLeft(), 0.25f);
    EXPECT_FLOAT_EQ(printer.MinMarginRight(), 0.25f);
    EXPECT_FLOAT_EQ(printer.MinMarginBottom(), 0.25f);
    try {
        printer.BeginDoc();
        FAIL() << "no exception";
    } catch (const ELinePrinter &e) {
        EXPECT_EQ(e.message(), u"Unable to begin printing."_s);
    }
}

TEST_F(LinePrinterTest, PrinterFailuresBecomeLinePrinterErrors)
{
    device.FailBegin = true;
    EXPECT_THROW(printer.BeginDoc(), ELinePrinter);
    device.FailBegin = false;
    device.FailEnd = true;
    printer.BeginDoc();
    try {
        printer.EndDoc();
        FAIL() << "no exception";
    } catch (const ELinePrinter &e) {
        EXPECT_EQ(e.message(), u"Unable to finish printing."_s);
    }
}

// --- Plain lines -------------------------------------------------------------------------

struct WrapCase
{
    const char *name;
    int width;
    bool wordWrap;
    QString text;
    QStringList printed;
};

class LineLayoutTest : public LinePrinterTest, public ::testing::WithParamInterface<WrapCase>
{
};

TEST_P(LineLayoutTest, PrintsThePieces)
{
    const WrapCase &c = GetParam();
    area(c.width, 2000);
    printer.WordWrap = c.wordWrap;
    const auto pages = print({ c.text });
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0], c.printed);
}

INSTANTIATE_TEST_SUITE_P(Wrapping, LineLayoutTest,
    ::testing::Values(
        WrapCase { "ExactlyAsWideAsTheArea", 100, true, u"aaaaaaaaaa"_s, { u"aaaaaaaaaa"_s } },
        WrapCase {
            "OneCharacterTooWideWraps", 90, true, u"aaaaaaaaaa"_s, { u"aaaaaaaaa"_s, u"a"_s } },
        WrapCase { "OneCharacterTooWideIsCut", 90, false, u"aaaaaaaaaa"_s, { u"aaaaaaaaa"_s } },
        WrapCase {
            "BlankBeforeTheBreakStaysOnTheLine", 50, true, u"aaa bbb"_s, { u"aaa "_s, u"bbb"_s } },
        WrapCase { "BlankAtTheBreakIsConsumed", 30, true, u"aaa bbb"_s, { u"aaa"_s, u"bbb"_s } },
        WrapCase {
            "FurtherBlanksStartTheNextLine", 30, true, u"aaa  bb"_s, { u"aaa"_s, u" bb"_s } },
        WrapCase { "WordWiderThanTheAreaIsBroken", 50, true, u"abcdefghijkl"_s,
            { u"abcde"_s, u"fghij"_s, u"kl"_s } },
        WrapCase {
            "SingleCharacterWiderThanTheAreaDoesNotLoop", 50, true, u"@@"_s, { u"@"_s, u"@"_s } },
        WrapCase { "SingleWideCharacterIsCutToItself", 50, false, u"@ab"_s, { u"@"_s } },
        // The search for a piece starts from the line's average character width.
        WrapCase { "GuessTooLongForAWideCharacterFirst", 1900, true, u'@' + QString(150, u'a'),
            { u'@' + QString(90, u'a'), QString(60, u'a') } },
        WrapCase { "GuessTooShortForAWideCharacterLast", 1900, true, QString(150, u'a') + u'@',
            { QString(150, u'a'), u"@"_s } },
        WrapCase { "TabsExpandToTheNextStop", 200, true, u"ab\tc"_s, { u"ab      c"_s } },
        WrapCase { "EmptyLineAdvances", 100, true, QString(), { QString() } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(LinePrinterTest, ExpandTabsFillsToTheNextMultiple)
{
    EXPECT_EQ(TLinePrinter::ExpandTabs(u"\t"_s, 4), u"    "_s);
    EXPECT_EQ(TLinePrinter::ExpandTabs(u"abcd\te"_s, 4), u"abcd    e"_s);
    EXPECT_EQ(TLinePrinter::ExpandTabs(u"a\tb"_s, 0), u"a b"_s);
}

TEST_F(LinePrinterTest, FittingMeasuresALongLineLogarithmicallyOften)
{
    area(100, 2000);
    printer.WordWrap = false;
    printer.BeginDoc();
    device.WidthCalls = 0;
    printer.WriteLine(QString(100000, u'x'));
    EXPECT_LE(device.WidthCalls, 2 + 2 * 17); // whole line, then about log2(100000)
    printer.EndDoc();
    EXPECT_EQ(device.Pages[0].texts.at(0).text, QString(10, u'x'));
}

// A long line was once measured to its end for every piece it wrapped into: a
// megabyte took most of a minute.
TEST_F(LinePrinterTest, WrappingALongLineMeasuresAboutAsMuchAsTheLineHolds)
{
    area(100, 2000);
    QString paragraph;
    while (paragraph.size() < 200000)
        paragraph += u"word wor wo "_s;
    for (const QString &text : { paragraph, QString(200000, u'x') }) {
        device.Pages.clear();
        printer.BeginDoc();
        device.MeasuredChars = 0;
        printer.WriteLine(text);
        EXPECT_LE(device.MeasuredChars, 8 * text.size());
        printer.EndDoc();
        // Nothing is lost or repeated: the pieces and the blanks at their breaks give
        // the text back.
        qsizetype at = 0;
        for (const auto &page : device.PageTexts()) {
            for (const QString &piece : page) {
                ASSERT_LE(piece.size(), 10);
                ASSERT_EQ(QStringView(text).sliced(at, piece.size()), piece);
                at += piece.size();
                // A blank right after a full line is the break's, not printed.
                if (piece.size() == 10 && at < text.size() && text.at(at) == u' ')
                    ++at;
            }
        }
        EXPECT_EQ(at, text.size());
    }
}

TEST_F(LinePrinterTest, AlignmentPlacesTheLine)
{
    area(200, 2000);
    for (const auto &[alignment, x] :
        { std::pair { taLeftJustify, 0 }, { taRightJustify, 170 }, { taCenter, 85 } }) {
        printer.Alignment = alignment;
        printer.BeginDoc();
        printer.WriteLine(u"abc"_s);
        printer.EndDoc();
        EXPECT_EQ(device.Pages[0].texts.at(0).x, x);
    }
}

TEST_F(LinePrinterTest, PagesBreakWhenTheNextLineWouldNotFit)
{
    area(1000, 200); // nine lines of 20 pixels, the next one would end at 200
    QStringList lines;
    for (int i = 1; i <= 20; ++i)
        lines << QString::number(i);
    const auto pages = print(lines);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].size(), 9);
    EXPECT_EQ(pages[1].first(), u"10"_s);
    EXPECT_EQ(pages[2], QStringList({ u"19"_s, u"20"_s }));
    EXPECT_EQ(device.Pages[0].texts[8].y, 8 * 20);
}

TEST_F(LinePrinterTest, NoLinesGiveOneEmptyPage)
{
    const auto pages = print({});
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(pages[0].isEmpty());
}

TEST_F(LinePrinterTest, AreaLowerThanALinePrintsOneLinePerPageWithoutBlankPages)
{
    area(1000, 10);
    const auto pages = print({ u"a"_s, u"b"_s, u"c"_s });
    // Each line starts a page; the last line's advance opens one more, as with any
    // full page.
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages[0], QStringList { u"a"_s });
    EXPECT_EQ(pages[2], QStringList { u"c"_s });
}

// --- Table lines, header, footer, borders --------------------------------------------------

TEST_F(LinePrinterTest, TableColumnsAlignCellsInTheirWidths)
{
    area(1900, 2000);
    printer.SetMarginLeft(16); // LeftPx 100
    printer.TableFormat = u"^50|50|>20||<"_s;
    printer.SetDefaultColWidth(0);
    printer.BeginDoc();
    printer.WriteTableLine(u"abc|def|gh|ijk|lmn|ignored"_s);
    printer.EndDoc();
    const std::vector<TRecordingDevice::TText> expected {
        { 100 + 235, 0, u"abc"_s }, // centred in 500 pixels
        { 600, 0, u"def"_s }, // left in 500
        { 1100 + 180, 0, u"gh"_s }, // right in 200
        { 1300, 0, u"i"_s }, // DefaultColWidth 0: cut to one character
        { 1300, 0, u"l"_s },
    };
    EXPECT_EQ(device.Pages[0].texts, expected);
}

TEST_F(LinePrinterTest, TableColumnWidthsReadTheLocaleDecimalSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German));
    area(1900, 2000);
    printer.TableFormat = u">12,5|x"_s;
    printer.SetDefaultColWidth(3);
    printer.BeginDoc();
    printer.WriteTableLine(u"ab|cdefg"_s);
    printer.EndDoc();
    EXPECT_EQ(device.Pages[0].texts.at(0).x, 125 - 20);
    EXPECT_EQ(device.Pages[0].texts.at(1), (TRecordingDevice::TText { 125, 0, u"cde"_s }));
}

TEST_F(LinePrinterTest, HeaderAndFooterAreCentredInTheirBands)
{
    printer.SetMarginTop(16); // TopPx 100
    printer.SetMarginBottom(27); // BottomPx 200
    printer.Header = u"head"_s;
    printer.HeaderFormat = u"50"_s;
    printer.Footer = u"foot"_s;
    printer.FooterFormat = u"50"_s;
    printer.BeginDoc();
    printer.EndDoc();
    const int height = printer.PrintableHeight();
    const std::vector<TRecordingDevice::TText> expected {
        { 0, (100 - 20) / 2, u"head"_s },
        { 0, 100 + (200 - 20) / 2 + height, u"foot"_s },
    };
    EXPECT_EQ(device.Pages[0].texts, expected);
}

TEST_F(LinePrinterTest, FooterInsideTheTextAreaDoesNotRestartThePageForever)
{
    area(1000, 200);
    printer.SetMarginBottom(7); // the printer's minimum: no band below the text area
    printer.SetMarginTop(270);
    ASSERT_EQ(printer.PrintableHeight(), 200);
    printer.Footer = u"{$PAGE}"_s;
    printer.FooterFormat = u"50"_s;
    const auto pages = print({ u"a"_s, u"b"_s });
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0], QStringList({ u"1"_s, u"a"_s, u"b"_s }));
    // Half a line above the area's end.
    EXPECT_EQ(device.Pages[0].texts[0].y, printer.TopPx() + 200 - 10);
}

TEST_F(LinePrinterTest, TokensExpandInHeaderOnEveryPage)
{
    area(1000, 200);
    printer.Header = u"{$PAGE}|{$TITLE}"_s;
    printer.HeaderFormat = u"10|50"_s;
    printer.SetTitle(u"T{$TITLE}"_s);
    printer.TableFormat = u"20"_s;
    QStringList lines(20, u"x"_s);
    print(lines);
    ASSERT_EQ(device.Pages.size(), 3u);
    EXPECT_EQ(device.Pages[2].texts.at(0).text, u"3"_s);
    // The title holds the token itself, so the token stays.
    EXPECT_EQ(device.Pages[2].texts.at(1).text, u"{$TITLE}"_s);
    EXPECT_EQ(printer.TableFormat, u"20"_s);
}

TEST_F(LinePrinterTest, LineDateAndTimeTokensExpandInTableLines)
{
    area(1000, 200);
    printer.TableFormat = u"20|40|40"_s;
    printer.Lines = QStringList(12, u"{$LINE}|{$DATE}|{$TIME}"_s);
    const QString dateBefore = ShortDateText();
    const QString timeBefore = TimeText();
    printer.BeginDoc();
    printer.WriteLines(true);
    printer.EndDoc();
    const QStringList dates { dateBefore, ShortDateText() };
    const QStringList times { timeBefore, TimeText() };
    ASSERT_EQ(device.Pages.size(), 2u);
    int lines = 0;
    for (const TRecordingDevice::TPage &page : device.Pages) {
        ASSERT_EQ(page.texts.size() % 3, 0u);
        // The line number counts from 0 on every page.
        for (size_t i = 0; i < page.texts.size(); i += 3, ++lines) {
            EXPECT_EQ(page.texts[i].text, QString::number(i / 3));
            EXPECT_TRUE(dates.contains(page.texts[i + 1].text)) << page.texts[i + 1].text.toStdString();
            EXPECT_TRUE(times.contains(page.texts[i + 2].text)) << page.texts[i + 2].text.toStdString();
        }
    }
    EXPECT_EQ(lines, 12);
    EXPECT_FALSE(dateBefore.isEmpty());
    EXPECT_FALSE(timeBefore.isEmpty());
}

TEST_F(LinePrinterTest, PlainLinesKeepTheirTokens)
{
    area(1000, 2000);
    EXPECT_EQ(print({ u"{$PAGE}"_s }).at(0), QStringList { u"{$PAGE}"_s });
}

TEST_F(LinePrinterTest, BordersAreDrawnAroundTheTextArea)
{
    device.Ppi = 600; // pen width (600 / 300) * 2
    printer.SetMarginLeft(printer.MinMarginLeft() + 1);
    printer.SetMarginTop(printer.MinMarginTop() + 1);
    printer.SetBorderOffset(0.5f);
    printer.PageBorders = pbTop | pbBottom | pbLeft | pbRight;
    printer.BeginDoc();
    printer.EndDoc();
    const int l = printer.LeftPx();
    const int t = printer.TopPx();
    const int r = l + printer.PrintableWidth();
    const int b = t + printer.PrintableHeight();
    const int o = 12; // 0.5 mm at 600 pixels per inch, rounded
    const std::vector<TRecordingDevice::TLine> expected {
        { 4, l - o, t - o, r + o, t - o },
        { 4, l - o, b + o, r + o, b + o },
        { 4, l - o, t - o, l - o, b + o },
        { 4, r + o, t - o, r + o, b + o },
    };
    EXPECT_EQ(device.Pages[0].lines, expected);
}

// --- Events and progress -----------------------------------------------------------------

class RecordingProgress final : public TPrintProgressView
{
public:
    explicit RecordingProgress(QStringList &log) : m_log(log) { m_log << u"open"_s; }
    ~RecordingProgress() override { m_log << u"close"_s; }
    void Update(const QString *status, const QString &title, int page) override
    {
        m_log << (status ? *status : u"-"_s) + u"|"_s + title + u"|"_s + QString::number(page);
    }

private:
    QStringList &m_log;
};

TEST_F(LinePrinterTest, ProgressWindowLivesOnlyWhilePrinting)
{
    QStringList log;
    printer.ShowProgress = true;
    printer.SetTitle(u"job"_s);
    printer.ProgressFactory = [&log] { return std::make_unique<RecordingProgress>(log); };
    printer.BeginDoc();
    printer.NewPage();
    printer.EndDoc();
    const QStringList expected { u"open"_s, u"Preparing to Print|job|1"_s,
        u"Currently Printing|job|1"_s, u"Currently Printing|job|2"_s, u"Finished Printing|job|2"_s,
        u"close"_s };
    EXPECT_EQ(log, expected);
}

TEST_F(LinePrinterTest, EventsComeInTheirOrder)
{
    QStringList log;
    printer.OnBeginDoc = [&] { log << u"begin"_s; };
    printer.OnNewPage = [&] { log << u"page"_s; };
    printer.OnNewLine = [&] { log << u"line"_s; };
    printer.OnEndDoc = [&] { log << u"end"_s; };
    printer.BeginDoc();
    printer.WriteLine(u"a"_s);
    printer.EndDoc();
    EXPECT_EQ(log, QStringList({ u"begin"_s, u"page"_s, u"line"_s, u"line"_s, u"end"_s }));
    EXPECT_EQ(printer.LineNumber(), 1);
}

} // namespace
