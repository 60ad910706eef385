// vellumtree-cli: headless access to notes files.

#include "cli/CliPrint.h"
#include "cli/FindCommands.h"
#include "cli/PrintCommand.h"
#include "notes/Archive.h"
#include "notes/NoteTree.h"
#include "settings/UtilsFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

using Cli::kExitFailure;
using Cli::kExitOk;
using Cli::kExitUsage;

const char kUsage[] =
    "Usage: vellumtree-cli COMMAND [OPTIONS] ARGUMENTS\n"
    "\n"
    "Commands:\n"
    "  tree FILE          titles in tree order, one per line, two spaces of indent per level\n"
    "  cat FILE NOTE      the body of the note named by a note link (note://A\\B;) or,\n"
    "                     failing that, by its title\n"
    "  convert IN OUT     read IN (.vlt, .vlx or .vle), write OUT by its extension: .vlt,\n"
    "                     .vlx (strongly enciphered), .vle (the weak format older versions\n"
    "                     read) or .txt (the notes as plain text); title and last note are kept\n"
    "  find FILE TEXT [--case] [--whole-words] [--titles] [--no-bodies] [--under LINK]\n"
    "                     one line per match in tree order: the note's link, a tab, \"title\"\n"
    "                     or the body line (from 1), a tab, the column (from 1), a tab, the\n"
    "                     line; exit 0 when something matched, 1 when nothing did, 2 for\n"
    "                     wrong usage or a file that cannot be read\n"
    "  replace FILE TEXT REPLACEMENT [search options] [-o OUT]\n"
    "                     replace every match in the tree (or the branch under LINK), print\n"
    "                     the number of replacements, write FILE (or OUT); an enciphered file\n"
    "                     keeps its format and password\n"
    "  import FILE LINK IN   IN .vlt, .vlx or .vle: its notes become the last children of LINK; else the\n"
    "                     lines of the text file IN become LINK's body; FILE is written\n"
    "  export FILE LINK OUT  OUT .vlt: the branch at LINK as a notes file; else as text, the\n"
    "                     note and its following siblings with their branches\n"
    "                     Search options: --case (match case), --whole-words, --titles (also\n"
    "                     titles), --no-bodies (titles only), --under LINK (that branch only).\n"
    "                     LINK names a note as for cat.\n"
    "  print FILE -o OUT.pdf  the notes laid out as the print dialog prints them, into a PDF\n"
    "      --scope note|tree|headings|all  what to print (default all)\n"
    "      --note NOTE        the note (link or title) for note and tree; default the first\n"
    "      --font \"NAME,SIZE\" printer font (default \"Courier New,10\")\n"
    "      --margins L,R,T,B  margins in millimetres (default 10,10,10,10)\n"
    "      --no-page-numbers  no \"Page N\" at the foot of each page\n"
    "      --paper A4|Letter  paper size (default A4)\n"
    "\n"
    "Options:\n"
    "  --accept-damaged   convert, replace, import and export write what could be read of\n"
    "                     a damaged file (cut off, or with text after a NUL byte)\n"
    "  --force            replace an output file even when it is read-only\n"
    "  --password-file F  the password is the first line of F (\"-\" = standard input);\n"
    "                     without it, an enciphered file asks on the terminal\n"
    "  --help             this text\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for wrong usage.\n";

// A failure that ends the command: one line on standard error, exit status 1.
struct CliFailure
{
    QString message;
};

using Cli::print;

int usageError(const QString &why)
{
    print(stderr, u"vellumtree-cli: "_s + why + u'\n');
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

QString firstLine(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    const qsizetype end = text.indexOf(QRegularExpression(u"[\r\n]"_s));
    return end < 0 ? text : text.left(end);
}

#ifdef Q_OS_WIN
std::optional<QString> askOnTerminal(const QString &prompt)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode))
        return std::nullopt;
    print(stderr, prompt);
    SetConsoleMode(in, mode & ~ENABLE_ECHO_INPUT);
    wchar_t buffer[1024];
    DWORD read = 0;
    const BOOL ok = ReadConsoleW(in, buffer, 1023, &read, nullptr);
    SetConsoleMode(in, mode);
    print(stderr, u"\n"_s);
    if (!ok)
        return std::nullopt;
    return firstLine(QString::fromWCharArray(buffer, static_cast<int>(read)).toUtf8());
}
#else
// Reads a line from the controlling terminal with echo off.
std::optional<QString> askOnTerminal(const QString &prompt)
{
    FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return std::nullopt;
    const int fd = fileno(tty);
    termios saved{};
    const bool haveTerminal = tcgetattr(fd, &saved) == 0;
    if (haveTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    print(tty, prompt);
    std::fflush(tty);
    QByteArray line;
    for (int c = std::fgetc(tty); c != EOF && c != '\n'; c = std::fgetc(tty))
        line.append(static_cast<char>(c));
    if (haveTerminal)
        tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputs("\n", tty);
    std::fclose(tty);
    return firstLine(line);
}
#endif

class PasswordSource
{
public:
    explicit PasswordSource(std::optional<QString> file) : m_file(std::move(file)) { }

    // The password for an existing enciphered file.
    QString existing(const QString &forFile)
    {
        if (!m_password)
            m_password = fromFileOrTerminal(forFile, false);
        return *m_password;
    }

    // A password for a new enciphered file: asked twice on the terminal.
    QString fresh(const QString &forFile)
    {
        if (!m_password)
            m_password = fromFileOrTerminal(forFile, true);
        if (m_password->size() < 4)
            throw CliFailure{forFile + u": the password must have at least 4 characters"_s};
        if (TArchive::IsWeakPassword(*m_password))
            throw CliFailure{forFile + u": this password cannot be used; choose another one"_s};
        return *m_password;
    }

private:
    QString fromFileOrTerminal(const QString &forFile, bool verify) const
    {
        if (m_file) {
            QFile file;
            const bool ok = *m_file == u"-"_s ? file.open(stdin, QIODevice::ReadOnly)
                                              : (file.setFileName(*m_file),
                                                 file.open(QIODevice::ReadOnly));
            if (!ok)
                throw CliFailure{*m_file + u": "_s + file.errorString()};
            // A password line is short; never read an unbounded stream.
            return firstLine(file.read(64 * 1024));
        }
        const QString name = QFileInfo(forFile).fileName();
        const std::optional<QString> password = askOnTerminal(u"Password for %1: "_s.arg(name));
        if (!password)
            throw CliFailure{forFile + u": a password is needed (no terminal; use --password-file)"_s};
        if (verify) {
            const std::optional<QString> again = askOnTerminal(u"Verify: "_s);
            if (!again || *again != *password)
                throw CliFailure{forFile + u": the passwords do not match"_s};
        }
        return *password;
    }

    std::optional<QString> m_file;
    std::optional<QString> m_password;
};

// Whether the running command writes a notes file from what it reads, and whether
// the user accepts that a damaged input gives only the part that could be read.
struct TDamagePolicy
{
    bool writes = false;
    bool accept = false;
};
TDamagePolicy damagePolicy;

QString damageText(const QString &fileName, const TArchive::TDamage &damage)
{
    QString text = fileName + u": damaged"_s;
    if (damage.NulAt >= 0)
        text += u"; the text ends at a NUL byte at byte %1, nothing after it is read"_s.arg(
            damage.NulAt);
    if (damage.Unclosed)
        text += u"; the closing lines are missing (cut off?)"_s;
    return text + u"; %1 notes read"_s.arg(damage.NotesRead);
}

// Reads a notes file into the archive's tree, or under parent as its last children.
void readDocument(TArchive &archive, const QString &fileName,
                  PasswordSource &passwords, TNote *parent = nullptr)
{
    if (!QFileInfo::exists(fileName))
        throw CliFailure{fileName + u": no such file"_s};
    const QFileInfo info(fileName);
    if (TArchive::IsEncryptedName(fileName) && info.isFile()
        && info.size() <= TArchive::MaxFileSize)
        archive.Password = passwords.existing(fileName);
    try {
        if (!archive.ReadNotes(parent, fileName))
            throw CliFailure{fileName
                             + (TArchive::EnciphermentOf(fileName)
                                            == TArchive::TEncipherment::Compatible
                                    ? u": not a notes file (or the password is wrong)"_s
                                    : u": not a notes file"_s)};
    } catch (const EVellumtreeError &e) {
        throw CliFailure{Cli::errorLine(e, fileName)};
    }
    if (archive.Damage.Any()) {
        const QString what = damageText(fileName, archive.Damage);
        // Writing it back would make the loss permanent.
        if (damagePolicy.writes && !damagePolicy.accept)
            throw CliFailure{what + u"; nothing written (--accept-damaged writes what was read)"_s};
        print(stderr, what + u'\n');
    }
}

int commandTree(const QStringList &args, PasswordSource &passwords)
{
    if (args.size() != 1)
        return usageError(u"tree takes one FILE"_s);
    TNoteTree tree;
    TArchive archive(&tree);
    // The bodies are most of a document and none of the listing.
    archive.TitlesOnly = true;
    readDocument(archive, args[0], passwords);
    // Line by line through the stream's buffer: a deep document's indented output is
    // many times its own size and is never held whole.
    QByteArray indent;
    int level = 0;
    for (const TNote *note = tree.FirstNote(); note; note = tree.NextInTreeOrder(note, &level)) {
        const qsizetype width = qsizetype(level) * 2;
        if (indent.size() < width)
            indent.resize(width, ' ');
        std::fwrite(indent.constData(), 1, static_cast<size_t>(width), stdout);
        print(stdout, note->Title() + u'\n');
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw CliFailure{u"standard output: "_s + QString::fromLocal8Bit(std::strerror(errno))};
    return kExitOk;
}

int commandCat(const QStringList &args, PasswordSource &passwords)
{
    if (args.size() != 2)
        return usageError(u"cat takes a FILE and a NOTE"_s);
    TNoteTree tree;
    TArchive archive(&tree);
    readDocument(archive, args[0], passwords);
    const QString &name = args[1];
    TNote *note = nullptr;
    if (name.startsWith(u"note://"_s, Qt::CaseInsensitive))
        note = tree.FindByLink(name);
    if (!note)
        note = tree.FindByTitle(name);
    if (!note)
        throw CliFailure{args[0] + u": no note \""_s + name + u"\""_s};
    QString out;
    TextEncoding::forEachTextFormLine(note->BodyText(), [&out](QStringView line) {
        out += line;
        out += u'\n';
    });
    print(stdout, out);
    return kExitOk;
}

int commandConvert(const QStringList &args, PasswordSource &passwords)
{
    if (args.size() != 2)
        return usageError(u"convert takes IN and OUT"_s);
    const QString &in = args[0];
    const QString &out = args[1];
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != u"vlt"_s && suffix != u"vle"_s && suffix != u"vlx"_s && suffix != u"txt"_s)
        return usageError(out + u": OUT must end in .vlt, .vlx, .vle or .txt"_s);

    TNoteTree tree;
    TArchive reader(&tree);
    readDocument(reader, in, passwords);

    try {
        if (suffix == u"txt"_s) {
            QStringList lines;
            tree.ExportSiblings(lines, tree.FirstNote(), true);
            const QByteArray bytes
                = TextEncoding::encode(TextEncoding::joinLines(lines), reader.Encoding);
            WriteFileAtomically(out, bytes);
            return kExitOk;
        }
        TArchive writer(&tree);
        writer.Title = reader.Title;
        writer.LastNode = reader.LastNode;
        writer.Encoding = reader.Encoding;
        if (TArchive::IsEncryptedName(out)) {
            // An enciphered file keeps its password, and the key it was opened with.
            writer.Password = TArchive::IsEncryptedName(in) ? reader.Password : passwords.fresh(out);
            writer.FileKey = reader.FileKey;
        }
        writer.WriteNotes(nullptr, out);
    } catch (const EVellumtreeError &e) {
        throw CliFailure{Cli::errorLine(e, out)};
    }
    return kExitOk;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    // print has options of its own; it reads the document by the same password rules.
    if (args.value(0) == u"print"_s) {
        return CommandPrint(args.mid(1), [](TArchive &archive, const QString &file,
                                            const std::optional<QString> &passwordFile) {
            PasswordSource passwords(passwordFile);
            try {
                readDocument(archive, file, passwords);
            } catch (const CliFailure &failure) {
                return failure.message;
            }
            return QString();
        });
    }

    std::optional<QString> passwordFile;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == u"--help"_s || arg == u"-h"_s) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (arg == u"--accept-damaged"_s) {
            damagePolicy.accept = true;
        } else if (arg == u"--force"_s) {
            AllowReplacingReadOnlyFiles(true);
        } else if (arg == u"--password-file"_s) {
            if (i + 1 >= args.size())
                return usageError(u"--password-file needs a file name"_s);
            passwordFile = args[++i];
        } else if (arg.startsWith(u"--password-file="_s)) {
            passwordFile = arg.mid(16);
        } else if (FindCommands::IsOption(arg)) {
            positional.append(arg); // find and replace check their own options
        } else if (arg.startsWith(u"--"_s)) {
            return usageError(u"unknown option "_s + arg);
        } else {
            positional.append(arg);
        }
    }
    if (positional.isEmpty())
        return usageError(u"no command given"_s);

    const QString command = positional.takeFirst();
    damagePolicy.writes = command == u"convert"_s || command == u"replace"_s
        || command == u"import"_s || command == u"export"_s;
    PasswordSource passwords(passwordFile);
    try {
        if (command == u"tree"_s)
            return commandTree(positional, passwords);
        if (command == u"cat"_s)
            return commandCat(positional, passwords);
        if (command == u"convert"_s)
            return commandConvert(positional, passwords);
        if (FindCommands::IsCommand(command)) {
            const auto read = [&](TArchive &archive, const QString &file, TNote *parent) {
                try {
                    readDocument(archive, file, passwords, parent);
                } catch (const CliFailure &failure) {
                    return failure.message;
                }
                return QString();
            };
            return FindCommands::Run(command, positional, {read, usageError});
        }
    } catch (const CliFailure &failure) {
        print(stderr, failure.message + u'\n');
        return kExitFailure;
    } catch (const std::exception &e) {
        print(stderr, QString::fromUtf8(e.what()) + u'\n');
        return kExitFailure;
    }
    return usageError(u"unknown command "_s + command);
}
