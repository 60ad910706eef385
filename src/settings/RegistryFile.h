#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

#include "settings/RegistryStore.h"

struct TRegistryValue
{
    QString name; // empty for the key's default value
    quint32 type = RegType::None;
    QByteArray data; // raw, as the registry holds it
};
Q_DECLARE_TYPEINFO(TRegistryValue, Q_RELOCATABLE_TYPE);

// A key or value name as an index holds it: spelt as it was written, hashed and
// compared as the registry matches names, without regard to case.
struct TRegistryName
{
    QString text;

    // One code point at a time, each case-folded.
    static bool same(QStringView a, QStringView b) noexcept;
    friend bool operator==(const TRegistryName &a, const TRegistryName &b) noexcept
    {
        return same(a.text, b.text);
    }
};
size_t qHash(const TRegistryName &name, size_t seed = 0) noexcept;

// The contents of a registry export file: keys by full path (root name first,
// "HKEY_CURRENT_USER\Software\Vellumtree"), each with its values, both in the order
// they were created. A key exists when it has a section of its own or is the parent
// of one, as importing such a file would create it.
class TRegistryTree final
{
public:
    struct Key
    {
        QString path;
        QList<TRegistryValue> values;
        // name -> position in values; empty for keys of a few values
        QHash<TRegistryName, qsizetype> valueIndex;
    };

    // Raises ERegistryException, naming the line, for anything it cannot read.
    static TRegistryTree parse(QByteArrayView fileBytes);
    QByteArray serialise() const;

    // "\a\\b\" -> "a\b"; an empty result means no valid path. Names with control
    // characters are refused, since they could not be written to the file.
    static QString normalisePath(QStringView path);

    Key *findKey(QStringView path);
    const Key *findKey(QStringView path) const;
    Key &createKey(const QString &path);
    bool keyExists(QStringView path) const;
    bool deleteKey(QStringView path);
    QStringList subKeyNames(QStringView path) const;

    static const TRegistryValue *findValue(const Key &key, QStringView name);
    static void setValue(Key &key, const QString &name, quint32 type, const QByteArray &data);
    static bool deleteValue(Key &key, QStringView name);

    const std::vector<Key> &keys() const { return m_keys; }

private:
    static void mergeRepeatedValues(Key &key);
    void reindex();

    std::vector<Key> m_keys;
    QHash<TRegistryName, size_t> m_keyIndex; // path -> position in m_keys
};

// Raw form of a string value: UTF-16LE with a terminating zero.
QByteArray registryStringData(QStringView text);
// The text of string data, up to its first zero.
QString registryStringText(QByteArrayView data);
