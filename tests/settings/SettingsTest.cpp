#include <QDir>
#include <QLockFile>

#include <functional>

#include "TempRegistry.h"
#include "settings/Settings.h"
#include "settings/Utils.h"

using namespace Qt::StringLiterals;

namespace {

const QString settingsKey = u"Software\\Vellumtree\\"_s;

class SettingsStore : public TempRegistryTest
{
protected:
    // Settings unlike every default, saved, so a fallback is visible in every field.
    void saveCustomSettings()
    {
        TSettings s(settingsKey, u"1.57"_s);
        s.SetDefaults();
        s.AutoSave = 3;
        s.DeleteConfirmationLevel = 2;
        s.MinimizeOnEsc = false;
        s.Backup = true;
        s.WindowPos.showCmd = 3;
        s.WindowPos.rcNormalPosition = { 10, 20, 640, 480 };
        s.MRUSize = 12;
        s.TabSize = 8;
        s.TreeFont = TFontDesc { u"Arial"_s, 10, fsBold | fsItalic, fpFixed, 0x0000FF, 204 };
        s.EditorColor = 0x00ABCDEF;
        s.LanguageFile = u"Deutsch.lng"_s;
        s.SplitterPos = 250;
        s.BackupFolder = u"/tmp/bäck"_s;
        s.LastFile = u"/home/u/notes \"1\".vlt"_s;
        s.SaveSettings();
    }

    static void editKey(const std::function<void(TRegistryStore &)> &edit)
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(settingsKey, false));
        edit(reg);
        reg.Flush();
    }

    static void addSubkey()
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(settingsKey + u"MRU Items"_s, true));
        reg.WriteString(u"F0"_s, u"a.vlt"_s);
    }

    static bool keyExists(const QString &path) { return TRegistryStore().KeyExists(path); }

    static void expectDefaults(const TSettings &s)
    {
        EXPECT_EQ(s.AutoSave, 1);
        EXPECT_EQ(s.DeleteConfirmationLevel, 0);
        EXPECT_TRUE(s.MinimizeOnEsc);
        EXPECT_FALSE(s.Backup);
        EXPECT_EQ(s.MRUSize, 7);
        EXPECT_EQ(s.TabSize, 4);
        EXPECT_EQ(s.TreeFont.Name, u"Tahoma"_s);
        EXPECT_EQ(s.TreeFont.Size, 8);
        EXPECT_EQ(s.EditorColor, 0xFF000005u);
        EXPECT_EQ(s.LanguageFile, u"English.lng"_s);
        EXPECT_EQ(s.SplitterPos, 80);
        EXPECT_TRUE(s.LastFile.isEmpty());
        EXPECT_EQ(s.WindowPos.showCmd, 1);
    }
};

TEST_F(SettingsStore, FirstStartHasDefaultsAndSaveWritesAll32ValuesVersionFirst)
{
    TSettings s(settingsKey, u"1.57"_s);
    EXPECT_EQ(s.GetVersion(), u"1.57"_s);
    s.LoadSettings();
    expectDefaults(s);
    EXPECT_FALSE(keyExists(settingsKey)); // defaults reach the registry only on saving
    s.SaveSettings();

    TRegistryStore reg;
    ASSERT_TRUE(reg.OpenKey(settingsKey, false));
    const QStringList names = reg.GetValueNames();
    EXPECT_EQ(names.size(), 32);
    EXPECT_EQ(names.value(0), u"Version"_s);
    EXPECT_EQ(names.value(31), u"LastFile"_s);
    EXPECT_EQ(reg.ReadString(u"Version"_s), u"version.dll"_s);
    EXPECT_EQ(reg.ReadInteger(u"TreeColor"_s), -16777211);
    EXPECT_EQ(reg.ReadString(u"TreeFont"_s), u"Tahoma,8,0,0,clWindowText,1,"_s);
    EXPECT_EQ(reg.ReadBinaryData(u"WindowPos"_s).size(), 44);
    EXPECT_TRUE(
        registryBytes().contains("\"Version\"=\"version.dll\"\n\"AutoSave\"=dword:00000001"));
}

TEST_F(SettingsStore, SavedValuesComeBack)
{
    saveCustomSettings();
    TSettings s(settingsKey, u"1.57"_s);
    s.LoadSettings();
    EXPECT_EQ(s.AutoSave, 3);
    EXPECT_EQ(s.DeleteConfirmationLevel, 2);
    EXPECT_FALSE(s.MinimizeOnEsc);
    EXPECT_TRUE(s.Backup);
    EXPECT_EQ(s.WindowPos.showCmd, 3);
    EXPECT_EQ(s.WindowPos.rcNormalPosition, (TRectI { 10, 20, 640, 480 }));
    EXPECT_EQ(s.MRUSize, 12);
    EXPECT_EQ(
        s.TreeFont, (TFontDesc { u"Arial"_s, 10, fsBold | fsItalic, fpFixed, 0x0000FF, 204 }));
    EXPECT_EQ(s.EditorColor, 0x00ABCDEFu);
    EXPECT_EQ(s.LanguageFile, u"Deutsch.lng"_s);
    EXPECT_EQ(s.SplitterPos, 250);
    EXPECT_EQ(s.BackupFolder, u"/tmp/bäck"_s);
    EXPECT_EQ(s.LastFile, u"/home/u/notes \"1\".vlt"_s);
}

struct Damage
{
    const char *name;
    std::function<void(TRegistryStore &)> edit;
};

class SettingsFallback : public SettingsStore, public ::testing::WithParamInterface<Damage>
{
};

// The stored settings may be another version's, and the recent files, search history
// and print settings below them are the user's: loading never deletes them.
TEST_P(SettingsFallback, GivesAllDefaultsButKeepsTheStoredKeyAndSubkeys)
{
    saveCustomSettings();
    addSubkey();
    editKey(GetParam().edit);
    const QByteArray stored = registryBytes();

    TSettings s(settingsKey, u"1.57"_s);
    s.LoadSettings();
    expectDefaults(s);
    EXPECT_EQ(registryBytes(), stored);

    // The next save writes every value again, in the same key.
    s.SaveSettings();
    TSettings again(settingsKey, u"1.57"_s);
    again.LoadSettings();
    expectDefaults(again);
    EXPECT_TRUE(keyExists(settingsKey + u"MRU Items"_s));
}

INSTANTIATE_TEST_SUITE_P(Keys, SettingsFallback,
    ::testing::Values(
        Damage { "VersionMissing", [](TRegistryStore &r) { r.DeleteValue(u"Version"_s); } },
        Damage { "VersionOtherCase",
            [](TRegistryStore &r) { r.WriteString(u"Version"_s, u"Version.dll"_s); } },
        Damage { "VersionNotText", [](TRegistryStore &r) { r.WriteInteger(u"Version"_s, 1); } },
        Damage { "TabSizeMissing", [](TRegistryStore &r) { r.DeleteValue(u"TabSize"_s); } },
        Damage { "BooleanAsText", [](TRegistryStore &r) { r.WriteString(u"WordWrap"_s, u"1"_s); } },
        Damage { "TextAsInteger", [](TRegistryStore &r) { r.WriteInteger(u"BackupFolder"_s, 1); } },
        Damage { "WindowPosTooLong",
            [](TRegistryStore &r) { r.WriteBinaryData(u"WindowPos"_s, QByteArray(45, 'x')); } },
        Damage {
            "WindowPosNotBinary", [](TRegistryStore &r) { r.WriteInteger(u"WindowPos"_s, 1); } },
        Damage { "FontColourUnreadable",
            [](TRegistryStore &r) { r.WriteString(u"TreeFont"_s, u"Arial,10,0,0,clPink,1,"_s); } },
        Damage { "FontMissing", [](TRegistryStore &r) { r.DeleteValue(u"EditorFont"_s); } }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SettingsStore, MissingTextValuesReadEmptyWithoutFallback)
{
    saveCustomSettings();
    editKey([](TRegistryStore &r) {
        r.DeleteValue(u"LastFile"_s);
        r.DeleteValue(u"LanguageFile"_s);
    });
    TSettings s(settingsKey, u"1.57"_s);
    s.LoadSettings();
    EXPECT_TRUE(s.LastFile.isEmpty());
    EXPECT_TRUE(s.LanguageFile.isEmpty());
    EXPECT_EQ(s.SplitterPos, 250);
}

TEST_F(SettingsStore, WindowPosIsWrittenAlwaysButReadOnlyWhenRemembered)
{
    saveCustomSettings();
    editKey([](TRegistryStore &r) { r.WriteInteger(u"RememberWindowPos"_s, 0); });
    TSettings s(settingsKey, u"1.57"_s);
    s.LoadSettings();
    EXPECT_FALSE(s.RememberWindowPos);
    EXPECT_EQ(s.WindowPos, TWindowPlacement {});

    s.WindowPos.showCmd = 2;
    s.SaveSettings();
    TRegistryStore reg;
    ASSERT_TRUE(reg.OpenKey(settingsKey, false));
    EXPECT_EQ(reg.ReadBinaryData(u"WindowPos"_s), s.WindowPos.toBytes());
}

TEST_F(SettingsStore, ShortWindowPosOverwritesOnlyItsBytes)
{
    saveCustomSettings();
    editKey([](TRegistryStore &r) {
        r.WriteBinaryData(u"WindowPos"_s, QByteArray("\x2c\0\0\0\x07", 5));
    });
    TSettings s(settingsKey, u"1.57"_s);
    s.WindowPos.showCmd = 9;
    s.LoadSettings();
    EXPECT_EQ(s.WindowPos.flags, 7);
    EXPECT_EQ(s.WindowPos.showCmd, 9);
}

TEST_F(SettingsStore, DamagedRegistryFileGivesDefaultsAndIsReplacedOnSave)
{
    writeRegistry("\x00\xff garbage [HKEY_CURRENT_USER\\Software\\Vellumtree]");
    TSettings s(settingsKey, u"1.57"_s);
    s.LoadSettings();
    expectDefaults(s);
    s.SaveSettings();
    TSettings again(settingsKey, u"1.57"_s);
    again.TabSize = 99;
    again.LoadSettings();
    EXPECT_EQ(again.TabSize, 4);
    EXPECT_TRUE(TRegistryStore().loadError().isEmpty());
}

TEST_F(SettingsStore, FailedSaveKeepsTheStoredSettingsAndTheOnesInUse)
{
    saveCustomSettings();
    addSubkey();
    const QByteArray stored = registryBytes();
    // Another program holds the registry file's lock for longer than a save waits.
    QLockFile lock(registryPath() + u".lock"_s);
    ASSERT_TRUE(lock.tryLock(0));

    TSettings s(settingsKey, u"1.57"_s);
    s.LoadSettings();
    s.TabSize = 12;
    s.SaveSettings();
    EXPECT_EQ(s.TabSize, 12);
    EXPECT_EQ(s.AutoSave, 3);
    EXPECT_EQ(registryBytes(), stored);
}

TEST_F(SettingsStore, UnwritableRegistryKeepsTheSettingsInUse)
{
    // A folder where the file should be: nothing can be written.
    QDir().mkpath(registryPath());
    TSettings s(settingsKey, u"1.57"_s);
    s.SetDefaults();
    s.TabSize = 12;
    s.SaveSettings();
    EXPECT_EQ(s.TabSize, 12);
}

} // namespace
