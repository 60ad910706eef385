#include "settings/ShellTarget.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

bool hasUrlScheme(const QString &text)
{
    // Two letters at least, so "C:\x" stays a path.
    static const QRegularExpression scheme(u"^[A-Za-z][A-Za-z0-9+.-]+:"_s);
    return scheme.match(text).hasMatch();
}

bool isBrowserScheme(QStringView scheme)
{
    return scheme.compare(u"http", Qt::CaseInsensitive) == 0
        || scheme.compare(u"https", Qt::CaseInsensitive) == 0
        || scheme.compare(u"ftp", Qt::CaseInsensitive) == 0;
}

// Types whose default handler may run them. Scripts of most languages derive from
// application/x-executable in the shared MIME database, the rest are named here.
const QStringList &runnableTypes()
{
    static const QStringList types {
        u"application/x-executable"_s,
        u"application/x-sharedlib"_s,
        u"application/x-pie-executable"_s,
        u"application/x-shellscript"_s,
        u"application/x-desktop"_s,
        u"application/x-ms-dos-executable"_s,
        u"application/x-msdownload"_s,
        u"application/vnd.microsoft.portable-executable"_s,
        u"application/x-msi"_s,
        u"application/x-ms-shortcut"_s,
        u"application/x-bat"_s,
        u"application/java-archive"_s,
        u"application/x-java-archive"_s,
        u"application/x-java-jnlp-file"_s,
        u"application/x-perl"_s,
        u"application/x-ruby"_s,
        u"application/x-php"_s,
        u"text/x-python"_s,
        u"text/x-python3"_s,
    };
    return types;
}

bool isRunnableType(const QMimeType &type)
{
    for (const QString &runnable : runnableTypes()) {
        if (type.inherits(runnable))
            return true;
    }
    return false;
}

bool isRunnable(const QFileInfo &info)
{
    if (info.fileName().endsWith(u".desktop"_s, Qt::CaseInsensitive))
        return true;
    if (!info.isFile())
        return false;
    constexpr QFile::Permissions execute
        = QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    if (info.permissions() & execute)
        return true;
    const QMimeDatabase database;
    // The opener may judge by either; an ELF program named "notes.txt" is a program.
    return isRunnableType(database.mimeTypeForFile(info, QMimeDatabase::MatchExtension))
        || isRunnableType(database.mimeTypeForFile(info, QMimeDatabase::MatchContent));
}

TOpenPlan planFile(const QString &path)
{
    TOpenPlan plan;
    plan.Shown = path;
    if (path.isEmpty())
        return plan;
    const QFileInfo info(path);
    plan.Shown = info.absoluteFilePath();
    if (!info.exists()) {
        plan.Action
            = info.absoluteDir().exists() ? TOpenAction::FileNotFound : TOpenAction::FolderNotFound;
        return plan;
    }
    if (info.isDir()) {
        plan.Action = TOpenAction::Open;
        plan.Url = QUrl::fromLocalFile(info.absoluteFilePath());
        return plan;
    }
    // Devices, pipes and sockets are no documents either.
    if (!info.isFile() || IsRunnableFile(info.absoluteFilePath())) {
        plan.Action = TOpenAction::ShowInFolder;
        plan.Url = QUrl::fromLocalFile(info.absolutePath());
        return plan;
    }
    plan.Action = TOpenAction::Open;
    plan.Url = QUrl::fromLocalFile(info.absoluteFilePath());
    return plan;
}

} // namespace

bool IsDirectScheme(QStringView Scheme)
{
    return isBrowserScheme(Scheme) || Scheme.compare(u"mailto", Qt::CaseInsensitive) == 0;
}

bool IsRunnableFile(const QString &Path)
{
    const QFileInfo info(Path);
    if (isRunnable(info))
        return true;
    // A link is judged by what it leads to as well: "notes.txt" may point at a program.
    const QString target = info.canonicalFilePath();
    return !target.isEmpty() && target != info.absoluteFilePath() && isRunnable(QFileInfo(target));
}

TOpenPlan PlanOpen(const QString &Target)
{
    if (!hasUrlScheme(Target))
        return planFile(Target);
    TOpenPlan plan;
    plan.Shown = Target;
    const QUrl url(Target);
    if (!url.isValid() || url.isRelative())
        return plan;
    const QString scheme = url.scheme();
    if (scheme.compare(u"file"_s, Qt::CaseInsensitive) == 0) {
        // A file on another machine is no local file, whatever its path says.
        if (!url.host().isEmpty() && url.host().compare(u"localhost"_s, Qt::CaseInsensitive) != 0)
            return plan;
        QUrl local = url;
        local.setHost(QString());
        return planFile(local.toLocalFile());
    }
    plan.Url = url;
    if (IsDirectScheme(scheme)) {
        const bool mail = scheme.compare(u"mailto"_s, Qt::CaseInsensitive) == 0;
        if (mail ? url.path().isEmpty() : url.host().isEmpty())
            return plan;
        plan.Action = TOpenAction::Open;
        return plan;
    }
    plan.Action = TOpenAction::AskScheme;
    plan.Shown = url.toString();
    return plan;
}

QUrl BrowserAddress(const QString &Target)
{
    if (!hasUrlScheme(Target))
        return {};
    const QUrl url(Target);
    if (!url.isValid() || url.isRelative() || !isBrowserScheme(url.scheme())
        || url.host().isEmpty())
        return {};
    return url;
}

QStringList BrowserCommand(const QString &Browser, const QUrl &Address)
{
    const QString address = Address.toString(QUrl::FullyEncoded);
    if (!BrowserAddress(address).isValid() || address.startsWith(u'-'))
        return {};
    // A desktop entry's command may carry arguments of its own ("env X=1 prog"), but
    // a program's path may hold blanks.
    QStringList command;
    if (QFileInfo(Browser).isFile())
        command << Browser;
    else
        command = QProcess::splitCommand(Browser);
    if (command.isEmpty())
        return {};
    // One argument, after all of the browser's own: an address with its scheme in
    // front can never be read as an option. No "--" before it: browsers differ in
    // whether they take it for the end of their options, and one that does not would
    // open it as a second address.
    command << address;
    return command;
}
