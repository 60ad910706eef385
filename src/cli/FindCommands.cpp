#include "cli/FindCommands.h"

#include "cli/CliPrint.h"

#include "app/ImportExport.h"
#include "find/FindEngine.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QFileInfo>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace FindCommands {

namespace {

using Cli::kExitFailure;
using Cli::kExitOk;
using Cli::kExitUsage;

using Cli::print;

// A failure that ends the command with one line on standard error.
struct Failure
{
    QString message;
    int status = kExitFailure;
};

struct Arguments
{
    QStringList positional;
    bool caseSensitive = false;
    bool wholeWords = false;
    bool titles = false;
    bool noBodies = false;
    std::optional<QString> under;
    std::optional<QString> output;
};

// Parses the options of the command; nullopt after reporting wrong usage.
std::optional<Arguments> parse(const QString &command, const QStringList &args,
                               const QStringList &allowed, const THooks &hooks, int *status)
{
    Arguments a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool takesValue = arg == u"--under"_s || arg == u"-o"_s;
        const QString name = arg.startsWith(u"--under="_s) ? u"--under"_s : arg;
        if (!arg.startsWith(u'-') || arg == u"-"_s) {
            a.positional << arg;
            continue;
        }
        if (!allowed.contains(name)) {
            *status = hooks.UsageError(command + u" does not take "_s + arg);
            return std::nullopt;
        }
        if (takesValue && i + 1 >= args.size()) {
            *status = hooks.UsageError(arg + u" needs a value"_s);
            return std::nullopt;
        }
        if (name == u"--case"_s)
            a.caseSensitive = true;
        else if (name == u"--whole-words"_s)
            a.wholeWords = true;
        else if (name == u"--titles"_s)
            a.titles = true;
        else if (name == u"--no-bodies"_s)
            a.noBodies = true;
        else if (name == u"--under"_s)
            a.under = arg == name ? args[++i] : arg.mid(8);
        else if (name == u"-o"_s)
            a.output = args[++i];
    }
    return a;
}

const QStringList kSearchOptions{u"--case"_s, u"--whole-words"_s, u"--titles"_s,
                                 u"--no-bodies"_s, u"--under"_s};

// A note named as `cat` takes it: a note link, or failing that a title.
TNote *noteAt(const TNoteTree &tree, const QString &name)
{
    TNote *note = nullptr;
    if (name.startsWith(u"note://"_s, Qt::CaseInsensitive))
        note = tree.FindByLink(name);
    return note ? note : tree.FindByTitle(name);
}

void read(TArchive &archive, const QString &fileName, const THooks &hooks, int failureStatus,
          TNote *parent = nullptr)
{
    const QString failure = hooks.ReadDocument(archive, fileName, parent);
    if (!failure.isEmpty())
        throw Failure{failure, failureStatus};
}

TNote *requireNote(const TNoteTree &tree, const QString &file, const QString &link,
                   int failureStatus)
{
    TNote *note = noteAt(tree, link);
    if (!note)
        throw Failure{file + u": no note \""_s + link + u"\""_s, failureStatus};
    return note;
}

// The search as the options set it, over the whole tree or the branch under --under.
void setUp(TNoteSearch &search, const TNoteTree &tree, const Arguments &a, const QString &text,
           const QString &file, int failureStatus)
{
    search.Matcher = TTextMatcher(text, a.caseSensitive, a.wholeWords);
    search.Where = a.noBodies ? swTitles : (a.titles ? swTitles | swBodies : swBodies);
    if (a.under) {
        search.SetBranchScope(requireNote(tree, file, *a.under, failureStatus));
    } else {
        search.Scope = ssEntireTree;
        search.ComputeScope(nullptr);
    }
}

void writeDocument(TArchive &archive, const QString &fileName)
{
    try {
        archive.WriteNotes(nullptr, fileName);
    } catch (const EVellumtreeError &e) {
        throw Failure{Cli::errorLine(e, fileName)};
    }
}

int find(const QStringList &args, const THooks &hooks)
{
    int status = kExitUsage;
    const auto a = parse(u"find"_s, args, kSearchOptions, hooks, &status);
    if (!a)
        return status;
    if (a->positional.size() != 2 || a->positional[1].isEmpty())
        return hooks.UsageError(u"find takes a FILE and a non-empty TEXT"_s);
    const QString &file = a->positional[0];
    TNoteTree tree;
    TArchive archive(&tree);
    // Like grep: 1 means nothing matched, so a file that cannot be read is 2.
    read(archive, file, hooks, kExitUsage);
    TNoteSearch search(&tree);
    setUp(search, tree, *a, a->positional[1], file, kExitUsage);

    bool any = false;
    QString out;
    for (bool found = search.Find(); found; found = search.RunSearch()) {
        any = true;
        const TNote *note = search.CurrentNote;
        out += TNoteTree::GetNoteLink(note) + u'\t';
        if (search.BodyPosition != 0) {
            const QString &body = note->BodyText();
            const qsizetype lineStart = search.BodyPosition - search.MatchColumn();
            qsizetype lineEnd = body.indexOf(u'\r', lineStart);
            if (lineEnd < 0)
                lineEnd = body.size();
            out += u"%1\t%2\t"_s.arg(search.MatchLine()).arg(search.MatchColumn());
            out += QStringView(body).sliced(lineStart, lineEnd - lineStart);
            out += u'\n';
        } else {
            out += u"title\t%1\t"_s.arg(search.Matcher.SearchText(note->Title(), 1))
                + note->Title() + u'\n';
        }
        if (out.size() > 65536) {
            print(stdout, out);
            out.clear();
        }
        search.MatchShown();
    }
    print(stdout, out);
    return any ? kExitOk : kExitFailure;
}

int replace(const QStringList &args, const THooks &hooks)
{
    int status = kExitUsage;
    const auto a = parse(u"replace"_s, args, kSearchOptions + QStringList{u"-o"_s}, hooks,
                         &status);
    if (!a)
        return status;
    if (a->positional.size() != 3 || a->positional[1].isEmpty())
        return hooks.UsageError(u"replace takes a FILE, a non-empty TEXT and a REPLACEMENT"_s);
    const QString &file = a->positional[0];
    const QString target = a->output.value_or(file);
    if (TArchive::EnciphermentOf(target) != TArchive::EnciphermentOf(file))
        return hooks.UsageError(
            u"-o must name the same kind of file as FILE (.vlt, .vlx or .vle)"_s);
    TNoteTree tree;
    TArchive archive(&tree);
    read(archive, file, hooks, kExitFailure);
    TNoteSearch search(&tree);
    setUp(search, tree, *a, a->positional[1], file, kExitFailure);
    const int count = search.ReplaceInScope(a->positional[2]);
    // Without a change there is nothing to write back; an output file is always made.
    if (count > 0 || a->output)
        writeDocument(archive, target);
    print(stdout, u"%1\n"_s.arg(count));
    return kExitOk;
}

int import(const QStringList &args, const THooks &hooks)
{
    int status = kExitUsage;
    const auto a = parse(u"import"_s, args, {}, hooks, &status);
    if (!a)
        return status;
    if (a->positional.size() != 3)
        return hooks.UsageError(u"import takes a FILE, a LINK and an IN file"_s);
    const QString &file = a->positional[0];
    const QString &in = a->positional[2];
    TNoteTree tree;
    TArchive archive(&tree);
    read(archive, file, hooks, kExitFailure);
    TNote *note = requireNote(tree, file, a->positional[1], kExitFailure);
    try {
        // An enciphered file gives its notes, deciphered, never its cipher text.
        if (TArchive::IsEncryptedName(in) || ImportExport::ImportsAsNotesFile(in)) {
            TArchive importer(&tree);
            importer.LegacyEncoding = archive.LegacyEncoding;
            read(importer, in, hooks, kExitFailure, note);
        } else {
            note->SetBodyText(ImportExport::ReadTextBody(in, archive.LegacyEncoding));
        }
    } catch (const EVellumtreeError &e) {
        throw Failure{Cli::errorLine(e, in)};
    }
    writeDocument(archive, file);
    return kExitOk;
}

int exportNotes(const QStringList &args, const THooks &hooks)
{
    int status = kExitUsage;
    const auto a = parse(u"export"_s, args, {}, hooks, &status);
    if (!a)
        return status;
    if (a->positional.size() != 3)
        return hooks.UsageError(u"export takes a FILE, a LINK and an OUT file"_s);
    const QString &file = a->positional[0];
    const QString &out = a->positional[2];
    // Text in a file named as enciphered could never be opened again.
    if (TArchive::IsEncryptedName(out))
        return hooks.UsageError(u"export writes .vlt or text; use convert for .vlx or .vle"_s);
    TNoteTree tree;
    TArchive archive(&tree);
    read(archive, file, hooks, kExitFailure);
    TNote *note = requireNote(tree, file, a->positional[1], kExitFailure);
    try {
        if (ImportExport::ExportsAsNotesFile(out)) {
            TArchive writer(&tree);
            writer.Encoding = archive.Encoding;
            writer.WriteNotes(note, out);
        } else {
            ImportExport::WriteTextFile(out, ImportExport::ExportText(tree, note),
                                        archive.Encoding);
        }
    } catch (const EVellumtreeError &e) {
        throw Failure{e.message()};
    }
    return kExitOk;
}

} // namespace

bool IsCommand(const QString &command)
{
    return command == u"find"_s || command == u"replace"_s || command == u"import"_s
        || command == u"export"_s;
}

bool IsOption(const QString &argument)
{
    return kSearchOptions.contains(argument) || argument.startsWith(u"--under="_s);
}

int Run(const QString &command, const QStringList &args, const THooks &hooks)
{
    try {
        if (command == u"find"_s)
            return find(args, hooks);
        if (command == u"replace"_s)
            return replace(args, hooks);
        if (command == u"import"_s)
            return import(args, hooks);
        if (command == u"export"_s)
            return exportNotes(args, hooks);
    } catch (const Failure &failure) {
        print(stderr, failure.message + u'\n');
        return failure.status;
    }
    return hooks.UsageError(u"unknown command "_s + command);
}

} // namespace FindCommands
