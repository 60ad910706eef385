#include "notes/Recovery.h"

#include "settings/UtilsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>
#include <cctype>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr QByteArrayView kHeader = "Vellumtree recovery 1";

bool isSessionName(QStringView text)
{
    return !text.isEmpty() && text.size() <= 64
        && std::all_of(text.begin(), text.end(), [](QChar c) {
               return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
                   || (c >= u'0' && c <= u'9') || c == u'-';
           });
}

bool isExtension(QStringView text)
{
    return !text.isEmpty() && text.size() <= 8
        && std::all_of(text.begin(), text.end(),
            [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'); });
}

std::optional<qint64> number(QByteArrayView text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QByteArray formatStamp(const TFileStamp &stamp)
{
    return QByteArray::number(stamp.Exists) + ' ' + QByteArray::number(stamp.Regular) + ' '
        + QByteArray::number(stamp.Device) + ' ' + QByteArray::number(stamp.Inode) + ' '
        + QByteArray::number(stamp.Size) + ' ' + QByteArray::number(stamp.ModifiedNs) + ' '
        + (stamp.Digest.isEmpty() ? QByteArray("-") : stamp.Digest.toHex());
}

std::optional<TFileStamp> parseStamp(QByteArrayView text)
{
    const QList<QByteArray> fields = text.toByteArray().split(' ');
    if (fields.size() != 7)
        return std::nullopt;
    TFileStamp stamp;
    const auto flag = [](const QByteArray &field, bool &into) {
        if (field != "0" && field != "1")
            return false;
        into = field == "1";
        return true;
    };
    bool ok = flag(fields[0], stamp.Exists) && flag(fields[1], stamp.Regular);
    bool device = false, inode = false;
    stamp.Device = fields[2].toULongLong(&device);
    stamp.Inode = fields[3].toULongLong(&inode);
    const auto size = number(fields[4]);
    const auto modified = number(fields[5]);
    if (!ok || !device || !inode || !size || !modified)
        return std::nullopt;
    stamp.Size = *size;
    stamp.ModifiedNs = *modified;
    if (fields[6] != "-") {
        if (fields[6].size() % 2 != 0 || fields[6].size() > 128
            || !std::all_of(fields[6].begin(), fields[6].end(),
                [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        stamp.Digest = QByteArray::fromHex(fields[6]);
    }
    return stamp;
}

[[noreturn]] void folderError(const QString &folder, const QString &cause)
{
    throw EFileError(u"Cannot keep recovery copies in the folder \"%1\". %2"_s.arg(
        QDir::toNativeSeparators(folder), cause));
}

} // namespace

QByteArray TRecoveryInfo::Format() const
{
    // Percent-encoded: a file name may hold line breaks.
    return kHeader.toByteArray() + "\nsession " + Session.toUtf8() + "\ndocument "
        + QUrl::toPercentEncoding(Document, "/") + "\nextension " + Extension.toUtf8()
        + "\nwritten " + QByteArray::number(Written.toMSecsSinceEpoch()) + "\nstamp "
        + formatStamp(Stamp) + '\n';
}

std::optional<TRecoveryInfo> TRecoveryInfo::Parse(QByteArrayView bytes)
{
    if (bytes.size() > MaxInfoSize || !bytes.startsWith(kHeader) || !bytes.endsWith('\n'))
        return std::nullopt;
    TRecoveryInfo info;
    int seen = 0;
    const QList<QByteArray> lines = bytes.toByteArray().split('\n');
    // The header, five fields, and the empty piece after the last line break.
    if (lines.size() != 7 || lines[0] != kHeader)
        return std::nullopt;
    for (qsizetype i = 1; i < lines.size() - 1; ++i) {
        const QByteArray &line = lines[i];
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            return std::nullopt;
        const QByteArrayView key = QByteArrayView(line).first(space);
        const QByteArrayView value = QByteArrayView(line).sliced(space + 1);
        if (key == "session" && !(seen & 1)) {
            info.Session = QString::fromUtf8(value);
            if (!isSessionName(info.Session))
                return std::nullopt;
            seen |= 1;
        } else if (key == "document" && !(seen & 2)) {
            info.Document = QUrl::fromPercentEncoding(value.toByteArray());
            seen |= 2;
        } else if (key == "extension" && !(seen & 4)) {
            info.Extension = QString::fromUtf8(value);
            if (!isExtension(info.Extension))
                return std::nullopt;
            seen |= 4;
        } else if (key == "written" && !(seen & 8)) {
            const auto ms = number(value);
            if (!ms)
                return std::nullopt;
            info.Written = QDateTime::fromMSecsSinceEpoch(*ms);
            seen |= 8;
        } else if (key == "stamp" && !(seen & 16)) {
            const auto stamp = parseStamp(value);
            if (!stamp)
                return std::nullopt;
            info.Stamp = *stamp;
            seen |= 16;
        } else {
            return std::nullopt;
        }
    }
    return seen == 31 ? std::optional<TRecoveryInfo>(info) : std::nullopt;
}

QString TRecoveryStore::DefaultFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + u"/.local/state"_s;
    return QDir::cleanPath(state + u"/vellumtree/recovery"_s);
}

TRecoveryStore::TRecoveryStore(QString folder) : m_folder(std::move(folder))
{
    m_session = QString::number(QCoreApplication::applicationPid()) + u'-'
        + QString::number(QRandomGenerator::system()->generate(), 16);
}

TRecoveryStore::~TRecoveryStore() = default;

QString TRecoveryStore::pathOf(const QString &session, const QString &suffix) const
{
    return m_folder + u'/' + session + u'.' + suffix;
}

void TRecoveryStore::Start()
{
    if (m_lock)
        return;
    if (!QDir().mkpath(m_folder))
        folderError(m_folder, u"It cannot be created."_s);
#ifdef Q_OS_UNIX
    // Copies of enciphered and private notes: a folder someone else owns or can enter
    // is not used.
    const QByteArray native = QFile::encodeName(m_folder);
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0)
        folderError(m_folder, SystemErrorText(errno));
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        folderError(m_folder, u"It is not a folder of the user's own."_s);
    if ((info.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0)
        folderError(m_folder, SystemErrorText(errno));
#endif
    auto lock = std::make_unique<QLockFile>(pathOf(m_session, u"lock"_s));
    // Held for as long as the window runs: only a lock whose process is gone is stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        folderError(m_folder, u"Its lock file cannot be made."_s);
    m_lock = std::move(lock);
}

void TRecoveryStore::Store(
    const TRecoveryInfo &about, const std::function<void(const QString &path)> &writeCopy)
{
    Start();
    TRecoveryInfo info = about;
    info.Session = m_session;
    if (!isExtension(info.Extension))
        info.Extension = u"vlt"_s;
    const QString copy = pathOf(m_session, info.Extension);
    writeCopy(copy);
    // The description last: a copy is only offered once it is whole.
    WriteFileAtomically(pathOf(m_session, u"info"_s), info.Format());
    for (const QString &written : { copy, pathOf(m_session, u"info"_s) })
        QFile::setPermissions(written, QFile::ReadOwner | QFile::WriteOwner);
    if (!m_extension.isEmpty() && m_extension != info.Extension)
        QFile::remove(pathOf(m_session, m_extension));
    m_extension = info.Extension;
}

void TRecoveryStore::Discard()
{
    if (m_extension.isEmpty())
        return;
    // The description first: a copy without one is never offered.
    QFile::remove(pathOf(m_session, u"info"_s));
    QFile::remove(pathOf(m_session, m_extension));
    m_extension.clear();
}

QList<TRecoveryInfo> TRecoveryStore::Leftovers() const
{
    QList<TRecoveryInfo> found;
    const QDir folder(m_folder);
    const QStringList names = folder.entryList({ u"*.info"_s }, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString session = name.chopped(5);
        if (session == m_session || !isSessionName(session))
            continue;
        // A session whose window still runs keeps its lock.
        QLockFile lock(pathOf(session, u"lock"_s));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            continue;
        lock.unlock();
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        auto info = TRecoveryInfo::Parse(file.read(TRecoveryInfo::MaxInfoSize + 1));
        if (!info || info->Session != session)
            continue;
        info->CopyPath = pathOf(session, info->Extension);
        if (QFileInfo(info->CopyPath).isFile())
            found << *info;
    }
    std::sort(found.begin(), found.end(),
        [](const TRecoveryInfo &a, const TRecoveryInfo &b) { return a.Written > b.Written; });
    return found;
}

void TRecoveryStore::Remove(const TRecoveryInfo &copy) const
{
    if (!isSessionName(copy.Session) || copy.Session == m_session)
        return;
    QFile::remove(pathOf(copy.Session, u"info"_s));
    if (isExtension(copy.Extension))
        QFile::remove(pathOf(copy.Session, copy.Extension));
    QFile::remove(pathOf(copy.Session, u"lock"_s));
}
