#include "TreeText.h"

namespace TreeText {

namespace {

void parseList(TNoteTree &tree, TNote *parent, const QString &shape, qsizetype &pos)
{
    while (pos < shape.size()) {
        QString title;
        while (pos < shape.size() && shape[pos] != u'(' && shape[pos] != u')'
               && shape[pos] != u',')
            title += shape[pos++];
        TNote *note = tree.AddNote(parent, title, imLastChild);
        if (pos < shape.size() && shape[pos] == u'(') {
            ++pos;
            parseList(tree, note, shape, pos);
            ++pos; // ')'
        }
        if (pos < shape.size() && shape[pos] == u',') {
            ++pos;
            continue;
        }
        return;
    }
}

} // namespace

void build(TNoteTree &tree, const QString &shape)
{
    qsizetype pos = 0;
    if (!shape.isEmpty())
        parseList(tree, nullptr, shape, pos);
}

QString dumpBranch(const TNote *note)
{
    QString out = note->Title();
    if (note->HasChildren()) {
        out += u'(';
        for (int i = 0; i < note->ChildCount(); ++i) {
            if (i)
                out += u',';
            out += dumpBranch(note->Child(i));
        }
        out += u')';
    }
    return out;
}

QString dump(const TNoteTree &tree)
{
    QString out;
    for (int i = 0; i < tree.RootCount(); ++i) {
        if (i)
            out += u',';
        out += dumpBranch(tree.RootNote(i));
    }
    return out;
}

TNote *find(const TNoteTree &tree, const QString &title)
{
    for (TNote *n = tree.FirstNote(); n; n = tree.NextInTreeOrder(n)) {
        if (n->Title() == title)
            return n;
    }
    return nullptr;
}

} // namespace TreeText
