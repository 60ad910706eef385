// The real registry. Changes reach it at once, so Flush() has nothing to do.
#include "settings/RegistryStore.h"

#include <QStandardPaths>
#include <QtEndian>

#include <windows.h>

using namespace Qt::StringLiterals;

namespace {

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

QString normalised(const QString &key)
{
    return key.split(u'\\', Qt::SkipEmptyParts).join(u'\\');
}

[[noreturn]] void fail(const QString &what, const QString &name)
{
    throw ERegistryException(u"%1 '%2'"_s.arg(what, name));
}

} // namespace

struct TRegistryStore::Private
{
    HKEY root = HKEY_CURRENT_USER;
    HKEY current = nullptr;
    QString currentPath;

    HKEY key() const
    {
        if (!current)
            throw ERegistryException(u"No registry key is open"_s);
        return current;
    }

    // Type and raw bytes of a value; false when it does not exist.
    bool query(const QString &name, DWORD *type, QByteArray *data) const
    {
        DWORD size = 0;
        if (RegQueryValueExW(key(), wide(name), nullptr, type, nullptr, &size) != ERROR_SUCCESS)
            return false;
        data->resize(qsizetype(size));
        if (RegQueryValueExW(
                key(), wide(name), nullptr, type, reinterpret_cast<BYTE *>(data->data()), &size)
            != ERROR_SUCCESS)
            return false;
        data->resize(qsizetype(size));
        return true;
    }

    void set(const QString &name, DWORD type, QByteArrayView data)
    {
        if (RegSetValueExW(key(), wide(name), 0, type, reinterpret_cast<const BYTE *>(data.data()),
                DWORD(data.size()))
            != ERROR_SUCCESS)
            fail(u"Failed to set data for"_s, name);
    }
};

TRegistryStore::TRegistryStore(TRegistryRoot root) : TRegistryStore(QString(), root) { }

TRegistryStore::TRegistryStore(const QString &, TRegistryRoot root) : d(std::make_unique<Private>())
{
    d->root = root == TRegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

TRegistryStore::~TRegistryStore()
{
    CloseKey();
}

QString TRegistryStore::defaultFilePath()
{
    return {};
}

QString TRegistryStore::loadError() const
{
    return {};
}

bool TRegistryStore::OpenKey(const QString &key, bool canCreate)
{
    const QString path = normalised(key);
    if (path.isEmpty())
        return false;
    HKEY handle = nullptr;
    LONG result = canCreate ? RegCreateKeyExW(
                      d->root, wide(path), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr)
                            : RegOpenKeyExW(d->root, wide(path), 0, KEY_ALL_ACCESS, &handle);
    if (result != ERROR_SUCCESS)
        return false;
    CloseKey();
    d->current = handle;
    d->currentPath = path;
    return true;
}

void TRegistryStore::CloseKey()
{
    if (d->current)
        RegCloseKey(d->current);
    d->current = nullptr;
    d->currentPath.clear();
}

QString TRegistryStore::CurrentPath() const
{
    return d->currentPath;
}

bool TRegistryStore::HasCurrentKey() const
{
    return d->current != nullptr;
}

bool TRegistryStore::KeyExists(const QString &key) const
{
    HKEY handle = nullptr;
    const QString path = normalised(key);
    if (path.isEmpty() || RegOpenKeyExW(d->root, wide(path), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

bool TRegistryStore::DeleteKey(const QString &key)
{
    const QString path = normalised(key);
    if (path.isEmpty())
        return false;
    const QString current = d->currentPath.toCaseFolded();
    const QString deleted = path.toCaseFolded();
    if (current == deleted || current.startsWith(deleted + u'\\'))
        CloseKey();
    return RegDeleteTreeW(d->root, wide(path)) == ERROR_SUCCESS
        && RegDeleteKeyW(d->root, wide(path)) == ERROR_SUCCESS;
}

QStringList TRegistryStore::GetKeyNames() const
{
    QStringList names;
    wchar_t buffer[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = 256;
        if (RegEnumKeyExW(d->key(), i, buffer, &size, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        names += QString::fromWCharArray(buffer, int(size));
    }
    return names;
}

bool TRegistryStore::ValueExists(const QString &name) const
{
    return RegQueryValueExW(d->key(), wide(name), nullptr, nullptr, nullptr, nullptr)
        == ERROR_SUCCESS;
}

TRegDataType TRegistryStore::GetDataType(const QString &name) const
{
    DWORD type = 0;
    if (RegQueryValueExW(d->key(), wide(name), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        return rdUnknown;
    switch (type) {
    case REG_SZ:
        return rdString;
    case REG_EXPAND_SZ:
        return rdExpandString;
    case REG_DWORD:
        return rdInteger;
    case REG_BINARY:
        return rdBinary;
    default:
        return rdUnknown;
    }
}

qsizetype TRegistryStore::GetDataSize(const QString &name) const
{
    DWORD size = 0;
    if (RegQueryValueExW(d->key(), wide(name), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return -1;
    return qsizetype(size);
}

QStringList TRegistryStore::GetValueNames() const
{
    QStringList names;
    // Value names may be up to 16383 characters long.
    std::vector<wchar_t> buffer(16384);
    for (DWORD i = 0;; ++i) {
        DWORD size = DWORD(buffer.size());
        if (RegEnumValueW(d->key(), i, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        names += QString::fromWCharArray(buffer.data(), int(size));
    }
    return names;
}

qint32 TRegistryStore::ReadInteger(const QString &name) const
{
    DWORD type = 0;
    QByteArray data;
    if (!d->query(name, &type, &data))
        fail(u"Registry value does not exist:"_s, name);
    if (type != REG_DWORD || data.size() != 4)
        fail(u"Invalid data type for"_s, name);
    return qFromLittleEndian<qint32>(data.constData());
}

QString TRegistryStore::ReadString(const QString &name) const
{
    DWORD type = 0;
    QByteArray data;
    if (!d->query(name, &type, &data))
        fail(u"Registry value does not exist:"_s, name);
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        fail(u"Invalid data type for"_s, name);
    const auto *units = reinterpret_cast<const char16_t *>(data.constData());
    QString text = QString::fromUtf16(units, data.size() / 2);
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    return zero < 0 ? text : text.left(zero);
}

QString TRegistryStore::ReadOptionalString(const QString &name) const
{
    return ValueExists(name) ? ReadString(name) : QString();
}

QByteArray TRegistryStore::ReadBinaryData(const QString &name) const
{
    DWORD type = 0;
    QByteArray data;
    if (!d->query(name, &type, &data))
        fail(u"Registry value does not exist:"_s, name);
    if (type != REG_BINARY)
        fail(u"Invalid data type for"_s, name);
    return data;
}

QByteArray TRegistryStore::ReadRawData(const QString &name) const
{
    DWORD type = 0;
    QByteArray data;
    if (!d->query(name, &type, &data))
        fail(u"Registry value does not exist:"_s, name);
    return data;
}

void TRegistryStore::WriteInteger(const QString &name, qint32 value)
{
    char raw[4];
    qToLittleEndian<qint32>(value, raw);
    d->set(name, REG_DWORD, QByteArrayView(raw, 4));
}

void TRegistryStore::WriteString(const QString &name, const QString &value)
{
    // With the terminating zero, as the registry expects.
    d->set(name, REG_SZ,
        QByteArrayView(reinterpret_cast<const char *>(value.utf16()), (value.size() + 1) * 2));
}

void TRegistryStore::WriteBinaryData(const QString &name, QByteArrayView data)
{
    d->set(name, REG_BINARY, data);
}

bool TRegistryStore::DeleteValue(const QString &name)
{
    return RegDeleteValueW(d->key(), wide(name)) == ERROR_SUCCESS;
}

void TRegistryStore::Flush() { }

void TRegistryStore::DiscardChanges() { }

bool TRegistryStore::HasPendingChanges() const
{
    return false;
}
