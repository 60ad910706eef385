#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

// What opening a link's target comes to, decided before anything is started. A note's
// text is untrusted: it must not run a program, hand a program an option, or reach a
// scheme handler the user never agreed to.

// The schemes that open without a question: web, ftp and mail addresses.
bool IsDirectScheme(QStringView Scheme);

// Whether the file at Path is something the desktop's opener could run instead of
// show: a program, a script, a desktop entry, or any file with an execute permission,
// judged by its name and by its content, and through a symbolic link by its target.
bool IsRunnableFile(const QString &Path);

enum class TOpenAction {
    // Hand Url to the desktop's opener.
    Open,
    // An address of another scheme: open Url only when the user agrees to Shown.
    AskScheme,
    // A runnable file (Shown): never opened; Url is its folder, offered instead.
    ShowInFolder,
    // The file Shown is missing, or its folder.
    FileNotFound,
    FolderNotFound,
    // Not an address that can be opened (Shown).
    Invalid,
};

struct TOpenPlan
{
    TOpenAction Action = TOpenAction::Invalid;
    QUrl Url;
    // What a question or a report names: the whole address, or the file's path.
    QString Shown;
};

// Target is an address with a scheme ("http://...", "mailto:...", "file:///...") or a
// path; a path without a folder is taken from the current one.
TOpenPlan PlanOpen(const QString &Target);

// The address a browser may be started with for a new window: an absolute http, https
// or ftp URL with a host; an empty URL for anything else.
QUrl BrowserAddress(const QString &Target);

// The program and arguments that start Browser (a program path, or a command with
// arguments of its own as a desktop entry gives it) on Address. Empty when Browser
// names nothing or Address is no browser address. The address is the last argument,
// fully encoded, and never starts with "-".
QStringList BrowserCommand(const QString &Browser, const QUrl &Address);
