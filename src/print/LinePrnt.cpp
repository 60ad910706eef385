#include "print/LinePrnt.h"

#include "settings/LngMan.h"
#include "settings/Utils.h"

#include <QLocale>
#include <QScopedValueRollback>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr double kMmPerInch = 25.4;
// Without a printer (or with one that reports no resolution) lengths are converted
// at this resolution.
constexpr int kFallbackPpi = 300;
// Device positions far outside any sheet are clamped here, so that absurd margins or
// column widths cannot overflow the pixel arithmetic.
constexpr double kMaxPixels = 1 << 29;

// A token whose replacement keeps producing the token must not grow a text forever.
constexpr int kMaxTokenPasses = 64;
constexpr qsizetype kMaxExpandedLength = 64 * 1024;

int roundToPixels(double value)
{
    if (std::isnan(value))
        return 0;
    // The default rounding mode takes halves to the even neighbour.
    return static_cast<int>(std::nearbyint(std::clamp(value, -kMaxPixels, kMaxPixels)));
}

QString statusText(const QString &key)
{
    return LanguageManager().GetString(key, u"Strings"_s);
}

bool isBlank(QChar c)
{
    return c.unicode() < 33;
}

// Restores the table format when the header or the footer fails half way.
class TableFormatKeeper
{
public:
    explicit TableFormatKeeper(QString &format) : m_format(format), m_saved(format) { }
    ~TableFormatKeeper() { m_format = m_saved; }

private:
    QString &m_format;
    QString m_saved;
};

} // namespace

struct TLinePrinter::TColumn
{
    TAlignment alignment = taLeftJustify;
    double width = 0;
};

TLinePrinter::TLinePrinter(TPageDevice *device) : m_device(device)
{
    TFontDesc font;
    font.Name = u"Courier New"_s;
    font.Size = 10;
    font.Style = 0;
    font.Color = 0; // black
    SetFont(font);
    SetMeasureUnit(muInches);
    SetMarginTop(MinMarginTop());
    SetMarginBottom(MinMarginBottom());
    SetMarginLeft(MinMarginLeft());
    SetMarginRight(MinMarginRight());
    SetLineSpacing(lsSingleSpace);
    SetOrientation(poPortrait);
}

TLinePrinter::~TLinePrinter() = default;

void TLinePrinter::SetDevice(TPageDevice *device)
{
    // A job that failed half way is left to its device, which ends it when destroyed.
    m_device = device;
    if (m_device)
        m_device->SetFont(m_font);
    refreshPitch();
    RefreshMargins();
}

// --- Units and geometry ---------------------------------------------------------------

int TLinePrinter::pixelsX(double length) const
{
    const int ppi = m_device ? m_device->LogPixelsX() : kFallbackPpi;
    return roundToPixels(ppi * (m_measureUnit == muMillimeters ? length / kMmPerInch : length));
}

int TLinePrinter::pixelsY(double length) const
{
    const int ppi = m_device ? m_device->LogPixelsY() : kFallbackPpi;
    return roundToPixels(ppi * (m_measureUnit == muMillimeters ? length / kMmPerInch : length));
}

double TLinePrinter::lengthX(double pixels) const
{
    const int ppi = m_device && m_device->LogPixelsX() > 0 ? m_device->LogPixelsX() : kFallbackPpi;
    const double inches = pixels / ppi;
    return m_measureUnit == muMillimeters ? inches * kMmPerInch : inches;
}

double TLinePrinter::lengthY(double pixels) const
{
    const int ppi = m_device && m_device->LogPixelsY() > 0 ? m_device->LogPixelsY() : kFallbackPpi;
    const double inches = pixels / ppi;
    return m_measureUnit == muMillimeters ? inches * kMmPerInch : inches;
}

namespace {
// The sheet assumed when there is no printer: letter in inches, A4 in millimetres.
struct TFallbackSheet
{
    double physicalWidth, physicalHeight, pageWidth, pageHeight, offset;
};
constexpr TFallbackSheet kInchSheet { 8.5, 11, 8, 10.5, 0.25 };
constexpr TFallbackSheet kMmSheet { 210, 297, 198, 284, 6 };

const TFallbackSheet &sheetIn(TMeasureUnit unit)
{
    return unit == muMillimeters ? kMmSheet : kInchSheet;
}
} // namespace

double TLinePrinter::physicalWidth() const
{
    return m_device ? lengthX(m_device->PhysicalWidth()) : sheetIn(m_measureUnit).physicalWidth;
}

double TLinePrinter::physicalHeight() const
{
    return m_device ? lengthY(m_device->PhysicalHeight()) : sheetIn(m_measureUnit).physicalHeight;
}

int TLinePrinter::pageWidthPx() const
{
    return m_device ? m_device->PageWidth() : pixelsX(sheetIn(m_measureUnit).pageWidth);
}

int TLinePrinter::pageHeightPx() const
{
    return m_device ? m_device->PageHeight() : pixelsY(sheetIn(m_measureUnit).pageHeight);
}

float TLinePrinter::MinMarginTop() const
{
    return float(m_device ? lengthY(m_device->PhysicalOffsetY()) : sheetIn(m_measureUnit).offset);
}

float TLinePrinter::MinMarginLeft() const
{
    return float(m_device ? lengthX(m_device->PhysicalOffsetX()) : sheetIn(m_measureUnit).offset);
}

float TLinePrinter::MinMarginBottom() const
{
    const double page
        = m_device ? lengthY(m_device->PageHeight()) : sheetIn(m_measureUnit).pageHeight;
    return float(physicalHeight() - page - MinMarginTop());
}

float TLinePrinter::MinMarginRight() const
{
    const double page
        = m_device ? lengthX(m_device->PageWidth()) : sheetIn(m_measureUnit).pageWidth;
    return float(physicalWidth() - page - MinMarginLeft());
}

int TLinePrinter::LeftPx() const
{
    return pixelsX(double(m_marginLeft) - double(MinMarginLeft()));
}

int TLinePrinter::TopPx() const
{
    return pixelsY(double(m_marginTop) - double(MinMarginTop()));
}

int TLinePrinter::RightPx() const
{
    return pixelsX(double(m_marginRight) - double(MinMarginRight()));
}

int TLinePrinter::BottomPx() const
{
    return pixelsY(double(m_marginBottom) - double(MinMarginBottom()));
}

int TLinePrinter::PrintableWidth() const
{
    return pageWidthPx() - LeftPx() - RightPx();
}

int TLinePrinter::PrintableHeight() const
{
    return pageHeightPx() - TopPx() - BottomPx();
}

// --- Properties -----------------------------------------------------------------------

void TLinePrinter::checkNotPrinting(const char *what) const
{
    if (Printing())
        throw ELinePrinter(u"Unable to change %1 while printing"_s.arg(QLatin1String(what)));
}

namespace {
// Below the minimum takes the minimum, above the maximum the maximum.
float clampedMargin(float value, float min, double max)
{
    return value < min ? min : (value > max ? float(max) : value);
}
} // namespace

void TLinePrinter::SetMarginTop(float value)
{
    checkNotPrinting("top margin");
    m_marginTop = clampedMargin(value, MinMarginTop(), physicalHeight() - MinMarginBottom());
}

void TLinePrinter::SetMarginBottom(float value)
{
    checkNotPrinting("bottom margin");
    m_marginBottom = clampedMargin(value, MinMarginBottom(), physicalHeight() - MinMarginTop());
}

void TLinePrinter::SetMarginLeft(float value)
{
    checkNotPrinting("left margin");
    m_marginLeft = clampedMargin(value, MinMarginLeft(), physicalWidth() - MinMarginRight());
}

void TLinePrinter::SetMarginRight(float value)
{
    checkNotPrinting("right margin");
    m_marginRight = clampedMargin(value, MinMarginRight(), physicalWidth() - MinMarginLeft());
}

void TLinePrinter::SetMeasureUnit(TMeasureUnit value)
{
    const TMeasureUnit old = m_measureUnit;
    m_measureUnit = value;
    if (old != value) {
        const double factor = value == muMillimeters ? kMmPerInch : 1 / kMmPerInch;
        SetMarginTop(float(m_marginTop * factor));
        SetMarginBottom(float(m_marginBottom * factor));
        SetMarginLeft(float(m_marginLeft * factor));
        SetMarginRight(float(m_marginRight * factor));
        SetBorderOffset(float(m_borderOffset * factor));
        SetDefaultColWidth(float(m_defaultColWidth * factor));
    }
    RefreshMargins();
}

void TLinePrinter::RefreshMargins()
{
    if (Printing())
        return;
    SetMarginTop(m_marginTop);
    SetMarginBottom(m_marginBottom);
    SetMarginLeft(m_marginLeft);
    SetMarginRight(m_marginRight);
}

void TLinePrinter::SetDefaultColWidth(float value)
{
    if (value >= 0) {
        m_defaultColWidth = value;
        return;
    }
    m_defaultColWidth = 0;
    throw ELinePrinter(u"DefaultColWidth must be greater than or equal to 0"_s);
}

void TLinePrinter::refreshPitch()
{
    int h = 10;
    if (Printing())
        h = m_metrics.Height + m_metrics.ExternalLeading;
    else if (m_device)
        h = std::max(0, m_device->TextHeight(u"M"_s));
    switch (m_lineSpacing) {
    case lsHalfSpace:
        m_linePitch = h / 2;
        break;
    case lsSingleSpace:
        m_linePitch = h;
        break;
    case lsSingleAndAHalf:
        m_linePitch = h / 2 + h;
        break;
    case lsDoubleSpace:
        m_linePitch = 2 * h;
        break;
    }
}

void TLinePrinter::SetLineSpacing(TLineSpacing value)
{
    m_lineSpacing = value;
    refreshPitch();
}

void TLinePrinter::SetFont(const TFontDesc &font)
{
    m_font = font;
    if (m_device) {
        m_device->SetFont(font);
        if (Printing())
            m_metrics = m_device->TextMetrics();
    }
    SetLineSpacing(m_lineSpacing);
}

TPrinterOrientation TLinePrinter::Orientation() const
{
    return m_device ? m_device->Orientation() : poPortrait;
}

void TLinePrinter::SetOrientation(TPrinterOrientation value)
{
    checkNotPrinting("orientation");
    if (m_device)
        m_device->SetOrientation(value);
}

QString TLinePrinter::Title() const
{
    return m_device ? m_device->Title() : u"<Unknown>"_s;
}

void TLinePrinter::SetTitle(const QString &value)
{
    checkNotPrinting("title");
    if (m_device)
        m_device->SetTitle(value);
}

int TLinePrinter::PageNumber() const
{
    return m_device ? m_device->PageNumber() : 0;
}

bool TLinePrinter::Printing() const
{
    return m_device && m_device->Printing();
}

// --- The document -----------------------------------------------------------------------

void TLinePrinter::progress(const QString *status)
{
    if (ShowProgress && Printing()) {
        if (!m_progress && ProgressFactory)
            m_progress = ProgressFactory();
        if (m_progress)
            m_progress->Update(status, Title(), PageNumber());
    } else {
        m_progress.reset();
    }
}

void TLinePrinter::BeginDoc()
{
    if (OnBeginDoc)
        OnBeginDoc();
    if (!m_device || !m_device->BeginDoc())
        throw ELinePrinter(u"Unable to begin printing."_s);
    // The font follows the device's resolution once the document has one.
    m_device->SetFont(m_font);
    m_metrics = m_device->TextMetrics();
    m_printingStatus = statusText(u"print_printing"_s);
    progress(statusText(u"print_preparing"_s));
    startPage();
}

void TLinePrinter::EndDoc()
{
    progress(statusText(u"print_finished"_s));
    const bool ended = m_device && m_device->EndDoc();
    progress(nullptr);
    if (!ended)
        throw ELinePrinter(u"Unable to finish printing."_s);
    if (OnEndDoc)
        OnEndDoc();
}

void TLinePrinter::NewPage()
{
    if (!m_device || !m_device->NewPage())
        throw ELinePrinter(u"Unable to print a new page."_s);
    startPage();
}

void TLinePrinter::startPage()
{
    progress(m_printingStatus);
    {
        TableFormatKeeper keeper(TableFormat);
        // A band lower than a line puts the header or footer inside the text area;
        // advancing there would start the page again, and again.
        const QScopedValueRollback inBand(m_drawingBand, true);
        if (!Header.isEmpty()) {
            // Centred in the band between the printable area's top and the text area.
            m_y = (TopPx() - m_linePitch) / 2 - TopPx();
            TableFormat = HeaderFormat;
            WriteTableLine(Header);
        }
        if (!Footer.isEmpty()) {
            m_y = (BottomPx() - m_linePitch) / 2 + PrintableHeight();
            TableFormat = FooterFormat;
            WriteTableLine(Footer);
        }
    }
    m_x = 0;
    m_y = 0;
    m_lineNumber = 0;
    if (OnNewPage)
        OnNewPage();
    if (OnNewLine)
        OnNewLine();
    drawBorders();
}

void TLinePrinter::drawBorders()
{
    if (!PageBorders || !m_device)
        return;
    const int left = LeftPx();
    const int top = TopPx();
    const int right = left + PrintableWidth();
    const int bottom = top + PrintableHeight();
    m_device->SetPenWidth(m_device->LogPixelsY() / 300 * 2);
    const int b = pixelsY(m_borderOffset);
    if (PageBorders & pbTop)
        m_device->Line(left - b, top - b, right + b, top - b);
    if (PageBorders & pbBottom)
        m_device->Line(left - b, bottom + b, right + b, bottom + b);
    m_device->SetPenWidth(m_device->LogPixelsX() / 300 * 2);
    const int d = pixelsX(m_borderOffset);
    if (PageBorders & pbLeft)
        m_device->Line(left - d, top - d, left - d, bottom + d);
    if (PageBorders & pbRight)
        m_device->Line(right + d, top - d, right + d, bottom + d);
}

int TLinePrinter::NewLine()
{
    m_x = 0;
    m_y += m_linePitch;
    if (qint64(m_y) + m_linePitch < PrintableHeight())
        ++m_lineNumber;
    else
        NewPage();
    if (OnNewLine)
        OnNewLine();
    return m_lineNumber;
}

// --- Lines ---------------------------------------------------------------------------

QString TLinePrinter::ExpandTabs(const QString &text, int tabSize)
{
    // A tab size below one would make a tab vanish; it takes one blank instead.
    const int size = std::max(1, tabSize);
    QString result;
    result.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (c == u'\t')
            result.append(QString(size - result.size() % size, u' '));
        else
            result.append(c);
    }
    return result;
}

int TLinePrinter::textWidth(const QString &text) const
{
    const int width = m_device ? m_device->TextWidth(text) : 0;
    return std::max(0, width);
}

namespace {

// The first n characters of text as a string over the same characters: a prefix is
// measured where it lies, not copied. Valid only while text is.
QString prefixOf(QStringView text, qsizetype n)
{
    return QString::fromRawData(text.constData(), n);
}

// How many characters of a line of `length` whose width is `whole` fit in `width`, if
// its characters were all alike: where the search for a piece starts.
qsizetype proportionalGuess(qsizetype length, int width, int whole)
{
    if (whole <= 0)
        return length;
    return std::clamp<qsizetype>(qsizetype(qint64(length) * width / whole), 1, length);
}

// The length of the longest prefix of a text of `size` characters no wider than width
// (at least one character of a non-empty text); widthOf(n) measures the first n. The
// search steps outward from guess by doubling and then bisects, so it measures only
// prefixes about as long as what fits: a piece of a long line costs what the piece is
// long, not what the rest of the line is.
template <typename Measure>
qsizetype fitLength(qsizetype size, int width, qsizetype guess, int *fittedWidth,
                    const Measure &widthOf)
{
    *fittedWidth = 0;
    if (size == 0)
        return 0;
    qsizetype lo = 0; // fits (0: nothing known to fit)
    qsizetype hi = size + 1; // does not fit
    int loWidth = 0;
    qsizetype probe = std::clamp<qsizetype>(guess, 1, size);
    int probeWidth = widthOf(probe);
    if (probeWidth <= width) {
        lo = probe;
        loWidth = probeWidth;
        for (qsizetype step = 1; lo < size; step *= 2) {
            probe = std::min(size, lo + step);
            probeWidth = widthOf(probe);
            if (probeWidth > width) {
                hi = probe;
                break;
            }
            lo = probe;
            loWidth = probeWidth;
        }
    } else {
        hi = probe;
        for (qsizetype step = 1; hi > 1; step *= 2) {
            probe = std::max<qsizetype>(1, hi - step);
            probeWidth = widthOf(probe);
            if (probeWidth <= width) {
                lo = probe;
                loWidth = probeWidth;
                break;
            }
            hi = probe;
        }
    }
    while (hi - lo > 1) {
        const qsizetype mid = lo + (hi - lo) / 2;
        const int midWidth = widthOf(mid);
        if (midWidth <= width) {
            lo = mid;
            loWidth = midWidth;
        } else {
            hi = mid;
        }
    }
    if (lo == 0) {
        // A single character wider than the line.
        lo = 1;
        loWidth = widthOf(1);
    }
    *fittedWidth = loWidth;
    return lo;
}

} // namespace

// The longest prefix of text no wider than width; at least one character of a
// non-empty text.
QString TLinePrinter::fit(const QString &text, int width, int *fittedWidth, int wholeWidth) const
{
    const int whole = wholeWidth >= 0 ? wholeWidth : textWidth(text);
    if (whole <= width || text.isEmpty()) {
        *fittedWidth = whole;
        return text;
    }
    const auto widthOf = [&](qsizetype n) { return textWidth(prefixOf(text, n)); };
    return text.left(fitLength(
        text.size(), width, proportionalGuess(text.size(), width, whole), fittedWidth, widthOf));
}

void TLinePrinter::WriteLine(const QString &line)
{
    const QString text = line.contains(u'\t') ? ExpandTabs(line, TabSize) : line;
    const int width = textWidth(text);
    if (width > PrintableWidth()) {
        if (WordWrap) {
            wrap(text, width);
        } else {
            int fittedWidth = 0;
            const QString piece = fit(text, PrintableWidth(), &fittedWidth, width);
            putLine(piece, fittedWidth);
        }
        return;
    }
    putLine(text, width);
}

void TLinePrinter::wrap(const QString &text, int width)
{
    const int lineWidth = PrintableWidth();
    // Each piece's search starts from the length of the piece before it.
    qsizetype guess = proportionalGuess(text.size(), lineWidth, width);
    // The pieces are views into text: nothing of the rest is copied or moved.
    for (qsizetype at = 0; at < text.size();) {
        const QStringView rest = QStringView(text).sliced(at);
        const auto widthOf = [&](qsizetype n) { return textWidth(prefixOf(rest, n)); };
        int pieceWidth = 0;
        const qsizetype fitted = fitLength(rest.size(), lineWidth, guess, &pieceWidth, widthOf);
        guess = fitted;
        qsizetype n = fitted;
        qsizetype skip = 0;
        if (n < rest.size()) {
            if (isBlank(rest.at(n))) {
                skip = 1; // the blank at the break is not printed
            } else {
                qsizetype blank = n - 1;
                while (blank >= 0 && !isBlank(rest.at(blank)))
                    --blank;
                if (blank >= 0) {
                    n = blank + 1;
                    pieceWidth = widthOf(n);
                }
            }
        }
        // A piece is never wider than the text area, except a single character that
        // is wider by itself: that one is drawn over the margin rather than looped on.
        putLine(rest.first(n).toString(), pieceWidth);
        at += std::max<qsizetype>(n + skip, 1);
    }
}

void TLinePrinter::putLine(const QString &text, int width)
{
    switch (Alignment) {
    case taRightJustify:
        m_x = PrintableWidth() - width;
        break;
    case taCenter:
        m_x = (PrintableWidth() - width) / 2;
        break;
    default:
        m_x = 0;
        break;
    }
    // A text area lower than one line still takes one line per page, not a blank
    // page before every line.
    const bool freshPage = m_y == 0 && m_lineNumber == 0;
    if (qint64(m_y) + m_linePitch >= PrintableHeight() && !freshPage)
        NewPage();
    if (m_device)
        m_device->TextOut(LeftPx() + m_x, TopPx() + m_y, text);
    NewLine();
}

QString TLinePrinter::expandTokens(QString text) const
{
    const auto replace = [&text](const QString &token, const QString &value) {
        // A replacement that contains its own token would never finish.
        if (value.contains(token))
            return;
        for (int pass = 0;
             pass < kMaxTokenPasses && text.contains(token) && text.size() < kMaxExpandedLength;
             ++pass)
            text.replace(token, value);
    };
    replace(u"{$LINE}"_s, QString::number(m_lineNumber));
    replace(u"{$PAGE}"_s, QString::number(PageNumber()));
    if (text.contains(u"{$DATE}"_s))
        replace(u"{$DATE}"_s, ShortDateText());
    if (text.contains(u"{$TIME}"_s))
        replace(u"{$TIME}"_s, TimeText());
    replace(u"{$TITLE}"_s, Title());
    return text;
}

void TLinePrinter::WriteTableLine(const QString &text)
{
    const QStringList formats = TableFormat.split(u'|');
    const QStringList cells = text.split(u'|');
    const QLocale locale;
    m_x = LeftPx();
    for (qsizetype i = 0; i < formats.size(); ++i) {
        QStringView format = formats.at(i);
        TColumn column;
        if (!format.isEmpty()) {
            if (format.front() == u'<' || format.front() == u'>' || format.front() == u'^') {
                column.alignment = format.front() == u'>' ? taRightJustify
                    : format.front() == u'^'              ? taCenter
                                                          : taLeftJustify;
                format = format.sliced(1);
            }
        }
        bool ok = false;
        column.width = format.isEmpty() ? m_defaultColWidth : locale.toDouble(format, &ok);
        if (!format.isEmpty() && !ok)
            column.width = m_defaultColWidth;
        const int columnWidth = pixelsX(column.width);

        QString cell = cells.value(i);
        if (cell.contains(u"{$"_s))
            cell = expandTokens(cell);
        int cellWidth = 0;
        cell = fit(cell, columnWidth, &cellWidth);
        int offset = 0;
        if (column.alignment == taRightJustify)
            offset = columnWidth - cellWidth;
        else if (column.alignment == taCenter)
            offset = (columnWidth - cellWidth) / 2;
        if (m_device)
            m_device->TextOut(m_x + offset, TopPx() + m_y, cell);
        m_x = roundToPixels(double(m_x) + columnWidth);
    }
    if (m_y >= 0 && m_y < PrintableHeight() && !m_drawingBand)
        NewLine();
}

void TLinePrinter::WriteLines(bool useTableFormat)
{
    const bool table = useTableFormat && !TableFormat.isEmpty();
    // A copy: an event handler may change Lines while they print.
    const QStringList lines = Lines;
    for (const QString &line : lines) {
        if (table)
            WriteTableLine(line);
        else
            WriteLine(line);
    }
}
