#pragma once

#include "print/LinePrnt.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPainter;

// The line printer's page device over a QPainter on a paged device: a QPrinter for a
// printer or a preview, a QPdfWriter for a file. Needs QtGui only, so the command
// line can print too.
class TQtPageDevice final : public TPageDevice
{
public:
    // device is not owned. setTitle passes the job title on to the device (a QPrinter's
    // document name); without it a QPdfWriter gets it as the PDF's title.
    explicit TQtPageDevice(
        QPagedPaintDevice *device, std::function<void(const QString &)> setTitle = {});
    ~TQtPageDevice() override;

    int PageWidth() const override;
    int PageHeight() const override;
    int LogPixelsX() const override;
    int LogPixelsY() const override;
    int PhysicalWidth() const override;
    int PhysicalHeight() const override;
    int PhysicalOffsetX() const override;
    int PhysicalOffsetY() const override;

    bool BeginDoc() override;
    bool NewPage() override;
    bool EndDoc() override;
    int PageNumber() const override { return m_pageNumber; }
    bool Printing() const override { return m_painter != nullptr; }
    QString Title() const override { return m_title; }
    void SetTitle(const QString &title) override;
    TPrinterOrientation Orientation() const override;
    void SetOrientation(TPrinterOrientation orientation) override;

    void SetFont(const TFontDesc &font) override;
    int TextWidth(const QString &text) override;
    int TextHeight(const QString &text) override;
    TTextMetrics TextMetrics() override;
    bool TextOut(int x, int y, const QString &text) override;
    void SetPenWidth(int width) override;
    bool Line(int x1, int y1, int x2, int y2) override;

    // The stored font as Qt's, for printing: sizes out of any sensible range fall back
    // to 10 points, so a damaged setting cannot ask for a page-sized glyph.
    static QFont PrinterFont(const TFontDesc &font);

private:
    QRect paintRect() const;
    QRect fullRect() const;
    struct TGeometry
    {
        QRect paint;
        QRect full;
    };
    // The page cannot change while a job prints, so its geometry is taken once then;
    // outside a job the device's current page layout is asked every time.
    std::optional<TGeometry> m_geometry;
    const QFontMetrics &metrics();
    bool simpleWidth(const QString &text, int *width);

    QPagedPaintDevice *m_device;
    std::function<void(const QString &)> m_setTitle;
    std::unique_ptr<QPainter> m_painter;
    QFont m_font;
    QColor m_color;
    std::optional<QFontMetrics> m_metrics;
    // Advances of the characters that need no shaping, taken on first use (negative:
    // not yet known).
    std::vector<qreal> m_advances;
    int m_penWidth = 1;
    int m_pageNumber = 0;
    QString m_title;
};
