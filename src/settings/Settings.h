#pragma once

#include <QString>

#include "settings/SettingsTypes.h"

class TRegistryStore;

// Every user preference and the state carried from one run to the next. Other parts
// read and assign the fields directly; field names are the registry value names.
// Registry failures never reach the caller: the store falls back to its defaults.
class TSettings final
{
public:
    // key: registry path of the settings key ("Software\Vellumtree\");
    // version: the program's version text, shown in the about box.
    TSettings(QString key, QString version);

    QString Key;
    QString Version;
    quint8 AutoSave = 0;
    quint8 DeleteConfirmationLevel = 0;
    bool MinimizeOnEsc = false;
    bool FullPathOnCaption = false;
    bool ReloadLastFile = false;
    bool RememberLastFolder = false;
    bool Backup = false;
    bool MinimizeToTray = false;
    bool CloseToTray = false;
    bool TrimSpaces = false;
    bool RememberWindowPos = false;
    TWindowPlacement WindowPos;
    bool RememberLastNote = false;
    bool NoteImages = false;
    bool StayOnTop = false;
    bool WordWrap = false;
    bool SingleInstance = false;
    qint32 MRUSize = 0;
    qint32 TabSize = 0;
    TFontDesc TreeFont;
    TFontDesc EditorFont;
    TColor TreeColor = 0;
    TColor EditorColor = 0;
    QString LanguageFile;
    qint32 SplitterPos = 0;
    QString LastOpenFolder;
    QString LastSaveFolder;
    QString DefaultOpenFolder;
    QString DefaultSaveFolder;
    QString BackupFolder;
    QString LastFile;

    QString GetVersion() const { return Version; }

    // Fills every field from the registry. A missing key, a foreign "Version", any
    // missing or mistyped value (LastFile and the folders may be missing) or a font text
    // that does not convert: all defaults. The stored key and its subkeys stay as they
    // are; the next successful save rewrites the values.
    void LoadSettings();
    // Writes every value, "Version" first, in one batch. A failure to write leaves the
    // stored settings and the fields as they were.
    void SaveSettings();
    // Deletes the settings key and sets every field to its default; the defaults reach
    // the registry with the next SaveSettings.
    void SetDefaults();
    void DeleteSettingsKey();

private:
    void assignDefaults();
    void ReadValues(const TRegistryStore &reg);
    void WriteValues(TRegistryStore &reg) const;
};

// The one settings store of the program, set by the main window and never cleared.
extern TSettings *Settings;
