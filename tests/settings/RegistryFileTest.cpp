#include <QtEndian>

#include <gtest/gtest.h>

#include "settings/RegistryFile.h"

using namespace Qt::StringLiterals;

namespace {

const QByteArray header = "Windows Registry Editor Version 5.00\n\n";

TRegistryTree::Key &key(TRegistryTree &tree, const QString &path)
{
    return tree.createKey(u"HKEY_CURRENT_USER\\"_s + path);
}

TEST(RegistryFile, RoundTripKeepsEveryValueExactly)
{
    TRegistryTree tree;
    auto &k = key(tree, u"Software\\Vellumtree"_s);
    const QByteArray binary(60, '\x7f'); // wraps onto continuation lines
    TRegistryTree::setValue(
        k, u"Path"_s, RegType::String, registryStringData(u"C:\\Notes\\\"quoted\" Ünïcødé ✓ 𝄞"_s));
    TRegistryTree::setValue(
        k, u"Lines"_s, RegType::String, registryStringData(u"one\r\ntwo\r\n"_s));
    TRegistryTree::setValue(k, u"Dword"_s, RegType::DWord, QByteArray("\x05\x00\x00\xff", 4));
    TRegistryTree::setValue(k, u"Bin"_s, RegType::Binary, binary);
    TRegistryTree::setValue(k, u"Empty"_s, RegType::Binary, {});
    TRegistryTree::setValue(k, u"Multi"_s, 7, QByteArray("a\0\0\0\0\0", 6));
    TRegistryTree::setValue(k, u"Odd"_s, RegType::String, QByteArray("abc", 3));
    TRegistryTree::setValue(k, QString(), RegType::String, registryStringData(u"default"_s));
    key(tree, u"Software\\Vellumtree\\MRU Items"_s);

    const QByteArray bytes = tree.serialise();
    EXPECT_TRUE(bytes.startsWith(header));
    EXPECT_TRUE(bytes.contains("\"Path\"=\"C:\\\\Notes\\\\\\\"quoted\\\" "));
    EXPECT_TRUE(bytes.contains("\"Dword\"=dword:ff000005\n"));
    EXPECT_TRUE(bytes.contains("\"Empty\"=hex:\n"));

    const TRegistryTree back = TRegistryTree::parse(bytes);
    ASSERT_EQ(back.keys().size(), 2u);
    const auto &a = tree.keys()[0].values;
    const auto &b = back.keys()[0].values;
    ASSERT_EQ(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].type, b[i].type) << a[i].name.toStdString();
        EXPECT_EQ(a[i].data, b[i].data) << a[i].name.toStdString();
    }
    EXPECT_EQ(back.keys()[1].path, u"HKEY_CURRENT_USER\\Software\\Vellumtree\\MRU Items"_s);
}

TEST(RegistryFile, EmptyTextsHaveTheirStoredForm)
{
    EXPECT_EQ(registryStringData(QString()), QByteArray(2, '\0'));
    EXPECT_EQ(registryStringData(u""_s), QByteArray(2, '\0'));
    EXPECT_TRUE(registryStringText(QByteArrayView()).isEmpty());
    EXPECT_TRUE(registryStringText(QByteArray(2, '\0')).isEmpty());
    // A string value of no bytes at all, and a file of nothing but the mark.
    const TRegistryTree tree = TRegistryTree::parse(header + "[HKEY_CURRENT_USER\\A]\n\"E\"=hex(1):\n");
    ASSERT_EQ(tree.keys()[0].values.size(), 1);
    EXPECT_TRUE(tree.keys()[0].values[0].data.isEmpty());
    EXPECT_TRUE(tree.serialise().contains("\"E\"=hex(1):\n"));
    EXPECT_THROW(TRegistryTree::parse(QByteArray("\xff\xfe", 2)), ERegistryException);
}

TEST(RegistryFile, ReadsTheRegistryEditorsOwnExport)
{
    // UTF-16LE with a byte-order mark, CR LF, comments and a wrapped hex list.
    const QString text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                         "; exported\r\n"
                         "[HKEY_CURRENT_USER\\Software\\Vellumtree]\r\n"
                         "\"WindowPos\"=hex:2c,00,00,00,\\\r\n  01,00\r\n"
                         "\"TabSize\"=dword:00000004\r\n"
                         "\"TabSize\"=dword:00000008\r\n"
                         "@=\"x\"\r\n"_s;
    QByteArray bytes("\xff\xfe", 2);
    for (QChar c : text) {
        char unit[2];
        qToLittleEndian<quint16>(c.unicode(), unit);
        bytes.append(unit, 2);
    }
    const TRegistryTree tree = TRegistryTree::parse(bytes);
    const auto *k = tree.findKey(u"hkey_current_user\\software\\VELLUMTREE"_s);
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->values.size(), 3); // the repeated value replaced the first in place
    EXPECT_EQ(k->values[0].data, QByteArray("\x2c\x00\x00\x00\x01\x00", 6));
    EXPECT_EQ(TRegistryTree::findValue(*k, u"tabsize"_s)->data, QByteArray("\x08\0\0\0", 4));
    EXPECT_TRUE(k->values[2].name.isEmpty());
}

TEST(RegistryFile, ValueReadAgainReplacesTheFirstInItsPlaceInABigKey)
{
    // Enough values for the key to be indexed, the key's section given twice, and
    // names that differ from the first spelling only in case, beyond ASCII too.
    QByteArray bytes = header + "[HKEY_CURRENT_USER\\Software\\Vellumtree\\MRU Items]\n";
    for (int i = 0; i < 20; ++i)
        bytes += "\"F" + QByteArray::number(i) + "\"=\"file " + QByteArray::number(i) + "\"\n";
    bytes += "\"\xc3\x84rger \xf0\x90\x90\x80\"=dword:00000001\n";
    bytes += "[HKEY_CURRENT_USER\\Software\\Vellumtree]\n\"A\"=dword:00000001\n";
    bytes += "[hkey_current_user\\software\\vellumtree\\mru items]\n";
    bytes += "\"f3\"=\"again\"\n\"\xc3\xa4RGER \xf0\x90\x90\xa8\"=dword:00000002\n\"F20\"=\"new\"\n";

    const TRegistryTree tree = TRegistryTree::parse(bytes);
    ASSERT_EQ(tree.keys().size(), 2u);
    const TRegistryTree::Key &key = tree.keys()[0];
    ASSERT_EQ(key.values.size(), 22);
    EXPECT_EQ(key.values[3].name, u"F3"_s);
    EXPECT_EQ(registryStringText(key.values[3].data), u"again"_s);
    EXPECT_EQ(key.values[20].name, u"\u00c4rger \U00010400"_s);
    EXPECT_EQ(key.values[20].data, QByteArray("\x02\0\0\0", 4));
    EXPECT_EQ(key.values[21].name, u"F20"_s);
    for (int i = 0; i < 21; ++i) {
        const QString name = i == 20 ? u"\u00e4rger \U00010428"_s : u"f%1"_s.arg(i);
        const TRegistryValue *found = TRegistryTree::findValue(key, name);
        ASSERT_NE(found, nullptr) << i;
        EXPECT_EQ(found, &key.values[i]);
    }
    EXPECT_EQ(TRegistryTree::findValue(key, u"F"_s), nullptr);

    // Written and read again, the file holds each value once.
    const TRegistryTree back = TRegistryTree::parse(tree.serialise());
    EXPECT_EQ(back.keys()[0].values.size(), 22);
    EXPECT_EQ(back.serialise(), tree.serialise());
}

TEST(RegistryFile, ReadsTextsInEveryEncodingItMeets)
{
    // Escapes in a name and a text, characters of several bytes, and a file that is
    // not UTF-8 at all (an older editor's code page).
    const QByteArray utf8 = header
        + "[HKEY_CURRENT_USER\\Software\\Vellumtree]\r\n"
          "\"Say \\\"hi\\\"\"=\"C:\\\\Notes \xe2\x9c\x93\"\r\n"
          "\"\xf0\x9d\x84\x9e\"=\"\"\n";
    const TRegistryTree tree = TRegistryTree::parse(utf8);
    const auto &values = tree.keys()[0].values;
    ASSERT_EQ(values.size(), 2);
    EXPECT_EQ(values[0].name, u"Say \"hi\""_s);
    EXPECT_EQ(registryStringText(values[0].data), u"C:\\Notes \u2713"_s);
    EXPECT_EQ(values[1].name, u"\U0001D11E"_s);
    EXPECT_EQ(values[1].data, QByteArray(2, '\0'));

    const QByteArray legacy = header + "[HKEY_CURRENT_USER\\Software]\n\"Caf\xe9\"=\"na\xef" "ve\"";
    const TRegistryTree old = TRegistryTree::parse(legacy);
    ASSERT_EQ(old.keys()[0].values.size(), 1);
    EXPECT_EQ(old.keys()[0].values[0].name, u"Caf\u00e9"_s);
    EXPECT_EQ(registryStringText(old.keys()[0].values[0].data), u"na\u00efve"_s);
}

struct DamagedCase
{
    const char *name;
    QByteArray bytes;
};

class RegistryFileDamaged : public ::testing::TestWithParam<DamagedCase>
{
};

TEST_P(RegistryFileDamaged, IsARegistryError)
{
    EXPECT_THROW(TRegistryTree::parse(GetParam().bytes), ERegistryException);
}

const QByteArray section = header + "[HKEY_CURRENT_USER\\Software\\Vellumtree]\n";

INSTANTIATE_TEST_SUITE_P(Files, RegistryFileDamaged,
    ::testing::Values(DamagedCase { "Empty", {} },
        DamagedCase { "ForeignText", "[Settings]\nA=1\n" },
        DamagedCase { "ValueBeforeKey", header + "\"A\"=dword:00000001\n" },
        DamagedCase { "KeyWithoutRoot", header + "[Software\\Vellumtree]\n" },
        DamagedCase { "UnclosedKey", header + "[HKEY_CURRENT_USER\\Software\n" },
        DamagedCase { "KeyDeletion", header + "[-HKEY_CURRENT_USER\\Software]\n" },
        DamagedCase { "UnterminatedString", section + "\"A\"=\"abc\n" },
        DamagedCase { "UnknownEscape", section + "\"A\"=\"C:\\Notes\"\n" },
        DamagedCase { "TextAfterString", section + "\"A\"=\"a\" b\n" },
        DamagedCase { "MissingEquals", section + "\"A\" dword:00000001\n" },
        DamagedCase { "DwordTooLong", section + "\"A\"=dword:123456789\n" },
        DamagedCase { "HexByteTooLong", section + "\"A\"=hex:123\n" },
        DamagedCase { "HexBadType", section + "\"A\"=hex(zz):01\n" },
        DamagedCase { "ContinuationAtEnd", section + "\"A\"=hex:01,\\\n" },
        DamagedCase { "ValueDeletion", section + "\"A\"=-\n" },
        DamagedCase { "StrayLine", section + "garbage\n" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RegistryFile, KeysExistAsParentsAndDeleteWithTheirSubkeys)
{
    TRegistryTree tree;
    key(tree, u"Software\\Vellumtree"_s);
    key(tree, u"Software\\Vellumtree\\MRU Items"_s);
    key(tree, u"Software\\Vellumtree\\Find"_s);
    key(tree, u"Software\\VellumtreeOther"_s);
    EXPECT_TRUE(tree.keyExists(u"HKEY_CURRENT_USER\\Software"_s));
    EXPECT_EQ(tree.subKeyNames(u"HKEY_CURRENT_USER\\software\\vellumtree"_s),
        QStringList({ u"MRU Items"_s, u"Find"_s }));

    EXPECT_TRUE(tree.deleteKey(u"HKEY_CURRENT_USER\\Software\\Vellumtree"_s));
    ASSERT_EQ(tree.keys().size(), 1u); // a sibling sharing the name's start stays
    EXPECT_EQ(tree.keys()[0].path, u"HKEY_CURRENT_USER\\Software\\VellumtreeOther"_s);
    EXPECT_FALSE(tree.deleteKey(u"HKEY_CURRENT_USER\\Software\\Vellumtree"_s));
}

} // namespace
