#include "app/Prompt.h"

#include "settings/LngManGui.h"
#include "settings/Utils.h"
#include "settings/UtilsGui.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

using namespace Qt::StringLiterals;

std::function<int(TfrmNewNote &)> TfrmNewNote::RunModal;

TfrmNewNote::TfrmNewNote(QWidget *parent) : QDialog(parent, DialogWindowFlags)
{
    setObjectName(u"frmNewNote"_s);
    setWindowTitle(u"New"_s);

    lblNoteName = new QLabel(u"&Enter note name:"_s, this);
    lblNoteName->setObjectName(u"lblNoteName"_s);
    edtNoteName = new QLineEdit(this);
    edtNoteName->setObjectName(u"edtNoteName"_s);
    edtNoteName->setMinimumWidth(260);
    lblNoteName->setBuddy(edtNoteName);

    btnDateTime = new QToolButton(this);
    btnDateTime->setObjectName(u"btnDateTime"_s);
    btnDateTime->setText(u"..."_s);
    btnDateTime->setAccessibleName(u"Insert date or time"_s);
    mnuDateTime = new QMenu(this);
    mnuDateTime->setObjectName(u"mnuDateTime"_s);
    auto addItem = [this](const char *name, const QString &caption, bool date, bool time) {
        QAction *a = mnuDateTime->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, date, time] { InsertDateTimeText(date, time); });
    };
    addItem("miDate", u"&Date\tCtrl+D"_s, true, false);
    addItem("miTime", u"&Time\tCtrl+T"_s, false, true);
    addItem("miDateTime", u"Date &and Time\tCtrl+A"_s, true, true);
    connect(btnDateTime, &QToolButton::clicked, this, [this] {
        mnuDateTime->exec(btnDateTime->mapToGlobal(QPoint(0, btnDateTime->height())));
    });

    lblAddType = new QLabel(u"Add:"_s, this);
    lblAddType->setObjectName(u"lblAddType"_s);
    cbxAddType = new QComboBox(this);
    cbxAddType->setObjectName(u"cbxAddType"_s);
    cbxAddType->addItems({u"After"_s, u"Before"_s, u"As First child"_s, u"As Last child"_s});
    lblAddType->setBuddy(cbxAddType);

    btnOk = new QPushButton(u"&OK"_s, this);
    btnOk->setObjectName(u"btnOk"_s);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(u"&Cancel"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *grid = new QGridLayout(this);
    grid->addWidget(lblNoteName, 0, 0, 1, 3);
    grid->addWidget(edtNoteName, 1, 0, 1, 2);
    grid->addWidget(btnDateTime, 1, 2);
    grid->addWidget(lblAddType, 2, 0);
    grid->addWidget(cbxAddType, 2, 1, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 3, 0, 1, 3);

    // The dialog sees the keys before its controls.
    edtNoteName->installEventFilter(this);
    cbxAddType->installEventFilter(this);
}

void TfrmNewNote::InsertDateTimeText(bool date, bool time)
{
    QStringList parts;
    if (date)
        parts << ShortDateText();
    if (time)
        parts << TimeText();
    edtNoteName->insert(parts.join(u' '));
}

bool TfrmNewNote::handleKey(QKeyEvent *event)
{
    if (event->modifiers() == Qt::ControlModifier) {
        switch (event->key()) {
        case Qt::Key_A:
            InsertDateTimeText(true, true);
            return true;
        case Qt::Key_D:
            InsertDateTimeText(true, false);
            return true;
        case Qt::Key_T:
            InsertDateTimeText(false, true);
            return true;
        default:
            break;
        }
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !cbxAddType->view()->isVisible()) {
        accept();
        return true;
    }
    if (event->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return false;
}

bool TfrmNewNote::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TfrmNewNote::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        QDialog::keyPressEvent(event);
}

int TfrmNewNote::AskNewNote(QWidget *owner, int lastPosition, QString &title)
{
    TfrmNewNote dialog(owner);
    dialog.edtNoteName->setText(title);
    dialog.edtNoteName->selectAll();
    TranslateForm(&dialog, false);
    dialog.cbxAddType->setCurrentIndex(qBound(0, lastPosition, 3));
    dialog.adjustSize();
    CentreOverOwner(&dialog, owner);
    const int result = RunModal ? RunModal(dialog) : dialog.exec();
    title = result == QDialog::Accepted ? dialog.edtNoteName->text() : QString();
    return dialog.cbxAddType->currentIndex();
}
