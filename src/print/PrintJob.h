#pragma once

#include "Errors.h"
#include "settings/SettingsTypes.h"

#include <QString>
#include <QStringList>

#include <optional>

class TLinePrinter;
class TNote;
class TNoteTree;
class TRegistryStore;

// The chosen scope printed nothing.
class ENothingToPrint final : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// The margins leave no room for one character per line or one line per page.
class ENoRoomToPrint final : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// What to print; the stored "Option" value is the index.
enum TPrintScope { psCurrentNote = 0, psCurrentTree = 1, psHeadingsOnly = 2, psAllNotes = 3 };

// The lines a print of notes takes, with every CR, LF or CR LF inside them made one
// line break. psCurrentNote prints editorText; psCurrentTree the branch of selected
// (nothing without one); the other two the whole tree. Titles are not indented.
QStringList ComposePrintLines(
    int scope, const TNoteTree &tree, const TNote *selected, const QString &editorText);

// A margin box's text as millimetres: a finite number, not negative, written in the
// locale's form; nothing for any other text.
std::optional<float> MarginValue(const QString &text);
// As MarginValue; a text that is not a margin gives 10.
float MarginFromText(const QString &text);

// The line printer as notes are printed: millimetres, one and a half line spacing.
void SetUpNotesPrinter(TLinePrinter &printer);

// One print of notes. Margins are the boxes' texts in millimetres.
struct TPrintJob
{
    QStringList Lines;
    QString Title; // the notes file's full path
    int TabSize = 8;
    QString MarginLeft = QStringLiteral("10");
    QString MarginRight = QStringLiteral("10");
    QString MarginTop = QStringLiteral("10");
    QString MarginBottom = QStringLiteral("10");
    bool PageNumbers = true;
};

// Sets the printer up for the job (title, margins, the page-number footer, lines)
// without printing. Throws ENothingToPrint when there are no lines, ENoRoomToPrint when
// the margins leave no room for text on the printer's page.
void PrepareNotesPrint(TLinePrinter &printer, const TPrintJob &job);
// Prepares and prints the whole job. Throws ENothingToPrint, ENoRoomToPrint and
// ELinePrinter.
void PrintNotes(TLinePrinter &printer, const TPrintJob &job);

// The print dialog's choices as stored under Software\Vellumtree\Print.
struct TPrintSettings
{
    static const QString Key;

    int Option = psCurrentNote;
    bool PageNumbers = true;
    TFontDesc Font;
    QString MLeft = QStringLiteral("10");
    QString MRight = QStringLiteral("10");
    QString MTop = QStringLiteral("10");
    QString MBottom = QStringLiteral("10");

    // The stored values, or - when any of them cannot be read - all the defaults with
    // defaultFont as the font.
    static TPrintSettings Load(TRegistryStore &store, const TFontDesc &defaultFont);
    // Raises ERegistryException when the store cannot be written.
    void Save(TRegistryStore &store) const;
};
