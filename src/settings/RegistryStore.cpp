// The registry as one export-format file, for systems without a registry.
#include "settings/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QtEndian>

#include <filesystem>
#include <system_error>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include "settings/RegistryFile.h"
#include "settings/UtilsFile.h"

using namespace Qt::StringLiterals;

namespace {

Q_LOGGING_CATEGORY(lcRegistry, "vellumtree.registry", QtCriticalMsg)

// Far more than the program ever writes; a bigger file is not ours and is not read.
constexpr qint64 maxFileSize = 16 * 1024 * 1024;

// Why a lock file that nobody holds could not be made: QLockFile keeps errno to
// itself, so its steps - create, write, remove - are taken once more to learn it.
QString lockFailure(const QString &lockPath)
{
    const QByteArray name = QFile::encodeName(lockPath);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? u"It is locked by another program."_s : SystemErrorText(errno);
    const QByteArray probe = QByteArray::number(qint64(::getpid())) + '\n';
    int error = ::write(fd, probe.constData(), size_t(probe.size())) == probe.size() ? 0 : errno;
    if (!error && ::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    ::unlink(name.constData());
    return SystemErrorText(error ? error : EIO);
}

struct Change
{
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind;
    QString path;
    QString name;
    quint32 type = RegType::None;
    QByteArray data;
};

QString rootName(TRegistryRoot root)
{
    return root == TRegistryRoot::ClassesRoot ? u"HKEY_CLASSES_ROOT"_s : u"HKEY_CURRENT_USER"_s;
}

// The file as last read or written by this process, with what identifies that
// version on disk. Every store reads the whole registry when it is made, and the
// program makes several at start-up: a big file is parsed once, not each time.
struct TTreeCache
{
    QString path;
    struct stat identity {};
    TRegistryTree tree;
};

TTreeCache &treeCache()
{
    static TTreeCache cache;
    return cache;
}

bool sameVersion(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
        && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Remembers the tree the version `identity` of a file holds; forgets any earlier one.
void cacheTree(const QString &filePath, const struct stat &identity, const TRegistryTree &tree)
{
    TTreeCache &cache = treeCache();
    cache.path = filePath;
    cache.identity = identity;
    cache.tree = tree;
}

// Reads and parses the file; a missing file is an empty registry.
TRegistryTree readTree(const QString &filePath, QString *error)
{
    error->clear();
    struct stat identity {};
    const TTreeCache &cache = treeCache();
    if (cache.path == filePath
        && ::stat(QFile::encodeName(filePath).constData(), &identity) == 0
        && sameVersion(identity, cache.identity))
        return cache.tree;
    QFile file(filePath);
    if (!file.exists())
        return {};
    try {
        OpenRegularFile(file, filePath, maxFileSize);
    } catch (const EFileError &e) {
        *error = u"Cannot read the registry file: %1"_s.arg(e.message());
        return {};
    }
    try {
        TRegistryTree tree = TRegistryTree::parse(file.read(maxFileSize));
        if (::fstat(file.handle(), &identity) == 0)
            cacheTree(filePath, identity, tree);
        return tree;
    } catch (const ERegistryException &e) {
        *error = e.message();
        return {};
    }
}

void apply(TRegistryTree &tree, const Change &change)
{
    switch (change.kind) {
    case Change::CreateKey:
        tree.createKey(change.path);
        break;
    case Change::DeleteKey:
        tree.deleteKey(change.path);
        break;
    case Change::SetValue:
        TRegistryTree::setValue(tree.createKey(change.path), change.name, change.type, change.data);
        break;
    case Change::DeleteValue:
        if (TRegistryTree::Key *key = tree.findKey(change.path))
            TRegistryTree::deleteValue(*key, change.name);
        break;
    }
}

bool isValidValueName(const QString &name)
{
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return QStringView(name).isValidUtf16();
}

} // namespace

struct TRegistryStore::Private
{
    QString filePath;
    QString root;
    TRegistryTree tree;
    QString loadError;
    QString currentPath; // full path, root first; empty when no key is open
    std::vector<Change> pending;

    // Full path for a key name, or empty when the name is not valid.
    QString fullPath(const QString &key) const
    {
        const QString relative = TRegistryTree::normalisePath(key);
        return relative.isEmpty() ? QString() : root + u'\\' + relative;
    }

    void requireKey() const
    {
        if (currentPath.isEmpty())
            throw ERegistryException(u"No registry key is open"_s);
    }

    const TRegistryValue *value(const QString &name) const
    {
        requireKey();
        const TRegistryTree::Key *key = tree.findKey(currentPath);
        return key ? TRegistryTree::findValue(*key, name) : nullptr;
    }

    const TRegistryValue &existingValue(const QString &name) const
    {
        const TRegistryValue *v = value(name);
        if (!v)
            throw ERegistryException(u"Registry value '%1' does not exist"_s.arg(name));
        return *v;
    }

    void change(Change c)
    {
        apply(tree, c);
        pending.push_back(std::move(c));
    }

    void setValue(const QString &name, quint32 type, QByteArray data)
    {
        requireKey();
        if (!isValidValueName(name))
            throw ERegistryException(u"Invalid registry value name"_s);
        change(Change { Change::SetValue, currentPath, name, type, std::move(data) });
    }
};

namespace {
[[noreturn]] void wrongType(const QString &name)
{
    throw ERegistryException(u"Invalid data type for '%1'"_s.arg(name));
}
} // namespace

TRegistryStore::TRegistryStore(TRegistryRoot root) : TRegistryStore(defaultFilePath(), root) { }

TRegistryStore::TRegistryStore(const QString &filePath, TRegistryRoot root)
    : d(std::make_unique<Private>())
{
    d->filePath = filePath;
    d->root = rootName(root);
    d->tree = readTree(filePath, &d->loadError);
    if (!d->loadError.isEmpty())
        qCWarning(lcRegistry) << d->loadError << "- reading it as empty";
}

TRegistryStore::~TRegistryStore()
{
    try {
        Flush();
    } catch (const ERegistryException &e) {
        qCWarning(lcRegistry) << "Registry changes lost:" << e.message();
    }
}

QString TRegistryStore::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + u"/Vellumtree/registry.reg"_s;
}

QString TRegistryStore::loadError() const
{
    return d->loadError;
}

bool TRegistryStore::OpenKey(const QString &key, bool canCreate)
{
    const QString path = d->fullPath(key);
    if (path.isEmpty())
        return false;
    if (!d->tree.keyExists(path)) {
        if (!canCreate)
            return false;
        d->change(Change { Change::CreateKey, path, {}, RegType::None, {} });
    }
    d->currentPath = path;
    return true;
}

void TRegistryStore::CloseKey()
{
    d->currentPath.clear();
}

QString TRegistryStore::CurrentPath() const
{
    return d->currentPath.isEmpty() ? QString() : d->currentPath.mid(d->root.size() + 1);
}

bool TRegistryStore::HasCurrentKey() const
{
    return !d->currentPath.isEmpty();
}

bool TRegistryStore::KeyExists(const QString &key) const
{
    const QString path = d->fullPath(key);
    return !path.isEmpty() && d->tree.keyExists(path);
}

bool TRegistryStore::DeleteKey(const QString &key)
{
    const QString path = d->fullPath(key);
    if (path.isEmpty() || !d->tree.keyExists(path))
        return false;
    const QString current = d->currentPath.toCaseFolded();
    const QString deleted = path.toCaseFolded();
    if (current == deleted || current.startsWith(deleted + u'\\'))
        d->currentPath.clear();
    d->change(Change { Change::DeleteKey, path, {}, RegType::None, {} });
    return true;
}

QStringList TRegistryStore::GetKeyNames() const
{
    d->requireKey();
    return d->tree.subKeyNames(d->currentPath);
}

bool TRegistryStore::ValueExists(const QString &name) const
{
    return d->value(name) != nullptr;
}

TRegDataType TRegistryStore::GetDataType(const QString &name) const
{
    const TRegistryValue *v = d->value(name);
    if (!v)
        return rdUnknown;
    switch (v->type) {
    case RegType::String:
        return rdString;
    case RegType::ExpandString:
        return rdExpandString;
    case RegType::DWord:
        return rdInteger;
    case RegType::Binary:
        return rdBinary;
    default:
        return rdUnknown;
    }
}

qsizetype TRegistryStore::GetDataSize(const QString &name) const
{
    const TRegistryValue *v = d->value(name);
    return v ? v->data.size() : -1;
}

QStringList TRegistryStore::GetValueNames() const
{
    d->requireKey();
    QStringList names;
    if (const TRegistryTree::Key *key = d->tree.findKey(d->currentPath)) {
        for (const TRegistryValue &v : key->values)
            names += v.name;
    }
    return names;
}

qint32 TRegistryStore::ReadInteger(const QString &name) const
{
    const TRegistryValue &v = d->existingValue(name);
    if (v.type != RegType::DWord || v.data.size() != 4)
        wrongType(name);
    return qFromLittleEndian<qint32>(v.data.constData());
}

QString TRegistryStore::ReadString(const QString &name) const
{
    const TRegistryValue &v = d->existingValue(name);
    if (v.type != RegType::String && v.type != RegType::ExpandString)
        wrongType(name);
    return registryStringText(v.data);
}

QString TRegistryStore::ReadOptionalString(const QString &name) const
{
    return d->value(name) ? ReadString(name) : QString();
}

QByteArray TRegistryStore::ReadBinaryData(const QString &name) const
{
    const TRegistryValue &v = d->existingValue(name);
    if (v.type != RegType::Binary)
        wrongType(name);
    return v.data;
}

QByteArray TRegistryStore::ReadRawData(const QString &name) const
{
    return d->existingValue(name).data;
}

void TRegistryStore::WriteInteger(const QString &name, qint32 value)
{
    QByteArray raw(4, '\0');
    qToLittleEndian<qint32>(value, raw.data());
    d->setValue(name, RegType::DWord, raw);
}

void TRegistryStore::WriteString(const QString &name, const QString &value)
{
    d->setValue(name, RegType::String, registryStringData(value));
}

void TRegistryStore::WriteBinaryData(const QString &name, QByteArrayView data)
{
    d->setValue(name, RegType::Binary, data.toByteArray());
}

bool TRegistryStore::DeleteValue(const QString &name)
{
    if (!d->value(name))
        return false;
    d->change(Change { Change::DeleteValue, d->currentPath, name, RegType::None, {} });
    return true;
}

void TRegistryStore::Flush()
{
    if (d->pending.empty())
        return;
    const QFileInfo info(d->filePath);
    std::error_code folderError;
    std::filesystem::create_directories(QFile::encodeName(info.absolutePath()).toStdString(),
                                        folderError);
    if (folderError)
        throw ERegistryException(u"Cannot create the folder %1: %2"_s.arg(
            info.absolutePath(), QString::fromStdString(folderError.message())));

    QLockFile lock(d->filePath + u".lock"_s);
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(5000)) {
        if (lock.error() == QLockFile::LockFailedError)
            throw ERegistryException(u"The registry file is locked by another program"_s);
        throw ERegistryException(u"Cannot write the registry file %1: %2"_s.arg(
            d->filePath, lockFailure(d->filePath + u".lock"_s)));
    }

    // Replay onto what is on disk now, so that what another copy saved meanwhile stays.
    QString error;
    TRegistryTree tree = readTree(d->filePath, &error);
    if (!error.isEmpty() && QFileInfo(d->filePath).isFile()) {
        // Keep the damaged file for whoever wants to look at it; it is replaced below.
        const QString aside = d->filePath + u".damaged"_s;
        QFile::remove(aside);
        QFile::copy(d->filePath, aside);
        qCWarning(lcRegistry) << error << "- kept as" << aside;
    }
    for (const Change &c : d->pending)
        apply(tree, c);

    try {
        WriteFileAtomically(d->filePath, tree.serialise());
    } catch (const EFileError &e) {
        throw ERegistryException(e.message());
    }
    // Written under the lock, so what is there now is what was just written.
    struct stat identity {};
    if (::stat(QFile::encodeName(d->filePath).constData(), &identity) == 0)
        cacheTree(d->filePath, identity, tree);

    d->tree = std::move(tree);
    d->pending.clear();
    d->loadError.clear();
}

void TRegistryStore::DiscardChanges()
{
    d->pending.clear();
    d->tree = readTree(d->filePath, &d->loadError);
}

bool TRegistryStore::HasPendingChanges() const
{
    return !d->pending.empty();
}
