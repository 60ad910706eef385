#include "notes/NoteTree.h"

#include <QCollator>

#include <algorithm>
#include <thread>

// Sorting the notes: the root level by code point, deeper levels by the locale's
// collation, or every level by a given comparison.

namespace {

// Code-point order; QString's own operator< compares UTF-16 units, which puts
// characters above the surrogate range before those encoded with surrogates.
int compareCodePoints(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y)
            continue;
        if (x >= 0xD800 && y >= 0xD800) {
            x = static_cast<char16_t>(x >= 0xE000 ? x - 0x800 : x + 0x2000);
            y = static_cast<char16_t>(y >= 0xE000 ? y - 0x800 : y + 0x2000);
        }
        return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Whether the notes' titles are in the collator's order, found without holding a sort
// key for every note: their allocations would cost more than the check itself.
bool inCollationOrder(const std::vector<std::unique_ptr<TNote>> &notes, const QCollator &collator)
{
    // A locale's collation compares two titles as their sort keys compare. Not so the
    // C locale: its keys go by code point, its comparison by UTF-16 unit.
    const bool byCodePoint = collator.locale().language() == QLocale::C;
    for (size_t i = 1; i < notes.size(); ++i) {
        const QString &a = notes[i - 1]->Title();
        const QString &b = notes[i]->Title();
        if ((byCodePoint ? compareCodePoints(b, a) : collator.compare(b, a)) < 0)
            return false;
    }
    return true;
}

} // namespace

template <typename Less, typename Announce>
void TNoteTree::sortLevel(TNote *slot, const Less &less, const Announce &announce)
{
    auto &children = slot->m_children;
    const auto inOrder = [&](const std::unique_ptr<TNote> &a, const std::unique_ptr<TNote> &b) {
        return less(a.get(), b.get());
    };
    // A level in order already stays as it is: sorting a sorted tree again costs no
    // sort, and the views no new layout.
    if (std::is_sorted(children.begin(), children.end(), inOrder))
        return;
    announce();
    std::stable_sort(children.begin(), children.end(), inOrder);
    for (size_t i = 0; i < children.size(); ++i)
        children[i]->m_row = static_cast<int>(i);
}

void TNoteTree::sortLevels(const std::vector<TNote *> &levels, const TNoteCompare &rootCompare,
                           const TNoteCompare &compare, qintptr userValue,
                           std::vector<TChildOrder> *orderBefore)
{
    // Only the levels that change are kept, before they change.
    const auto keepOrder = [this, orderBefore](TNote *slot) {
        if (orderBefore)
            orderBefore->emplace_back(slot == &m_top ? nullptr : slot,
                                      ChildOrder(slot == &m_top ? nullptr : slot));
    };
    const bool notify = m_bulkDepth == 0;
    bool changed = false;
    TLayoutChange layout;
    // Views hear of the new order only when some level changes, before the first one.
    const auto announce = [&] {
        if (changed)
            return;
        changed = true;
        invalidateOrder();
        if (notify)
            beginLayoutChange(layout);
    };

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    // Levels sorted by collation are sorted after the others, on two threads when
    // there are many notes: building the sort keys is what takes the time.
    std::vector<TNote *> collated;
    size_t collatedNotes = 0;
    for (TNote *slot : levels) {
        if (slot->m_children.size() < 2)
            continue;
        const TNoteCompare &custom = slot == &m_top ? rootCompare : compare;
        const auto announceLevel = [&] {
            announce();
            keepOrder(slot);
        };
        if (custom) {
            sortLevel(
                slot, [&](const TNote *a, const TNote *b) { return custom(a, b, userValue) < 0; },
                announceLevel);
        } else if (slot == &m_top) {
            sortLevel(
                slot,
                [](const TNote *a, const TNote *b) {
                    return compareCodePoints(a->m_title, b->m_title) < 0;
                },
                announceLevel);
        } else if (!inCollationOrder(slot->m_children, collator)) {
            // Out of order: the sort below changes it.
            keepOrder(slot);
            collated.push_back(slot);
            collatedNotes += slot->m_children.size();
        }
    }

    if (!collated.empty()) {
        announce();
        // The sort keys of the titles of children [from, to) of a level. Each thread
        // has a collator of its own.
        const auto buildKeys = [&collator](const TNote *slot, size_t from, size_t to) {
            QCollator own(collator.locale());
            own.setCaseSensitivity(Qt::CaseSensitive);
            std::vector<QCollatorSortKey> keys;
            keys.reserve(to - from);
            for (size_t i = from; i < to; ++i)
                keys.push_back(own.sortKey(slot->m_children[i]->m_title));
            return keys;
        };
        // One sort key per note instead of collating every pair again, found by the
        // row the note had before the sort (rows are renumbered after it).
        const auto sortByKeys = [this](TNote *slot, const std::vector<QCollatorSortKey> &first,
                                       const std::vector<QCollatorSortKey> &second) {
            const auto key = [&](const TNote *note) -> const QCollatorSortKey & {
                const auto row = static_cast<size_t>(note->m_row);
                return row < first.size() ? first[row] : second[row - first.size()];
            };
            sortLevel(
                slot, [&](const TNote *a, const TNote *b) { return key(a).compare(key(b)) < 0; },
                [] {});
        };
        const bool twoThreads = collatedNotes >= 20000 && std::thread::hardware_concurrency() > 1;
        if (!twoThreads) {
            for (TNote *slot : collated)
                sortByKeys(slot, buildKeys(slot, 0, slot->m_children.size()), {});
        } else if (collated.size() == 1) {
            // One large level: its keys are built in two halves.
            TNote *slot = collated.front();
            const size_t half = slot->m_children.size() / 2;
            std::vector<QCollatorSortKey> second;
            std::thread other([&] { second = buildKeys(slot, half, slot->m_children.size()); });
            const std::vector<QCollatorSortKey> first = buildKeys(slot, 0, half);
            other.join();
            sortByKeys(slot, first, second);
        } else {
            // Many levels: each thread sorts about half of the notes, level by level.
            size_t split = 0;
            for (size_t notes = 0; split < collated.size() && notes * 2 < collatedNotes; ++split)
                notes += collated[split]->m_children.size();
            const auto sortRange = [&](size_t from, size_t to) {
                for (size_t i = from; i < to; ++i)
                    sortByKeys(collated[i], buildKeys(collated[i], 0, collated[i]->m_children.size()), {});
            };
            std::thread other(sortRange, split, collated.size());
            sortRange(0, split);
            other.join();
        }
    }

    if (changed && notify)
        endLayoutChange(layout);
}

void TNoteTree::beginLayoutChange(TLayoutChange &change)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    change.before = persistentIndexList();
    change.persistent.reserve(static_cast<size_t>(change.before.size()));
    for (const QModelIndex &index : change.before)
        change.persistent.emplace_back(NoteOf(index), index.column());
}

void TNoteTree::endLayoutChange(const TLayoutChange &change)
{
    QModelIndexList after;
    after.reserve(change.before.size());
    for (const auto &[note, column] : change.persistent) {
        const QModelIndex index = IndexOf(note);
        after.append(index.isValid() ? createIndex(index.row(), column, note) : QModelIndex());
    }
    changePersistentIndexList(change.before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool TNoteTree::SortNotes(const TNoteCompare &compare, qintptr userValue,
                          std::vector<TChildOrder> *orderBefore)
{
    std::vector<TNote *> levels;
    levels.push_back(&m_top);
    for (TNote *note = FirstNote(); note; note = NextInTreeOrder(note)) {
        if (note->HasChildren())
            levels.push_back(note);
    }
    sortLevels(levels, compare, compare, userValue, orderBefore);
    return true;
}

void TNoteTree::SortChildren(TNote *note, std::vector<TChildOrder> *orderBefore)
{
    if (!note)
        return;
    sortLevels({note}, {}, {}, 0, orderBefore);
}
