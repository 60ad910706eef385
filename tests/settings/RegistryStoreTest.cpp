#include <QFileInfo>

#include "TempRegistry.h"
#include "settings/RegistryStore.h"

using namespace Qt::StringLiterals;

namespace {

using RegistryStore = TempRegistryTest;

const QString key = u"Software\\Vellumtree"_s;

TEST_F(RegistryStore, TypedReadsRejectMissingAndMistypedValues)
{
    TRegistryStore reg;
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteInteger(u"Int"_s, -16777211);
    reg.WriteString(u"Text"_s, u"x"_s);
    reg.WriteBinaryData(u"Bin"_s, QByteArray("\x01\x02", 2));

    EXPECT_EQ(reg.ReadInteger(u"int"_s), -16777211);
    EXPECT_EQ(reg.ReadRawData(u"Int"_s), QByteArray("\x05\x00\x00\xff", 4));
    EXPECT_THROW(reg.ReadInteger(u"Text"_s), ERegistryException);
    EXPECT_THROW(reg.ReadInteger(u"Missing"_s), ERegistryException);
    EXPECT_THROW(reg.ReadString(u"Int"_s), ERegistryException);
    EXPECT_THROW(reg.ReadString(u"Missing"_s), ERegistryException);
    EXPECT_EQ(reg.ReadOptionalString(u"Missing"_s), QString());
    EXPECT_THROW(reg.ReadOptionalString(u"Bin"_s), ERegistryException);
    EXPECT_THROW(reg.ReadBinaryData(u"Text"_s), ERegistryException);
    EXPECT_EQ(reg.GetDataType(u"Bin"_s), rdBinary);

    reg.CloseKey();
    EXPECT_THROW(reg.ReadInteger(u"Int"_s), ERegistryException);
    EXPECT_THROW(reg.WriteInteger(u"Int"_s, 1), ERegistryException);
}

TEST_F(RegistryStore, WritesTheFileOnlyOnFlushAndReadsItBack)
{
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(u"\\Software\\\\Vellumtree\\"_s, true));
        reg.WriteString(u"B"_s, u"second"_s);
        reg.WriteString(u"A"_s, u"ünï \"q\" \\ 𝄞\r\nnext"_s);
        reg.WriteInteger(u"b"_s, 3); // same value, other case: keeps its place and name
        EXPECT_FALSE(QFileInfo::exists(registryPath()));
        reg.Flush();
        EXPECT_TRUE(QFileInfo::exists(registryPath()));
        EXPECT_FALSE(reg.HasPendingChanges());
    }
    EXPECT_TRUE(registryBytes().startsWith(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Vellumtree]\n"
        "\"B\"=dword:00000003\n"));

    TRegistryStore reg;
    EXPECT_TRUE(reg.KeyExists(u"software"_s));
    ASSERT_TRUE(reg.OpenKey(key, false));
    EXPECT_EQ(reg.GetValueNames(), QStringList({ u"B"_s, u"A"_s }));
    EXPECT_EQ(reg.ReadString(u"A"_s), u"ünï \"q\" \\ 𝄞\r\nnext"_s);
    EXPECT_FALSE(reg.OpenKey(u"Software\\Missing"_s, false));
    EXPECT_FALSE(reg.OpenKey(u"\\\\"_s, true));
}

TEST_F(RegistryStore, DeleteKeyTakesSubkeysAndClosesAKeyInside)
{
    TRegistryStore reg;
    ASSERT_TRUE(reg.OpenKey(key + u"\\MRU Items"_s, true));
    reg.WriteString(u"F0"_s, u"a"_s);
    ASSERT_TRUE(reg.OpenKey(key, false));
    EXPECT_EQ(reg.GetKeyNames(), QStringList(u"MRU Items"_s));
    ASSERT_TRUE(reg.OpenKey(key + u"\\MRU Items"_s, false));
    EXPECT_TRUE(reg.DeleteKey(key));
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_FALSE(reg.KeyExists(key + u"\\MRU Items"_s));
    EXPECT_FALSE(reg.DeleteKey(key));
}

TEST_F(RegistryStore, FlushKeepsWhatAnotherStoreSavedMeanwhile)
{
    TRegistryStore first;
    TRegistryStore second;
    ASSERT_TRUE(first.OpenKey(key, true));
    first.WriteInteger(u"Shared"_s, 1);
    first.WriteInteger(u"OnlyFirst"_s, 1);
    ASSERT_TRUE(second.OpenKey(key + u"\\Find"_s, true));
    second.WriteInteger(u"Scope"_s, 2);
    second.Flush();
    first.Flush(); // replays onto the file that now holds "Find"

    TRegistryStore third;
    EXPECT_TRUE(third.OpenKey(key + u"\\Find"_s, false));
    EXPECT_EQ(third.ReadInteger(u"Scope"_s), 2);
    ASSERT_TRUE(third.OpenKey(key, false));
    EXPECT_EQ(third.ReadInteger(u"OnlyFirst"_s), 1);
}

TEST_F(RegistryStore, DamagedFileReadsEmptyAndIsKeptAsideWhenReplaced)
{
    writeRegistry(
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Vellumtree]\n"
        "\"A\"=dword:zz\n");
    TRegistryStore reg;
    EXPECT_FALSE(reg.loadError().isEmpty());
    EXPECT_FALSE(reg.KeyExists(key));
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteInteger(u"A"_s, 7);
    reg.Flush();

    QFile aside(registryPath() + u".damaged"_s);
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_TRUE(aside.readAll().contains("dword:zz"));
    TRegistryStore again;
    EXPECT_TRUE(again.loadError().isEmpty());
    ASSERT_TRUE(again.OpenKey(key, false));
    EXPECT_EQ(again.ReadInteger(u"A"_s), 7);
}

} // namespace

namespace {

TEST_F(RegistryStore, ForeignKeysInAValidFileSurviveASave)
{
    writeRegistry("Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"X\"=hex(7):61,00,00,00,00,00\r\n");
    {
        TRegistryStore reg;
        EXPECT_TRUE(reg.loadError().isEmpty());
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteInteger(u"A"_s, 1);
    }
    EXPECT_TRUE(registryBytes().contains(
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"X\"=hex(7):61,00,00,00,00,00\n"));
    EXPECT_FALSE(TRegistryStore().KeyExists(u"Software\\Other"_s)); // another root
}

} // namespace

namespace {

TEST_F(RegistryStore, FileChangedBehindTheProgramsBackIsReadAgain)
{
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteInteger(u"A"_s, 1);
        reg.Flush();
    }
    { TRegistryStore reg; } // read once, as the program does at start-up
    // Another program rewrites it in place: same inode, same size.
    QByteArray bytes = registryBytes();
    bytes.replace("dword:00000001", "dword:00000002");
    QFile file(registryPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    TRegistryStore reg;
    ASSERT_TRUE(reg.OpenKey(key, false));
    EXPECT_EQ(reg.ReadInteger(u"a"_s), 2);
}

TEST_F(RegistryStore, ManyValuesAreFoundWhateverTheirCaseAfterDeletions)
{
    TRegistryStore reg;
    ASSERT_TRUE(reg.OpenKey(key, true));
    for (int i = 0; i < 20; ++i)
        reg.WriteInteger(u"Value%1"_s.arg(i), i);
    EXPECT_TRUE(reg.DeleteValue(u"VALUE3"_s));
    for (int i = 19; i > 10; --i)
        EXPECT_TRUE(reg.DeleteValue(u"value%1"_s.arg(i)));
    EXPECT_FALSE(reg.ValueExists(u"Value3"_s));
    for (const int i : {0, 4, 10})
        EXPECT_EQ(reg.ReadInteger(u"vAlUe%1"_s.arg(i)), i);
    reg.WriteInteger(u"VALUE0"_s, 7);
    EXPECT_EQ(reg.GetValueNames().first(), u"Value0"_s);
    EXPECT_EQ(reg.ReadInteger(u"Value0"_s), 7);
}

} // namespace
