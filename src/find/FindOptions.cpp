#include "find/FindOptions.h"

#include "notes/TextEncoding.h"
#include "settings/RegistryStore.h"

using namespace Qt::StringLiterals;

namespace {

QStringList historyFrom(const QString &text)
{
    QStringList list = TextEncoding::splitLines(text);
    list.removeAll(QString());
    if (list.size() > TFindOptions::HistorySize)
        list.resize(TFindOptions::HistorySize);
    return list;
}

QString historyText(const QStringList &list)
{
    return TextEncoding::joinLines(list);
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
