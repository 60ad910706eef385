#include "settings/UtilsFile.h"

#include "settings/Utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <system_error>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
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

// A hidden name beside path that nobody uses yet: ".name.XXXXXX".
QString temporaryNameBeside(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + u"/."_s + info.fileName() + u'.'
        + QString::number(QRandomGenerator::global()->generate64() % 0x100000000ULL, 36);
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

// Creates a new file beside path; the descriptor, or -1 with errno set.
int createBeside(const QString &path, TTemporaryName &temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = temporaryNameBeside(path);
        const int fd = ::open(encoded(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temporary = TTemporaryName(candidate);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
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

// Syncs what was written to the disk and closes fd; 0 or the errno of the first
// failure, error when the writing already failed. The sync is ours: a file that the
// disk never got is no save.
int syncClose(int fd, int error)
{
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error && errno != EINTR)
        error = errno;
    return error;
}

// Writes everything, syncs it and closes fd; 0 or errno.
int writeSyncClose(int fd, const char *data, qint64 size)
{
    return syncClose(fd, writeAll(fd, data, size));
}

// Every chunk of produce written to fd, synced, and fd closed; 0 or errno. After a
// failed write the remaining chunks are dropped. When produce raises, fd is closed
// and the exception goes on.
int produceSyncClose(int fd, const std::function<void(const TChunkSink &)> &produce)
{
    int error = 0;
    try {
        produce([&](QByteArrayView chunk) {
            if (!error)
                error = writeAll(fd, chunk.data(), chunk.size());
        });
    } catch (...) {
        ::close(fd);
        throw;
    }
    return syncClose(fd, error);
}

// A synced copy of source under a temporary name beside besidePath; 0 or errno.
int copyBeside(const QString &source, const QString &besidePath, const struct stat &info,
               TTemporaryName &temporary)
{
    const int in = ::open(encoded(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = createBeside(besidePath, temporary);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    ::fchmod(out, info.st_mode & 07777);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(in, chunk.data(), static_cast<size_t>(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0 || (error = writeAll(out, chunk.constData(), n)) != 0)
            break;
    }
    ::close(in);
    if (error) {
        ::close(out);
        return error;
    }
    return writeSyncClose(out, nullptr, 0);
}

// The current content of source under a temporary name beside besidePath: a hard
// link, or a copy where the file system has none or besidePath is on another one.
int keepBeside(const QString &source, const QString &besidePath, const struct stat &info,
               TTemporaryName &temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = temporaryNameBeside(besidePath);
        if (::link(encoded(source).constData(), encoded(candidate).constData()) == 0) {
            temporary = TTemporaryName(candidate);
            return 0;
        }
        if (errno == EEXIST)
            continue;
        if (errno == EXDEV || errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK
            || errno == ENOSYS)
            return copyBeside(source, besidePath, info, temporary);
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

    TTemporaryName newFile;
    const int fd = createBeside(target, newFile);
    if (fd < 0)
        failWith(u"Cannot create file"_s, fileName, errno);
    if (replacing)
        ::fchmod(fd, old.st_mode & 07777);
    if (const int error = produceSyncClose(fd, produce))
        failWith(u"Cannot write file"_s, fileName, error);

    QString backup;
    if (!backupPath.isEmpty() && replacing)
        backup = QFileInfo(ResolvedFilePath(backupPath)).absoluteFilePath();
    if (backup == target)
        backup.clear();

    TTemporaryName keptBackup;
    bool hadBackup = false;
    if (!backup.isEmpty()) {
        TTemporaryName newBackup;
        if (const int error = keepBeside(target, backup, old, newBackup))
            failWith(u"Cannot create the backup file"_s, backup, error);
        // The previous backup is kept aside until the save is through, so that a
        // failed last step can put it back.
        struct stat previous {};
        hadBackup = ::lstat(encoded(backup).constData(), &previous) == 0;
        if (hadBackup && S_ISREG(previous.st_mode)) {
            if (const int error = keepBeside(backup, backup, previous, keptBackup))
                failWith(u"Cannot create the backup file"_s, backup, error);
        }
        if (const int error = renameOver(newBackup, backup))
            failWith(u"Cannot create the backup file"_s, backup, error);
    }

    if (const int error = renameOver(newFile, target)) {
        if (!backup.isEmpty()) {
            if (!keptBackup.path().isEmpty())
                renameOver(keptBackup, backup);
            else if (!hadBackup)
                ::unlink(encoded(backup).constData());
        }
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

