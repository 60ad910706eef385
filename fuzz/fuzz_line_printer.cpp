// Note text laid out by the line printer: whatever the text, the table format, the
// header and the size of the text area, the layout ends, and every plain line drawn
// fits the text area unless it is a single character.
#include <cstdint>
#include <cstdlib>

#include "print/LinePrnt.h"

namespace {

// Characters of widths 0 to 9 pixels, so that zero-width and wide ones both occur.
class FuzzDevice final : public TPageDevice
{
public:
    int PageWidth() const override { return 1980; }
    int PageHeight() const override { return 2840; }
    int LogPixelsX() const override { return 254; }
    int LogPixelsY() const override { return 254; }
    int PhysicalWidth() const override { return 2100; }
    int PhysicalHeight() const override { return 2970; }
    int PhysicalOffsetX() const override { return 60; }
    int PhysicalOffsetY() const override { return 60; }
    bool BeginDoc() override
    {
        if (printing)
            return false;
        printing = true;
        return true;
    }
    bool NewPage() override { return ++pages < 100000; }
    bool EndDoc() override
    {
        if (!printing)
            return false;
        printing = false;
        return true;
    }
    int PageNumber() const override { return pages; }
    bool Printing() const override { return printing; }
    QString Title() const override { return title; }
    void SetTitle(const QString &t) override { title = t; }
    TPrinterOrientation Orientation() const override { return poPortrait; }
    void SetOrientation(TPrinterOrientation) override { }
    void SetFont(const TFontDesc &) override { }
    int TextWidth(const QString &text) override
    {
        int width = 0;
        for (QChar c : text)
            width += c.unicode() % 10;
        return width;
    }
    int TextHeight(const QString &) override { return 20; }
    TTextMetrics TextMetrics() override { return { 20, 2 }; }
    bool TextOut(int, int y, const QString &text) override
    {
        // Plain lines are drawn inside the text area (table lines may be header or
        // footer cells, which are cut to their own columns).
        if (plain && y >= top && y < bottom && text.size() > 1 && TextWidth(text) > areaWidth)
            std::abort();
        return true;
    }
    void SetPenWidth(int) override { }
    bool Line(int, int, int, int) override { return true; }

    bool printing = false;
    bool plain = false;
    int pages = 1;
    int top = 0;
    int bottom = 0;
    int areaWidth = 0;
    QString title;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 6)
        return 0;
    FuzzDevice device;
    TLinePrinter printer(&device);
    printer.SetMeasureUnit(muMillimeters);
    printer.SetMarginLeft(float(data[0]));
    printer.SetMarginRight(float(data[1]));
    printer.SetMarginTop(float(data[2] % 64));
    printer.SetMarginBottom(float(data[3] % 64));
    printer.TabSize = data[4] % 20 - 2;
    printer.WordWrap = data[5] & 1;
    printer.Alignment = TAlignment((data[5] >> 1) % 3);
    const bool table = data[5] & 8;
    const QString text
        = QString::fromUtf8(reinterpret_cast<const char *>(data + 6), qsizetype(size - 6));
    QStringList lines = text.split(u'\n');
    if (table || (data[5] & 16)) {
        // The first line is the format, the second the header.
        printer.TableFormat = lines.value(0);
        printer.Header = lines.value(1);
        printer.HeaderFormat = lines.value(0);
        printer.Footer = QStringLiteral("{$PAGE} {$LINE}");
        printer.SetTitle(lines.value(1));
        lines = lines.mid(2);
    }
    printer.Lines = lines;
    device.top = printer.TopPx();
    device.bottom = printer.TopPx() + printer.PrintableHeight();
    device.areaWidth = printer.PrintableWidth();
    try {
        printer.BeginDoc();
        device.plain = !table;
        printer.WriteLines(table);
        device.plain = false;
        printer.EndDoc();
    } catch (const ELinePrinter &) {
        // Only the device's page limit ends a job early.
    }
    return 0;
}
