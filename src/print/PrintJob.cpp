#include "print/PrintJob.h"

#include "notes/NoteTree.h"
#include "notes/TextEncoding.h"
#include "print/LinePrnt.h"
#include "settings/LngMan.h"
#include "settings/RegistryStore.h"
#include "settings/Utils.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

const QString TPrintSettings::Key = u"Software\\Vellumtree\\Print\\"_s;

namespace {

QString stringsText(const QString &key)
{
    return LanguageManager().GetString(key, u"Strings"_s);
}

void appendNote(QStringList &lines, const TNote *note, bool withBody)
{
    lines.append(note->Title());
    lines.append(QString());
    if (withBody && note->HasBody()) {
        lines.append(note->Body());
        lines.append(QString());
        lines.append(QString());
    }
}

} // namespace

QStringList ComposePrintLines(
    int scope, const TNoteTree &tree, const TNote *selected, const QString &editorText)
{
    QStringList lines;
    switch (scope) {
    case psCurrentNote:
        lines = TextEncoding::splitLines(editorText);
        break;
    case psCurrentTree:
        if (selected) {
            const TNote *end = TNoteTree::BranchEnd(selected);
            for (const TNote *note = selected; note && note != end;
                 note = tree.NextInTreeOrder(note))
                appendNote(lines, note, true);
        }
        break;
    case psHeadingsOnly:
    case psAllNotes:
        for (const TNote *note = tree.FirstNote(); note; note = tree.NextInTreeOrder(note))
            appendNote(lines, note, scope == psAllNotes);
        break;
    default:
        break;
    }
    // Titles and bodies should hold no line breaks, but a pasted or imported text may.
    for (const QString &line : std::as_const(lines)) {
        if (line.contains(u'\r') || line.contains(u'\n'))
            return TextEncoding::splitLines(TextEncoding::joinLines(lines));
    }
    return lines;
}

std::optional<float> MarginValue(const QString &text)
{
    bool ok = false;
    const float value = QLocale().toFloat(text.trimmed(), &ok);
    // "nan" and "inf" read as numbers, but place no text anywhere.
    if (!ok || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

float MarginFromText(const QString &text)
{
    return MarginValue(text).value_or(10.0f);
}

void SetUpNotesPrinter(TLinePrinter &printer)
{
    printer.SetMeasureUnit(muMillimeters);
    printer.SetLineSpacing(lsSingleAndAHalf);
}

void PrepareNotesPrint(TLinePrinter &printer, const TPrintJob &job)
{
    printer.Lines.clear();
    printer.TabSize = job.TabSize;
    if (job.Lines.isEmpty())
        throw ENothingToPrint(stringsText(u"no_print"_s));
    printer.SetTitle(job.Title);
    printer.SetMeasureUnit(muMillimeters);
    printer.SetMarginTop(MarginFromText(job.MarginTop));
    printer.SetMarginBottom(MarginFromText(job.MarginBottom));
    printer.SetMarginLeft(MarginFromText(job.MarginLeft));
    printer.SetMarginRight(MarginFromText(job.MarginRight));
    // Without room for a character or a line, every page would come out blank, and a
    // job of a few lines could fill thousands of them.
    TPageDevice *device = printer.Device();
    if (device
        && (printer.PrintableWidth() < std::max(1, device->TextWidth(u"M"_s))
            || printer.PrintableHeight() < std::max(1, printer.LinePitch())))
        throw ENoRoomToPrint(stringsText(u"no_room_to_print"_s));
    if (job.PageNumbers) {
        // One centred column 177.8 mm wide, from the left margin.
        printer.FooterFormat = u"^177"_s + QLocale().decimalPoint() + u"8"_s;
        printer.Footer = stringsText(u"page_footer"_s);
    } else {
        printer.FooterFormat.clear();
        printer.Footer.clear();
    }
    printer.Lines = job.Lines;
}

void PrintNotes(TLinePrinter &printer, const TPrintJob &job)
{
    PrepareNotesPrint(printer, job);
    printer.BeginDoc();
    printer.WriteLines(false);
    printer.EndDoc();
}

TPrintSettings TPrintSettings::Load(TRegistryStore &store, const TFontDesc &defaultFont)
{
    TPrintSettings defaults;
    defaults.Font = defaultFont;
    if (!store.OpenKeyReadOnly(Key))
        return defaults;
    TPrintSettings stored = defaults;
    try {
        stored.Option = store.ReadInteger(u"Option"_s);
        stored.PageNumbers = store.ReadInteger(u"Page numbers"_s) != 0;
        TextToFont(store.ReadString(u"Font"_s), stored.Font);
        stored.MLeft = store.ReadString(u"MLeft"_s);
        stored.MRight = store.ReadString(u"MRight"_s);
        stored.MTop = store.ReadString(u"MTop"_s);
        stored.MBottom = store.ReadString(u"MBottom"_s);
    } catch (const ERegistryException &) {
        stored = defaults;
    } catch (const EConvertError &) {
        // A damaged font text must not keep the dialog from opening.
        stored = defaults;
    }
    store.CloseKey();
    return stored;
}

void TPrintSettings::Save(TRegistryStore &store) const
{
    store.OpenKey(Key, true);
    store.WriteInteger(u"Page numbers"_s, PageNumbers ? 1 : 0);
    store.WriteString(u"Font"_s, FontToText(Font));
    store.WriteInteger(u"Option"_s, Option);
    store.WriteString(u"MLeft"_s, MLeft);
    store.WriteString(u"MRight"_s, MRight);
    store.WriteString(u"MTop"_s, MTop);
    store.WriteString(u"MBottom"_s, MBottom);
    store.CloseKey();
    store.Flush();
}
