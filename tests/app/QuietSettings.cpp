#include "QuietSettings.h"

#include "settings/Settings.h"

#include <QTemporaryDir>

using namespace Qt::StringLiterals;

void StoreQuietSettings(const std::function<void(TSettings &)> &adjust)
{
    TSettings settings(u"Software\\Vellumtree\\"_s, u"1.57"_s);
    settings.SetDefaults();
    settings.AutoSave = 0;
    settings.ReloadLastFile = false;
    settings.MinimizeToTray = false;
    settings.RememberWindowPos = false;
    if (adjust)
        adjust(settings);
    settings.SaveSettings();
}

void UseTemporaryXdgFolders(const QTemporaryDir &dir)
{
    qputenv("XDG_CONFIG_HOME", dir.filePath(u"config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    qputenv("XDG_STATE_HOME", dir.filePath(u"state"_s).toUtf8());
}
