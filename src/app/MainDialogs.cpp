// The main window's dialogs that change no document: options and about.

#include "app/Main.h"

#include "settings/Options.h"
#include "settings/Settings.h"
#include "widgets/About.h"

#include <QAction>

void TfrmMain::connectDialogCommands()
{
    connect(action("miSettingsOptions"), &QAction::triggered, this,
            &TfrmMain::miSettingsOptionsClick);
    connect(action("miHelpAbout"), &QAction::triggered, this, &TfrmMain::miHelpAboutClick);
}

void TfrmMain::miSettingsOptionsClick()
{
    TfrmOptions::Execute(*Settings, Tag, this);
    // Confirmed or not, the window shows the settings as they now are; a language tried
    // out and cancelled has been put back by then.
    ApplySettings();
}

void TfrmMain::miHelpAboutClick()
{
    TfrmAbout::Execute(this);
}
