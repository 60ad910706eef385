#pragma once

#include "Errors.h"
#include "notes/Archive.h"

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The new password and its verification differ.
class ENonMatchingPasswords final : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// The new password is too weak to protect the file.
class EUnsafePassword final : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// The password question for an enciphered notes file. Set mode (AskNewPassword) asks
// for a new password twice and which format protects the file, the strong one first;
// enter mode (AskPassword) asks once, for FileName.
class TfrmPassword final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MinPasswordLength = 4;

    explicit TfrmPassword(QWidget *parent = nullptr);
    ~TfrmPassword() override;

    // Both return true when the user confirmed; Password and DeleteOriginal are the
    // results then. On cancel Password stays empty.
    bool AskNewPassword();
    bool AskPassword();

    // Throws ENonMatchingPasswords, then EUnsafePassword, for a new password that
    // cannot be taken; does nothing in enter mode.
    void CheckNewPassword() const;
    // OK: checks the new password; a refusal is shown and the dialog stays open.
    void btnOkClick();
    // Enter and Esc, seen before the controls.
    bool FormKeyPress(int key);

    bool IsEnterMode() const { return m_enterMode; }

    QString Password;
    QString FileName;
    bool DeleteOriginal = false;
    // Set mode: the format chosen, preselected from what the caller puts here.
    TArchive::TEncipherment Format = TArchive::TEncipherment::Strong;

    QLabel *lblPassword;
    QLineEdit *edtPassword;
    QLabel *lblVerify;
    QLineEdit *edtVerify;
    QCheckBox *cbDeleteOriginal;
    QRadioButton *rbStrong;
    QRadioButton *rbCompatible;
    QLabel *lblWeakFormat; // shown while the compatible format is chosen
    QPushButton *btnOk;
    QPushButton *btnCancel;

    // Shows a refusal as an error message box captioned "Vellumtree"; tests replace it.
    static std::function<void(QWidget *owner, const QString &message)> ShowError;
    // Runs the dialog modally and returns its result code; tests replace it to drive
    // the shown dialog without a nested event loop.
    static std::function<int(TfrmPassword &dialog)> RunModal;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool run();
    void centreOverParent();

    bool m_enterMode = false;
};
