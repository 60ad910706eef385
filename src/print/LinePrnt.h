#pragma once

#include "Errors.h"
#include "settings/SettingsTypes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

enum TMeasureUnit { muInches, muMillimeters };
enum TLineSpacing { lsHalfSpace, lsSingleSpace, lsSingleAndAHalf, lsDoubleSpace };
enum TPageBorderStyle { pbTop = 1, pbBottom = 2, pbLeft = 4, pbRight = 8 };
using TPageBorders = int; // a set of TPageBorderStyle bits
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TPrinterOrientation { poPortrait, poLandscape };

class ELinePrinter final : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// The operations the line printer needs from a printer. Lengths are device pixels;
// drawing coordinates have their origin at the top-left corner of the printable area.
// Failures are results, never exceptions: the printer decides what they mean.
class TPageDevice
{
public:
    struct TTextMetrics
    {
        int Height = 0;
        int ExternalLeading = 0;
    };

    virtual ~TPageDevice() = default;

    // The printable area.
    virtual int PageWidth() const = 0;
    virtual int PageHeight() const = 0;
    virtual int LogPixelsX() const = 0;
    virtual int LogPixelsY() const = 0;
    virtual int PhysicalWidth() const = 0;
    virtual int PhysicalHeight() const = 0;
    virtual int PhysicalOffsetX() const = 0;
    virtual int PhysicalOffsetY() const = 0;

    virtual bool BeginDoc() = 0;
    virtual bool NewPage() = 0;
    virtual bool EndDoc() = 0;
    virtual int PageNumber() const = 0;
    virtual bool Printing() const = 0;
    virtual QString Title() const = 0;
    virtual void SetTitle(const QString &title) = 0;
    virtual TPrinterOrientation Orientation() const = 0;
    virtual void SetOrientation(TPrinterOrientation orientation) = 0;

    // The canvas. The font is measured at the device's own resolution.
    virtual void SetFont(const TFontDesc &font) = 0;
    // A negative result is a failed measurement.
    virtual int TextWidth(const QString &text) = 0;
    virtual int TextHeight(const QString &text) = 0;
    virtual TTextMetrics TextMetrics() = 0;
    virtual bool TextOut(int x, int y, const QString &text) = 0;
    virtual void SetPenWidth(int width) = 0;
    virtual bool Line(int x1, int y1, int x2, int y2) = 0;
};

// The progress window as the line printer drives it; destroying it closes the window.
class TPrintProgressView
{
public:
    virtual ~TPrintProgressView() = default;
    // status is null when only the title and page number are refreshed.
    virtual void Update(const QString *status, const QString &title, int pageNumber) = 0;
};

// Prints plain text line by line between page margins: wraps or cuts long lines,
// expands tabs, starts pages with a header and a footer, lays out table lines in
// columns and draws page borders. Without a device it answers with the geometry of a
// letter or A4 sheet, so margins can be edited where no printer exists.
class TLinePrinter final
{
public:
    // device may be null (no printer); it is not owned and must outlive the printer.
    explicit TLinePrinter(TPageDevice *device);
    ~TLinePrinter();
    TLinePrinter(const TLinePrinter &) = delete;
    TLinePrinter &operator=(const TLinePrinter &) = delete;

    // Another printer (the file a job goes to, say). The margins are clamped again to
    // its limits.
    void SetDevice(TPageDevice *device);
    TPageDevice *Device() const { return m_device; }

    float MarginTop() const { return m_marginTop; }
    float MarginBottom() const { return m_marginBottom; }
    float MarginLeft() const { return m_marginLeft; }
    float MarginRight() const { return m_marginRight; }
    void SetMarginTop(float value);
    void SetMarginBottom(float value);
    void SetMarginLeft(float value);
    void SetMarginRight(float value);

    TMeasureUnit MeasureUnit() const { return m_measureUnit; }
    void SetMeasureUnit(TMeasureUnit value);
    TLineSpacing LineSpacing() const { return m_lineSpacing; }
    void SetLineSpacing(TLineSpacing value);

    int TabSize = 8;
    bool WordWrap = true;
    QStringList Lines;
    TAlignment Alignment = taLeftJustify;
    QString Header;
    QString HeaderFormat;
    QString Footer;
    QString FooterFormat;
    TPageBorders PageBorders = 0;
    bool ShowProgress = false;
    QString TableFormat;

    const TFontDesc &Font() const { return m_font; }
    void SetFont(const TFontDesc &font);
    TPrinterOrientation Orientation() const;
    void SetOrientation(TPrinterOrientation value);
    QString Title() const;
    void SetTitle(const QString &value);
    float DefaultColWidth() const { return m_defaultColWidth; }
    void SetDefaultColWidth(float value);
    float BorderOffset() const { return m_borderOffset; }
    void SetBorderOffset(float value) { m_borderOffset = value; }

    std::function<void()> OnBeginDoc;
    std::function<void()> OnEndDoc;
    std::function<void()> OnAbortDoc;
    std::function<void()> OnNewLine;
    std::function<void()> OnNewPage;
    // Makes the progress window when ShowProgress asks for one.
    std::function<std::unique_ptr<TPrintProgressView>()> ProgressFactory;

    void BeginDoc();
    void EndDoc();
    void WriteLine(const QString &text);
    void WriteTableLine(const QString &text);
    void WriteLines(bool useTableFormat);
    int NewLine();
    void NewPage();
    void RefreshMargins();

    int PageNumber() const;
    int LineNumber() const { return m_lineNumber; }
    bool Printing() const;
    int LinePitch() const { return m_linePitch; }

    // Geometry of the text area in device pixels (recomputed on every call).
    int LeftPx() const;
    int TopPx() const;
    int RightPx() const;
    int BottomPx() const;
    int PrintableWidth() const;
    int PrintableHeight() const;
    float MinMarginTop() const;
    float MinMarginBottom() const;
    float MinMarginLeft() const;
    float MinMarginRight() const;

    // Expands "\t" to the next multiple of tabSize (at least one blank per tab).
    static QString ExpandTabs(const QString &text, int tabSize);

private:
    struct TColumn;
    int pixelsX(double length) const;
    int pixelsY(double length) const;
    double lengthX(double pixels) const;
    double lengthY(double pixels) const;
    double physicalWidth() const;
    double physicalHeight() const;
    int pageWidthPx() const;
    int pageHeightPx() const;
    int textWidth(const QString &text) const;
    // wholeWidth: the text's width when already measured, else -1.
    QString fit(const QString &text, int width, int *fittedWidth, int wholeWidth = -1) const;
    void wrap(const QString &text, int width);
    void putLine(const QString &text, int width);
    QString expandTokens(QString text) const;
    void startPage();
    void drawBorders();
    void progress(const QString *status);
    void progress(const QString &status) { progress(&status); }
    void refreshPitch();
    void checkNotPrinting(const char *what) const;

    TPageDevice *m_device;
    float m_marginTop = 0;
    float m_marginBottom = 0;
    float m_marginLeft = 0;
    float m_marginRight = 0;
    TMeasureUnit m_measureUnit = muInches;
    TLineSpacing m_lineSpacing = lsSingleSpace;
    TFontDesc m_font;
    float m_defaultColWidth = 0;
    float m_borderOffset = 0;

    int m_x = 0;
    int m_y = 0;
    int m_lineNumber = 0;
    int m_linePitch = 0;
    bool m_drawingBand = false; // the header or footer is being drawn
    TPageDevice::TTextMetrics m_metrics;
    std::unique_ptr<TPrintProgressView> m_progress;
    // The progress window's status while pages print, in the user's language; read once
    // a job, not at every page.
    QString m_printingStatus;
};
