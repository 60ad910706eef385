#pragma once

#include "settings/UtilsGui.h"

#include <QDialog>
#include <QPixmap>

#include <functional>

class QLabel;
class QPushButton;

// The about box: a borderless window with the logo on a grey band, the translated
// information text with the version, and two links.
class TfrmAbout final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int ClientWidth = 323;
    static constexpr int ClientHeight = 178;

    explicit TfrmAbout(QWidget *parent = nullptr);

    // Creates the box over Owner, centred, and runs it modally.
    static int Execute(QWidget *Owner);
    // Tests replace the modal run: they get the shown box and return its result.
    static std::function<int(TfrmAbout &Dialog)> RunModal;
    // What the links open through; tests put fakes in. Empty: the desktop's.
    static TShellServices Shell;

    // The information format (section frmAbout) with the version and the credit put in,
    // every "|" a line break.
    static QString InformationText(const QString &Format, const QString &Version);
    // The credit line, in the user's language.
    static QString CreditText();

    // Hand cursor, translation, information text, logo.
    void FormShow();
    // Shared by both link labels: a text with "@" is a mail address.
    void lblEmailClick(QLabel *Sender);

    QLabel *lblInformation = nullptr;
    QLabel *lblEmail = nullptr;
    QLabel *lblWebsite = nullptr;
    QPushButton *btnOk = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyLinkColors();

    QPixmap m_logo;
    bool m_shown = false;
};
