#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>

#include "Errors.h"

// A registry operation that failed: a missing value, a value of another type than
// asked for, no open key, or a store that cannot be written.
class ERegistryException : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

enum class TRegistryRoot { CurrentUser, ClassesRoot };

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

// The window system's registry value type numbers, kept so that raw values and
// foreign types survive a round trip.
namespace RegType {
constexpr quint32 None = 0;
constexpr quint32 String = 1;
constexpr quint32 ExpandString = 2;
constexpr quint32 Binary = 3;
constexpr quint32 DWord = 4;
} // namespace RegType

// Typed values under keys of one registry root. Key paths are absolute below the root,
// with "\" between names; leading, trailing and doubled backslashes do not matter
// ("\Software\Vellumtree\" is "Software\Vellumtree"). Key and value names are matched
// without regard to case and keep the case they were created with.
//
// On Windows this is the real registry. Elsewhere it is one file in the registry
// editor's export format (defaultFilePath()). The file is read when the store is
// created; changes are kept in memory and written in one go by Flush() or by the
// destructor, so one batch of writes (a whole SaveSettings) writes the file once.
// Flush() re-reads the file under a lock and replays this store's changes onto it,
// so two copies of the program or two stores never drop each other's other keys;
// for the same value the last one to flush wins. A file that cannot be parsed reads
// as an empty registry; it is kept beside as "registry.reg.damaged" when the next
// flush replaces it.
class TRegistryStore final
{
public:
    explicit TRegistryStore(TRegistryRoot root = TRegistryRoot::CurrentUser);
    // Only the file backend uses filePath; tests and tools point it elsewhere.
    TRegistryStore(const QString &filePath, TRegistryRoot root);
    ~TRegistryStore();

    TRegistryStore(const TRegistryStore &) = delete;
    TRegistryStore &operator=(const TRegistryStore &) = delete;

    // $XDG_CONFIG_HOME/Vellumtree/registry.reg (through QStandardPaths).
    static QString defaultFilePath();
    // Why the file read as empty, or an empty string when it was read (or absent).
    QString loadError() const;

    // Opens key for the value operations below; with canCreate a missing key and its
    // parents are created. False when the key does not exist (or the name is invalid).
    bool OpenKey(const QString &key, bool canCreate);
    bool OpenKeyReadOnly(const QString &key) { return OpenKey(key, false); }
    void CloseKey();
    QString CurrentPath() const;
    bool HasCurrentKey() const;

    bool KeyExists(const QString &key) const;
    // Deletes the key with all its subkeys and values; false when it did not exist.
    bool DeleteKey(const QString &key);
    // Names of the current key's direct subkeys, in the order they were created.
    QStringList GetKeyNames() const;

    // Value operations act on the current key; without one they raise ERegistryException.
    bool ValueExists(const QString &name) const;
    TRegDataType GetDataType(const QString &name) const;
    // Size of the raw data in bytes, or -1 when the value is missing.
    qsizetype GetDataSize(const QString &name) const;
    // Value names in the order they were first written.
    QStringList GetValueNames() const;

    // The typed reads raise ERegistryException when the value is missing or of another type.
    qint32 ReadInteger(const QString &name) const;
    QString ReadString(const QString &name) const;
    // Like ReadString, but a missing value reads as an empty string.
    QString ReadOptionalString(const QString &name) const;
    QByteArray ReadBinaryData(const QString &name) const;
    // The value's bytes as the registry holds them, whatever the type (a DWORD is four
    // little-endian bytes, a string UTF-16LE with its terminating zero).
    QByteArray ReadRawData(const QString &name) const;

    void WriteInteger(const QString &name, qint32 value);
    void WriteString(const QString &name, const QString &value);
    void WriteBinaryData(const QString &name, QByteArrayView data);
    bool DeleteValue(const QString &name);

    // Writes the pending changes; raises ERegistryException when that fails (the file
    // stays as it was and the changes stay pending).
    void Flush();
    // Forgets the pending changes, so that the destructor writes nothing.
    void DiscardChanges();
    bool HasPendingChanges() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
