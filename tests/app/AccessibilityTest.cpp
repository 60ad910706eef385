// What a screen reader and a keyboard user meet: every control of the main window and
// of each dialog has a name, and Tab walks each dialog's controls once, in reading order.

#include "app/MainWindowFixture.h"
#include "find/Find.h"
#include "print/Print.h"
#include "settings/LngMan.h"
#include "settings/Options.h"
#include "widgets/About.h"
#include "widgets/BrowseDr.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

using namespace Qt::StringLiterals;

namespace {

// Roles a user operates; a control of these roles needs a name even when it takes no
// keyboard focus of its own (a toolbar's buttons).
bool isOperated(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Tree:
    case QAccessible::List:
    case QAccessible::PageTabList:
        return true;
    default:
        return false;
    }
}

// A name a listener can use: at least one letter or digit ("..." says nothing).
bool saysSomething(const QString &name)
{
    return std::any_of(name.begin(), name.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

QString describe(QAccessibleInterface *iface)
{
    QObject *object = iface->object();
    QString where = object ? object->objectName() : QString();
    if (where.isEmpty() && object)
        where = QString::fromLatin1(object->metaObject()->className());
    if (object && object->parent())
        where += u" in "_s + object->parent()->objectName();
    return u"%1 (role %2, name \"%3\")"_s.arg(where).arg(int(iface->role())).arg(
        iface->text(QAccessible::Name));
}

void collectUnnamed(QAccessibleInterface *iface, QStringList &out, int depth)
{
    if (!iface || depth > 40)
        return;
    const QAccessible::State state = iface->state();
    if (state.invisible)
        return;
    // A container that hands its focus on (a tab widget to its tab bar) is not what
    // the focus lands on; the control it hands it to is checked in its place.
    auto *widget = qobject_cast<QWidget *>(iface->object());
    const bool handsFocusOn = widget && widget->focusProxy();
    if ((state.focusable || isOperated(iface->role())) && !handsFocusOn
        && !saysSomething(iface->text(QAccessible::Name)))
        out << describe(iface);
    // An item view's rows are named by the notes' own titles; the view is what counts.
    if (iface->role() == QAccessible::Tree || iface->role() == QAccessible::List)
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        collectUnnamed(iface->child(i), out, depth + 1);
}

// The operable controls under root that a screen reader would announce without a name.
QStringList unnamedControls(QWidget *root)
{
    QStringList out;
    collectUnnamed(QAccessible::queryAccessibleInterface(root), out, 0);
    return out;
}

// Controls Tab may stop at: visible, enabled, taking Tab focus themselves.
bool takesTab(QWidget *w, QWidget *root)
{
    return (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(root) && w->isEnabled()
        && !w->focusProxy();
}

// An unchecked radio button of a group that has a checked one: Tab goes to the checked
// one and the arrows choose.
bool optionalStop(QWidget *w)
{
    auto *radio = qobject_cast<QRadioButton *>(w);
    if (!radio || radio->isChecked() || !radio->autoExclusive())
        return false;
    const QList<QRadioButton *> siblings
        = radio->parentWidget()->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
    return std::any_of(siblings.begin(), siblings.end(),
                       [](QRadioButton *r) { return r->isChecked(); });
}

QString nameOf(const QWidget *w)
{
    if (!w->objectName().isEmpty())
        return w->objectName();
    QString name = QString::fromLatin1(w->metaObject()->className());
    if (auto *button = qobject_cast<const QAbstractButton *>(w))
        name += u" \""_s + button->text() + u'"';
    return name;
}

// Presses Tab from the first control until the focus comes back, and reports every
// fault: a control reached twice or never, or a step against the reading order.
QStringList tabWalkFaults(QWidget *dialog)
{
    QStringList faults;
    QList<QWidget *> expected;
    for (QWidget *w : dialog->findChildren<QWidget *>()) {
        if (takesTab(w, dialog))
            expected << w;
    }
    if (expected.isEmpty())
        return { u"no control takes Tab"_s };
    QWidget *first = dialog->nextInFocusChain();
    while (!takesTab(first, dialog) || optionalStop(first))
        first = first->nextInFocusChain();
    first->setFocus(Qt::TabFocusReason);
    QList<QWidget *> reached{first};
    for (int step = 0; step < 3 * expected.size(); ++step) {
        QWidget *from = dialog->focusWidget();
        QTest::keyClick(from, Qt::Key_Tab);
        QWidget *now = dialog->focusWidget();
        if (!now || now == from) {
            faults << u"Tab stays at "_s + nameOf(from);
            break;
        }
        if (now == first)
            break;
        if (reached.contains(now)) {
            faults << u"Tab reaches "_s + nameOf(now) + u" twice"_s;
            break;
        }
        // Space there would change the choice the user meant to pass by.
        if (optionalStop(now))
            faults << u"Tab lands on the unchosen "_s + nameOf(now);
        reached << now;
    }
    for (QWidget *w : expected) {
        if (!reached.contains(w) && !optionalStop(w))
            faults << u"Tab never reaches "_s + nameOf(w);
    }
    if (!faults.isEmpty()) {
        QStringList order;
        for (QWidget *w : reached)
            order << nameOf(w);
        faults << u"Tab order: "_s + order.join(u", "_s);
    }
    // Reading order: down the rows, left to right in a row; a step up is only taken
    // into a column further right (the next group beside the last).
    for (qsizetype i = 1; i < reached.size(); ++i) {
        const QRect a(reached[i - 1]->mapTo(dialog, QPoint()), reached[i - 1]->size());
        const QRect b(reached[i]->mapTo(dialog, QPoint()), reached[i]->size());
        const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
        const bool backInRow = sameRow && b.center().x() < a.center().x();
        const bool upNotRight = !sameRow && b.center().y() < a.top() && b.left() < a.right();
        if (backInRow || upNotRight)
            faults << u"Tab goes back from "_s + nameOf(reached[i - 1]) + u" to "_s
                    + nameOf(reached[i]);
    }
    return faults;
}

class AccessibilityTest : public MainWindowTest
{
protected:
    // Opens each dialog through the window's own command, shown, and hands it to check
    // (the options dialog once per tab).
    void forEachDialog(const std::function<void(QWidget &dialog, const QString &name)> &check)
    {
        auto shown = [&](QDialog &dialog, const QString &name) {
            dialog.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog)) << name.toStdString();
            check(dialog, name);
            return int(QDialog::Rejected);
        };
        TfrmOptions::RunModal = [&](TfrmOptions &dialog) {
            for (int tab = 0; tab < dialog.pcOptions->count(); ++tab) {
                dialog.pcOptions->setCurrentIndex(tab);
                shown(dialog, u"options, tab "_s + QString::number(tab));
            }
            dialog.btnBrowseClick(0);
            return int(QDialog::Rejected);
        };
        TdfsBrowseDirectoryDlg::RunModal = [&](QFileDialog &dialog) {
            return shown(dialog, u"folder picker"_s);
        };
        TfrmAbout::RunModal = [&](TfrmAbout &dialog) { return shown(dialog, u"about"_s); };
        TfrmPrint::RunModal = [&](QDialog &dialog) { return shown(dialog, u"print"_s); };
        TfrmPassword::RunModal = [&](TfrmPassword &dialog) {
            return shown(dialog, u"password"_s);
        };
        TfrmNewNote::RunModal = [&](TfrmNewNote &dialog) { return shown(dialog, u"new note"_s); };
        for (const char *name : {"miSettingsOptions", "miHelpAbout", "miFilePrint",
                                 "miFileEncrypt", "miNotesAdd"})
            command(name)->trigger();
        command("miEditSearch")->trigger();
        QApplication::processEvents();
        TfrmSearchReplace *search = TfrmSearchReplace::OpenOver(window.get());
        ASSERT_NE(search, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(search));
        check(*search, u"search"_s);
        search->close();
        TfrmOptions::RunModal = nullptr;
        TdfsBrowseDirectoryDlg::RunModal = nullptr;
        TfrmAbout::RunModal = nullptr;
        TfrmPrint::RunModal = [](QDialog &dialog) { return dialog.exec(); };
    }
};

TEST_F(AccessibilityTest, TheWalkFindsAnUnnamedControl)
{
    // The walk itself: a bare text box and a "..." button count as unnamed, a labelled
    // box and a captioned button as named.
    QWidget form;
    auto *bare = new QLineEdit(&form);
    bare->setObjectName(u"bare"_s);
    auto *dots = new QPushButton(u"..."_s, &form);
    dots->setObjectName(u"dots"_s);
    auto *labelled = new QLineEdit(&form);
    labelled->setObjectName(u"labelled"_s);
    (new QLabel(u"&Title:"_s, &form))->setBuddy(labelled);
    new QPushButton(u"&Go"_s, &form);
    form.show();
    const QString found = unnamedControls(&form).join(u'\n');
    EXPECT_TRUE(found.contains(u"bare"_s)) << found.toStdString();
    EXPECT_TRUE(found.contains(u"dots"_s)) << found.toStdString();
    EXPECT_FALSE(found.contains(u"labelled"_s)) << found.toStdString();
    EXPECT_EQ(unnamedControls(&form).size(), 2) << found.toStdString();
}

TEST_F(AccessibilityTest, TabWalkFindsAGapAndABackwardStep)
{
    QWidget form;
    auto *top = new QLineEdit(&form);
    top->setObjectName(u"top"_s);
    top->setGeometry(10, 10, 100, 20);
    auto *bottom = new QLineEdit(&form);
    bottom->setObjectName(u"bottom"_s);
    bottom->setGeometry(10, 50, 100, 20);
    auto *middle = new QLineEdit(&form);
    middle->setObjectName(u"middle"_s);
    middle->setGeometry(10, 30, 100, 16);
    form.resize(200, 100);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // Creation order puts the middle box last: Tab goes up from the bottom one.
    QString faults = tabWalkFaults(&form).join(u'\n');
    EXPECT_TRUE(faults.contains(u"back from bottom to middle"_s)) << faults.toStdString();
    QWidget::setTabOrder(top, middle);
    QWidget::setTabOrder(middle, bottom);
    faults = tabWalkFaults(&form).join(u'\n');
    EXPECT_TRUE(faults.isEmpty()) << faults.toStdString();
}

TEST_F(AccessibilityTest, MainWindowControlsHaveNames)
{
    start();
    const QStringList unnamed = unnamedControls(window.get());
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(u'\n').toStdString();
    // The tree and the editor say what they hold, not only what kind of control they are.
    for (QWidget *w : std::initializer_list<QWidget *>{window->TopicTree, window->Notes}) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(iface, nullptr);
        EXPECT_TRUE(saysSomething(iface->text(QAccessible::Name))) << nameOf(w).toStdString();
    }
}

TEST_F(AccessibilityTest, EveryDialogControlHasAName)
{
    start();
    QStringList seen;
    forEachDialog([&](QWidget &dialog, const QString &name) {
        seen << name;
        const QStringList unnamed = unnamedControls(&dialog);
        EXPECT_TRUE(unnamed.isEmpty())
            << name.toStdString() << ":\n" << unnamed.join(u'\n').toStdString();
    });
    EXPECT_EQ(seen.size(), 10) << seen.join(u", "_s).toStdString();
}

TEST_F(AccessibilityTest, TabReachesEveryDialogControlOnceInReadingOrder)
{
    start();
    int walked = 0;
    forEachDialog([&](QWidget &dialog, const QString &name) {
        ++walked;
        const QStringList faults = tabWalkFaults(&dialog);
        EXPECT_TRUE(faults.isEmpty())
            << name.toStdString() << ":\n" << faults.join(u'\n').toStdString();
    });
    EXPECT_EQ(walked, 10);
}

class GermanAccessibilityTest : public AccessibilityTest
{
protected:
    void adjust(TSettings &settings) override { settings.LanguageFile = u"Deutsch.lng"_s; }
    void TearDown() override
    {
        AccessibilityTest::TearDown();
        StartLanguageManager(LanguageManager(), LanguageFolder(), u"English.lng"_s);
    }
};

TEST_F(GermanAccessibilityTest, NamesComeInTheUsersLanguage)
{
    start();
    EXPECT_EQ(window->TopicTree->accessibleName(), u"Notizbaum"_s);
    EXPECT_EQ(window->Notes->accessibleName(), u"Notiztext"_s);
    QStringList names;
    forEachDialog([&](QWidget &dialog, const QString &name) {
        const QStringList unnamed = unnamedControls(&dialog);
        EXPECT_TRUE(unnamed.isEmpty())
            << name.toStdString() << ":\n" << unnamed.join(u'\n').toStdString();
        for (const char *button : {"btnEditorFont", "cbtnTreeColor", "btnBrowseBackup",
                                   "btnPrinterFont", "btnDateTime"}) {
            if (auto *w = dialog.findChild<QWidget *>(QLatin1String(button)))
                names << w->accessibleName();
        }
    });
    names.removeDuplicates();
    EXPECT_EQ(names, QStringList({u"Schrift des Editors wählen"_s,
                                  u"Hintergrundfarbe des Notizbaums"_s,
                                  u"Ordner für Sicherungen wählen"_s,
                                  u"Druckerschrift wählen"_s,
                                  u"Datum oder Uhrzeit einfügen"_s}));
}

} // namespace
