#include "settings/UtilsFile.h"

#include "settings/LngMan.h"
#include "settings/Utils.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>
#include <system_error>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const QString &what, const QString &fileName, const QString &cause)
{
    throw EFileError(u"%1 \"%2\". %3"_s.arg(what, QDir::toNativeSeparators(fileName), cause));
}

[[noreturn]] void failWith(const QString &what, const QString &fileName, int errorNumber)
{
    fail(what, fileName, SystemErrorText(errorNumber));
}

bool replaceReadOnly = false;

QString megabytes(qint64 bytes)
{
    return QString::number((bytes + (1 << 20) - 1) >> 20);
}

} // namespace

QString SystemErrorText(int errorNumber)
{
    return QString::fromStdString(std::generic_category().message(errorNumber));
}

QString ResolvedFilePath(const QString &fileName)
{
    QFileInfo info(fileName);
    // As many levels as the system itself follows; a longer chain fails on opening.
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? fileName : info.filePath();
}

QString BackupFilePath(const QString &fileName, const QString &backupFolder)
{
    const QFileInfo file(ResolvedFilePath(fileName));
    const QString name = file.fileName();
    // Folders compared and hashed as the system finds them: one folder reached by two
    // paths still has one backup of each file.
    const auto real = [](const QString &folder) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath())
                                   : canonical;
    };
    const QString home = real(file.absolutePath());
    if (backupFolder.isEmpty() || real(backupFolder) == home)
        return QFileInfo(QDir(file.absolutePath()), name + u".bak"_s).absoluteFilePath();
    const QByteArray hash
        = QCryptographicHash::hash(home.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return QFileInfo(QDir(backupFolder), name + u'.' + QString::fromLatin1(hash) + u".bak"_s)
        .absoluteFilePath();
}

void WriteFileAtomically(const QString &fileName, QByteArrayView bytes,
                         const QString &backupPath)
{
    WriteFileAtomically(fileName, [bytes](const TChunkSink &sink) { sink(bytes); }, backupPath);
}

#ifdef Q_OS_UNIX

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// What a name that is no regular file stands for.
QString notAFile(const struct stat &info)
{
    if (S_ISDIR(info.st_mode))
        return u"It is a folder, not a file."_s;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))
        return u"It is a pipe or a socket, not a file."_s;
    return u"It is a device, not a file."_s;
}

// Read-only for the user: root may write anything, so for root only a file that
// nobody may write counts.
bool readOnly(const QString &path, const struct stat &info)
{
    if (::geteuid() == 0)
        return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return ::access(encoded(path).constData(), W_OK) != 0 && errno == EACCES;
}

// A link in a sticky folder that anyone may write (/tmp), owned neither by this user
// nor by the folder's owner: anyone could have put it there to make a save write, or
// a read show, what they chose. The kernel refuses to follow such links where
// fs.protected_symlinks is on; the program resolves links itself, so it asks too.
bool untrustedLink(const QString &path)
{
    struct stat link {};
    struct stat folder {};
    if (::lstat(encoded(path).constData(), &link) != 0 || !S_ISLNK(link.st_mode)
        || ::stat(encoded(QFileInfo(path).absolutePath()).constData(), &folder) != 0)
        return false;
    return (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH)
        && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

// Refuses a name whose chain of links passes such a link.
void refuseUntrustedLinks(const QString &what, const QString &fileName)
{
    QFileInfo info(fileName);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) {
        if (untrustedLink(info.absoluteFilePath()))
            fail(what, fileName,
                 u"It is a symbolic link that another user put into the shared folder "
                 "\"%1\"; such a link is not followed."_s.arg(
                     QDir::toNativeSeparators(info.absolutePath())));
        info.setFile(info.symLinkTarget());
    }
}

// A folder the user may not write to is named itself, not the file that was to be
// made there.
[[noreturn]] void failCreating(const QString &what, const QString &fileName, int errorNumber)
{
    if (errorNumber == EACCES || errorNumber == EPERM || errorNumber == EROFS)
        throw EFileError(
            FormatString(LanguageManager().GetString(u"folder_not_writable"_s, u"Strings"_s),
                         QDir::toNativeSeparators(QFileInfo(fileName).absolutePath()))
            + u' ' + SystemErrorText(errorNumber));
    failWith(what, fileName, errorNumber);
}

// The temporary names of a file: ".NAME.XXXXXXXX.tmp", eight hex digits. Nothing else
// matches, so that what killed saves leave behind can be told from the user's files.
const QLatin1StringView kTemporarySuffix(".tmp");
constexpr int kTemporaryDigits = 8;

QString temporaryNameBeside(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + u"/."_s + info.fileName() + u'.'
        + u"%1"_s.arg(qulonglong(QRandomGenerator::global()->generate()), kTemporaryDigits, 16,
                     QChar(u'0'))
        + kTemporarySuffix;
}

bool isTemporaryNameOf(QByteArrayView name, QByteArrayView fileName)
{
    if (name.size() != 1 + fileName.size() + 1 + kTemporaryDigits + kTemporarySuffix.size()
        || !name.startsWith('.') || name.sliced(1, fileName.size()) != fileName
        || name[1 + fileName.size()] != '.' || !name.endsWith(QByteArrayView(kTemporarySuffix)))
        return false;
    const QByteArrayView digits = name.sliced(fileName.size() + 2, kTemporaryDigits);
    return std::all_of(digits.begin(), digits.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

// A descriptor closed when it goes.
class TDescriptor final
{
public:
    TDescriptor() = default;
    explicit TDescriptor(int fd) : m_fd(fd) { }
    TDescriptor(const TDescriptor &) = delete;
    TDescriptor &operator=(const TDescriptor &) = delete;
    TDescriptor(TDescriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) { }
    TDescriptor &operator=(TDescriptor &&other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~TDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

// A save holds a shared lock on every file it gives a temporary name (the new file,
// and the files its hard links stand for) from before the name exists until the save
// is over: a temporary that nobody holds is one a killed save left behind.
void holdForSave(int fd)
{
    ::flock(fd, LOCK_SH | LOCK_NB);
}

// The same for a file that is only readable; the descriptor keeps the lock.
TDescriptor holdForSave(const QString &path)
{
    TDescriptor fd(::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() >= 0)
        holdForSave(fd.get());
    return fd;
}

// Whether a temporary is left over: no running save holds it. Where the file system
// has no locks, one older than a minute is, as a save takes seconds; its status
// change time counts, which a hard link renews.
bool leftOver(int fd, const struct stat &info)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    if (errno == EWOULDBLOCK || errno == EINTR)
        return false;
    return std::time(nullptr) - info.st_ctim.tv_sec > 60;
}

// Removes what killed saves of path left beside it: this user's regular files of the
// temporary pattern that no save holds.
void removeLeftOvers(const QString &path)
{
    const QFileInfo info(path);
    DIR *folder = ::opendir(encoded(info.absolutePath()).constData());
    if (!folder)
        return;
    const QByteArray fileName = encoded(info.fileName());
    while (const dirent *entry = ::readdir(folder)) {
        if (!isTemporaryNameOf(entry->d_name, fileName))
            continue;
        const TDescriptor fd(::openat(::dirfd(folder), entry->d_name,
                                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat held {};
        if (fd.get() < 0 || ::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode)
            || held.st_uid != ::geteuid() || !leftOver(fd.get(), held))
            continue;
        // Still the file that was looked at, then removed while it is locked.
        struct stat named {};
        if (::fstatat(::dirfd(folder), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0
            && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

// A temporary file or link that goes away unless it was put in its place.
class TTemporaryName final
{
public:
    TTemporaryName() = default;
    explicit TTemporaryName(QString path) : m_path(std::move(path)) { }
    TTemporaryName(const TTemporaryName &) = delete;
    TTemporaryName &operator=(const TTemporaryName &) = delete;
    TTemporaryName &operator=(TTemporaryName &&other) noexcept
    {
        std::swap(m_path, other.m_path);
        return *this;
    }
    ~TTemporaryName()
    {
        if (!m_path.isEmpty())
            ::unlink(encoded(m_path).constData());
    }

    const QString &path() const { return m_path; }
    QByteArray native() const { return encoded(m_path); }
    // The name was renamed away: nothing left to remove.
    void release() { m_path.clear(); }

private:
    QString m_path;
};

// A new file being written: its descriptor, and its temporary name once it has one.
struct TNewFile
{
    TDescriptor Fd;
    TTemporaryName Name;
};

// Creates a new file under a temporary name beside path, held for the save; 0 or errno.
int createBeside(const QString &path, TNewFile &file)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = temporaryNameBeside(path);
        TDescriptor fd(::open(encoded(candidate).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() < 0) {
            if (errno != EEXIST)
                return errno;
            continue;
        }
        // Until the lock is taken another save may take the name for a left-over
        // and remove it: then the name is gone, and another one is tried.
        ::flock(fd.get(), LOCK_SH);
        struct stat info {};
        if (::fstat(fd.get(), &info) == 0 && info.st_nlink == 0)
            continue;
        file.Fd = std::move(fd);
        file.Name = TTemporaryName(candidate);
        return 0;
    }
    return EEXIST;
}

// Creates the new file for path in its folder: without a name where the file system
// can (O_TMPFILE), so that nothing is left when the save is killed before its end;
// else under a temporary name. 0 or errno.
int createNewFile(const QString &path, TNewFile &file)
{
#ifdef O_TMPFILE
    const int fd = ::open(encoded(QFileInfo(path).absolutePath()).constData(),
                          O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
        file.Fd = TDescriptor(fd);
        holdForSave(fd);
        return 0;
    }
    // The file system, or the kernel, has no unnamed files.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return errno;
#endif
    return createBeside(path, file);
}

// Gives an unnamed new file a temporary name beside path, for the rename that puts it
// in place; 0 or errno.
int nameNewFile(TNewFile &file, const QString &path)
{
    if (!file.Name.path().isEmpty())
        return 0;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.Fd.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = temporaryNameBeside(path);
        const QByteArray name = encoded(candidate);
        int result = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(),
                              AT_SYMLINK_FOLLOW);
        // Without /proc only a privileged process may link a descriptor itself.
        if (result != 0 && errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
            result = ::linkat(file.Fd.get(), "", AT_FDCWD, name.constData(), AT_EMPTY_PATH);
        if (result == 0) {
            file.Name = TTemporaryName(candidate);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Writes everything to fd; 0 or errno.
int writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        data += n;
        size -= n;
    }
    return 0;
}

// Syncs what was written to the disk; 0 or the errno of the first failure, error when
// the writing already failed. The sync is ours: a file that the disk never got is no
// save. The descriptor stays open: it holds the file for the save.
int sync(int fd, int error)
{
    if (!error && ::fsync(fd) != 0)
        error = errno;
    return error;
}

// Every chunk of produce written to fd and synced; 0 or errno. After a failed write
// the remaining chunks are dropped.
int produceSync(int fd, const std::function<void(const TChunkSink &)> &produce)
{
    int error = 0;
    produce([&](QByteArrayView chunk) {
        if (!error)
            error = writeAll(fd, chunk.data(), chunk.size());
    });
    return sync(fd, error);
}

// A synced copy of source under a temporary name beside besidePath; 0 or errno.
int copyBeside(const QString &source, const QString &besidePath, const struct stat &info,
               TNewFile &copy)
{
    const TDescriptor in(::open(encoded(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return errno;
    if (const int error = createBeside(besidePath, copy))
        return error;
    ::fchmod(copy.Fd.get(), info.st_mode & 07777);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(in.get(), chunk.data(), static_cast<size_t>(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0 || (error = writeAll(copy.Fd.get(), chunk.constData(), n)) != 0)
            break;
    }
    return sync(copy.Fd.get(), error);
}

// The current content of source under a temporary name beside besidePath: a hard
// link, or a copy where the file system has none or besidePath is on another one.
// kept's descriptor holds the file for the save.
int keepBeside(const QString &source, const QString &besidePath, const struct stat &info,
               TNewFile &kept)
{
    kept.Fd = holdForSave(source);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = temporaryNameBeside(besidePath);
        if (::link(encoded(source).constData(), encoded(candidate).constData()) == 0) {
            kept.Name = TTemporaryName(candidate);
            return 0;
        }
        if (errno == EEXIST)
            continue;
        if (errno == EXDEV || errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK
            || errno == ENOSYS)
            return copyBeside(source, besidePath, info, kept);
        return errno;
    }
    return EEXIST;
}

// Renames and treats the rename of two links to one file, which does nothing, as
// done too; 0 or errno.
int renameOver(TTemporaryName &from, const QString &to)
{
    if (::rename(from.native().constData(), encoded(to).constData()) != 0)
        return errno;
    ::unlink(from.native().constData());
    from.release();
    return 0;
}

// Makes the renames in a folder durable; a failure here cannot undo them.
void syncFolder(const QString &path)
{
    const int fd = ::open(encoded(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

void WriteFileAtomically(const QString &fileName,
                         const std::function<void(const TChunkSink &)> &produce,
                         const QString &backupPath)
{
    refuseUntrustedLinks(u"Cannot write file"_s, fileName);
    const QString target = QFileInfo(ResolvedFilePath(fileName)).absoluteFilePath();
    struct stat old {};
    const bool exists = ::stat(encoded(target).constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        failWith(u"Cannot create file"_s, fileName, EISDIR);
    // Renaming over a FIFO, a socket or a device node would put a file in its place.
    if (exists && !S_ISREG(old.st_mode))
        fail(u"Cannot create file"_s, fileName, notAFile(old));
    // The rename would replace it although its owner made it read-only.
    if (exists && !replaceReadOnly && readOnly(target, old))
        fail(u"Cannot write file"_s, fileName, u"It is read-only."_s);
    const bool replacing = exists;

    QString backup;
    if (!backupPath.isEmpty() && replacing) {
        refuseUntrustedLinks(u"Cannot create the backup file"_s, backupPath);
        backup = QFileInfo(ResolvedFilePath(backupPath)).absoluteFilePath();
    }
    if (backup == target)
        backup.clear();

    // Before this save holds anything: its own files must not look left over.
    removeLeftOvers(target);
    if (!backup.isEmpty())
        removeLeftOvers(backup);

    TNewFile newFile;
    if (const int error = createNewFile(target, newFile))
        failCreating(u"Cannot create file"_s, fileName, error);
    if (replacing)
        ::fchmod(newFile.Fd.get(), old.st_mode & 07777);
    if (const int error = produceSync(newFile.Fd.get(), produce))
        failWith(u"Cannot write file"_s, fileName, error);

    TNewFile keptBackup;
    bool hadBackup = false;
    // A failed last step puts the previous backup back.
    const auto restoreBackup = [&] {
        if (backup.isEmpty())
            return;
        if (!keptBackup.Name.path().isEmpty())
            renameOver(keptBackup.Name, backup);
        else if (!hadBackup)
            ::unlink(encoded(backup).constData());
    };
    TNewFile newBackup;
    if (!backup.isEmpty()) {
        if (const int error = keepBeside(target, backup, old, newBackup))
            failCreating(u"Cannot create the backup file"_s, backup, error);
        // The previous backup is kept aside until the save is through, so that a
        // failed last step can put it back.
        struct stat previous {};
        hadBackup = ::lstat(encoded(backup).constData(), &previous) == 0;
        if (hadBackup && S_ISREG(previous.st_mode)) {
            if (const int error = keepBeside(backup, backup, previous, keptBackup))
                failCreating(u"Cannot create the backup file"_s, backup, error);
        }
        if (const int error = renameOver(newBackup.Name, backup))
            failWith(u"Cannot create the backup file"_s, backup, error);
    }

    int error = nameNewFile(newFile, target);
    if (!error)
        error = renameOver(newFile.Name, target);
    if (error) {
        restoreBackup();
        failWith(u"Cannot write file"_s, fileName, error);
    }
    syncFolder(target);
    if (!backup.isEmpty() && QFileInfo(backup).absolutePath() != QFileInfo(target).absolutePath())
        syncFolder(backup);
}

namespace {

// What keeps a file from being opened for reading, or nothing.
QString notReadable(const struct stat &info, qint64 maxSize)
{
    if (!S_ISREG(info.st_mode))
        return notAFile(info);
    if (info.st_size > maxSize)
        return u"It is %1 MB; the largest file that can be opened is %2 MB."_s.arg(
            megabytes(info.st_size), megabytes(maxSize));
    return {};
}

} // namespace

bool IsReadOnlyFile(const QString &fileName)
{
    const QString target = ResolvedFilePath(fileName);
    struct stat info {};
    return ::stat(encoded(target).constData(), &info) == 0 && S_ISREG(info.st_mode)
        && readOnly(target, info);
}

void OpenRegularFile(QFile &file, const QString &fileName, qint64 maxSize)
{
    refuseUntrustedLinks(u"Cannot open file"_s, fileName);
    // Looked at before it is opened - opening some devices already acts on them - and
    // again once open, in case it was replaced in between. Non-blocking: opening a
    // FIFO would otherwise wait for a writer for ever.
    struct stat info {};
    if (::stat(encoded(fileName).constData(), &info) == 0) {
        const QString wrong = notReadable(info, maxSize);
        if (!wrong.isEmpty())
            fail(u"Cannot open file"_s, fileName, wrong);
    }
    const int fd = ::open(encoded(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        failWith(u"Cannot open file"_s, fileName, errno);
    QString wrong;
    if (::fstat(fd, &info) != 0)
        wrong = SystemErrorText(errno);
    else
        wrong = notReadable(info, maxSize);
    if (!wrong.isEmpty()) {
        ::close(fd);
        fail(u"Cannot open file"_s, fileName, wrong);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(fileName);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        fail(u"Cannot open file"_s, fileName, file.errorString());
    }
}

#else

void WriteFileAtomically(const QString &fileName,
                         const std::function<void(const TChunkSink &)> &produce,
                         const QString &backupPath)
{
    // Without hard links the backup is a copy made before the new file is renamed in.
    const QString target = ResolvedFilePath(fileName);
    const QFileInfo info(target);
    if (info.exists() && !info.isFile())
        fail(u"Cannot create file"_s, fileName, u"It is not a regular file."_s);
    if (info.exists() && !replaceReadOnly && !info.isWritable())
        fail(u"Cannot write file"_s, fileName, u"It is read-only."_s);
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        fail(u"Cannot create file"_s, fileName, file.errorString());
    bool written = true;
    produce([&](QByteArrayView chunk) {
        written = written && file.write(chunk.data(), chunk.size()) == chunk.size();
    });
    if (!written || !file.flush())
        fail(u"Cannot write file"_s, fileName, file.errorString());
    if (!backupPath.isEmpty() && QFileInfo::exists(target)) {
        QFile::remove(backupPath + u".tmp"_s);
        if (!QFile::copy(target, backupPath + u".tmp"_s)
            || !MoveFileReplacing(backupPath + u".tmp"_s, backupPath))
            fail(u"Cannot create the backup file"_s, backupPath, QString());
    }
    if (!file.commit())
        fail(u"Cannot write file"_s, fileName, file.errorString());
}

bool IsReadOnlyFile(const QString &fileName)
{
    const QFileInfo info(ResolvedFilePath(fileName));
    return info.isFile() && !info.isWritable();
}

void OpenRegularFile(QFile &file, const QString &fileName, qint64 maxSize)
{
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        fail(u"Cannot open file"_s, fileName, u"It is not a regular file."_s);
    if (info.size() > maxSize)
        fail(u"Cannot open file"_s, fileName,
             u"It is %1 MB; the largest file that can be opened is %2 MB."_s.arg(
                 megabytes(info.size()), megabytes(maxSize)));
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly))
        fail(u"Cannot open file"_s, fileName, file.errorString());
}

#endif

void AllowReplacingReadOnlyFiles(bool allow)
{
    replaceReadOnly = allow;
}

TChunkDevice::TChunkDevice(const TChunkSink &sink) : m_sink(sink)
{
    open(QIODevice::WriteOnly);
}

qint64 TChunkDevice::readData(char *, qint64)
{
    return -1;
}

qint64 TChunkDevice::writeData(const char *data, qint64 size)
{
    m_sink(QByteArrayView(data, size));
    return size;
}

