#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>

class TqkMRUList;

// Shows a TqkMRUList in a pop-up menu (its whole item list) and in a menu item's
// sub-menu, rebuilt on every change of the list, and routes their clicks back to the
// list. Made a child of the list, so it outlives the list's last save. A menu
// destroyed elsewhere is forgotten, never touched.
class TqkMRUMenus final : public QObject
{
    Q_OBJECT

public:
    explicit TqkMRUMenus(TqkMRUList *list);
    ~TqkMRUMenus() override;

    QMenu *PopupMenu() const { return m_popupMenu; }
    // Clears the old menu's items, then fills the new one.
    void SetPopupMenu(QMenu *menu);
    QMenu *MenuItem() const { return m_menuItem; }
    void SetMenuItem(QMenu *menu);

    void Rebuild();

private:
    void fill(QMenu *menu);
    void showLoadError(const QString &message);

    TqkMRUList *m_list;
    QPointer<QMenu> m_popupMenu;
    QPointer<QMenu> m_menuItem;
};
