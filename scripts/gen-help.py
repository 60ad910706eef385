#!/usr/bin/env python3
"""Writes res/Help.vlt, the help document that F1 opens, in the notes file layout:
every line ended by CR LF, UTF-8, structure lines exact. Edit the tree below, then run
this script; the generated file is committed."""

import os
import sys

# (title, body, children). Bodies are plain text; a line that is exactly
# "</pre></dd>" would end a body early, so none may be one.
HELP = ("Welcome to Vellumtree", """\
Vellumtree keeps all your notes in one file, arranged as a tree.

The tree on the left shows the title of every note. The editor on the right
shows the text of the note you select. Click a title to read or edit its
text; every change is part of the open document until you save it.

This help is itself a Vellumtree document: browse it in the tree, follow the
links, and try the commands on it. If you change it, simply close it without
saving.

Start with [First steps], then look up what you need:
  [Menus]            every command of the main menu
  [Toolbars]         the buttons above and beside the editor
  [Pop-up menus]     what a right-click offers
  [Keys]             every keyboard shortcut in one list
  [Links]            web, mail, file and note links in your text
  [Options]          how to make Vellumtree work your way
  [Enciphered files] protecting a file with a password
  [Search and replace]
  [Printing]
  [Import and export]
  [Tray and single instance]

Press F1 at any time to open this help again.""", [
    ("First steps", """\
1. Press Ins (or click the "Add note" button on the side bar) to add a note.
   Type its title, choose where it goes, and press Enter.
2. Type the note's text in the editor on the right.
3. Press Ctrl+S to save. A new document is called Notes.vlt until you save it
   under a name of your own; Vellumtree then asks for the name.
4. Next time Vellumtree starts, it opens the file you used last (you can
   turn this off in the options).

A note can have any number of child notes, and they can have children too.
Use the side bar buttons or Alt with the arrow keys to move notes around,
or drag them with the mouse (see [Moving notes]).""", [
        ("The notes file", """\
Notes are stored in a file with the extension .vlt. It is a small web page:
you can open it in any web browser and read all titles and texts there.
Vellumtree reads and writes it line by line, so do not edit the structure
lines by hand.

A file protected by a password has the extension .vlx instead (or .vle in
the older, weak format; see [Enciphered files]).

When you save, the new version is written completely before it replaces
the old one, so a failed save never leaves you with a broken file. With
"Make backups" on, the previous version is kept as a .bak file: notes.vlt
is backed up as notes.vlt.bak beside it, and notes.vle as notes.vle.bak.
In a folder chosen under "Backup in", where files of many folders meet, a
short code of the file's own folder comes before .bak (for example
notes.vlt.3fa9c2e1.bak), so two files named alike never share a backup.
The code stays the same for as long as the file stays in its folder.

A save that is cut short (a crash, a power cut) leaves nothing behind but
the whole old file; a hidden temporary file such a save may leave beside
it (.notes.vlt.1a2b3c4d.tmp) is removed by the next save.""", []),
        ("Changed by another program", """Vellumtree notices when another program changes the open file: a second
Vellumtree window, a sync tool that carries the file between computers, or
vellumtree-cli.

If the document has no unsaved changes, it is read again by itself; the
selected note and the place in its text stay where they were.

If it has changes of its own, a notice above the notes says so and offers
Save As..., Overwrite, Reload and Later. Nothing is overwritten until you
choose: Save (Ctrl+S) asks the same question, and an automatic save skips
the file and tells you once. Reload asks once more before it lets your
changes go.

A file that was deleted, or replaced by a folder or anything else that is
not a file, counts as changed too.""", []),
        ("Damaged files", """A notes file can be damaged: cut off by an interrupted copy or a full disk,
or with a NUL byte in the middle of its text. Vellumtree reads such a file
as far as it can and tells you what it found: where the text ends, whether
the closing lines are missing, and how many notes it read.

Saving writes only what was read. So that nothing is lost for good, the
first save keeps the untouched original beside the file, named like
notes.damaged.vlt (notes.damaged-2.vlt if that name is taken), whether or
not backups are on.

vellumtree-cli warns about a damaged file too, and its commands that write
(convert, replace, import and export) refuse one unless you add
--accept-damaged.""", []),
        ("Recovery copies", """Changes you have not saved yet are not lost when Vellumtree or the computer
stops unexpectedly. A few seconds after you stop typing, and at least every
30 seconds while you go on, Vellumtree keeps a recovery copy of the open
document in a private folder (~/.local/state/vellumtree/recovery). The copy
of an enciphered document is enciphered with its password, like the file.

The copy is removed when you save, or when you answer No to saving the
changes. If one is left over, the next start offers it: Recover opens it
(save it to keep it), Discard deletes it, and Later keeps it for the next
start. If the file was changed after the copy was made, the question says
so, and the next save asks before it overwrites that change.

When the session ends or the program is told to stop (a shutdown, a closed
terminal, kill), Vellumtree closes as if you had closed the window, but
asks nothing: with autosave on closing the document is saved, and any
other unsaved changes stay in a recovery copy.""", []),
    ]),
    ("Menus", """\
The main menu has five menus: File, Edit, Notes, Settings and Help. The
letters underlined in the menu names and items can be typed with Alt to
reach them from the keyboard.""", [
        ("File menu", """\
New (Ctrl+N)
    Starts a new document with one note. If the open document has unsaved
    changes, Vellumtree asks whether to save them first.
Open... (Ctrl+O)
    Opens a notes file (.vlt) or an enciphered notes file (.vlx or .vle).
    For an enciphered file you are asked for its password.
Reopen
    The files you used most recently. Choose one to open it again. The
    list length is set in the options ("MRU size").
Save (Ctrl+S)
    Saves the document under its current name.
Save As... (F12)
    Saves the document under a new name. Saving under a .vlt name stores
    it unprotected; a .vlx or .vle name asks for a new password and the
    format to protect it with.
Export... (Ctrl+E)
    Writes the selected note and its branch to another file
    (see [Import and export]).
Import... (Ctrl+I)
    Reads a text file into the selected note, or the notes of another
    notes file as its children (see [Import and export]).
Encrypt... (Ctrl+R)
    Protects the document with a password (see [Enciphered files]).
Print... (Ctrl+P)
    Prints notes (see [Printing]).
Exit (Alt+X)
    Closes Vellumtree, asking first about unsaved changes.""", []),
        ("Edit menu", """\
These commands work on the text in the editor. Undo and Redo work on the
tree too while the tree has the focus (see [Undo in the tree]).

Undo (Ctrl+Z)             takes back the last change in the editor
Redo (Ctrl+Y, Ctrl+Shift+Z)
                          makes the change taken back again
Cut (Ctrl+X)              moves the selected text to the clipboard
Copy (Ctrl+C)             copies the selected text to the clipboard
Paste (Ctrl+V)            inserts the text from the clipboard; formatting
                          is never pasted, only the plain text
Select All (Ctrl+A)       selects the whole text of the note
Insert > Date (Ctrl+D)    inserts today's date in your short date format
Insert > Date Long (Ctrl+Shift+D)
                          inserts today's date in your long date format
Insert > Time (Ctrl+T)    inserts the current time
Insert > Date and Time (Ctrl+Shift+T)
                          inserts the short date and the time
Sort Lines (Ctrl+M)       sorts all lines of the note alphabetically,
                          ignoring case; one Undo takes it back
Search/Replace... (Ctrl+F)
                          opens the search and replace window
                          (see [Search and replace])""", []),
        ("Notes menu", """\
These commands work on the notes in the tree. Most of them need the tree to
have the focus and a note to be selected.

Add... (Ins)
    Adds a new note. A small window asks for its title and where it goes:
    After, Before, As First child or As Last child of the selected note.
    The "..." button beside the title inserts the date or time
    (Ctrl+D date, Ctrl+T time, Ctrl+A both). Vellumtree remembers the
    position you chose last.
Delete (Ctrl+Del)
    Deletes the selected note with all its children. Depending on the
    option "Confirm on delete", Vellumtree asks first.
Cut (Ctrl+Shift+X)
    Moves the selected note and its branch to the clipboard.
Copy (Ctrl+Shift+C)
    Copies the selected note and its branch to the clipboard.
Paste (Ctrl+Shift+V)
    Inserts the notes from the clipboard after the selected note. Notes
    can be copied between two Vellumtree windows this way.
Rename (F2)
    Edits the title in the tree. Press Enter to keep the new title or Esc
    to keep the old one. An empty title is not accepted.
Sort > Entire tree
    Sorts all notes by title: the top level and the children of every note.
Sort > Children
    Sorts only the children of the selected note.
Move > Up, Down, Left, Right (Alt+arrow keys)
    See [Moving notes].

Every one of these changes can be taken back: see [Undo in the tree].""", [
            ("Moving notes", """\
Alt+Up     puts the note before the note above it on the same level
Alt+Down   puts the note after the note below it on the same level
Alt+Right  makes the note the last child of the note above it
Alt+Left   moves the note one level up, directly after its parent

A note always moves with all its children.

With the mouse, drag a note and drop it on another note:
  - a plain drop puts it directly after that note;
  - holding Ctrl while you drop makes it the last child of that note.
The mouse pointer shows which of the two will happen. A note cannot be
dropped on itself or on one of its own children.""", []),
            ("Undo in the tree", """\
No change to the tree is final. With the tree focused, Ctrl+Z (Edit > Undo)
takes back the last change, and Ctrl+Y or Ctrl+Shift+Z (Edit > Redo) makes
it again. The menu item names the change, for example: Undo Delete "Garden".

Every change to the tree is one step: adding, deleting (a whole branch
comes back, however large), renaming, moving, dragging, pasting (everything
one paste brought in), sorting, Replace and Replace All (all replacements at
once), importing a text into a note or a notes file under it, and the spaces
trimmed when you save.

After each step the note it changed is selected and its text is shown.
While you type in the editor, Ctrl+Z and Ctrl+Y work on your typing as
before; what you typed stays when you undo in the tree.

Vellumtree keeps the last 100 steps (fewer when they hold very large
branches). Opening or creating a document starts afresh. Undo after a save
marks the document changed again, so the next save keeps the result. The
steps are never stored in the file.""", []),
        ]),
        ("Settings menu", """\
Options... (F9)
    Opens the options window (see [Options]).
WordWrap (Ctrl+W)
    Wraps long lines at the editor's edge, or shows them on one line with
    a horizontal scroll bar.
Stay on top
    Keeps the Vellumtree window above all other windows.""", []),
        ("Help menu", """\
Help contents (F1)
    Opens this help document (Alt+F1 does too). Changes you make to it
    are never written over the installed help: Save asks for a new name.
About...
    Shows the program's version and where it comes from.""", []),
    ]),
    ("Toolbars", """\
The toolbar along the top holds, from left to right:
  New, Open (its small arrow lists the recent files), Save, Save As, Print,
  Cut, Copy, Paste, Undo,
  Search and replace, Options, About, Exit.
Hold the mouse over a button to see its name. Cut, Copy, Paste and Undo work
on the editor's text; Cut and Copy also copy notes while the tree has the
focus.

The side bar between the tree and the editor holds the tree commands:
  Add note          adds a note (as Notes > Add...)
  Paste as sibling  makes a new note after the selected one from the text
                    on the clipboard
  Paste as child    the same, as the first child of the selected note
  Rename            edits the selected note's title
  Delete            deletes the selected note with its children
  Move up, Move down, Move right, Move left
                    move the selected note (see [Moving notes])""", [
        ("Paste as sibling and Paste as child", """\
These two buttons turn text from the clipboard into a new note. The first
line of the text, without leading spaces, becomes the title (shortened to
255 characters); the whole text becomes the note's body.

In the tree you can also type A (paste as sibling) or I (paste as child).
When the clipboard holds no text, these keys add an empty note titled
"New note".""", []),
    ]),
    ("Pop-up menus", """\
Right-click to open a pop-up menu.""", [
        ("Tree pop-up menu", """\
Add Note (Ctrl+Ins)    adds a note
Delete                 deletes the selected note and its branch
Cut, Copy, Paste       as in the Notes menu
Copy as link           puts the selected note's note link on the clipboard,
                       ready to be pasted into another note's text
                       (see [Note links])""", []),
        ("Editor pop-up menu", """\
Undo, Cut, Copy, Paste, Select All   as in the Edit menu

When you right-click on a link, more items appear:
Go to URL               opens a web, ftp or mail address; the item shows
                        the address itself
Open in new window      opens a web address in a new browser window
Copy URL                puts the address on the clipboard (a mail address
                        without its "mailto:")
Go to internal link     jumps to the note that a note link or a title link
                        names

To Note caption (Ctrl+F2)
    makes the selected text the title of the current note: line breaks
    become spaces, spaces at both ends go, and the first letter becomes a
    capital.""", []),
        ("Tray pop-up menu", """\
Right-click the Vellumtree icon in the notification area:
Restore   brings the window back
Hide      hides the window in the notification area
Exit      closes Vellumtree""", []),
    ]),
    ("Keys", """\
Anywhere in the main window
  Ctrl+N  New                     Ctrl+O  Open
  Ctrl+S  Save                    F12     Save As
  Ctrl+E  Export                  Ctrl+I  Import
  Ctrl+R  Encrypt                 Ctrl+P  Print
  Alt+X   Exit                    Ctrl+F  Search and replace
  F9      Options                 Ctrl+W  Word wrap on or off
  Ins     Add a note              Ctrl+Del  Delete the note
  Ctrl+Shift+X, C, V              cut, copy, paste notes
  F2      Rename the note         Alt+arrow keys  move the note
  Alt+B   Back to the note you came from after following a link
  F1      Open this help (also Alt+F1)
  Ctrl+Tab  Move the focus between the tree and the editor
  Esc     Minimise the window (when "Minimize on Escape" is on)
  Windows key+N  Bring Vellumtree back from anywhere, where the desktop
          allows a global shortcut

In the editor
  Ctrl+Z  Undo                    Ctrl+X  Cut
  Ctrl+C  Copy                    Ctrl+V  Paste
  Ctrl+A  Select all              Ctrl+M  Sort lines
  Ctrl+D  Insert date             Ctrl+Shift+D  Insert long date
  Ctrl+T  Insert time             Ctrl+Shift+T  Insert date and time
  Ctrl+F2 Selected text becomes the note's title
  Tab     Inserts a tab character
  Double-click a link to follow it (see [Links])

In the tree
  Ctrl+Z          Undo the last change to the tree
  Ctrl+Y or Ctrl+Shift+Z  Redo it
  Ctrl+Ins        Add a note
  Ctrl+L          Copy the note's link
  A               Paste as sibling
  I or Ctrl+Shift+Ins  Paste as child
  *               Expand every note
  -               Collapse every note
  Other letters   jump to the next note whose title starts with them

In dialogs
  Enter   confirms (the OK or default button)
  Esc     closes the dialog without changes
  Tab     moves to the next control; in a group of choices it stops at
          the chosen one, and the arrow keys change the choice
  In the About box, Tab reaches the two links; Enter or Space opens one""", []),
    ("Links", """\
Vellumtree recognises links in the text of your notes. Double-click a link
to follow it, or right-click it for the link items of the pop-up menu.

Web address   http://www.example.com or simply www.example.com
FTP address   ftp://ftp.example.com or simply ftp.example.com
Mail address  someone@example.com opens your mail program
File link     file://path;  opens a file with its usual program, for
              example file:///home/me/report.pdf;
Note link     note://Title\\Child title;  jumps to a note in this document
Title link    a title in square brackets, such as [Links], jumps to the
              first note with that title

Web, ftp and mail addresses end at a space, a line break, quotes,
brackets, a comma or a semicolon. A full stop, comma or colon at their end
is left out.""", [
        ("Note links", """\
A note link names a note by the titles from the top of the tree down to
the note, separated by backslashes, between "note://" and ";". Case does not
matter. For example, this link leads to the list of keys:

    note://Welcome to Vellumtree\\Keys;

and this one to the page about moving notes:

    note://Welcome to Vellumtree\\Menus\\Notes menu\\Moving notes;

You do not need to type them: select a note in the tree and press Ctrl+L
(Copy as link), then paste the link into any note's text.

When two notes on the same level have the same title, the link leads to the
first of them. After renaming or moving a note, its old links no longer
lead to it.""", []),
        ("Title links", """\
Write the title of a note in square brackets, such as [Keys] or
[Printing], and double-click it to go to the first note in the tree with
that title. Case does not matter.

Alt+B takes you back to the note you came from; press it again to return.""", []),
    ]),
    ("Options", """\
Settings > Options (F9) opens the options window. Its four pages are
described in the notes below. OK keeps your changes; Cancel forgets them.
Vellumtree stores its settings for your user account.""", [
        ("Interface", """\
Minimize on Escape            Esc minimises the main window.
Full path on caption          the window title shows the file's full path
                              instead of only its name.
Save window position on exit  the window opens again where and as large as
                              you left it.
MRU size                      how many recent files File > Reopen lists.
Tab size                      the width of a tab character in the editor.
Language                      the language of menus and messages; languages
                              are the .lng files in the "lng" folder.
Confirm on delete             Never: notes are deleted without a question.
                              Note: always asks.
                              Branch: asks only for a note with children.""", []),
        ("Appearance", """\
Editor, Notes tree    the font and colour of the editor and of the tree;
                      the "..." buttons choose the font, the colour buttons
                      the background colour.
Display images for notes
                      shows a small note picture beside every title.""", []),
        ("Files", """\
Make backups          keeps the previous version of a file as a .bak file
                      (notes.vlt.bak) each time you save; "Backup in"
                      chooses a folder for them.
Trim trailing spaces  removes spaces at the ends of lines when saving.
Reload last file      opens the file you used last when Vellumtree starts.
Autosave files...     Never; When switching to other app (saves when you
                      switch to another program; a document that still has
                      the name Notes.vlt asks for a name first); When
                      closing (saves without asking when you close, if the
                      file already exists); Every 5 minutes; Every 10
                      minutes.
Directories           Remember last used: the file dialogs start in the
                      folder you used last. Use default: they start in the
                      folders given in "Open in" and "Save in".""", []),
        ("General", """\
Allow multiple instances   lets you run several Vellumtree windows at once.
                           When it is off, opening a notes file while
                           Vellumtree runs hands the file to the running
                           window (see [Tray and single instance]).
Minimize to system tray    minimising hides the window behind an icon in
                           the notification area.
Close to system tray       the window's close button hides the window in
                           the notification area; File > Exit still closes.
Remember edited note       opens a file at the note you were working on.
Global hot key             shows the key that brings the window back; greyed
                           out, with the reason below it, where the desktop
                           gives no program a global hot key.
Associate with .vlt, .vlx and .vle files
                           makes Vellumtree the program that opens notes
                           files when you open them from your file manager.""", []),
    ]),
    ("Enciphered files", """\
A document can be protected with a password. It is then stored enciphered,
and nobody can read it without the password. There are two formats:

Strong (.vlx)      the recommended one. The password is stretched with
                   Argon2id, which makes every guess slow, and the notes are
                   enciphered with XChaCha20-Poly1305. Any change to the file
                   is found: a damaged or altered file is refused, never
                   shown as garbage. Older versions of Vellumtree cannot
                   open it.
Compatible (.vle)  the format of older versions, for files that must still
                   open there. It keeps casual readers out, but not a
                   determined attacker: use it only where .vlx cannot be
                   used.

To protect the open document, choose File > Encrypt (Ctrl+R), type the
password twice, choose the format (Strong is preselected) and press OK.
The document now carries the .vlx (or .vle) name; it is written enciphered
the next time you save. "Delete original file" is checked at first: the
unprotected .vlt file (and its backup) is then deleted once the enciphered
file has been written, and Reopen leads to the enciphered file. Uncheck it
to keep the .vlt file.

Saving under a .vlx or .vle name with File > Save As asks for a new
password and the format as well. With "Delete original file" checked, the
unprotected .vlt file of the document is deleted once the enciphered file
has been written.

A .vle file stays a .vle file when you save it. To move it to the strong
format, save it with File > Save As and choose Strong.

A new password must have at least 4 characters, and both entries must
match. Choose a long password that is not easy to guess.

Opening an enciphered file asks for its password. A wrong password leaves
the open document as it was. A .vlx file that was damaged or changed says
so instead, and is not opened.

To remove the protection, save the document with File > Save As under a
.vlt name.

Keep your password safe: there is no way to open an enciphered file
without it. Opening or saving a .vlx takes about half a second the first
time, while the password is stretched. Backups of an enciphered document
are enciphered the same way, and no plain copy of it is ever written.""", []),
    ("Search and replace", """\
Edit > Search/Replace (Ctrl+F) or the toolbar's Search and replace button
opens the search window. It stays open while you go on working.

Text to find    the text to look for; the list remembers your last searches
Replace with    the text that replaces it
Search in Notes      searches the notes' texts
Search in Titles     searches the notes' titles
Case sensitive       upper and lower case must match
Whole words          finds the text only as a whole word
Scope   Active note:   the selected note only (texts, not titles)
        Active branch: the selected note and all its children
        Entire tree:   every note

Find          starts the search at the beginning of the scope
Find Next     goes on to the next match (Enter)
Replace       replaces the match that is shown, then finds the next
Replace All   replaces every match in the scope and says how many it replaced
Cancel        closes the window (Esc)

When nothing more is found, Vellumtree says so and offers to start again
from the beginning.""", []),
    ("Printing", """\
File > Print (Ctrl+P) or the Print button opens the print window.

Print   Current note:  the selected note's text
        Current tree:  the selected note and all its children
        Headings only: the titles of all notes
        All notes:     every note with its text
Printer font    the font of the printout; "..." chooses it
Margins         left, right, top and bottom margins in millimetres
Print page numbers   adds the page number at the foot of each page
Preview...      shows the pages as they will be printed
Setup...        chooses the printer, paper and orientation
Print           prints and closes the window (Enter)

When no printer is installed, Vellumtree can print to a PDF file instead;
it offers the document's own folder and name.
When the chosen part holds nothing to print, Vellumtree says so, and it
refuses margins that leave no room for a character on a line or for a line
on a page.""", []),
    ("Import and export", """\
File > Import (Ctrl+I) reads a file into the selected note:
  - a text file replaces the selected note's text with the file's lines;
  - a notes file (.vlt) adds all its notes as the last children of the
    selected note, keeping their order and nesting.

File > Export (Ctrl+E) writes the selected note to a file:
  - as a text file: the selected note with all its children, then each
    note that follows it on its level with theirs, one after another:
    the title, an empty line, and the text of every note;
  - as a notes file (.vlt): the selected note and its branch as a notes
    file of its own, which you can open or import later.
The proposed file name is the note's title, with characters that file
names cannot hold replaced by "_".

Neither command changes the name of the open document.""", []),
    ("Tray and single instance", """\
The tray
    With "Minimize to system tray" or "Close to system tray" on, Vellumtree
    shows its icon in the notification area. Click the icon to bring the
    window back; right-click it for Restore, Hide and Exit. The icon's tip
    shows the window title.

Bringing the window back
    Windows key+N brings the window back from the tray or from behind other
    windows, where the desktop lets programs use a global shortcut. In a
    Wayland session that shortcut comes through the desktop's portal, which
    asks you once to allow it (and may offer another key); where the desktop
    has no such portal, Options > General shows the key greyed out and says
    why.

One window at a time
    Unless "Allow multiple instances" is on, only one Vellumtree runs.
    Starting it again, for example by opening a notes file from your file
    manager, hands that file to the running window, which opens it (after
    asking about unsaved changes) and comes to the front. Starting it again
    without a file just brings the running window to the front.

Snapping
    When you move the window close to an edge of the screen, it snaps to
    that edge.

In a Wayland session
    The desktop, not the program, places the windows there: the window
    does not snap to the screen's edges, starts where the desktop puts it
    (with the size it had), and the search dialog does not move aside from
    a match. The position saved in an X11 session is kept for the next one.
    The tray icon needs a desktop that shows StatusNotifierItem icons (KDE
    Plasma, or GNOME with the AppIndicator extension); without one, the
    window minimises to the taskbar as usual.""", []),
])


def unwrap(body):
    """Joins the lines of plain paragraphs into one, so the editor's word wrap
    fits them to the window. Lists, indented blocks and aligned tables stay."""
    out = []
    for paragraph in body.split("\n\n"):
        rows = paragraph.split("\n")
        prose = all(row and not row[0].isspace() and "  " not in row
                    and not row.lstrip("0123456789").startswith(". ")
                    and not row.startswith(("- ", "* "))
                    for row in rows)
        out.append(" ".join(rows) if prose else paragraph)
    return "\n\n".join(out)


def note_block(lines, note, nested):
    title, body, children = note
    assert "\n" not in title
    lines.append("<dt><h3>" + title + "</h3></dt>")
    lines.append("<dd><pre>")
    for line in unwrap(body).split("\n"):
        assert line != "</pre></dd>", "a body line would end the body"
        lines.append(line)
    lines.append("</pre></dd>")
    if children:
        lines.append("<dl>")
        for child in children:
            lines.append("")
            note_block(lines, child, True)
        lines.append("</dl>")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "res", "Help.vlt")
    lines = [
        "<!DOCTYPE Vellumtree-File>",
        "<!--LastNote:0-->",
        "<html>",
        "<head>",
        "<title>Vellumtree Help</title>",
        "</head>",
        "",
        '<body bgcolor="#ffffff">',
        "",
        "<dl>",
    ]
    note_block(lines, HELP, False)
    lines += ["</dl>", "</body>", "</html>"]
    data = "".join(line + "\r\n" for line in lines).encode("utf-8")
    with open(target + ".tmp", "wb") as f:
        f.write(data)
    os.replace(target + ".tmp", target)


if __name__ == "__main__":
    main()
