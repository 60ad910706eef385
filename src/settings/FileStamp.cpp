#include "settings/FileStamp.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

constexpr qint64 kNsPerSecond = 1'000'000'000;

QByteArray digestOf(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("unreadable");
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

} // namespace

TFileStamp TFileStamp::Of(const QString &fileName)
{
    TFileStamp stamp;
    if (fileName.isEmpty())
        return stamp;
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return stamp;
    stamp.Exists = true;
    stamp.Regular = S_ISREG(info.st_mode);
    stamp.Device = info.st_dev;
    stamp.Inode = info.st_ino;
    stamp.Size = info.st_size;
    stamp.ModifiedNs = qint64(info.st_mtim.tv_sec) * kNsPerSecond + info.st_mtim.tv_nsec;
#else
    const QFileInfo info(fileName);
    if (!info.exists())
        return stamp;
    stamp.Exists = true;
    stamp.Regular = info.isFile();
    stamp.Size = info.size();
    stamp.ModifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
#endif
    // Whole seconds: a file system (FAT, some network shares) that keeps no finer
    // time, where two writes in one second look alike.
    if (stamp.Regular && stamp.ModifiedNs % kNsPerSecond == 0)
        stamp.Digest = digestOf(fileName);
    return stamp;
}
