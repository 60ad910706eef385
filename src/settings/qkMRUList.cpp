#include "settings/qkMRUList.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include "notes/CaseFold.h"
#include "settings/RegistryStore.h"

using namespace Qt::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcMRU, "vellumtree.mru", QtCriticalMsg)
}

TqkMRUList::TqkMRUList(QObject *parent) : QObject(parent) { }

TqkMRUList::~TqkMRUList()
{
    // A destructor must not throw; the list is lost for this run only.
    try {
        SaveItems();
    } catch (const ERegistryException &e) {
        qCWarning(lcMRU) << "Recent files not saved:" << e.message();
    }
}

void TqkMRUList::SetItemCount(int count)
{
    if (count == m_itemCount)
        return;
    m_itemCount = qMin(count, MaxItemCount);
    if (m_items.size() > qMax(m_itemCount, 0)) {
        trim();
        emit ItemsChanged();
    }
}

void TqkMRUList::SetItemLen(int length)
{
    m_itemLen = length;
    emit ItemsChanged();
}

void TqkMRUList::AddFile(const QString &path)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (CaseFold::equal(m_items[i], path)) {
            found = i;
            break;
        }
    }
    if (found >= 0)
        m_items.move(found, 0);
    else
        m_items.prepend(path);
    trim();
    emit ItemsChanged();
}

void TqkMRUList::trim()
{
    while (!m_items.isEmpty() && m_items.size() > m_itemCount)
        m_items.removeLast();
}

void TqkMRUList::RemoveMissingFiles()
{
    if (m_items.isEmpty())
        return;
    for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
        if (!QFileInfo::exists(m_items[i]))
            m_items.removeAt(i);
    }
    emit ItemsChanged();
}

void TqkMRUList::LoadItems()
{
    m_items.clear();
    m_loadFailed = false;
    try {
        TRegistryStore reg;
        if (reg.OpenKey(m_saveSection, false)) {
            // A list that grew elsewhere is read only as far as it can be shown.
            const QStringList names = reg.GetValueNames();
            for (qsizetype i = 0; i < names.size() && i < MaxItemCount; ++i)
                m_items += reg.ReadString(names[i]);
        }
    } catch (const ERegistryException &e) {
        qCWarning(lcMRU) << e.message();
        m_loadFailed = true;
        emit ItemsChanged();
        emit LoadError(u"Error loading MRU items!"_s);
        return;
    }
    emit ItemsChanged();
}

void TqkMRUList::SaveItems()
{
    // An empty list is saved too: entries the user removed must not come back. One
    // that is empty because the stored one could not be read says nothing, though.
    if (m_items.isEmpty() && m_loadFailed)
        return;
    TRegistryStore reg;
    try {
        reg.DeleteKey(m_saveSection);
        if (!reg.OpenKey(m_saveSection, true))
            throw ERegistryException(u"Cannot create the key %1"_s.arg(m_saveSection));
        for (qsizetype i = 0; i < m_items.size(); ++i)
            reg.WriteString(u"F%1"_s.arg(i), m_items[i]);
        reg.Flush();
    } catch (const ERegistryException &) {
        reg.DiscardChanges();
        throw;
    }
}

QString TqkMRUList::DisplayText(const QString &path, int itemLen)
{
    if (itemLen == 0)
        return path;
    qsizetype split = -1;
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path[i];
        if (c == u'/' || c == u'\\' || c == u':') {
            split = i;
            break;
        }
    }
    QString folder = path.left(split + 1);
    const QString fileName = path.mid(split + 1);
    if (itemLen > 0 && folder.size() > itemLen) {
        const QChar last = folder.back();
        const QChar separator = (last == u'/' || last == u'\\') ? last : QDir::separator();
        folder = folder.left(itemLen) + u"..."_s + separator;
    }
    return folder + fileName;
}

QString TqkMRUList::Caption(int index) const
{
    static const QString digits = u"0123456789ABCDEF"_s;
    QString text = DisplayText(m_items.value(index), m_itemLen);
    text.replace(u'&', u"&&"_s);
    // A list loaded longer than 16 entries has no digits left for the rest.
    if (index < 0 || index >= digits.size())
        return text;
    return u'&' + digits[index] + u' ' + text;
}

void TqkMRUList::Click(int index)
{
    // A stale menu entry (the list changed under an open menu) is ignored.
    if (index < 0 || index >= m_items.size())
        return;
    emit OnMRUClick(this, m_items.at(index));
}
