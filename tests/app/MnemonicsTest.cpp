// Every language file, applied to the real menus and dialogs: no two items that a user
// sees together - one menu, the menu bar, one page of a dialog with the controls around
// it - answer to the same Alt key.

#include "MainWindowFixture.h"

#include "app/Prompt.h"
#include "find/Find.h"
#include "notes/Pass.h"
#include "print/Print.h"
#include "settings/LngMan.h"
#include "settings/LngManGui.h"
#include "settings/Options.h"
#include "settings/Settings.h"

#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A clash: the items (by component) that share one Alt key, and how to report it.
struct TClash
{
    QStringList items;
    QString text;
};

// The name of what carries a text: the component's name, or for unnamed items (the
// buttons of a radio group, the tabs of a page control) the name of their owner and
// their place in it.
QString componentName(const QObject *object, int index = -1)
{
    QString name = object->objectName();
    if (name.isEmpty() && object->parent()) {
        name = componentName(object->parent()) + u'/'
            + QString::number(object->parent()->children().indexOf(object));
    }
    return index < 0 ? name : name + u'#' + QString::number(index);
}

// Collects the items of one group by their Alt key.
class MnemonicGroup
{
public:
    explicit MnemonicGroup(QString where) : m_where(std::move(where)) { }

    void add(const QString &text, const QString &component)
    {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (key.isEmpty())
            return;
        TClash &items = m_items[key.toString()];
        items.items << m_where + u':' + component;
        items.text += (items.text.isEmpty() ? QString() : u", "_s) + text.section(u'\t', 0, 0);
    }

    QList<TClash> clashes() const
    {
        QList<TClash> found;
        for (const auto &[key, items] : m_items) {
            if (items.items.size() > 1)
                found.append({ items.items, u"%1: %2 share %3"_s.arg(m_where, items.text, key) });
        }
        return found;
    }

private:
    QString m_where;
    std::map<QString, TClash> m_items;
};

QList<TClash> menuClashes(const QWidget &window)
{
    QList<TClash> found;
    if (const auto *bar = window.findChild<QMenuBar *>()) {
        MnemonicGroup group(u"menu bar"_s);
        for (const QAction *action : bar->actions()) {
            if (action->isVisible())
                group.add(action->text(), action->menu() ? action->menu()->objectName() : QString());
        }
        found << group.clashes();
    }
    for (const QMenu *menu : window.findChildren<QMenu *>()) {
        MnemonicGroup group(u"menu "_s + menu->objectName());
        for (const QAction *action : menu->actions()) {
            if (action->isVisible() && !action->isSeparator())
                group.add(action->text(), action->objectName());
        }
        found << group.clashes();
    }
    return found;
}

// The controls of the dialog a user sees now (one page of a tabbed dialog, the tabs and
// the buttons around it) that answer to an Alt key.
QList<TClash> visibleClashes(const QWidget &dialog, const QString &where)
{
    MnemonicGroup group(where);
    for (const QWidget *w : dialog.findChildren<QWidget *>()) {
        if (!w->isVisible())
            continue;
        if (const auto *button = qobject_cast<const QAbstractButton *>(w))
            group.add(button->text(), componentName(w));
        else if (const auto *label = qobject_cast<const QLabel *>(w); label && label->buddy())
            group.add(label->text(), componentName(w));
        else if (const auto *box = qobject_cast<const QGroupBox *>(w))
            group.add(box->title(), componentName(w));
        else if (const auto *tabs = qobject_cast<const QTabBar *>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                group.add(tabs->tabText(i), componentName(w, i));
        }
    }
    return group.clashes();
}

// The dialog as shown in the manager's language (a dialog translates itself when shown,
// into the program's language: the test's language comes after that).
QList<TClash> dialogClashes(QWidget &dialog, TLngMan &manager)
{
    dialog.show();
    TranslateForm(&dialog, false, manager);
    QList<TClash> found;
    if (auto *pages = dialog.findChild<QTabWidget *>()) {
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            found << visibleClashes(dialog, dialog.objectName() + u" page "_s + QString::number(i));
        }
    } else {
        found << visibleClashes(dialog, dialog.objectName());
    }
    found << menuClashes(dialog);
    dialog.hide();
    return found;
}

class MnemonicsTest : public MainWindowTest
{
protected:
    // Every clash in the menus and dialogs of the program in the given language.
    QList<TClash> clashesIn(const QString &language)
    {
        // Fresh windows for every language: none keeps a text of the one before.
        start();
        TLngMan manager;
        manager.SetFolder(LanguageFolder());
        manager.SetLanguage(language);
        TranslateForm(window.get(), false, manager);
        QList<TClash> clashes = menuClashes(*window);

        TPrintSource source;
        source.Tree = window->TopicTreeModel;
        TfrmPrint print(source, window.get());
        TfrmOptions options(*Settings, 0, window.get());
        TfrmSearchReplace search(window.get());
        TfrmNewNote newNote(window.get());
        TfrmPassword password(window.get());
        for (QWidget *dialog : std::initializer_list<QWidget *> {
                 &print, &options, &search, &newNote, &password })
            clashes << dialogClashes(*dialog, manager);
        return clashes;
    }
};

// The English texts are the program's designed ones, and a few of their items share a
// key by design (Edit's "&Cut" and "&Copy", say): a translation may keep such a pair
// together, but must not make a clash of its own.
TEST_F(MnemonicsTest, NoLanguageFileMakesTwoItemsOfAMenuOrADialogPageShareAnAltKey)
{
    const QStringList languages
        = QDir(LanguageFolder()).entryList({ u"*.lng"_s }, QDir::Files);
    ASSERT_GE(languages.size(), 2);
    const QList<TClash> designed = clashesIn(u"English.lng"_s);
    for (const QString &language : languages) {
        QStringList added;
        for (const TClash &clash : clashesIn(language)) {
            const bool byDesign = std::any_of(designed.begin(), designed.end(),
                [&clash](const TClash &d) {
                    return std::all_of(clash.items.begin(), clash.items.end(),
                        [&d](const QString &item) { return d.items.contains(item); });
                });
            if (!byDesign)
                added << clash.text;
        }
        EXPECT_TRUE(added.isEmpty()) << language.toStdString() << ":\n"
                                     << added.join(u'\n').toStdString();
    }
}

} // namespace
