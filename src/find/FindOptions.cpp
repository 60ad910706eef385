#include "find/FindOptions.h"

#include "notes/TextEncoding.h"
#include "settings/RegistryStore.h"

using namespace Qt::StringLiterals;

namespace {

// The first entries of a stored history, split at CR LF, a lone CR or a lone LF with
// empty ones dropped: a long one is not split beyond them.
QStringList historyFrom(QStringView text)
{
    QStringList list;
    for (qsizetype start = 0; start < text.size() && list.size() < TFindOptions::HistorySize;) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        if (end > start)
            list += text.sliced(start, end - start).toString();
        start = end + 1;
    }
    return list;
}

QString historyText(const QStringList &list)
{
    QStringList kept;
    for (const QString &entry : list) {
        if (entry.size() <= TFindOptions::MaxHistoryEntry)
            kept += entry;
    }
    return TextEncoding::joinLines(kept);
}

} // namespace

QString TFindOptions::KeyFor(const QString &settingsKey)
{
    QString key = settingsKey;
    if (!key.endsWith(u'\\'))
        key += u'\\';
    return key + u"Find\\"_s;
}

void TFindOptions::Load(const QString &key)
{
    TFindOptions read;
    try {
        TRegistryStore store;
        if (!store.OpenKeyReadOnly(key)) {
            *this = TFindOptions();
            return;
        }
        read.FindHistory = historyFrom(store.ReadOptionalString(u"Find"_s));
        read.ReplaceHistory = historyFrom(store.ReadOptionalString(u"Replace"_s));
        read.WatchCase = store.ReadInteger(u"Watch case"_s) != 0;
        read.SearchNames = store.ReadInteger(u"Search Names"_s) != 0;
        read.SearchNotes = store.ReadInteger(u"Search Notes"_s) != 0;
        read.WholeWords = store.ReadInteger(u"Whole Words"_s) != 0;
        const qint32 scope = store.ReadInteger(u"Scope"_s);
        read.Scope = scope >= 0 && scope <= 2 ? scope : 2;
    } catch (const ERegistryException &) {
        read = TFindOptions();
    }
    *this = read;
}

void TFindOptions::Save(const QString &key) const
{
    try {
        TRegistryStore store;
        if (!store.OpenKey(key, true))
            return;
        store.WriteString(u"Find"_s, historyText(FindHistory));
        store.WriteString(u"Replace"_s, historyText(ReplaceHistory));
        store.WriteInteger(u"Watch case"_s, WatchCase ? 1 : 0);
        store.WriteInteger(u"Whole Words"_s, WholeWords ? 1 : 0);
        store.WriteInteger(u"Search Names"_s, SearchNames ? 1 : 0);
        store.WriteInteger(u"Search Notes"_s, SearchNotes ? 1 : 0);
        store.WriteInteger(u"Scope"_s, Scope);
        store.Flush();
    } catch (const ERegistryException &) {
        // Options that cannot be kept are not worth an error message.
    }
}
