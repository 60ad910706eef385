#pragma once

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

// The frame of the program's dialogs: a title and a close button, no minimise or
// maximise button (without CustomizeWindowHint the window manager adds its own).
inline constexpr Qt::WindowFlags DialogWindowFlags = Qt::Dialog | Qt::CustomizeWindowHint
    | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

class QImage;
class QPainter;
class QPlainTextEdit;
class QTextEdit;
class QWidget;

// --- Opening documents and addresses -------------------------------------------------

// What ShellOpen asks the platform to do: hand Url to the desktop's opener, or, with
// Command, start that browser program (the address is its last argument).
struct TShellRequest
{
    QUrl Url;
    QStringList Command;
};

// The services ShellOpen uses; the defaults talk to the desktop, tests put fakes in.
struct TShellServices
{
    // Extension with its dot -> program path or empty (GetAssociatedProgram).
    std::function<QString(const QString &Extension)> AssociatedProgram;
    // Returns a result in the shell's convention: above 32 success, else an error code
    // (0 out of memory, 2 file not found, 3 directory not found, 11 bad format, ...).
    std::function<int(const TShellRequest &Request)> Execute;
    // Shows the failure text with the caption "Error opening URL".
    std::function<void(QWidget *Owner, const QString &Text)> ReportError;
    // Asks Text with Yes and No, No the default; true for Yes. Without it every
    // question is answered No.
    std::function<bool(QWidget *Owner, const QString &Text)> Confirm;
};

// The extension of a file name or address: from its last "." after the last "/", "\"
// or ":", dot included; empty when there is none.
QString FileExtension(const QString &Name);

// The fixed texts for a failed result.
QString ShellErrorText(int Result);

// Opens a web, ftp or mail address, a file or a folder (PlanOpen says how): http,
// https, ftp and mailto addresses and documents open at once; an address of another
// scheme only when the user agrees to its full text; a runnable file never, its folder
// instead when the user wants. With NewWindow, an http, https or ftp address starts
// the browser program the desktop has for ".htm" on it; anything else, or no browser,
// opens as without NewWindow.
void ShellOpen(const QString &Target, bool NewWindow);
void ShellOpen(const QString &Target, bool NewWindow, const TShellServices &Services);
TShellServices DefaultShellServices();

// --- File associations ----------------------------------------------------------------

// The program path in an open command: cut before the first "%", drop one leading
// double quote, cut before the next double quote, trim blanks.
QString ProgramFromCommand(const QString &Command);
// The Exec line of the [Desktop Entry] group of a desktop file's text, or empty.
QString DesktopEntryExec(const QString &DesktopFileText);
// The desktop's default program for files of Extension (".htm"), or empty.
QString GetAssociatedProgram(const QString &Extension);

// The MIME type RegisterFileType gives an extension: ".vlt" -> application/x-vellumtree-vlt.
QString RegisteredMimeType(const QString &Extension);
// Registers Extension as opened by ProgramPath: a shared-mime-info package and the desktop
// entry "vellumtree.desktop" under $XDG_DATA_HOME, then the desktop's databases and
// default are refreshed with update-mime-database, update-desktop-database and
// xdg-mime when they are installed. The icon index has no counterpart there. Throws
// EFileError when a file cannot be written or the extension is not a plain name.
void RegisterFileType(const QString &Extension, const QString &ProgramPath, int IconIndex,
    bool RunDesktopTools = true);
// Refreshes the desktop's databases for what RegisterFileType wrote, like its
// RunDesktopTools, but starts the tools in the background and returns at once.
void AnnounceFileTypes(const QStringList &Extensions);

// --- Clipboard --------------------------------------------------------------------------

// Plain text; both stop at the first NUL character, as the text clipboard did.
void SetClipboardText(const QString &Text);
QString GetClipboardText();

// --- Windows ----------------------------------------------------------------------------

// Into or out of the top-most band, keeping place and size and without activating it.
void SetStayOnTop(QWidget *Window, bool OnTop);
// Shows, restores when minimised, raises and activates the window (on Wayland only
// when the desktop gave a token for it).
void ForceForegroundWindow(QWidget *Window);
// Whether the window system lets the program place its windows and the pointer. A
// Wayland compositor places every window itself, ignores the positions a program sets
// and keeps the pointer to itself.
bool CanPlaceWindows();
// Screen position of the top-left of the character at CharIndex (0-based, clamped).
void CharPosToScreen(QPlainTextEdit *Editor, int CharIndex, QPoint &Point);
void CharPosToScreen(QTextEdit *Editor, int CharIndex, QPoint &Point);
// Centres Dialog over Owner's window: owner's top plus half its height less half the
// dialog's height (halves truncated toward zero), left likewise. No owner: no move.
void CentreOverOwner(QWidget *Dialog, QWidget *Owner);

// Tab into a group of radio buttons lands on the chosen one, where the arrow keys then
// move the choice; Qt enters at whichever button comes first in the focus chain. Watches
// the radio buttons under Dialog at the time of the call.
void TabToCheckedRadio(QWidget *Dialog);

// --- Images and drawing -----------------------------------------------------------------

// The strip cut into images of ImageSize, left to right and top to bottom, whole images
// only, with magenta (255, 0, 255) transparent.
QList<QPixmap> CutImageStrip(const QImage &Strip, QSize ImageSize = QSize(16, 16));
// Clears ImageList and fills it from the image at ResourceName (a resource path such as
// ":/images/toolbar.bmp" or a file); false when it cannot be loaded.
bool LoadImageList(
    QList<QPixmap> &ImageList, const QString &ResourceName, QSize ImageSize = QSize(16, 16));
// Width nested one-pixel frames, top and left in TopColor, bottom and right in
// BottomColor; Rect becomes the rectangle inside them.
void DrawFrame3D(
    QPainter &Canvas, QRect &Rect, const QColor &TopColor, int Width, const QColor &BottomColor);

// The busy cursor while it lives: restored however the work ends.
class TBusyCursor final
{
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};
