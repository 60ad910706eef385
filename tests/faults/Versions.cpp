#include "Versions.h"

#include "notes/Archive.h"
#include "notes/NoteTree.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace Versions {

namespace {

int lineCount(int k, int lineBase)
{
    return lineBase + (k * 7919) % lineBase;
}

QString line(int k, int i)
{
    return u"%1:%2:the quick brown fox jumps over the lazy dog"_s.arg(k).arg(i);
}

} // namespace

QString Body(int k, int lineBase)
{
    QStringList lines{u"version %1, %2 lines"_s.arg(k).arg(lineCount(k, lineBase))};
    for (int i = 0; i < lineCount(k, lineBase); ++i)
        lines << line(k, i);
    return lines.join(u"\r\n"_s);
}

void Fill(TNoteTree &tree, int k, int lineBase)
{
    TNote *first = tree.AddNote(nullptr, u"First"_s, imLastChild, u"unchanged"_s);
    tree.AddNote(first, u"Child"_s, imLastChild, u"deeper"_s);
    tree.AddNote(nullptr, u"Check"_s, imLastChild, Body(k, lineBase));
}

int OfFile(const QString &fileName, const QString &password)
{
    if (!QFile::exists(fileName))
        return -1;
    TNoteTree tree;
    TArchive archive(&tree);
    archive.Password = password;
    try {
        QStringList lines;
        if (TArchive::IsEncryptedName(fileName)) {
            if (!archive.ReadEncrypted(fileName, lines))
                return -1;
        } else {
            QFile file(fileName);
            if (!file.open(QIODevice::ReadOnly) || !file.readAll().endsWith("</html>\r\n"))
                return -1;
        }
        if (!archive.ReadNotes(nullptr, fileName))
            return -1;
        if (TArchive::IsEncryptedName(fileName) && lines.last() != u"</html>"_s)
            return -1;
    } catch (const EVellumtreeError &) {
        return -1;
    }
    const TNote *check = tree.FindByTitle(u"Check"_s);
    if (!check || tree.Count() != 3 || check->Body().isEmpty())
        return -1;
    const QStringList &body = check->Body();
    const QStringList head = body.first().split(u' ');
    if (head.size() != 4 || head[0] != u"version"_s || head[3] != u"lines"_s)
        return -1;
    const int k = head[1].chopped(1).toInt();
    if (head[2].toInt() != body.size() - 1)
        return -1;
    for (qsizetype i = 1; i < body.size(); ++i) {
        if (body[i] != line(k, int(i - 1)))
            return -1;
    }
    return k;
}

} // namespace Versions
