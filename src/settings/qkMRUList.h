#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// The most recently used files, most recent first, kept in the registry under
// SaveSection as string values "F0", "F1", ... . The list stores paths and knows
// nothing of what they hold. Menus showing it (TqkMRUMenus) rebuild themselves on
// ItemsChanged and report a click back through Click().
class TqkMRUList final : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxItemCount = 16;

    explicit TqkMRUList(QObject *parent = nullptr);
    // Saves the list (SaveItems).
    ~TqkMRUList() override;

    QString SaveSection() const { return m_saveSection; }
    void SetSaveSection(const QString &section) { m_saveSection = section; }
    int ItemCount() const { return m_itemCount; }
    // At most 16; 0 or less empties the list. Setting the current value trims nothing.
    void SetItemCount(int count);
    int ItemLen() const { return m_itemLen; }
    // Most characters of the folder part shown in an entry; 0 shows the full path.
    void SetItemLen(int length);

    const QStringList &Items() const { return m_items; }

    // Puts path at the front; an entry equal to it ignoring case moves there instead,
    // keeping its spelling.
    void AddFile(const QString &path);
    void RemoveMissingFiles();
    // Reads the list in the order written. A failure keeps the entries read so far and
    // is reported through LoadError.
    void LoadItems();
    // Writes the list anew, an empty one too, so that removed entries stay removed;
    // only an empty list after a failed load leaves the key as it is. Raises
    // ERegistryException when the registry cannot be written.
    void SaveItems();

    // Menu caption of entry index: "&" + its hex digit + " " + display text (entries
    // past the sixteenth have no digit), with "&" in the path doubled so that it shows
    // instead of marking an accelerator.
    QString Caption(int index) const;
    // Path shown for an entry: the folder part cut to itemLen characters and "..." and
    // a separator, the file name whole. "/", "\" and a drive ":" end the folder part.
    static QString DisplayText(const QString &path, int itemLen);

    // A menu entry at this position was chosen: raises OnMRUClick with its path.
    void Click(int index);

signals:
    void OnMRUClick(TqkMRUList *Sender, const QString &FileName);
    void ItemsChanged();
    void LoadError(const QString &message);

private:
    void trim();

    QString m_saveSection = QStringLiteral("\\Software\\MyApplication\\MRU Items");
    int m_itemCount = 5;
    int m_itemLen = 15;
    QStringList m_items;
    bool m_loadFailed = false;
};
