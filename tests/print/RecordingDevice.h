#pragma once

#include "print/LinePrnt.h"

#include <QString>
#include <QStringList>

#include <ostream>
#include <vector>

// A page device with fixed metrics that records what is drawn, so that layouts can be
// checked to the pixel. At the default 254 pixels per inch a millimetre is 10 pixels;
// the sheet is A4 with 6 mm offsets, like the fallback sheet. Every character is
// CharWidth wide, except '@', which is WideCharWidth wide.
class TRecordingDevice final : public TPageDevice
{
public:
    struct TText
    {
        int x, y;
        QString text;
        bool operator==(const TText &) const = default;
        friend void PrintTo(const TText &t, std::ostream *os)
        {
            *os << "(" << t.x << "," << t.y << ",\"" << t.text.toStdString() << "\")";
        }
    };
    struct TLine
    {
        int penWidth, x1, y1, x2, y2;
        bool operator==(const TLine &) const = default;
        friend void PrintTo(const TLine &l, std::ostream *os)
        {
            *os << "pen " << l.penWidth << " (" << l.x1 << "," << l.y1 << ")-(" << l.x2 << ","
                << l.y2 << ")";
        }
    };
    struct TPage
    {
        std::vector<TText> texts;
        std::vector<TLine> lines;
    };

    int Ppi = 254;
    int CharWidth = 10;
    int WideCharWidth = 1000;
    int FontHeight = 20;
    int Leading = 2;
    bool FailBegin = false;
    bool FailEnd = false;
    int WidthCalls = 0;
    qint64 MeasuredChars = 0; // characters measured in all

    std::vector<TPage> Pages;
    bool Ended = false;

    // The texts of every page, one list per page.
    std::vector<QStringList> PageTexts() const
    {
        std::vector<QStringList> result;
        for (const TPage &page : Pages) {
            QStringList texts;
            for (const TText &t : page.texts)
                texts << t.text;
            result.push_back(texts);
        }
        return result;
    }

    int PageWidth() const override { return mm(198); }
    int PageHeight() const override { return mm(284); }
    int LogPixelsX() const override { return Ppi; }
    int LogPixelsY() const override { return Ppi; }
    int PhysicalWidth() const override { return mm(210); }
    int PhysicalHeight() const override { return mm(297); }
    int PhysicalOffsetX() const override { return mm(6); }
    int PhysicalOffsetY() const override { return mm(6); }

    bool BeginDoc() override
    {
        if (FailBegin || m_printing)
            return false;
        m_printing = true;
        Ended = false;
        Pages.assign(1, TPage());
        return true;
    }
    bool NewPage() override
    {
        if (!m_printing)
            return false;
        Pages.emplace_back();
        return true;
    }
    bool EndDoc() override
    {
        if (!m_printing)
            return false;
        m_printing = false;
        Ended = !FailEnd;
        return !FailEnd;
    }
    int PageNumber() const override { return m_printing ? int(Pages.size()) : 0; }
    bool Printing() const override { return m_printing; }
    QString Title() const override { return m_title; }
    void SetTitle(const QString &title) override { m_title = title; }
    TPrinterOrientation Orientation() const override { return m_orientation; }
    void SetOrientation(TPrinterOrientation o) override { m_orientation = o; }

    void SetFont(const TFontDesc &) override { }
    int TextWidth(const QString &text) override
    {
        ++WidthCalls;
        MeasuredChars += text.size();
        int width = 0;
        for (QChar c : text)
            width += c == u'@' ? WideCharWidth : CharWidth;
        return width;
    }
    int TextHeight(const QString &) override { return FontHeight; }
    TTextMetrics TextMetrics() override { return { FontHeight, Leading }; }
    bool TextOut(int x, int y, const QString &text) override
    {
        if (!m_printing)
            return false;
        Pages.back().texts.push_back({ x, y, text });
        return true;
    }
    void SetPenWidth(int width) override { m_pen = width; }
    bool Line(int x1, int y1, int x2, int y2) override
    {
        if (!m_printing)
            return false;
        Pages.back().lines.push_back({ m_pen, x1, y1, x2, y2 });
        return true;
    }

private:
    int mm(int millimetres) const { return millimetres * Ppi * 10 / 254; }

    bool m_printing = false;
    QString m_title;
    TPrinterOrientation m_orientation = poPortrait;
    int m_pen = 1;
};
