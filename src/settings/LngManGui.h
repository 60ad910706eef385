#pragma once

#include "settings/LngMan.h"

class QObject;

// Applies the form's section of the current language file to the form (its
// objectName). A key's component is the form itself when it equals the form's name
// exactly, otherwise the first descendant (widgets, QActions, QMenus, button groups,
// dialogs) whose object name matches without regard to case. Properties:
//   Caption  text of labels, buttons and actions; title of group boxes and menus; the
//            tab text of a tab page; the window title of the form and of windows
//   Hint     tool tip (of the tab for a tab page)
//   Text     text of one-line edits, labels, buttons, actions; never the text of a
//            text editor, which is the user's
//   Items    (exactly so spelled) the items of a combo box or list, the button texts
//            of a radio group (a QButtonGroup or a group box of radio buttons)
//   Title    window title of a dialog (or a group box's title)
//   OKText   accept button of a file dialog or a dialog button box
// Any other name sets a string Qt property of that name (not objectName). Unknown
// components and properties are skipped. With Notify, Manager.OnTranslated runs after.
void TranslateForm(QObject *Form, bool Notify, TLngMan &Manager = LanguageManager());
