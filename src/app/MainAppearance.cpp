// How the main window reads to a screen reader and how its text areas take their
// colours from the settings and the desktop's palette.

#include "app/Main.h"
#include "app/qkRichedit.h"
#include "notes/NoteTreeView.h"
#include "settings/Settings.h"
#include "settings/SettingsGui.h"

using namespace Qt::StringLiterals;

namespace {

void setTextColors(QWidget *area, TColor background, TColor text)
{
    const SettingsGui::TTextColors colors = SettingsGui::textColors(background, text);
    QPalette palette = area->palette();
    palette.setColor(QPalette::Base, colors.Background);
    palette.setColor(QPalette::Text, colors.Text);
    area->setPalette(palette);
}

} // namespace

void TfrmMain::nameControls()
{
    // The tree and the editor show no caption of their own; the language file's
    // TopicTree.AccessibleName and Notes.AccessibleName replace these.
    TopicTree->setAccessibleName(u"Notes tree"_s);
    Notes->setAccessibleName(u"Note text"_s);
}

void TfrmMain::applyColors()
{
    if (!Settings)
        return;
    setTextColors(Notes, Settings->EditorColor, Settings->EditorFont.Color);
    setTextColors(TopicTree, Settings->TreeColor, Settings->TreeFont.Color);
}
