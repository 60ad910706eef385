#pragma once

#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>

#include <functional>

class QWidget;

// One question or notice of the main window, as the service shows it.
struct TMessageRequest
{
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
    QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
    // Texts of their own for some of the buttons ("Save As...", "Reload").
    QList<QPair<QMessageBox::StandardButton, QString>> ButtonTexts;
};

// Every question and notice of the main window goes through here: captioned
// "Vellumtree", on top of all windows. Tests put a script in Answer to give the
// answers a user would.
class TMessageService final
{
public:
    static QMessageBox::StandardButton Show(QWidget *owner, const TMessageRequest &request);

    static QMessageBox::StandardButton Ask(QWidget *owner, const QString &text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton,
                                           QMessageBox::Icon icon = QMessageBox::Question);
    static void Notify(QWidget *owner, const QString &text,
                       QMessageBox::Icon icon = QMessageBox::Information);
    static void ShowError(QWidget *owner, const QString &text);

    // Whether a question or notice is being shown (or answered by the script).
    static bool IsShowing();

    // When set, answers instead of a real message box.
    static std::function<QMessageBox::StandardButton(const TMessageRequest &)> Answer;
    // While the program ends on a signal nobody may be there to answer: messages go to
    // standard error, and questions take their safe answer (Cancel, or No).
    static bool Unattended;
};
