#include "print/LinePrntQt.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

using namespace Qt::StringLiterals;

namespace {

constexpr int kDefaultPointSize = 10;
constexpr int kMaxPointSize = 400;

// Up to here (Latin, Greek, Cyrillic) a character's advance does not depend on its
// neighbours once kerning is off, except for the combining marks.
constexpr char16_t kSimpleEnd = 0x0500;

bool needsShaping(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u >= kSimpleEnd || (u >= 0x0300 && u < 0x0370) || (u >= 0x0483 && u < 0x048A)
        || u == 0x7F || (u >= 0x80 && u < 0xA0);
}

} // namespace

TQtPageDevice::TQtPageDevice(
    QPagedPaintDevice *device, std::function<void(const QString &)> setTitle)
    : m_device(device), m_setTitle(std::move(setTitle)), m_color(Qt::black)
{
    Q_ASSERT(device);
}

TQtPageDevice::~TQtPageDevice()
{
    // A job left unfinished by an exception still closes its painter.
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

QFont TQtPageDevice::PrinterFont(const TFontDesc &desc)
{
    QFont font(desc.Name);
    font.setPointSize(desc.Size > 0 && desc.Size <= kMaxPointSize ? desc.Size : kDefaultPointSize);
    font.setBold(desc.Style & fsBold);
    font.setItalic(desc.Style & fsItalic);
    font.setUnderline(desc.Style & fsUnderline);
    font.setStrikeOut(desc.Style & fsStrikeOut);
    if (desc.Pitch == fpFixed)
        font.setStyleHint(QFont::Monospace);
    // Hinting is for screens; on paper it would make widths depend on the resolution.
    font.setHintingPreference(QFont::PreferNoHinting);
    // Lines are laid out by measured widths; kerning would draw them otherwise.
    font.setKerning(false);
    return font;
}

QRect TQtPageDevice::paintRect() const
{
    if (m_geometry)
        return m_geometry->paint;
    const QPageLayout layout = m_device->pageLayout();
    return layout.paintRectPixels(m_device->logicalDpiX());
}

QRect TQtPageDevice::fullRect() const
{
    if (m_geometry)
        return m_geometry->full;
    const QPageLayout layout = m_device->pageLayout();
    return layout.fullRectPixels(m_device->logicalDpiX());
}

int TQtPageDevice::PageWidth() const
{
    return paintRect().width();
}

int TQtPageDevice::PageHeight() const
{
    return paintRect().height();
}

int TQtPageDevice::LogPixelsX() const
{
    return m_device->logicalDpiX();
}

int TQtPageDevice::LogPixelsY() const
{
    return m_device->logicalDpiY();
}

int TQtPageDevice::PhysicalWidth() const
{
    return fullRect().width();
}

int TQtPageDevice::PhysicalHeight() const
{
    return fullRect().height();
}

int TQtPageDevice::PhysicalOffsetX() const
{
    return paintRect().left();
}

int TQtPageDevice::PhysicalOffsetY() const
{
    return paintRect().top();
}

bool TQtPageDevice::BeginDoc()
{
    if (m_painter)
        return false;
    if (m_setTitle)
        m_setTitle(m_title);
    else if (auto *pdf = dynamic_cast<QPdfWriter *>(m_device))
        pdf->setTitle(m_title);
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(m_device))
        return false;
    m_painter = std::move(painter);
    m_geometry = TGeometry { paintRect(), fullRect() };
    m_pageNumber = 1;
    m_metrics.reset();
    m_painter->setFont(m_font);
    m_painter->setPen(QPen(m_color, m_penWidth));
    return true;
}

bool TQtPageDevice::NewPage()
{
    if (!m_painter || !m_device->newPage())
        return false;
    ++m_pageNumber;
    return true;
}

bool TQtPageDevice::EndDoc()
{
    if (!m_painter)
        return false;
    const bool ended = m_painter->end();
    m_painter.reset();
    m_geometry.reset();
    return ended;
}

void TQtPageDevice::SetTitle(const QString &title)
{
    m_title = title;
}

TPrinterOrientation TQtPageDevice::Orientation() const
{
    return m_device->pageLayout().orientation() == QPageLayout::Landscape ? poLandscape
                                                                          : poPortrait;
}

void TQtPageDevice::SetOrientation(TPrinterOrientation orientation)
{
    m_device->setPageOrientation(
        orientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void TQtPageDevice::SetFont(const TFontDesc &font)
{
    m_font = PrinterFont(font);
    const bool explicitColour = (font.Color & 0xFF000000u) == 0 && font.Color != clNone;
    m_color = explicitColour ? QColor(int(font.Color & 0xFF), int((font.Color >> 8) & 0xFF),
                  int((font.Color >> 16) & 0xFF))
                             : QColor(Qt::black);
    m_metrics.reset();
    m_advances.clear();
    if (m_painter) {
        m_painter->setFont(m_font);
        m_painter->setPen(QPen(m_color, m_penWidth));
    }
}

const QFontMetrics &TQtPageDevice::metrics()
{
    // Measured at the device's resolution, as the text will be drawn.
    if (!m_metrics)
        m_metrics.emplace(m_font, m_device);
    return *m_metrics;
}

// The width as a sum of cached character advances, for texts whose characters are all
// laid out one after the other. The line printer measures many prefixes of a line;
// shaping each of them again would cost more than drawing the line.
bool TQtPageDevice::simpleWidth(const QString &text, int *width)
{
    for (const QChar c : text) {
        if (needsShaping(c))
            return false;
    }
    if (m_advances.empty())
        m_advances.assign(kSimpleEnd, -1);
    qreal sum = 0;
    std::optional<QFontMetricsF> exact;
    for (const QChar c : text) {
        qreal &advance = m_advances[c.unicode()];
        if (advance < 0) {
            if (!exact)
                exact.emplace(m_font, m_device);
            advance = exact->horizontalAdvance(c);
        }
        sum += advance;
    }
    *width = qRound(sum);
    return true;
}

int TQtPageDevice::TextWidth(const QString &text)
{
    int width = 0;
    if (simpleWidth(text, &width))
        return width;
    return metrics().horizontalAdvance(text);
}

int TQtPageDevice::TextHeight(const QString &)
{
    return metrics().height();
}

TPageDevice::TTextMetrics TQtPageDevice::TextMetrics()
{
    const QFontMetrics &fm = metrics();
    return { fm.height(), std::max(0, fm.leading()) };
}

bool TQtPageDevice::TextOut(int x, int y, const QString &text)
{
    if (!m_painter)
        return false;
    // The position is the top of the line, as on the page; Qt draws at the baseline.
    m_painter->drawText(x, y + metrics().ascent(), text);
    return true;
}

void TQtPageDevice::SetPenWidth(int width)
{
    m_penWidth = std::max(0, width);
    if (m_painter)
        m_painter->setPen(QPen(m_color, m_penWidth));
}

bool TQtPageDevice::Line(int x1, int y1, int x2, int y2)
{
    if (!m_painter)
        return false;
    m_painter->drawLine(x1, y1, x2, y2);
    return true;
}
