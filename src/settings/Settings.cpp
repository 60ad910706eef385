#include "settings/Settings.h"

#include <QLoggingCategory>

#include "settings/RegistryStore.h"
#include "settings/Utils.h"

using namespace Qt::StringLiterals;

TSettings *Settings = nullptr;

namespace {

Q_LOGGING_CATEGORY(lcSettings, "vellumtree.settings", QtCriticalMsg)

// Not the program's version: a marker that the key holds values in this layout.
const QString formatMarker = u"version.dll"_s;
constexpr TColor defaultColor = 0xFF000005;

} // namespace

TSettings::TSettings(QString key, QString version)
    : Key(std::move(key)), Version(std::move(version))
{ }

void TSettings::LoadSettings()
{
    bool useDefaults = false;
    {
        TRegistryStore reg;
        if (!reg.OpenKey(Key, false)) {
            useDefaults = true;
        } else {
            try {
                if (!reg.ValueExists(u"Version"_s) || reg.ReadString(u"Version"_s) != formatMarker)
                    useDefaults = true;
                else
                    ReadValues(reg);
            } catch (const ERegistryException &e) {
                qCInfo(lcSettings) << "Settings unreadable, using defaults:" << e.message();
                useDefaults = true;
            } catch (const EConvertError &e) {
                // A damaged font text must not keep the program from starting.
                qCInfo(lcSettings) << "Font text unreadable, using defaults:" << e.message();
                useDefaults = true;
            }
        }
    }
    // Settings this version cannot read may still be another one's, and the recent
    // files and dialog histories below them are the user's: nothing is deleted.
    if (useDefaults)
        assignDefaults();
}

void TSettings::ReadValues(const TRegistryStore &reg)
{
    const auto readBool = [&reg](const QString &name) { return reg.ReadInteger(name) != 0; };

    AutoSave = quint8(reg.ReadInteger(u"AutoSave"_s));
    DeleteConfirmationLevel = quint8(reg.ReadInteger(u"DeleteConfirmationLevel"_s));
    MinimizeOnEsc = readBool(u"MinimizeOnEsc"_s);
    FullPathOnCaption = readBool(u"FullPathOnCaption"_s);
    ReloadLastFile = readBool(u"ReloadLastFile"_s);
    RememberLastFolder = readBool(u"RememberLastFolder"_s);
    Backup = readBool(u"Backup"_s);
    MinimizeToTray = readBool(u"MinimizeToTray"_s);
    CloseToTray = readBool(u"CloseToTray"_s);
    TrimSpaces = readBool(u"TrimSpaces"_s);
    RememberWindowPos = readBool(u"RememberWindowPos"_s);
    if (RememberWindowPos) {
        WindowPos.length = TWindowPlacement::ByteSize;
        if (reg.ValueExists(u"WindowPos"_s)) {
            const QByteArray data = reg.ReadBinaryData(u"WindowPos"_s);
            if (data.size() > TWindowPlacement::ByteSize)
                throw ERegistryException(u"WindowPos is longer than its record"_s);
            WindowPos.overlayBytes(data);
        }
    }
    RememberLastNote = readBool(u"RememberLastNote"_s);
    NoteImages = readBool(u"NoteImages"_s);
    StayOnTop = readBool(u"StayOnTop"_s);
    WordWrap = readBool(u"WordWrap"_s);
    SingleInstance = readBool(u"SingleInstance"_s);
    MRUSize = reg.ReadInteger(u"MRUSize"_s);
    TabSize = reg.ReadInteger(u"TabSize"_s);
    TextToFont(reg.ReadOptionalString(u"TreeFont"_s), TreeFont);
    TextToFont(reg.ReadOptionalString(u"EditorFont"_s), EditorFont);
    TreeColor = TColor(reg.ReadInteger(u"TreeColor"_s));
    EditorColor = TColor(reg.ReadInteger(u"EditorColor"_s));
    LanguageFile = reg.ReadOptionalString(u"LanguageFile"_s);
    SplitterPos = reg.ReadInteger(u"SplitterPos"_s);
    LastOpenFolder = reg.ReadOptionalString(u"LastOpenFolder"_s);
    LastSaveFolder = reg.ReadOptionalString(u"LastSaveFolder"_s);
    DefaultOpenFolder = reg.ReadOptionalString(u"DefaultOpenFolder"_s);
    DefaultSaveFolder = reg.ReadOptionalString(u"DefaultSaveFolder"_s);
    BackupFolder = reg.ReadOptionalString(u"BackupFolder"_s);
    LastFile = reg.ReadOptionalString(u"LastFile"_s);
}

void TSettings::SaveSettings()
{
    // A save that fails (the file locked by another program, a full disk) keeps both
    // the stored settings and the ones in use; the next save tries again.
    TRegistryStore reg;
    if (!reg.OpenKey(Key, true)) {
        reg.DiscardChanges();
        return;
    }
    try {
        WriteValues(reg);
        reg.Flush();
    } catch (const ERegistryException &e) {
        qCWarning(lcSettings) << "Settings not saved:" << e.message();
        reg.DiscardChanges();
    }
}

void TSettings::WriteValues(TRegistryStore &reg) const
{
    reg.WriteString(u"Version"_s, formatMarker);
    reg.WriteInteger(u"AutoSave"_s, AutoSave);
    reg.WriteInteger(u"DeleteConfirmationLevel"_s, DeleteConfirmationLevel);
    reg.WriteInteger(u"MinimizeOnEsc"_s, MinimizeOnEsc);
    reg.WriteInteger(u"FullPathOnCaption"_s, FullPathOnCaption);
    reg.WriteInteger(u"ReloadLastFile"_s, ReloadLastFile);
    reg.WriteInteger(u"RememberLastFolder"_s, RememberLastFolder);
    reg.WriteInteger(u"Backup"_s, Backup);
    reg.WriteInteger(u"MinimizeToTray"_s, MinimizeToTray);
    reg.WriteInteger(u"CloseToTray"_s, CloseToTray);
    reg.WriteInteger(u"TrimSpaces"_s, TrimSpaces);
    reg.WriteInteger(u"RememberWindowPos"_s, RememberWindowPos);
    reg.WriteBinaryData(u"WindowPos"_s, WindowPos.toBytes());
    reg.WriteInteger(u"RememberLastNote"_s, RememberLastNote);
    reg.WriteInteger(u"NoteImages"_s, NoteImages);
    reg.WriteInteger(u"StayOnTop"_s, StayOnTop);
    reg.WriteInteger(u"WordWrap"_s, WordWrap);
    reg.WriteInteger(u"SingleInstance"_s, SingleInstance);
    reg.WriteInteger(u"MRUSize"_s, MRUSize);
    reg.WriteInteger(u"TabSize"_s, TabSize);
    reg.WriteString(u"TreeFont"_s, FontToText(TreeFont));
    reg.WriteString(u"EditorFont"_s, FontToText(EditorFont));
    reg.WriteInteger(u"TreeColor"_s, qint32(TreeColor));
    reg.WriteInteger(u"EditorColor"_s, qint32(EditorColor));
    reg.WriteString(u"LanguageFile"_s, LanguageFile);
    reg.WriteInteger(u"SplitterPos"_s, SplitterPos);
    reg.WriteString(u"LastOpenFolder"_s, LastOpenFolder);
    reg.WriteString(u"LastSaveFolder"_s, LastSaveFolder);
    reg.WriteString(u"DefaultOpenFolder"_s, DefaultOpenFolder);
    reg.WriteString(u"DefaultSaveFolder"_s, DefaultSaveFolder);
    reg.WriteString(u"BackupFolder"_s, BackupFolder);
    reg.WriteString(u"LastFile"_s, LastFile);
}

void TSettings::SetDefaults()
{
    DeleteSettingsKey();
    assignDefaults();
}

void TSettings::assignDefaults()
{
    AutoSave = 1;
    DeleteConfirmationLevel = 0;
    MinimizeOnEsc = true;
    FullPathOnCaption = false;
    ReloadLastFile = true;
    RememberLastFolder = true;
    Backup = false;
    MinimizeToTray = true;
    CloseToTray = false;
    TrimSpaces = true;
    RememberWindowPos = true;
    WindowPos.showCmd = 1;
    RememberLastNote = true;
    NoteImages = true;
    StayOnTop = false;
    WordWrap = true;
    SingleInstance = true;
    MRUSize = 7;
    TabSize = 4;
    for (TFontDesc *font : { &TreeFont, &EditorFont }) {
        font->Name = u"Tahoma"_s;
        font->Size = 8;
    }
    TreeColor = defaultColor;
    EditorColor = defaultColor;
    LanguageFile = u"English.lng"_s;
    SplitterPos = 80;
    LastOpenFolder.clear();
    LastSaveFolder.clear();
    DefaultOpenFolder.clear();
    DefaultSaveFolder.clear();
    BackupFolder.clear();
    LastFile.clear();
}

void TSettings::DeleteSettingsKey()
{
    TRegistryStore reg;
    try {
        if (reg.DeleteKey(Key))
            reg.Flush();
    } catch (const ERegistryException &e) {
        qCWarning(lcSettings) << "Settings key not deleted:" << e.message();
        reg.DiscardChanges();
    }
}
