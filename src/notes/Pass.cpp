#include "notes/Pass.h"

#include "notes/Archive.h"
#include "settings/LngMan.h"
#include "settings/LngManGui.h"
#include "settings/UtilsGui.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// The designed form: client size and the rows that enter mode takes away.
constexpr int kFormWidth = 280;
constexpr int kFormHeight = 222;
constexpr int kEnterModeShrink = 122;


template <typename T> T *placed(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *w = new T(parent);
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

void showErrorBox(QWidget *owner, const QString &message)
{
    QMessageBox box(QMessageBox::Critical, u"Vellumtree"_s, message, QMessageBox::Ok, owner);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

} // namespace

std::function<void(QWidget *, const QString &)> TfrmPassword::ShowError = showErrorBox;
std::function<int(TfrmPassword &)> TfrmPassword::RunModal
    = [](TfrmPassword &dialog) { return dialog.exec(); };

TfrmPassword::TfrmPassword(QWidget *parent) : QDialog(parent, DialogWindowFlags)
{
    setObjectName(u"frmPassword"_s);
    setWindowTitle(u"Enter password"_s);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setModal(true);
    setFixedSize(kFormWidth, kFormHeight);

    lblPassword = placed<QLabel>(this, u"lblPassword"_s, QRect(10, 14, 70, 16));
    lblPassword->setText(u"&Password:"_s);
    edtPassword = placed<QLineEdit>(this, u"edtPassword"_s, QRect(86, 10, 184, 24));
    edtPassword->setEchoMode(QLineEdit::Password);
    // Cipher keys take any length; QLineEdit would otherwise cut at 32767.
    edtPassword->setMaxLength(std::numeric_limits<int>::max());
    lblPassword->setBuddy(edtPassword);

    lblVerify = placed<QLabel>(this, u"lblVerify"_s, QRect(10, 46, 70, 16));
    lblVerify->setText(u"&Verify:"_s);
    edtVerify = placed<QLineEdit>(this, u"edtVerify"_s, QRect(86, 42, 184, 24));
    edtVerify->setEchoMode(QLineEdit::Password);
    edtVerify->setMaxLength(std::numeric_limits<int>::max());
    lblVerify->setBuddy(edtVerify);

    cbDeleteOriginal = placed<QCheckBox>(this, u"cbDeleteOriginal"_s, QRect(86, 72, 184, 20));
    cbDeleteOriginal->setText(u"Delete original file"_s);
    cbDeleteOriginal->setChecked(true);

    // The strong format is offered first; the compatible one is a click away, and says
    // what it is worth.
    TLngMan &language = LanguageManager();
    rbStrong = placed<QRadioButton>(this, u"rbStrong"_s, QRect(10, 98, 260, 20));
    rbStrong->setText(language.GetString(u"pass_strong"_s, u"Strings"_s));
    rbCompatible = placed<QRadioButton>(this, u"rbCompatible"_s, QRect(10, 120, 260, 20));
    rbCompatible->setText(language.GetString(u"pass_compatible"_s, u"Strings"_s));
    lblWeakFormat = placed<QLabel>(this, u"lblWeakFormat"_s, QRect(28, 142, 242, 40));
    lblWeakFormat->setText(language.GetString(u"pass_weak_format"_s, u"Strings"_s));
    lblWeakFormat->setWordWrap(true);
    lblWeakFormat->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(rbCompatible, &QRadioButton::toggled, lblWeakFormat, &QLabel::setVisible);

    btnOk = placed<QPushButton>(this, u"btnOk"_s, QRect(114, 186, 75, 26));
    btnOk->setText(u"OK"_s);
    btnCancel = placed<QPushButton>(this, u"btnCancel"_s, QRect(195, 186, 75, 26));
    btnCancel->setText(u"Cancel"_s);
    // Enter is the form's own business (FormKeyPress), not a default button's.
    btnOk->setAutoDefault(false);
    btnCancel->setAutoDefault(false);

    connect(btnOk, &QPushButton::clicked, this, &TfrmPassword::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);
    TabToCheckedRadio(this);
    setTabOrder(edtPassword, edtVerify);
    setTabOrder(edtVerify, cbDeleteOriginal);
    setTabOrder(cbDeleteOriginal, rbStrong);
    setTabOrder(rbStrong, rbCompatible);
    setTabOrder(rbCompatible, btnOk);
    setTabOrder(btnOk, btnCancel);
}

TfrmPassword::~TfrmPassword() = default;

bool TfrmPassword::AskNewPassword()
{
    TranslateForm(this, false);
    const bool compatible = Format == TArchive::TEncipherment::Compatible;
    (compatible ? rbCompatible : rbStrong)->setChecked(true);
    lblWeakFormat->setVisible(compatible);
    if (!run())
        return false;
    Format = rbCompatible->isChecked() ? TArchive::TEncipherment::Compatible
                                       : TArchive::TEncipherment::Strong;
    return true;
}

bool TfrmPassword::AskPassword()
{
    TranslateForm(this, false);
    if (!m_enterMode) {
        m_enterMode = true;
        edtVerify->hide();
        lblVerify->hide();
        cbDeleteOriginal->hide();
        rbStrong->hide();
        rbCompatible->hide();
        lblWeakFormat->hide();
        setFixedSize(width(), height() - kEnterModeShrink);
        btnOk->move(btnOk->x(), btnOk->y() - kEnterModeShrink);
        btnCancel->move(btnCancel->x(), btnCancel->y() - kEnterModeShrink);
    }
    const QString caption = LanguageManager().GetString(u"enter_pass"_s, u"Strings"_s);
    setWindowTitle(FormatString(caption, QFileInfo(FileName).fileName()));
    return run();
}

bool TfrmPassword::run()
{
    Password.clear();
    DeleteOriginal = false;
    centreOverParent();
    edtPassword->setFocus();
    if (RunModal(*this) != QDialog::Accepted)
        return false;
    Password = edtPassword->text();
    DeleteOriginal = cbDeleteOriginal->isChecked();
    return true;
}

void TfrmPassword::centreOverParent()
{
    CentreOverOwner(this, parentWidget());
}

void TfrmPassword::CheckNewPassword() const
{
    if (m_enterMode)
        return;
    TLngMan &language = LanguageManager();
    const QString password = edtPassword->text();
    if (password != edtVerify->text())
        throw ENonMatchingPasswords(language.GetString(u"no_match"_s, u"Strings"_s));
    // Characters, not UTF-16 units: a password of emoji is no longer than it looks.
    if (password.toUcs4().size() < MinPasswordLength)
        throw EUnsafePassword(language.GetString(u"short_password"_s, u"Strings"_s));
    if (TArchive::IsWeakPassword(password))
        throw EUnsafePassword(language.GetString(u"weak_password"_s, u"Strings"_s));
}

void TfrmPassword::btnOkClick()
{
    try {
        CheckNewPassword();
    } catch (const EVellumtreeError &error) {
        ShowError(this, error.message());
        return;
    }
    accept();
}

bool TfrmPassword::FormKeyPress(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!m_enterMode && edtPassword->hasFocus())
            edtVerify->setFocus();
        else
            btnOk->click();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

bool TfrmPassword::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const auto mods = keyEvent->modifiers() & ~Qt::KeypadModifier;
        if (mods == Qt::NoModifier && FormKeyPress(keyEvent->key()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmPassword::keyPressEvent(QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier && FormKeyPress(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
