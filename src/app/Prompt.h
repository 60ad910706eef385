#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

// The new-note prompt: the title of the note to add and where it goes.
class TfrmNewNote final : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmNewNote(QWidget *parent = nullptr);

    // Shows the prompt with the proposed title and position index; returns the index
    // chosen. On return title holds the typed title, or is empty when cancelled.
    static int AskNewNote(QWidget *owner, int lastPosition, QString &title);
    // Tests replace the modal run: they get the shown dialog and return its result.
    static std::function<int(TfrmNewNote &dialog)> RunModal;

    void InsertDateTimeText(bool date, bool time);

    QLabel *lblNoteName;
    QLineEdit *edtNoteName;
    QToolButton *btnDateTime;
    QMenu *mnuDateTime;
    QLabel *lblAddType;
    QComboBox *cbxAddType;
    QPushButton *btnOk;
    QPushButton *btnCancel;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool handleKey(QKeyEvent *event);
};
