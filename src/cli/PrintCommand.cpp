// The command line's print command: the one part of vellumtree-cli that needs QtGui
// (fonts and a PDF writer), so it starts a GUI application of its own, off screen.

#include "cli/PrintCommand.h"

#include "cli/CliPrint.h"

#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "print/LinePrnt.h"
#include "print/LinePrntQt.h"
#include "print/PrintJob.h"
#include "settings/UtilsFile.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Cli::kExitFailure;
using Cli::kExitOk;
using Cli::kExitUsage;

struct TPrintOptions
{
    QString file;
    QString out;
    int scope = psAllNotes;
    QString note;
    QString fontName; // empty: the printer's default font
    int fontSize = 10;
    QStringList margins { u"10"_s, u"10"_s, u"10"_s, u"10"_s }; // L, R, T, B
    bool pageNumbers = true;
    QPageSize::PageSizeId paper = QPageSize::A4;
    std::optional<QString> passwordFile;
};

void printError(const QString &text)
{
    Cli::print(stderr, u"vellumtree-cli: "_s + text + u'\n');
}

int usage(const QString &why)
{
    printError(why);
    std::fputs("Usage: vellumtree-cli print FILE -o OUT.pdf [OPTIONS] (see --help)\n", stderr);
    return kExitUsage;
}

// "Name,Size" or just "Name".
bool parseFont(const QString &text, TPrintOptions *o)
{
    const qsizetype comma = text.lastIndexOf(u',');
    const QString name = (comma < 0 ? text : text.left(comma)).trimmed();
    if (name.isEmpty())
        return false;
    o->fontName = name;
    if (comma >= 0) {
        bool ok = false;
        const int size = text.mid(comma + 1).trimmed().toInt(&ok);
        if (!ok || size < 1 || size > 400)
            return false;
        o->fontSize = size;
    }
    return true;
}

// Four millimetre values written with "." as on every command line; they are handed
// on in the locale's form, as the dialog's boxes hold them.
bool parseMargins(const QString &text, QStringList *margins)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return false;
    QStringList result;
    for (const QString &part : parts) {
        bool ok = false;
        const double value = part.trimmed().toDouble(&ok);
        // Written so that "nan", which no comparison holds for, is refused too.
        if (!ok || !(value >= 0 && value <= 1000))
            return false;
        result << QLocale().toString(value, 'g', 6);
    }
    *margins = result;
    return true;
}

// Returns an exit status when the arguments are wrong, else nothing.
std::optional<int> parseArguments(const QStringList &args, TPrintOptions *o)
{
    static const QStringList scopes { u"note"_s, u"tree"_s, u"headings"_s, u"all"_s };
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool takesValue = arg == u"-o"_s || arg == u"--scope"_s || arg == u"--note"_s
            || arg == u"--font"_s || arg == u"--margins"_s || arg == u"--paper"_s
            || arg == u"--password-file"_s;
        if (takesValue && i + 1 >= args.size())
            return usage(arg + u" needs a value"_s);
        const QString value = takesValue ? args[++i] : QString();
        if (arg == u"-o"_s) {
            o->out = value;
        } else if (arg == u"--scope"_s) {
            o->scope = int(scopes.indexOf(value));
            if (o->scope < 0)
                return usage(u"--scope takes note, tree, headings or all"_s);
        } else if (arg == u"--note"_s) {
            o->note = value;
        } else if (arg == u"--font"_s) {
            if (!parseFont(value, o))
                return usage(u"--font takes \"NAME,SIZE\" with a size from 1 to 400"_s);
        } else if (arg == u"--margins"_s) {
            if (!parseMargins(value, &o->margins))
                return usage(u"--margins takes four millimetre values L,R,T,B"_s);
        } else if (arg == u"--paper"_s) {
            if (value.compare(u"A4"_s, Qt::CaseInsensitive) == 0)
                o->paper = QPageSize::A4;
            else if (value.compare(u"Letter"_s, Qt::CaseInsensitive) == 0)
                o->paper = QPageSize::Letter;
            else
                return usage(u"--paper takes A4 or Letter"_s);
        } else if (arg == u"--password-file"_s) {
            o->passwordFile = value;
        } else if (arg == u"--no-page-numbers"_s) {
            o->pageNumbers = false;
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            return usage(u"unknown option "_s + arg);
        } else {
            positional << arg;
        }
    }
    if (positional.size() != 1)
        return usage(u"print takes one FILE"_s);
    if (o->out.isEmpty())
        return usage(u"print needs -o OUT.pdf"_s);
    o->file = positional.first();
    return std::nullopt;
}

const TNote *findNote(const TNoteTree &tree, const QString &name)
{
    if (name.isEmpty())
        return tree.FirstNote();
    if (name.startsWith(u"note://"_s, Qt::CaseInsensitive)) {
        if (const TNote *note = tree.FindByLink(name))
            return note;
    }
    return tree.FindByTitle(name);
}

int printDocument(const TPrintOptions &o, const TCliDocumentReader &readDocument)
{
    TNoteTree tree;
    TArchive archive(&tree);
    const QString error = readDocument(archive, o.file, o.passwordFile);
    if (!error.isEmpty()) {
        printError(error);
        return kExitFailure;
    }
    const TNote *note = nullptr;
    if (o.scope == psCurrentNote || o.scope == psCurrentTree) {
        note = findNote(tree, o.note);
        if (!note && !o.note.isEmpty()) {
            printError(o.file + u": no note \""_s + o.note + u"\""_s);
            return kExitFailure;
        }
    }

    TPrintJob job;
    job.Lines = ComposePrintLines(o.scope, tree, note, note ? note->BodyText() : QString());
    job.Title = QFileInfo(o.file).absoluteFilePath();
    job.MarginLeft = o.margins[0];
    job.MarginRight = o.margins[1];
    job.MarginTop = o.margins[2];
    job.MarginBottom = o.margins[3];
    job.PageNumbers = o.pageNumbers;

    // The PDF is written beside its target, synced, and renamed over it only when
    // whole; a FIFO or a device is refused, never replaced.
    try {
        WriteFileAtomically(o.out, [&](const TChunkSink &sink) {
            TChunkDevice out(sink);
            QPdfWriter pdf(&out);
            pdf.setCreator(u"Vellumtree"_s);
            pdf.setPageSize(QPageSize(o.paper));
            // A file has no unprintable border: the margins alone place the text.
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            TQtPageDevice device(&pdf);
            TLinePrinter printer(&device);
            SetUpNotesPrinter(printer);
            if (!o.fontName.isEmpty()) {
                TFontDesc font = printer.Font();
                font.Name = o.fontName;
                font.Size = o.fontSize;
                printer.SetFont(font);
            }
            PrintNotes(printer, job);
        });
    } catch (const ENothingToPrint &e) {
        printError(e.message());
        return kExitFailure;
    } catch (const EFileError &e) {
        printError(e.message());
        return kExitFailure;
    } catch (const EVellumtreeError &e) {
        printError(o.out + u": "_s + e.message());
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

int CommandPrint(const QStringList &args, const TCliDocumentReader &readDocument)
{
    TPrintOptions options;
    if (const std::optional<int> status = parseArguments(args, &options))
        return *status;

    // Fonts need a GUI application; off screen it needs no display.
    static int argc = 3;
    static char name[] = "vellumtree-cli";
    static char platformOption[] = "-platform";
    static char platform[] = "offscreen";
    static char *argv[] = { name, platformOption, platform, nullptr };
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance())
        app = std::make_unique<QGuiApplication>(argc, argv);
    return printDocument(options, readDocument);
}
