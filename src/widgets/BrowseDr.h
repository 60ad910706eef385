#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

// The folder picker: a dialog that shows folders only, with the chosen folder in its
// status line. Caption and StatusText are properties, so a language file sets them
// like any component's (dlgBrowseFolder.Caption, dlgBrowseFolder.StatusText).
class TdfsBrowseDirectoryDlg final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString StatusText READ StatusText WRITE SetStatusText)

public:
    explicit TdfsBrowseDirectoryDlg(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString &Caption) { m_caption = Caption; }
    QString StatusText() const { return m_statusText; }
    void SetStatusText(const QString &StatusText) { m_statusText = StatusText; }

    // The folder shown first, and after a confirmed Execute the folder chosen.
    QString Selection;

    // True when the user chose a folder.
    bool Execute();

    // Tests replace the modal run: they get the prepared dialog and return its result.
    static std::function<int(QFileDialog &Dialog)> RunModal;

private:
    QString m_caption;
    QString m_statusText;
};
