#include "QuietSettings.h"

#include "settings/Settings.h"

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
