#include "settings/qkMRUMenus.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>

#include "settings/qkMRUList.h"

using namespace Qt::StringLiterals;

namespace {

void clearMenu(QMenu *menu)
{
    // Every item goes, also those the list did not make (a designed blank entry);
    // the menu deletes the ones it owns.
    if (menu)
        menu->clear();
}

} // namespace

TqkMRUMenus::TqkMRUMenus(TqkMRUList *list) : QObject(list), m_list(list)
{
    connect(list, &TqkMRUList::ItemsChanged, this, &TqkMRUMenus::Rebuild);
    connect(list, &TqkMRUList::LoadError, this, &TqkMRUMenus::showLoadError);
}

TqkMRUMenus::~TqkMRUMenus()
{
    clearMenu(m_popupMenu);
    clearMenu(m_menuItem);
}

void TqkMRUMenus::SetPopupMenu(QMenu *menu)
{
    clearMenu(m_popupMenu);
    m_popupMenu = menu;
    fill(m_popupMenu);
}

void TqkMRUMenus::SetMenuItem(QMenu *menu)
{
    clearMenu(m_menuItem);
    m_menuItem = menu;
    fill(m_menuItem);
}

void TqkMRUMenus::Rebuild()
{
    fill(m_popupMenu);
    fill(m_menuItem);
}

void TqkMRUMenus::fill(QMenu *menu)
{
    if (!menu)
        return;
    clearMenu(menu);
    for (int i = 0; i < m_list->Items().size(); ++i) {
        QAction *action = menu->addAction(m_list->Caption(i));
        // The position is looked up when clicked, as the entry's place in its menu.
        connect(action, &QAction::triggered, m_list,
            [list = m_list, menu, action] { list->Click(int(menu->actions().indexOf(action))); });
    }
}

void TqkMRUMenus::showLoadError(const QString &message)
{
    QMessageBox::critical(nullptr, u"Error"_s, message);
}
