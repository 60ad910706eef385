#include "settings/LngManGui.h"

#include "notes/CaseFold.h"
#include "notes/TextEncoding.h"

#include <QAbstractButton>
#include <QAction>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>

using namespace Qt::StringLiterals;

namespace {

// The tab widget that shows `page` as one of its tabs, with the page's index.
QTabWidget *tabOf(QWidget *page, int *index)
{
    QWidget *stack = page->parentWidget();
    if (!qobject_cast<QStackedWidget *>(stack))
        return nullptr;
    auto *tabs = qobject_cast<QTabWidget *>(stack->parentWidget());
    if (!tabs)
        return nullptr;
    *index = tabs->indexOf(page);
    return *index >= 0 ? tabs : nullptr;
}

bool setTextLike(QObject *target, const QString &value)
{
    if (auto *action = qobject_cast<QAction *>(target)) {
        action->setText(value);
    } else if (auto *label = qobject_cast<QLabel *>(target)) {
        label->setText(value);
    } else if (auto *button = qobject_cast<QAbstractButton *>(target)) {
        button->setText(value);
    } else if (auto *edit = qobject_cast<QLineEdit *>(target)) {
        edit->setText(value);
    } else if (auto *combo = qobject_cast<QComboBox *>(target)) {
        if (!combo->isEditable())
            return false;
        combo->setEditText(value);
    } else {
        // A text editor's text is the user's (a note's body), never a caption.
        return false;
    }
    return true;
}

bool setCaption(QObject *target, bool isForm, const QString &value)
{
    auto *widget = qobject_cast<QWidget *>(target);
    if (isForm && widget) {
        widget->setWindowTitle(value);
        return true;
    }
    if (auto *menu = qobject_cast<QMenu *>(target)) {
        menu->setTitle(value);
        return true;
    }
    if (auto *group = qobject_cast<QGroupBox *>(target)) {
        group->setTitle(value);
        return true;
    }
    if (qobject_cast<QAction *>(target) || qobject_cast<QLabel *>(target)
        || qobject_cast<QAbstractButton *>(target))
        return setTextLike(target, value);
    if (widget) {
        int index = -1;
        if (QTabWidget *tabs = tabOf(widget, &index)) {
            tabs->setTabText(index, value);
            return true;
        }
        if (widget->isWindow()) {
            widget->setWindowTitle(value);
            return true;
        }
    }
    return false;
}

bool setHint(QObject *target, const QString &value)
{
    if (auto *action = qobject_cast<QAction *>(target)) {
        action->setToolTip(value);
        return true;
    }
    if (auto *widget = qobject_cast<QWidget *>(target)) {
        int index = -1;
        if (QTabWidget *tabs = tabOf(widget, &index))
            tabs->setTabToolTip(index, value);
        else
            widget->setToolTip(value);
        return true;
    }
    return false;
}

QList<QAbstractButton *> radioButtonsOf(QObject *target)
{
    QList<QAbstractButton *> buttons;
    if (auto *group = qobject_cast<QButtonGroup *>(target)) {
        buttons = group->buttons();
    } else if (auto *box = qobject_cast<QGroupBox *>(target)) {
        const QList<QRadioButton *> radios = box->findChildren<QRadioButton *>();
        for (QRadioButton *radio : radios)
            buttons.append(radio);
    }
    return buttons;
}

bool setItems(QObject *target, const QString &value)
{
    const QStringList items = TextEncoding::splitLines(value);
    if (auto *combo = qobject_cast<QComboBox *>(target)) {
        // Items keep their places; only their texts change, so the choice stays.
        const int current = combo->currentIndex();
        const QString editText = combo->currentText();
        combo->clear();
        combo->addItems(items);
        if (current >= 0 && current < combo->count())
            combo->setCurrentIndex(current);
        if (combo->isEditable() && current < 0)
            combo->setEditText(editText);
        return true;
    }
    if (auto *list = qobject_cast<QListWidget *>(target)) {
        const int current = list->currentRow();
        list->clear();
        list->addItems(items);
        if (current >= 0 && current < list->count())
            list->setCurrentRow(current);
        return true;
    }
    if (qobject_cast<QButtonGroup *>(target) || qobject_cast<QGroupBox *>(target)) {
        const QList<QAbstractButton *> buttons = radioButtonsOf(target);
        if (buttons.isEmpty() && !qobject_cast<QButtonGroup *>(target))
            return false;
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            // A radio group has as many choices as lines; surplus buttons go out of
            // sight rather than away, since the form's code may hold them.
            if (i < items.size())
                buttons[i]->setText(items[i]);
            else
                buttons[i]->hide();
        }
        auto *box = qobject_cast<QGroupBox *>(target);
        auto *layout = box ? qobject_cast<QBoxLayout *>(box->layout()) : nullptr;
        for (qsizetype i = buttons.size(); layout && i < items.size(); ++i)
            layout->addWidget(new QRadioButton(items[i], box));
        return true;
    }
    return false;
}

bool setTitle(QObject *target, const QString &value)
{
    auto *widget = qobject_cast<QWidget *>(target);
    if (widget && widget->isWindow()) {
        widget->setWindowTitle(value);
        return true;
    }
    return false;
}

bool setOkText(QObject *target, const QString &value)
{
    if (auto *dialog = qobject_cast<QFileDialog *>(target)) {
        dialog->setLabelText(QFileDialog::Accept, value);
        return true;
    }
    if (auto *box = qobject_cast<QDialogButtonBox *>(target)) {
        if (QPushButton *ok = box->button(QDialogButtonBox::Ok)) {
            ok->setText(value);
            return true;
        }
    }
    return false;
}

// Any other string property the component publishes, found without regard to case.
bool setStringProperty(QObject *target, const QString &property, const QString &value)
{
    if (CaseFold::equal(property, u"objectName")) // renaming would lose the component
        return false;
    if ((qobject_cast<QPlainTextEdit *>(target) || qobject_cast<QTextEdit *>(target))
        && (CaseFold::equal(property, u"plainText") || CaseFold::equal(property, u"html")
            || CaseFold::equal(property, u"markdown")))
        return false; // an editor's text is the user's
    const QMetaObject *meta = target->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty prop = meta->property(i);
        if (!CaseFold::equal(QString::fromLatin1(prop.name()), property))
            continue;
        if (prop.metaType().id() != QMetaType::QString || !prop.isWritable())
            return false;
        return prop.write(target, value);
    }
    const QList<QByteArray> dynamicNames = target->dynamicPropertyNames();
    for (const QByteArray &name : dynamicNames) {
        if (!CaseFold::equal(QString::fromLatin1(name), property))
            continue;
        if (target->property(name.constData()).metaType().id() != QMetaType::QString)
            return false;
        target->setProperty(name.constData(), value);
        return true;
    }
    return false;
}

void apply(QObject *target, bool isForm, const TFormText &text)
{
    const QString &property = text.Property;
    bool done = false;
    if (CaseFold::equal(property, u"Caption"))
        done = setCaption(target, isForm, text.Value);
    else if (CaseFold::equal(property, u"Hint"))
        done = setHint(target, text.Value);
    else if (CaseFold::equal(property, u"Text"))
        done = setTextLike(target, text.Value);
    else if (CaseFold::equal(property, u"Title"))
        done = setTitle(target, text.Value);
    else if (CaseFold::equal(property, u"OKText"))
        done = setOkText(target, text.Value);
    if (!done && property == u"Items")
        done = setItems(target, text.Value);
    if (!done && !property.isEmpty())
        setStringProperty(target, property, text.Value);
}

} // namespace

void TranslateForm(QObject *Form, bool Notify, TLngMan &Manager)
{
    if (!Form)
        return;
    const QString formName = Form->objectName();
    const QList<TFormText> texts
        = formName.isEmpty() ? QList<TFormText>() : Manager.FormTexts(formName);
    if (!texts.isEmpty()) {
        // The first of equally named components in the form's own order wins.
        QHash<QString, QObject *> byName;
        const QList<QObject *> all = Form->findChildren<QObject *>();
        for (QObject *child : all) {
            const QString name = child->objectName();
            if (name.isEmpty())
                continue;
            const QString folded = CaseFold::folded(name);
            if (!byName.contains(folded))
                byName.insert(folded, child);
        }
        for (const TFormText &text : texts) {
            const bool isForm = text.Component == formName;
            QObject *target = isForm ? Form : byName.value(CaseFold::folded(text.Component));
            if (target)
                apply(target, isForm, text);
        }
    }
    if (Notify)
        Manager.NotifyTranslated();
}
