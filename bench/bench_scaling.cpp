// How the cost of each operation grows with each dimension of its input a user can
// grow: every operation runs at n and at 10·n, and the ratios of its time and of its
// peak memory are printed. Linear work gives about 10; above 12 is flagged. Each run
// takes place in a child process of its own, so that what an earlier run left in the
// heap neither hides nor adds memory. The time is processor time (all threads), the
// best of a few runs: on a shared machine the wall clock says more about the
// neighbours than about the operation.
//
// Arguments: a word picks the rows whose dimension or operation contains it
// ("print", "title"); --quick runs once per size; --scale=K multiplies every n by K.

#include "BenchPrint.h"
#include "BenchWords.h"
#include "ProcessMemory.h"

#include "app/ImportExport.h"
#include "find/FindEngine.h"
#include "find/FindOptions.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "notes/TextEncoding.h"
#include "print/LinePrnt.h"
#include "print/LinePrntQt.h"
#include "print/PrintJob.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/qkMRUList.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <ctime>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr double kFlagAbove = 12;
// Peaks below this are within the heap's own slack and say nothing about growth.
constexpr double kMemoryFloor = 2 << 20;
// Times below this are timer and cache noise.
constexpr double kTimeFloor = 0.002;

struct Figures
{
    double seconds = 0;
    double peakBytes = 0;
};

// One operation at one size: setUp makes its input (not measured), then run is timed.
struct Case
{
    const char *dimension;
    const char *operation;
    qint64 n;
    std::function<std::function<void()>(qint64 n)> setUp;
};

QString scratch(const QString &name)
{
    static QTemporaryDir dir;
    return dir.filePath(name);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QString saveTree(TNoteTree &tree, const QString &name)
{
    const QString path = scratch(name);
    TArchive(&tree).WriteNotes(nullptr, path);
    return path;
}

void load(TNoteTree &tree, const QString &path)
{
    TArchive archive(&tree);
    if (!archive.ReadNotes(nullptr, path))
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
}

double processorSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Runs op in a child process and reports its time and its peak above what the child
// held before it.
Figures measureOnce(const std::function<void()> &op)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const qint64 before = startMeasuringPeak();
        const double start = processorSeconds();
        op();
        Figures figures { processorSeconds() - start, double(statusBytes("VmHWM") - before) };
        [[maybe_unused]] const auto written = write(fds[1], &figures, sizeof figures);
        _exit(0);
    }
    close(fds[1]);
    Figures figures;
    const bool read = ::read(fds[0], &figures, sizeof figures) == sizeof figures;
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!read)
        std::fprintf(stderr, "a measured run failed\n");
    return figures;
}

Figures measure(const std::function<void()> &op, int runs)
{
    Figures best = measureOnce(op);
    for (int i = 1; i < runs && best.seconds < 2; ++i) {
        const Figures next = measureOnce(op);
        best.seconds = std::min(best.seconds, next.seconds);
        best.peakBytes = std::min(best.peakBytes, next.peakBytes);
    }
    return best;
}

// --- Inputs -----------------------------------------------------------------------------

QString tenWordLines(qint64 lines, quint32 seed)
{
    QString text;
    for (qint64 i = 0; i < lines; ++i)
        text += words(seed + quint32(i), 10) + u"\r\n"_s;
    return text;
}

// A text of length characters: words and blanks, or one unbroken run of letters.
QString longText(qint64 length, bool blanks)
{
    const QString unit = blanks ? words(7, 40) + u' ' : u"abcdefghijklmnopqrstuvwxyz"_s;
    QString text;
    text.reserve(length);
    while (text.size() < length)
        text += unit;
    text.truncate(length);
    return text;
}

// n notes, ten to a root.
QString manyNotesFile(qint64 n)
{
    TNoteTree tree;
    TNote *root = nullptr;
    for (qint64 i = 0; i < n; ++i) {
        const quint32 seed = quint32(i);
        if (i % 10 == 0)
            root = tree.AddNote(nullptr, words(seed, 2), imLastChild, noteBody(seed));
        else
            tree.AddNote(root, words(seed, 3), imLastChild, noteBody(seed));
    }
    return saveTree(tree, u"notes-%1.vlt"_s.arg(n));
}

QString siblingsFile(qint64 n)
{
    TNoteTree tree;
    TNote *parent = tree.AddNote(nullptr, u"Parent"_s, imLastChild);
    for (qint64 i = 0; i < n; ++i)
        tree.AddNote(parent, words(quint32(i), 3), imLastChild, noteBody(quint32(i)));
    return saveTree(tree, u"siblings-%1.vlt"_s.arg(n));
}

QString deepFile(qint64 n)
{
    TNoteTree tree;
    TNote *note = nullptr;
    for (qint64 i = 0; i < n; ++i)
        note = tree.AddNote(note, words(quint32(i), 2), imLastChild, noteBody(quint32(i)));
    return saveTree(tree, u"deep-%1.vlt"_s.arg(n));
}

QString oneNoteFile(const QString &name, const QString &title, const QString &body)
{
    TNoteTree tree;
    tree.AddNote(nullptr, title, imLastChild, body);
    return saveTree(tree, name);
}

// The usual operations on a document file: read, write back, walk, search, copy.
void addDocumentCases(std::vector<Case> &cases, const char *dimension, qint64 n,
                      const std::function<QString(qint64)> &makeFile)
{
    const auto file = makeFile;
    cases.push_back({ dimension, "load", n, [file](qint64 size) {
                         const QString path = file(size);
                         return std::function<void()>([path] {
                             TNoteTree tree;
                             load(tree, path);
                         });
                     } });
    cases.push_back({ dimension, "load+save", n, [file](qint64 size) {
                         const QString path = file(size);
                         return std::function<void()>([path] {
                             TNoteTree tree;
                             load(tree, path);
                             TArchive(&tree).WriteNotes(nullptr, path + u".out"_s);
                         });
                     } });
    cases.push_back({ dimension, "load+search", n, [file](qint64 size) {
                         const QString path = file(size);
                         return std::function<void()>([path] {
                             TNoteTree tree;
                             load(tree, path);
                             TNoteSearch search(&tree);
                             search.Matcher = TTextMatcher(u"no such words"_s, false, false);
                             search.ComputeScope(nullptr);
                             search.Find();
                         });
                     } });
    cases.push_back({ dimension, "load+copy branch", n, [file](qint64 size) {
                         const QString path = file(size);
                         return std::function<void()>([path] {
                             TNoteTree tree;
                             load(tree, path);
                             const QByteArray stream = tree.WriteBranch(tree.FirstNote());
                             tree.InsertBranch(tree.FirstNote(), imAfter, stream);
                         });
                     } });
    cases.push_back({ dimension, "load+export text", n, [file](qint64 size) {
                         const QString path = file(size);
                         return std::function<void()>([path] {
                             TNoteTree tree;
                             load(tree, path);
                             QStringList lines;
                             tree.ExportSiblings(lines, tree.FirstNote(), true);
                         });
                     } });
}

// Draws into a fresh A4 PDF held in memory.
template <typename Draw> void drawOnPdf(const Draw &draw)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    draw(pdf);
}

void printLines(const QStringList &lines)
{
    drawOnPdf([&lines](QPdfWriter &pdf) { printNotesOn(pdf, lines); });
}

// The same characters drawn straight, a line of 100 at a time: what printing them
// cannot do without.
void drawLines(const QString &text)
{
    drawOnPdf([&text](QPdfWriter &pdf) {
        QPainter painter(&pdf);
        painter.setFont(TQtPageDevice::PrinterFont(TFontDesc { u"Courier New"_s, 10 }));
        const QFontMetrics metrics(painter.font(), &pdf);
        int y = 0;
        for (qsizetype i = 0; i < text.size(); i += 100) {
            if (y + metrics.height() > pdf.height()) {
                pdf.newPage();
                y = 0;
            }
            painter.drawText(0, y + metrics.ascent(), text.mid(i, 100));
            y += metrics.height();
        }
    });
}

// A settings file as years of use leave it: count recent files and a search history
// of historyBytes.
void writeSettings(qint64 count, qint64 historyBytes)
{
    TRegistryStore store;
    store.DeleteKey(u"Software\\Vellumtree"_s);
    TSettings settings(u"Software\\Vellumtree\\"_s, u"1.0"_s);
    settings.SetDefaults();
    settings.SaveSettings();
    store.OpenKey(u"Software\\Vellumtree\\MRU Items"_s, true);
    for (qint64 i = 0; i < count; ++i)
        store.WriteString(u"F%1"_s.arg(i), u"/home/user/notes/file %1.vlt"_s.arg(i));
    store.CloseKey();
    QString history;
    for (qint64 i = 0; history.size() < historyBytes; ++i)
        history += words(quint32(i), 3) + u"\r\n"_s;
    store.OpenKey(TFindOptions::KeyFor(u"Software\\Vellumtree\\"_s), true);
    store.WriteString(u"Find"_s, history);
    store.Flush();
    // A new file, so that the read below parses it as a fresh start does.
    const QString path = TRegistryStore::defaultFilePath();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    file.close();
    QFile::remove(path);
    writeFile(path, bytes);
}

// What start-up reads of the settings.
void readSettings()
{
    TSettings settings(u"Software\\Vellumtree\\"_s, u"1.0"_s);
    settings.LoadSettings();
    // Left alive: it saves itself when it goes, which is the program's end, not its start.
    auto *recent = new TqkMRUList;
    recent->SetSaveSection(u"\\Software\\Vellumtree\\MRU Items"_s);
    recent->SetItemCount(settings.MRUSize);
    recent->LoadItems();
    TFindOptions find;
    find.Load(TFindOptions::KeyFor(u"Software\\Vellumtree\\"_s));
}

// A body of n lines with a match in each.
QString matchesBody(qint64 n)
{
    QString body;
    for (qint64 i = 0; i < n; ++i)
        body += u"one match here\r\n"_s;
    return body;
}

// One note with that body, and a search for the match over the whole tree.
struct MatchesDocument
{
    TNoteTree tree;
    TNoteSearch search { &tree };

    explicit MatchesDocument(const QString &body)
    {
        tree.AddNote(nullptr, u"Matches"_s, imLastChild, body);
        search.Matcher = TTextMatcher(u"match"_s, false, false);
        search.ComputeScope(nullptr);
    }
};

std::function<void()> op(std::function<void()> f)
{
    return f;
}

std::vector<Case> allCases()
{
    std::vector<Case> cases;
    // Sizes large enough that the smaller run takes milliseconds, not timer noise.
    addDocumentCases(cases, "notes", 5000, manyNotesFile);
    addDocumentCases(cases, "siblings", 5000, siblingsFile);
    addDocumentCases(cases, "depth", 5000, deepFile);
    cases.push_back({ "siblings", "load+sort", 5000, [](qint64 n) {
                         const QString path = siblingsFile(n);
                         return op([path] {
                             TNoteTree tree;
                             load(tree, path);
                             tree.SortChildren(tree.FirstNote());
                         });
                     } });
    cases.push_back({ "depth", "load+delete", 5000, [](qint64 n) {
                         const QString path = deepFile(n);
                         return op([path] {
                             TNoteTree tree;
                             load(tree, path);
                             tree.DeleteNote(tree.FirstNote()->FirstChild());
                         });
                     } });
    addDocumentCases(cases, "body lines", 20000, [](qint64 n) {
        return oneNoteFile(u"body-%1.vlt"_s.arg(n), u"Body"_s, tenWordLines(n, 1));
    });
    addDocumentCases(cases, "line length", 100000, [](qint64 n) {
        return oneNoteFile(u"line-%1.vlt"_s.arg(n), u"Line"_s, longText(n, true) + u"\r\n"_s);
    });
    addDocumentCases(cases, "title length", 500000, [](qint64 n) {
        return oneNoteFile(u"title-%1.vlt"_s.arg(n), longText(n, true), u"body\r\n"_s);
    });
    cases.push_back({ "title length", "load+find by title", 500000, [](qint64 n) {
                         const QString title = longText(n, true);
                         const QString path = oneNoteFile(
                             u"title-%1.vlt"_s.arg(n), title, u"body\r\n"_s);
                         return op([path, title] {
                             TNoteTree tree;
                             load(tree, path);
                             tree.FindByTitle(title);
                         });
                     } });
    cases.push_back({ "import lines", "read text as body", 200000, [](qint64 n) {
                         const QString path = scratch(u"import-%1.txt"_s.arg(n));
                         writeFile(path, QByteArray(n, '\n'));
                         return op([path] {
                             TNoteTree tree;
                             TNote *note = tree.AddNote(nullptr, u"Imported"_s, imLastChild);
                             note->SetBodyText(ImportExport::ReadTextBody(
                                 path, TextEncoding::systemLegacyEncoding()));
                         });
                     } });
    cases.push_back({ "search matches", "find every match", 10000, [](qint64 n) {
                         return op([body = matchesBody(n)] {
                             MatchesDocument doc(body);
                             for (bool found = doc.search.Find(); found;
                                  found = doc.search.RunSearch())
                                 doc.search.MatchShown();
                         });
                     } });
    cases.push_back({ "search matches", "replace all", 10000, [](qint64 n) {
                         return op([body = matchesBody(n)] {
                             MatchesDocument doc(body);
                             doc.search.ReplaceInScope(u"hit"_s);
                         });
                     } });
    cases.push_back({ "recent files", "start-up settings read", 10000, [](qint64 n) {
                         writeSettings(n, 1000);
                         return op(readSettings);
                     } });
    cases.push_back({ "history chars", "start-up settings read", 100000, [](qint64 n) {
                         writeSettings(7, n);
                         return op(readSettings);
                     } });
    cases.push_back({ "print lines", "print to PDF", 1000, [](qint64 n) {
                         QStringList lines;
                         for (qint64 i = 0; i < n; ++i)
                             lines += words(quint32(i), 10);
                         return op([lines] { printLines(lines); });
                     } });
    cases.push_back({ "print line length", "print a paragraph", 50000, [](qint64 n) {
                         const QString line = longText(n, true);
                         return op([line] { printLines({ line }); });
                     } });
    cases.push_back({ "print line length", "print a line without blanks", 50000, [](qint64 n) {
                         const QString line = longText(n, false);
                         return op([line] { printLines({ line }); });
                     } });
    cases.push_back({ "print line length", "(reference: draw the text)", 50000, [](qint64 n) {
                         const QString line = longText(n, true);
                         return op([line] { drawLines(line); });
                     } });
    return cases;
}

QString seconds(double s)
{
    return s < 1 ? u"%1 ms"_s.arg(s * 1000, 0, 'f', 1) : u"%1 s"_s.arg(s, 0, 'f', 2);
}

QString megabytes(double bytes)
{
    return u"%1 MB"_s.arg(bytes / (1 << 20), 0, 'f', 1);
}

} // namespace

int main(int argc, char **argv)
{
    // Settings go to a folder of their own, never the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", config.path().toLocal8Bit());
    OffscreenApplication app(argv[0]);

    QString filter;
    int runs = 3;
    qint64 scale = 1;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == u"--quick"_s)
            runs = 1;
        else if (arg.startsWith(u"--scale="_s))
            scale = std::max<qint64>(1, arg.sliced(8).toLongLong());
        else if (!arg.startsWith(u"--"_s))
            filter = arg;
    }

    std::printf("%-18s %-28s %9s | %10s %10s %6s | %9s %9s %6s\n", "dimension", "operation",
                "n", "time n", "time 10n", "ratio", "peak n", "peak 10n", "ratio");
    int flagged = 0;
    for (const Case &c : allCases()) {
        const QString label = QString::fromUtf8(c.dimension) + u' ' + QString::fromUtf8(c.operation);
        if (!filter.isEmpty() && !label.contains(filter, Qt::CaseInsensitive))
            continue;
        const qint64 n = c.n * scale;
        const Figures small = measure(c.setUp(n), runs);
        const Figures large = measure(c.setUp(10 * n), runs);
        const double timeRatio
            = std::max(large.seconds, kTimeFloor) / std::max(small.seconds, kTimeFloor);
        const double memoryRatio
            = std::max(large.peakBytes, kMemoryFloor) / std::max(small.peakBytes, kMemoryFloor);
        const bool timeFlag = timeRatio > kFlagAbove;
        const bool memoryFlag = memoryRatio > kFlagAbove;
        flagged += timeFlag || memoryFlag;
        std::printf("%-18s %-28s %9lld | %10s %10s %5.1f%s | %9s %9s %5.1f%s\n", c.dimension,
                    c.operation, static_cast<long long>(n), qPrintable(seconds(small.seconds)),
                    qPrintable(seconds(large.seconds)), timeRatio, timeFlag ? "!" : " ",
                    qPrintable(megabytes(small.peakBytes)), qPrintable(megabytes(large.peakBytes)),
                    memoryRatio, memoryFlag ? "!" : " ");
        std::fflush(stdout);
    }
    std::printf("%d operation(s) grow faster than their input (ratio above %.0f, marked !)\n",
                flagged, kFlagAbove);
    return 0;
}
