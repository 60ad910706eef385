// Printing all notes of a 20,000-note document into a PDF through the line printer,
// against drawing the same lines straight with QPainter::drawText into the same kind
// of PDF device in the same run (no measuring, wrapping or page logic beyond a plain
// line count).

#include "BenchPrint.h"
#include "BenchWords.h"
#include "RatioReporter.h"

#include "notes/NoteTree.h"
#include "print/LinePrnt.h"
#include "print/LinePrntQt.h"
#include "print/PrintJob.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

// Every note: a title and three lines, one of them a long paragraph that wraps.
const QStringList &documentLines()
{
    static const QStringList lines = [] {
        TNoteTree tree;
        TNote *parent = nullptr;
        for (quint32 i = 0; i < 20000; ++i) {
            const QString body = words(4 * i, 6) + u"\r\n\t"_s + words(4 * i + 1, 4) + u"\r\n"_s
                + words(4 * i + 2, 30) + u"\r\n"_s;
            TNote *note
                = tree.AddNote(parent, words(4 * i + 3, 2), parent ? imLastChild : imAfter, body);
            if (i % 10 == 0)
                parent = note;
        }
        return ComposePrintLines(psAllNotes, tree, nullptr, {});
    }();
    return lines;
}

// Runs draw on a fresh A4 PDF writer (no unprintable border) for each iteration.
template <typename Draw> void runOnPdf(benchmark::State &state, Draw draw)
{
    const QStringList &lines = documentLines();
    qint64 bytes = 0;
    for (auto _ : state) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        draw(pdf, lines);
        bytes = buffer.size();
    }
    state.counters["lines"] = double(lines.size());
    state.counters["pdf_bytes"] = double(bytes);
}

void BM_LinePrinterPdf(benchmark::State &state)
{
    runOnPdf(state, [](QPdfWriter &pdf, const QStringList &lines) { printNotesOn(pdf, lines); });
}

void BM_DrawTextPdf(benchmark::State &state)
{
    runOnPdf(state, [](QPdfWriter &pdf, const QStringList &lines) {
        QPainter painter(&pdf);
        painter.setFont(TQtPageDevice::PrinterFont(TFontDesc { u"Courier New"_s, 10 }));
        const QFontMetrics metrics(painter.font(), &pdf);
        const int pitch = metrics.height() * 3 / 2;
        const int margin = pdf.resolution() * 10 / 254; // 10 mm
        const int bottom = pdf.height() - margin;
        int y = margin;
        for (const QString &line : lines) {
            if (y + pitch > bottom) {
                pdf.newPage();
                y = margin;
            }
            painter.drawText(margin, y + metrics.ascent(), line);
            y += pitch;
        }
    });
}

} // namespace

BENCHMARK(BM_DrawTextPdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LinePrinterPdf)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    OffscreenApplication app(argv[0]);
    return runBenchmarksWithRatios(argc, argv, { { "BM_LinePrinterPdf", "BM_DrawTextPdf" } });
}
