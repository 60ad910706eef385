#include "widgets/BrowseDr.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

using namespace Qt::StringLiterals;

std::function<int(QFileDialog &)> TdfsBrowseDirectoryDlg::RunModal;

namespace {

// The folder itself when it exists, else its nearest existing parent, else home.
QString existingFolder(const QString &path)
{
    if (path.trimmed().isEmpty())
        return QDir::homePath();
    QFileInfo info(QDir::fromNativeSeparators(path));
    // A typed relative name means nothing fixed; start at home rather than in whatever
    // folder the program happens to run in.
    if (info.isRelative())
        return QDir::homePath();
    QString folder = info.absoluteFilePath();
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            return QDir::homePath();
        folder = parent;
    }
    return QDir::cleanPath(folder);
}

} // namespace

TdfsBrowseDirectoryDlg::TdfsBrowseDirectoryDlg(QWidget *parent)
    : QObject(parent), m_caption(u"Browse"_s), m_statusText(u"Current selection:"_s)
{
}

bool TdfsBrowseDirectoryDlg::Execute()
{
    QFileDialog dialog(qobject_cast<QWidget *>(parent()), m_caption);
    // Qt's own dialog, since only it shows the status label this picker is made of.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::FileName, m_statusText);
    // Opened in the folder itself: choosing at once gives it back unchanged.
    dialog.setDirectory(existingFolder(Selection));

    const int result = RunModal ? RunModal(dialog) : dialog.exec();
    const QStringList chosen = dialog.selectedFiles();
    if (result != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty())
        return false;
    Selection = QDir::toNativeSeparators(chosen.first());
    return true;
}
